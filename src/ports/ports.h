// Parallel printer ports: naming, choosing, finding, opening and questioning them.
#pragma once

#include <windows.h>

#include "ports/model_key.h"

constexpr int PortCount = 3;
extern const char* const PortNames[PortCount];
constexpr int PortDigitIndex = 3; // "LPTn:" has its digit at index 3

// Check states of the port dialog's buttons for LPT1..LPT3 (BST_CHECKED or BST_UNCHECKED).
extern int PortChoice[PortCount];

// The device ID query returns at most DeviceIdMax bytes; the reply keeps room for a terminator.
constexpr DWORD DeviceIdMax = 512;
using DeviceIdReply = char[DeviceIdMax + 1];
constexpr DWORD IoctlGetDeviceId = 17;

INT_PTR CALLBACK PortDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int CheckDeviceID();
void SetPortAlias(BOOL define, const char* portName);
HANDLE OpenPort(const char* portName, DWORD desiredAccess, DWORD shareMode,
                LPSECURITY_ATTRIBUTES security, DWORD creation, DWORD flags, HANDLE templateFile);
DWORD QueryDeviceId(HANDLE port, DeviceIdReply& reply);
