// The device ID update run.
#pragma once

#include <windows.h>

// Which family of Windows the run is on; set at the start of the run.
constexpr BYTE PlatformWin9x = 1;
constexpr BYTE PlatformNT = 2;
extern BYTE PlatformKind;

void UpdateDeviceID();
