// The main window: a status board the update run draws on.
#pragma once

#include <windows.h>

extern HINSTANCE AppInstance;
extern HWND MainWindow;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void ShowStatus(int y, const char* text);
void RefreshWindow();
