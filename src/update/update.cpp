// The device ID update run: choose the port, send the record, report the outcome.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app.h"
#include "ports/ports.h"
#include "res/resource.h"
#include "update/record.h"
#include "update/texts.h"
#include "update/update.h"

BYTE PlatformKind = PlatformWin9x;

namespace {

constexpr DWORD SpoolerSettleMs = 1000;
constexpr DWORD WriteTimeoutMs = 10000;

struct UpdateState {
    char portName[8];
    int failed;
    char statusText[80];
    OSVERSIONINFOA versionInfo;
    COMMTIMEOUTS timeouts;
    unsigned char sendBuffer[512];
    DeviceIdReply reply;
    DWORD bytesWritten;
    DWORD bytesReturned;
};

void RestartSpooler() {
    std::system(CommandStartSpooler);
    std::system(CommandDeleteScratch);
    RefreshWindow();
}

void ChoosePortNT(UpdateState& state) {
    ShowStatus(StatusOsY, StatusOsNT);
    ShowStatus(StatusChoiceY, StatusDialogSelected);
    RefreshWindow();
    // A dialog that could not be shown leaves PortChoice at its starting value, which is no
    // choice of the user's; nor is a dialog that ends with no port checked.
    if (DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PORTDIALOG), MainWindow, PortDlgProc,
                        0) != -1) {
        for (int i = 0; i < PortCount; ++i) {
            if (PortChoice[i] == BST_CHECKED) {
                std::snprintf(state.statusText, sizeof state.statusText, StatusSelectedFormat,
                              PortNames[i]);
                ShowStatus(StatusPortY, state.statusText);
                std::snprintf(state.portName, sizeof state.portName, "%s", PortNames[i]);
                RefreshWindow();
                return;
            }
        }
    }
    MessageBoxA(NULL, MessageNoPortChosen, CaptionError, MB_OK);
    state.failed = 1;
}

void ChoosePort9X(UpdateState& state) {
    ShowStatus(StatusOsY, StatusOs9X);
    const int found = CheckDeviceID();
    std::snprintf(state.statusText, sizeof state.statusText, StatusSearchFormat, found);
    ShowStatus(StatusChoiceY, state.statusText);
    RefreshWindow();
    if (found < 0 || found >= PortCount) {
        MessageBoxA(NULL, MessageNoPrinter, CaptionError, MB_OK);
        state.failed = 1;
        return;
    }
    std::snprintf(state.statusText, sizeof state.statusText, StatusFoundFormat, PortNames[found]);
    ShowStatus(StatusPortY, state.statusText);
    RefreshWindow();
    std::snprintf(state.portName, sizeof state.portName, "%s", PortNames[found]);
}

// Shows the failure's status line and message box after undoing what the run had done.
void ReportFailure(UpdateState& state, HANDLE port, int statusY, const char* statusFormat,
                   DWORD error, const char* messageFormat) {
    std::snprintf(state.statusText, sizeof state.statusText, statusFormat, static_cast<int>(error),
                  state.portName);
    ShowStatus(statusY, state.statusText);
    RefreshWindow();
    if (port != INVALID_HANDLE_VALUE)
        CloseHandle(port);
    if (PlatformKind == PlatformNT)
        RestartSpooler();
    std::snprintf(state.statusText, sizeof state.statusText, messageFormat, state.portName);
    MessageBoxA(NULL, state.statusText, CaptionError, MB_OK);
    state.failed = 1;
}

} // namespace

void UpdateDeviceID() {
    UpdateState state = {};
    state.failed = 0;

    PlatformKind = PlatformWin9x;
    state.versionInfo.dwOSVersionInfoSize = sizeof state.versionInfo;
    if (GetVersionExA(&state.versionInfo) &&
        state.versionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT)
        PlatformKind = PlatformNT;

    if (PlatformKind == PlatformNT)
        ChoosePortNT(state);
    else
        ChoosePort9X(state);

    HANDLE port = INVALID_HANDLE_VALUE;
    if (!state.failed) {
        if (PlatformKind == PlatformNT) {
            // The spooler holds the parallel ports while it runs.
            std::system(CommandStopSpooler);
            RefreshWindow();
            Sleep(SpoolerSettleMs);
        }
        SetPortAlias(FALSE, state.portName);
        SetPortAlias(TRUE, state.portName);
        port = OpenPort(state.portName, GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, NULL);
        if (port == INVALID_HANDLE_VALUE)
            ReportFailure(state, port, StatusOpenErrorY, StatusOpenErrorFormat, GetLastError(),
                          MessageOpenFailedFormat);
    }

    if (!state.failed) {
        state.timeouts.WriteTotalTimeoutMultiplier = 0;
        state.timeouts.WriteTotalTimeoutConstant = WriteTimeoutMs;
        SetCommTimeouts(port, &state.timeouts);
        std::memcpy(state.sendBuffer, DeviceIdRecord.data(), RecordSize);
        const BOOL written =
            WriteFile(port, state.sendBuffer, RecordSize, &state.bytesWritten, NULL);
        // A write cut short (by the total time-out) did not deliver the record either; the
        // platform gives no error code for it.
        if (!written || state.bytesWritten != RecordSize)
            ReportFailure(state, port, StatusWriteErrorY, StatusWriteErrorFormat,
                          written ? ERROR_TIMEOUT : GetLastError(), MessageWriteFailedFormat);
    }

    if (!state.failed) {
        if (PlatformKind == PlatformNT) {
            CloseHandle(port);
            RestartSpooler();
            MessageBoxA(NULL, MessageUpdated, CaptionSuccessNT, MB_OK);
        } else {
            std::memcpy(state.sendBuffer, ExpectedIdText.data(), ExpectedIdText.size());
            state.bytesReturned = QueryDeviceId(port, state.reply);
            CloseHandle(port);
            RefreshWindow();
            if (std::strcmp(state.reply, reinterpret_cast<const char*>(state.sendBuffer)) == 0)
                MessageBoxA(NULL, MessageUpdated, CaptionSuccess9X, MB_OK);
            else
                MessageBoxA(NULL, MessageNotVerified, CaptionError, MB_OK);
        }
    }
}
