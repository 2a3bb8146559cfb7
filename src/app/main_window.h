// The main window: the program's one top-level window, 800 by 600 pixels and never resized,
// with its menu, the status line and one of three views in its client area. Other threads draw
// into it and the dialogs and message boxes use it as their owner.
#pragma once

#include "app/shell_win32.h"

#include <windows.h>

#include <array>

// The window title and class name, loaded from the string table at start-up.
constexpr int RESOURCE_TEXT_SIZE = 101;
extern std::array<char, RESOURCE_TEXT_SIZE> WindowTitle;
extern std::array<char, RESOURCE_TEXT_SIZE> WindowClassName;

// Creates, places and shows the main window and selects its first view, Wide Band Setup.
// Returns 1, or 0 when the window cannot be created.
int CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives the focus to the next (backwards 0) or previous tab stop among the main window's
// children. Returns 0.
int MoveTabFocus(int backwards);
