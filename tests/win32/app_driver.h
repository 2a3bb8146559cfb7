// Drives the utility's real main window from a test on the window's own thread: messages go
// through the utility's message loop, modal dialogs are handled from a timer that their own
// loop dispatches, and the window's pixels and the test's files are read back.
#pragma once

#include "display/canvas.h"

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Set when the loop below takes the quit message; the test clears it when it starts the window.
extern bool QuitTaken;

// Runs the utility's message loop (with its 1 ms sleep) for about milliseconds; false when it
// took the quit message.
bool PumpFor(int milliseconds);
// Runs the loop until done() holds or timeoutMs passes; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// Runs trigger and, once a dialog with the caption exists on this thread, calls act with it
// from inside the dialog's modal loop. act returns true when it ended the dialog itself;
// otherwise the dialog is cancelled after it. True when the dialog appeared.
bool WithDialog(std::string_view caption, const std::function<void()>& trigger,
                const std::function<bool(HWND)>& act, int timeoutMs = 5000);

// One WM_CHAR per character, as typing gives them.
void TypeText(HWND control, std::string_view text);
std::string ControlText(HWND control);
// Clicks a button by its own click message, so that it notifies its parent as a mouse would.
void ClickButton(HWND dialog, int id);

Colour WindowPixel(HWND window, int x, int y);
// The pixel of the main window's client area at a dial angle and radius (angles clockwise
// from straight down, about the dial's centre).
Colour DialPixel(HWND window, double angle, double radius);
// Pixels of the rectangle that have the colour.
int CountPixels(HWND window, int left, int top, int right, int bottom, Colour colour);

bool MenuItemGrayed(HWND window, int command);
// The system menu's Close, which also stands for the caption's close box.
bool CloseGrayed(HWND window);

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, std::string_view text);
std::vector<std::string> FileLines(const std::string& path);
// The value after "keyword " on the line of a settings file that starts with keyword.
std::string SettingOf(const std::string& fileText, std::string_view keyword);
// The Windows name of a Unix path, on the drive that Wine maps to the Unix root.
std::string DosPathOf(const std::string& unixPath);
