// Parallel printer ports.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/platform.h"
#include "ports/ports.h"
#include "res/resource.h"

const char* const PortNames[PortCount] = {"LPT1:", "LPT2:", "LPT3:"};

int PortChoice[PortCount] = {BST_CHECKED, BST_UNCHECKED, BST_UNCHECKED};

namespace {

const int PortButtons[PortCount] = {IDC_LPT1, IDC_LPT2, IDC_LPT3};

// On NT the port is reached through a DOS-device alias of our own that points at the raw
// parallel device, so the name works whatever LPTn is redirected to.
constexpr char AliasFormat[] = "OSTRANE_LPT%c";
constexpr char AliasTargetFormat[] = "\\Device\\Parallel%c";
constexpr char AliasPathFormat[] = "\\\\.\\OSTRANE_LPT%c";
constexpr DWORD AliasQuerySize = 20;

} // namespace

INT_PTR CALLBACK PortDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        for (int i = 0; i < PortCount; ++i)
            SendDlgItemMessageA(dialog, PortButtons[i], BM_SETCHECK, PortChoice[i], 0);
        return TRUE;
    case WM_COMMAND:
        // Only OK ends the dialog: a port must be chosen.
        if (LOWORD(wParam) == IDOK) {
            for (int i = 0; i < PortCount; ++i)
                PortChoice[i] = static_cast<int>(
                    SendDlgItemMessageA(dialog, PortButtons[i], BM_GETCHECK, 0, 0));
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

DWORD QueryDeviceId(HANDLE port, DeviceIdReply& reply) {
    // A driver may report more bytes than it delivered: what it did not deliver must read as the
    // end of the text, never as what an earlier query left in the buffer.
    std::memset(reply, 0, sizeof reply);
    DWORD returned = 0;
    if (!DeviceIoControl(port, IoctlGetDeviceId, NULL, 0, reply, DeviceIdMax, &returned, NULL))
        returned = 0;
    // A driver that claims more than the buffer holds must not make us write past it.
    if (returned > DeviceIdMax)
        returned = DeviceIdMax;
    reply[returned] = '\0';
    return returned;
}

int CheckDeviceID() {
    for (int i = 0; i < PortCount; ++i) {
        HANDLE port = CreateFileA(PortNames[i], GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (port == INVALID_HANDLE_VALUE)
            continue;
        DeviceIdReply reply;
        QueryDeviceId(port, reply);
        const bool found = std::strstr(reply, ModelKey) != NULL;
        CloseHandle(port);
        if (found)
            return i;
    }
    return -1;
}

void SetPortAlias(BOOL define, const char* portName) {
    if (PlatformKind != PlatformNT)
        return;
    const char digit = portName[PortDigitIndex];
    char alias[32];
    std::snprintf(alias, sizeof alias, AliasFormat, digit);
    if (!define) {
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, alias, NULL);
        return;
    }
    // An alias that still resolves (an older definition) stays in force.
    char current[AliasQuerySize];
    if (QueryDosDeviceA(alias, current, AliasQuerySize) != 0)
        return;
    char target[32];
    std::snprintf(target, sizeof target, AliasTargetFormat, digit - 1);
    DefineDosDeviceA(DDD_RAW_TARGET_PATH, alias, target);
}

HANDLE OpenPort(const char* portName, DWORD desiredAccess, DWORD shareMode,
                LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags, HANDLE templateFile) {
    char path[32];
    if (PlatformKind == PlatformNT)
        std::snprintf(path, sizeof path, AliasPathFormat, portName[PortDigitIndex]);
    else
        std::snprintf(path, sizeof path, "%s", portName);
    return CreateFileA(path, desiredAccess, shareMode, security, creation, flags, templateFile);
}
