// A fixture for the tests of the main window's views: the real utility started as WinMain
// starts it, a settings file in a temporary directory, the simulated unit on COM5 when a test
// asks for it, and helpers that find the views' id-less controls and save the window's picture.
#pragma once

#include "win32/wine_sim.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
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

    // Starts mq6-sim on COM5 with a request log and a table dump, and options.
    void StartUnit(const std::vector<std::string>& options = {});
    void StartWindow(const std::string& settings);
    void CloseApplication();
    bool WaitForUnitData();
    std::vector<std::string> UnitRequests() const;
    // The two deciphered tables the unit dumped after its last setup write (empty before).
    std::vector<uint8_t> DumpedTables() const;

    // The main window's children in creation (and Tab) order.
    std::vector<HWND> Children() const;
    // The child of the class whose window text is text, or nullptr.
    HWND ChildWithText(const char* className, const char* text) const;
    // The child of the class whose top-left corner is at client point (x, y), or nullptr.
    HWND ChildAt(const char* className, int x, int y) const;
    RECT ClientRectOf(HWND child) const;
    // Sends a key down and up to control as the keyboard would, with Shift held or not.
    void PressKey(HWND control, int key, bool shift = false);
    // Sends a click to a button.
    void Click(HWND button);
    // Every way of asking the window to close: a close request from another program, Alt+F4
    // as keys, the system menu's Close and the end of the session. Returns the window's answer
    // to the end of the session; the posted requests are handled by the next passes.
    LRESULT AskToClose();
    // The whole window, frame and menu included, as a 24-bit BMP in MQ6_ARTIFACTS (or the
    // working directory); returns the path written.
    std::string SaveWindowPicture(const char* name) const;

    std::filesystem::path dir;
    std::string settingsFile;
    std::string simLog;
    std::string simTables;
    WineSim sim;
    bool running = false;
    HWND window = nullptr;
};
