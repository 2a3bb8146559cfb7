// Drives the utility's real main window from a test on the window's own thread: messages go
// through the utility's message loop, and the window's controls, menus and the test's files are
// read back.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// Set when the loop below takes the quit message; the test clears it when it starts the window.
extern bool QuitTaken;
// Runs the utility's message loop (with its 1 ms sleep) until done() holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
inline void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

// One WM_CHAR per character, as typing gives them.
void TypeText(HWND control, std::string_view text);
std::string ControlText(HWND control);
// The child of the class whose top-left corner is at client point (x, y), or nullptr.
HWND ChildAt(HWND window, const char* className, int x, int y);
// Grayed(GetMenu(window), IDM_...), or GetSystemMenu and SC_CLOSE for the close box.
bool Grayed(HMENU menu, int command);
std::string ReadFileText(const std::string& path);
