// Which family of Windows the program runs on: the update run sets it at its start, the port
// functions read it.
#pragma once

#include <windows.h>

constexpr BYTE PlatformWin9x = 1;
constexpr BYTE PlatformNT = 2;
extern BYTE PlatformKind;
