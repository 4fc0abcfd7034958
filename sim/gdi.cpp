// Graphics of the simulated PC: device contexts on window surfaces and memory bitmaps, the
// stock brushes, and the three drawing operations the program uses.
#include <windows.h>

#include <algorithm>
#include <string>

#include "machine.h"

using namespace sim;

namespace {

// Stock objects live at fixed handles, outside the range of created objects.
constexpr std::uintptr_t StockBase = 0x8000;
constexpr std::uintptr_t DefaultBitmap = 0x8100; // the 1x1 bitmap of a new memory DC

Pixel StockBrushColour(std::uintptr_t handle) {
    return handle == StockBase + BLACK_BRUSH ? Black : White;
}

bool IsStockBrush(std::uintptr_t handle) {
    return handle == StockBase + WHITE_BRUSH || handle == StockBase + BLACK_BRUSH;
}

template <typename T>
T Fail(DWORD error, T result) {
    M().lastError = error;
    return result;
}

DeviceContext* FindDC(HDC dc) {
    auto it = M().dcs.find(reinterpret_cast<std::uintptr_t>(dc));
    if (it == M().dcs.end() || it->second.released)
        return nullptr;
    return &it->second;
}

std::uintptr_t NewObject() {
    Machine& m = M();
    const std::uintptr_t value = m.nextObject;
    m.nextObject += 4;
    return value;
}

} // namespace

namespace sim {

Surface* Machine::SurfaceOf(HDC dc) {
    DeviceContext* context = FindDC(dc);
    if (!context)
        return nullptr;
    if (context->kind == DeviceContext::MemoryDC) {
        auto it = bitmaps.find(context->bitmap);
        return it == bitmaps.end() ? nullptr : &it->second.surface;
    }
    Window* window = FindWindow(context->window);
    return window ? &window->client : nullptr;
}

// The device contexts the window system hands out.
HDC NewWindowDC(HWND window, bool paint) {
    const std::uintptr_t value = NewObject();
    DeviceContext dc{paint ? DeviceContext::PaintDC : DeviceContext::WindowDC, window, 0, White,
                     false};
    M().dcs[value] = dc;
    return reinterpret_cast<HDC>(value);
}

void ReleaseWindowDC(HDC dc) {
    if (DeviceContext* context = FindDC(dc))
        context->released = true;
}

void FillSurface(Surface& surface, int x, int y, int width, int height, Pixel colour) {
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + width, surface.width);
    const int bottom = std::min(y + height, surface.height);
    for (int row = top; row < bottom; ++row)
        for (int col = left; col < right; ++col)
            surface.At(col, row) = colour;
}

} // namespace sim

HGDIOBJ WINAPI GetStockObject(int index) {
    if (auto error = M().Enter("GetStockObject", std::to_string(index), ERROR_INVALID_PARAMETER))
        return Fail(*error, HGDIOBJ(nullptr));
    if (index != WHITE_BRUSH && index != BLACK_BRUSH)
        return Fail(ERROR_INVALID_PARAMETER, HGDIOBJ(nullptr));
    return reinterpret_cast<HGDIOBJ>(StockBase + index);
}

HDC WINAPI CreateCompatibleDC(HDC dc) {
    Machine& m = M();
    if (auto error = m.Enter("CreateCompatibleDC", "", ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, HDC(nullptr));
    if (dc && !FindDC(dc))
        return Fail(ERROR_INVALID_HANDLE, HDC(nullptr));
    const std::uintptr_t value = NewObject();
    m.bitmaps[DefaultBitmap] = Bitmap{Surface(1, 1, Black)};
    m.dcs[value] = DeviceContext{DeviceContext::MemoryDC, nullptr, DefaultBitmap, White, false};
    return reinterpret_cast<HDC>(value);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height) {
    Machine& m = M();
    if (auto error =
            m.Enter("CreateCompatibleBitmap", std::to_string(width) + "x" + std::to_string(height),
                    ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, HBITMAP(nullptr));
    if (!FindDC(dc) || width <= 0 || height <= 0)
        return Fail(ERROR_INVALID_PARAMETER, HBITMAP(nullptr));
    const std::uintptr_t value = NewObject();
    m.bitmaps[value] = Bitmap{Surface(width, height, Black)}; // new bitmaps are not cleared
    return reinterpret_cast<HBITMAP>(value);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    Machine& m = M();
    if (auto error = m.Enter("SelectObject", "", ERROR_INVALID_HANDLE))
        return Fail(*error, HGDIOBJ(nullptr));
    DeviceContext* context = FindDC(dc);
    const auto value = reinterpret_cast<std::uintptr_t>(object);
    if (!context || !object)
        return Fail(ERROR_INVALID_HANDLE, HGDIOBJ(nullptr));
    if (IsStockBrush(value)) {
        const std::uintptr_t previous =
            context->brush == Black ? StockBase + BLACK_BRUSH : StockBase + WHITE_BRUSH;
        context->brush = StockBrushColour(value);
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    if (m.bitmaps.count(value) && context->kind == DeviceContext::MemoryDC) {
        const std::uintptr_t previous = context->bitmap;
        context->bitmap = value;
        return reinterpret_cast<HGDIOBJ>(previous);
    }
    return Fail(ERROR_INVALID_HANDLE, HGDIOBJ(nullptr));
}

BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop) {
    Machine& m = M();
    if (auto error = m.Enter("PatBlt", "", ERROR_INVALID_HANDLE))
        return Fail(*error, FALSE);
    Surface* surface = m.SurfaceOf(dc);
    if (!surface || rop != PATCOPY)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    FillSurface(*surface, x, y, width, height, FindDC(dc)->brush);
    return TRUE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD rop) {
    Machine& m = M();
    if (auto error = m.Enter("BitBlt", "", ERROR_INVALID_HANDLE))
        return Fail(*error, FALSE);
    Surface* to = m.SurfaceOf(dest);
    Surface* from = m.SurfaceOf(source);
    if (!to || !from || rop != SRCCOPY)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    for (int row = 0; row < height; ++row) {
        const int ty = y + row, fy = sourceY + row;
        if (ty < 0 || fy < 0 || ty >= to->height || fy >= from->height)
            continue;
        for (int col = 0; col < width; ++col) {
            const int tx = x + col, fx = sourceX + col;
            if (tx < 0 || fx < 0 || tx >= to->width || fx >= from->width)
                continue;
            to->At(tx, ty) = from->At(fx, fy);
        }
    }
    return TRUE;
}

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
    Machine& m = M();
    if (auto error = m.Enter(
            "TextOutA",
            std::to_string(x) + "," + std::to_string(y) + " \"" +
                Escape(std::string(text ? text : "", text ? std::max(length, 0) : 0)) + "\"",
            ERROR_INVALID_HANDLE))
        return Fail(*error, FALSE);
    Surface* surface = m.SurfaceOf(dc);
    if (!surface || !text || length < 0)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    // The system font in cells of GlyphWidth by GlyphHeight, black on an opaque white background:
    // each character replaces whatever its cell covered.
    for (int i = 0; i < length; ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        for (int dy = 0; dy < GlyphHeight; ++dy)
            for (int dx = 0; dx < GlyphWidth; ++dx) {
                const int px = x + i * GlyphWidth + dx, py = y + dy;
                if (px >= 0 && py >= 0 && px < surface->width && py < surface->height)
                    surface->At(px, py) = GlyphPixel(ch, dx, dy);
            }
    }
    return TRUE;
}
