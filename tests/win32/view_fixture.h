// The fixture of the main window's tests: the real utility started as WinMain starts it, a
// settings file in the temporary folder and the simulated unit on COM5 when a test asks for it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

// The settings that point the utility at the simulated unit, and at a port nobody links.
constexpr char VIEW_SETTINGS_UNIT[] = "[PORT] COM5\n[AUTOPORT] 0\n";
constexpr char VIEW_SETTINGS_NO_UNIT[] = "[PORT] COM9\n[AUTOPORT] 0\n";
constexpr int VIEW_WAIT_MS = 20000;

class ViewWin32 : public ::testing::Test {
  protected:
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    // Starts mq6-sim on COM5 with a request log (simLog, one frame a line), a dump of the tables
    // it deciphers (simTables; both Unix paths) and options.
    void StartUnit(const std::vector<std::string>& options = {});
    // Writes settings to the file (unless null) and starts the application.
    void StartWindow(const char* settings);
    void CloseApplication();
    bool WaitForUnitData();
    // A close request from another program, Alt+F4 and the system menu's Close, then the end of
    // the session; returns the window's answer to that.
    LRESULT AskToClose();

    std::string settingsFile, simLog, simTables;
    bool running = false;
    HWND window = nullptr;
};
