// The helpers of the Windows tests: the native simulated unit run under Wine with its
// pseudo-terminal linked as a COM port of the test's prefix, and the utility's real main window
// driven from a test on the window's own thread: messages go through the utility's message loop,
// and the window's controls, menus and the test's files are read back.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Starts mq6-sim with args on the prefix's port comName (lower case, "com5"); false when the
// environment lacks the simulator or the prefix (scripts/test sets them) or it did not come up.
bool StartWineSim(const std::string& comName, const std::vector<std::string>& args);
void StopWineSim();
std::string EnvText(const char* name);

// Set when the loop below takes the quit message; the test clears it when it starts the window.
extern bool QuitTaken;
// Runs the utility's message loop (with its 1 ms sleep) until done() holds or timeoutMs passes.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
std::string ControlText(HWND control);
// The child of the class whose top-left corner is at client point (x, y), or nullptr.
HWND ChildAt(HWND window, const char* className, int x, int y);
// Grayed(GetMenu(window), IDM_...), or GetSystemMenu and SC_CLOSE for the close box.
bool Grayed(HMENU menu, int command);
std::string ReadFileText(const std::string& path);

// The FTDI driver's entries for an adapter of the unit on COM7 at their real key paths, REG_SZ
// data stored with or without its terminator, and the driver's RetryResetCount at 150; returns
// the instance's key. RemoveRegistryUnit deletes them all: the smoke run that follows in the
// prefix must find the unit through its own entries.
std::string AddRegistryUnit(bool terminated);
void RemoveRegistryUnit();

// The utility's execution-state requests since the last take, "STATE " each in hex, with a "|"
// before each that comes from another thread than the one before it.
std::string TakeExecutionStateCalls();
