// Kernel services of the simulated PC: version, parallel ports, the DOS-device namespace, time.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "machine.h"

using namespace sim;

namespace {

std::string Quote(const char* text) {
    return text ? "\"" + Escape(text) + "\"" : "NULL";
}

template <typename T>
T Fail(DWORD error, T result) {
    M().lastError = error;
    return result;
}

// The port (1..3) a device path names on this machine's family, or 0 when it names none; sets
// the error to report when it names none.
int ResolvePort(const std::string& path, DWORD& error) {
    Machine& m = M();
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0)
        name = name.substr(4);
    if (!name.empty() && name.back() == ':')
        name.pop_back();
    name = Upper(name);
    error = ERROR_FILE_NOT_FOUND;
    int port = 0;
    if (m.setup.family == Family::Win9x) {
        if (name.size() == 4 && name.compare(0, 3, "LPT") == 0 && name[3] >= '1' && name[3] <= '3')
            port = name[3] - '0';
    } else {
        // NT resolves the name through the DOS-device namespace to a device object.
        auto it = m.dosDevices.find(name);
        if (it == m.dosDevices.end() || it->second.empty())
            return 0;
        const std::string& target = it->second.front();
        const std::string device = "\\Device\\Parallel";
        if (target.size() == device.size() + 1 && target.compare(0, device.size(), device) == 0 &&
            target.back() >= '0' && target.back() <= '2')
            port = target.back() - '0' + 1;
        else {
            error = ERROR_PATH_NOT_FOUND;
            return 0;
        }
    }
    if (port == 0 || !m.setup.ports[port - 1].present)
        return 0;
    return port;
}

PortHandle* FindPort(HANDLE handle) {
    auto it = M().handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == M().handles.end() || it->second.closes > 0)
        return nullptr;
    return &it->second;
}

std::string PortName(int port) {
    return "LPT" + std::to_string(port) + ":";
}

} // namespace

DWORD WINAPI GetLastError() {
    return M().lastError;
}

void WINAPI SetLastError(DWORD error) {
    M().lastError = error;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    Machine& m = M();
    if (auto error = m.Enter("GetVersionExA", "", ERROR_INVALID_PARAMETER))
        return Fail(*error, FALSE);
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    const bool nt = m.setup.family == Family::NT;
    info->dwMajorVersion = nt ? 5 : 4;
    info->dwMinorVersion = nt ? 1 : 10;
    info->dwBuildNumber = nt ? 2600 : 2222;
    info->dwPlatformId = nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s",
                  nt ? "Service Pack 3" : " A ");
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags, HANDLE) {
    Machine& m = M();
    char detail[64];
    std::snprintf(detail, sizeof detail, " access=0x%X share=%u creation=%u flags=0x%X",
                  desiredAccess, shareMode, creation, flags);
    if (auto error = m.Enter("CreateFileA", Quote(fileName) + detail, ERROR_ACCESS_DENIED))
        return Fail(*error, INVALID_HANDLE_VALUE);
    if (!fileName)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    DWORD error = ERROR_FILE_NOT_FOUND;
    const int port = ResolvePort(fileName, error);
    if (port == 0)
        return Fail(error, INVALID_HANDLE_VALUE);
    if (creation != OPEN_EXISTING && creation != OPEN_ALWAYS)
        return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (m.setup.ports[port - 1].refuses)
        return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    // On NT the running spooler holds every parallel port.
    if (m.setup.family == Family::NT && m.SpoolerRunning())
        return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    for (const auto& [value, open] : m.handles)
        if (open.port == port && open.closes == 0 && open.share == 0)
            return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    const std::uintptr_t value = m.nextHandle;
    m.nextHandle += 4;
    m.handles[value] = PortHandle{port, fileName, desiredAccess, shareMode, 0, false, {}};
    m.Trace("  opened " + PortName(port));
    m.lastError = ERROR_SUCCESS;
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Machine& m = M();
    if (auto error = m.Enter("SetCommTimeouts", "", ERROR_INVALID_FUNCTION))
        return Fail(*error, FALSE);
    PortHandle* port = FindPort(file);
    if (!port)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!timeouts)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    port->timeoutsSet = true;
    port->timeouts = *timeouts;
    m.Trace("  write time-out " + std::to_string(timeouts->WriteTotalTimeoutConstant) + " ms + " +
            std::to_string(timeouts->WriteTotalTimeoutMultiplier) + " ms per byte");
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                      LPOVERLAPPED overlapped) {
    Machine& m = M();
    if (written)
        *written = 0;
    if (auto error = m.Enter("WriteFile", std::to_string(toWrite) + " bytes", ERROR_WRITE_FAULT))
        return Fail(*error, FALSE);
    PortHandle* port = FindPort(file);
    if (!port)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!(port->access & GENERIC_WRITE))
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    if (!written && !overlapped)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const int index = port->port - 1;
    Printer* printer = m.printers[index].get();
    const FaultSetup* misbehaviour = m.misbehaviour;
    DWORD taken = toWrite;
    if (misbehaviour && misbehaviour->kind == FaultKind::ShortWrite)
        taken = misbehaviour->count < toWrite ? misbehaviour->count : toWrite;
    if (!printer) {
        // Nobody takes the bytes: the write ends when its total time-out runs out.
        if (!port->timeoutsSet || (port->timeouts.WriteTotalTimeoutConstant == 0 &&
                                   port->timeouts.WriteTotalTimeoutMultiplier == 0))
            throw Stuck{"a write to " + PortName(port->port) + ", with no printer, never ends"};
        taken = 0;
    }
    if (taken < toWrite && port->timeoutsSet)
        m.clockMs += port->timeouts.WriteTotalTimeoutConstant +
                     std::uint64_t(port->timeouts.WriteTotalTimeoutMultiplier) * toWrite;
    const std::string bytes(static_cast<const char*>(buffer), taken);
    m.portBytes[index] += bytes;
    if (printer)
        printer->Receive(bytes);
    m.Say("write " + PortName(port->port) + " " + std::to_string(taken) + " of " +
          std::to_string(toWrite) + " bytes" + (taken ? ": " + Hex(bytes) : ""));
    if (written)
        *written = taken;
    return TRUE;
}

BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                            LPDWORD returned, LPOVERLAPPED) {
    Machine& m = M();
    if (returned)
        *returned = 0;
    if (auto error = m.Enter("DeviceIoControl", "code " + std::to_string(code), ERROR_GEN_FAILURE))
        return Fail(*error, FALSE);
    const FaultSetup* misbehaviour = m.misbehaviour;
    PortHandle* port = FindPort(device);
    if (!port)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (misbehaviour && misbehaviour->kind == FaultKind::Reply) {
        // A driver that answers with whatever it likes and reports any count.
        const std::string& bytes = misbehaviour->bytes;
        const std::size_t copied = bytes.size() < outSize ? bytes.size() : outSize;
        if (copied && out)
            std::memcpy(out, bytes.data(), copied);
        if (returned)
            *returned = misbehaviour->count;
        m.Trace("  reply " + std::to_string(copied) + " bytes, reported as " +
                std::to_string(misbehaviour->count) + ": \"" + Escape(bytes.substr(0, copied)) +
                "\"");
        return TRUE;
    }
    // Only the 95/98 parallel-port driver answers code 17 with the printer's device ID.
    if (m.setup.family != Family::Win9x || code != 17)
        return Fail(ERROR_INVALID_FUNCTION, FALSE);
    Printer* printer = m.printers[port->port - 1].get();
    if (!printer)
        return Fail(ERROR_NOT_READY, FALSE);
    const std::string reply = printer->Reply();
    const DWORD size = reply.size() < outSize ? static_cast<DWORD>(reply.size()) : outSize;
    if (size && out)
        std::memcpy(out, reply.data(), size);
    if (returned)
        *returned = size;
    m.Trace("  reply " + std::to_string(size) + " bytes: \"" + Escape(reply.substr(0, size)) +
            "\"");
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
    Machine& m = M();
    const std::optional<DWORD> error = m.Enter("CloseHandle", "", ERROR_INVALID_HANDLE);
    auto it = m.handles.find(reinterpret_cast<std::uintptr_t>(object));
    if (it != m.handles.end())
        ++it->second.closeCalls;
    if (error)
        return Fail(*error, FALSE);
    if (it == m.handles.end())
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    ++it->second.closes; // a second close is recorded, and fails
    if (it->second.closes > 1)
        return Fail(ERROR_INVALID_HANDLE, FALSE);
    m.Trace("  closed " + PortName(it->second.port));
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds) {
    Machine& m = M();
    m.Enter("Sleep", std::to_string(milliseconds) + " ms", 0);
    m.clockMs += milliseconds; // time passes without the run waiting for it
}

BOOL WINAPI DefineDosDeviceA(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) {
    Machine& m = M();
    if (auto error = m.Enter("DefineDosDeviceA",
                             "flags=" + std::to_string(flags) + " " + Quote(deviceName) + " " +
                                 Quote(targetPath),
                             ERROR_ACCESS_DENIED))
        return Fail(*error, FALSE);
    if (m.setup.family != Family::NT)
        return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (!deviceName || !*deviceName)
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto& stack = m.dosDevices[Upper(deviceName)];
    if (flags & DDD_REMOVE_DEFINITION) {
        // Without an exact match, the newest definition goes; with one, the newest that matches.
        auto victim = stack.begin();
        if ((flags & DDD_EXACT_MATCH_ON_REMOVE) && targetPath) {
            while (victim != stack.end() && *victim != targetPath)
                ++victim;
        }
        if (victim == stack.end()) {
            if (stack.empty())
                m.dosDevices.erase(Upper(deviceName));
            return Fail(ERROR_FILE_NOT_FOUND, FALSE);
        }
        stack.erase(victim);
        if (stack.empty())
            m.dosDevices.erase(Upper(deviceName));
        return TRUE;
    }
    if (!targetPath) {
        if (stack.empty())
            m.dosDevices.erase(Upper(deviceName));
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    // A target that is not raw is a DOS path, kept in its object-namespace form.
    stack.insert(stack.begin(),
                 (flags & DDD_RAW_TARGET_PATH) ? targetPath : "\\??\\" + std::string(targetPath));
    return TRUE;
}

DWORD WINAPI QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max) {
    Machine& m = M();
    if (auto error = m.Enter("QueryDosDeviceA", Quote(deviceName) + " max " + std::to_string(max),
                             ERROR_ACCESS_DENIED))
        return Fail(*error, 0u);
    if (m.setup.family != Family::NT)
        return Fail(ERROR_CALL_NOT_IMPLEMENTED, 0u);
    if (!deviceName)
        return Fail(ERROR_INVALID_PARAMETER, 0u);
    auto it = m.dosDevices.find(Upper(deviceName));
    if (it == m.dosDevices.end() || it->second.empty())
        return Fail(ERROR_FILE_NOT_FOUND, 0u);
    // The current mapping, then the older ones, each zero-terminated, then one more zero.
    std::string list;
    for (const std::string& target : it->second) {
        list += target;
        list += '\0';
    }
    list += '\0';
    if (list.size() > max)
        return Fail(ERROR_INSUFFICIENT_BUFFER, 0u);
    // The list carries its own terminators.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(targetPath, list.data(), list.size());
    return static_cast<DWORD>(list.size());
}
