// Start-up and the main thread's message loop of the Windows utility. WinMain runs the steps in
// order; the tests run the same steps around a window that they drive themselves.
#pragma once

#include <windows.h>

#include <string_view>

// The configuration file's path: beside the executable.
void BuildModuleConfigPath();

// Everything from the shared state to the first reconnect request and the accelerator table:
// fonts, spokes, window class, settings, the main window, common controls, port discovery, the
// display and comm threads and the 100 ms tick. Returns 1, or 0 when start-up failed (a failed
// thread start has then been reported).
int StartApplication(HINSTANCE instance, int showCommand);

// The arguments after the program's name: "--record FILE" (FILE may be quoted) starts
// recording to FILE, "--open-recording FILE" shows FILE in the Recording view; anything else is
// ignored, as before.
void ApplyStartArguments(std::string_view arguments);

// One pass of the message loop without its wait: takes at most one message. Returns 1 with
// the exit code when it took the quit message, else 0.
int MessageLoopPass(int* exitCode);
// Passes until the quit message, waiting for the next message when the queue is empty;
// returns the quit message's exit code.
int RunMessageLoop();

// After the loop: ends the display and comm threads and detaches the drawing from the window.
void FinishApplication();

// The multimedia timer's callback: one tick of TickCount.
void CALLBACK TimerTick(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR unused1,
                        DWORD_PTR unused2);
// Cancels the tick timer. The utility keeps it until the process ends; tests that start the
// application share the process with tests that count ticks of their own.
void StopTimerTick();
