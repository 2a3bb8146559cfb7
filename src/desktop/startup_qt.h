// Start-up of the desktop program, in the Windows utility's order: shared state, fonts, the
// settings, the main window, port discovery, the display and comm threads, the 100 ms tick and
// the first reconnect; and what the program's arguments ask for once the window is up.
#pragma once

#include <string>

class MainWindowQt;

struct DesktopArguments {
    std::string port;          // --port PATH: this port and no search, as mq6 takes it
    std::string record;        // --record FILE
    std::string openRecording; // --open-recording FILE
};

// After the application object: the window shown and the threads running, or nullptr after the
// box that says why not.
MainWindowQt* StartDesktop(const DesktopArguments& arguments);
// --record and --open-recording, as the Windows utility takes them.
void ApplyDesktopArguments(const DesktopArguments& arguments);
// After the event loop: ends the display and comm threads and the tick.
void FinishDesktop();
