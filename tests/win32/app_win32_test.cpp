// The utility's main window under Wine, started the way WinMain starts it, with the simulated
// unit behind a COM port of the test's prefix, and driven by messages through its own loop: the
// start state, view switches and the frames they send, the live needle in the window, the window
// position kept across starts, the key filter of the Wide Band Setup fields, Set and Read, and a
// whole firmware update, each write with the window locked while it runs.
#include "app/input_filter.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "display/canvas.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "firmware/firmware_paint.h"
#include "firmware/programming.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "wbsetup/setup_transfer.h"
#include "win32/wine_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <fstream>
#include <mutex>

namespace {

// Request frames as the simulated unit logs them.
constexpr char STREAM_ON[] = "52 00 08 00 00 00 00 00 00 00 00 00 00 5A";
constexpr char STREAM_OFF[] = "52 00 00 00 00 00 00 00 00 00 00 00 00 52";
constexpr int MENU[] = {IDM_FIND_UNIT, IDM_COMM_SETUP, IDM_PREFERENCES,     IDM_EXIT,
                        IDM_WB_SETUP,  IDM_AFR_LAMBDA, IDM_FIRMWARE_UPDATE, IDM_ABOUT};

// The settings that point the utility at the simulated unit, and at a port nobody links.
constexpr char VIEW_SETTINGS_UNIT[] = "[PORT] COM5\n[AUTOPORT] 0\n";
constexpr char VIEW_SETTINGS_NO_UNIT[] = "[PORT] COM9\n[AUTOPORT] 0\n";
constexpr int VIEW_WAIT_MS = 20000;

// The real utility started as WinMain starts it, a settings file in the temporary folder and the
// simulated unit on COM5 when a test asks for it.
class MainWindowWin32 : public ::testing::Test {
  protected:
    static void TearDownTestSuite() {
        StopTimerTick();
    }
    void SetUp() override {
        ResetSettings();
        ResetLinkState();
        ResetLiveState();
        ClearRecordedNotices();
        static int serial = 0;
        std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
        settingsFile = EnvText("TEMP") + "\\mq6-view-" + tag + ".cfg";
        std::strcpy(ConfigPath.data(), settingsFile.c_str());
        simLog = EnvText("MQ6_WINE_ROOT") + "/view-sim-" + tag + ".log";
    }
    void TearDown() override {
        PumpUntil([] { return SetupWriteRunning.load() == 0; }, VIEW_WAIT_MS);
        CloseApplication();
        StopWineSim();
        DeleteFileA(settingsFile.c_str());
        DeleteFileA(DosPathOf(simLog).c_str());
    }
    // Starts mq6-sim on COM5 with a request log (simLog, a Unix path, one frame a line) and
    // options.
    void StartUnit(std::vector<std::string> options) {
        options.insert(options.end(), {"--log", simLog});
        ASSERT_TRUE(StartWineSim("com5", options))
            << "MQ6_SIM_UNIX_PATH, MQ6_WINE_ROOT, WINEPREFIX";
    }
    // Writes settings to the file (unless null) and starts the application.
    void StartWindow(const char* settings) {
        if (settings != nullptr)
            std::ofstream(settingsFile, std::ios::binary) << settings;
        QuitTaken = false;
        ASSERT_EQ(StartApplication(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 1);
        running = true;
        window = MainWindow;
    }
    void CloseApplication() {
        if (!running)
            return;
        if (IsWindow(window))
            DestroyWindow(window);
        EXPECT_TRUE(PumpUntil([] { return QuitTaken; }, VIEW_WAIT_MS)) << "no quit message";
        FinishApplication();
        running = false;
    }
    bool WaitForUnitData() {
        return PumpUntil([] { return PortStatus.load() == 1 && DeviceDataValid.load() == 1; },
                         VIEW_WAIT_MS);
    }
    // A close request from another program, Alt+F4 and the system menu's Close, then the end of
    // the session; returns the window's answer to that.
    LRESULT AskToClose() {
        constexpr LPARAM ALT_F4 = 0x203E0001; // scan code 0x3E, repeat 1, Alt held
        PostMessageA(window, WM_CLOSE, 0, 0);
        PostMessageA(window, WM_SYSKEYDOWN, VK_F4, ALT_F4);
        PostMessageA(window, WM_SYSKEYUP, VK_F4, ALT_F4 | static_cast<LPARAM>(0xC0000000));
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
    }
    // The menu's items as "text" or "text (gray)", in menu order.
    std::string MenuState() const {
        std::string items;
        for (int command : MENU) {
            char text[64] = {};
            GetMenuStringA(GetMenu(window), command, text, sizeof text, MF_BYCOMMAND);
            items += std::string(text) + (Grayed(GetMenu(window), command) ? " (gray)|" : "|");
        }
        return items;
    }
    std::string Log() const {
        return ReadFileText(DosPathOf(simLog));
    }
    bool Sent(const char* frame, size_t from = 0) const {
        return Log().find(frame, from) != std::string::npos;
    }
    // The Wide Band Setup view's rows 0 to 3: channel A's volts, AFR, volts, AFR; 4 to 7 channel
    // B's (its linear layout).
    HWND Field(int row) const {
        return ChildAt(window, "Edit", (row % 2 ? 280 : 44) + row / 4 * 395,
                       364 + row / 2 % 2 * 26);
    }
    // Tab down and up as the keyboard sends it; the filter posts its next-control message.
    void Tab(HWND control) {
        SendMessageA(control, WM_KEYDOWN, VK_TAB, 1);
        SendMessageA(control, WM_KEYUP, VK_TAB, 0xC0000001);
        PumpFor(30);
    }
    void Click(int x, int y) {
        SendMessageA(ChildAt(window, "Button", x, y), BM_CLICK, 0, 0);
    }

    std::string settingsFile, simLog;
    bool running = false;
    HWND window = nullptr;
};

TEST_F(MainWindowWin32, StartsInWideBandSetupReadsTheUnitAndSwitchesViewsWithTheStream) {
    StartUnit({"--profile", "step:0.90:1.10:4"});
    StartWindow(VIEW_SETTINGS_UNIT);
    EXPECT_EQ(MenuState(),
              "Find &MQ-6|&Comm Setup...|Pre&ferences...|E&xit|&WB Setup (gray)|&Afr && "
              "Lambda|&Firmware Update|&About ...|");
    ASSERT_TRUE(WaitForUnitData());

    // The live view starts the stream without a reconnect; the display thread draws the needle
    // while it holds the exchange lock, so holding it freezes a picture.
    size_t before = Log().size();
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    EXPECT_TRUE(PumpUntil([&] { return Sent(STREAM_ON, before); }, VIEW_WAIT_MS));
    EXPECT_EQ(PortRequestPending.load(), 0);
    // The dial's centre is (396, 250); lambda 1.00 points straight up, 0.01 turns the needle by
    // 4.25 degrees: 0.90 at 42.5 degrees left of straight up, 1.10 as far right. Points at radius
    // 20 and 130 along each: (396 -/+ r sin 42.5, 250 - r cos 42.5), rounded.
    const struct {
        int lambdaX100;
        POINT needle[2], erased[2];
    } needles[] = {{90, {{382, 235}, {308, 154}}, {{410, 235}, {484, 154}}},
                   {110, {{410, 235}, {484, 154}}, {{382, 235}, {308, 154}}}};
    std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::defer_lock);
    for (const auto& needle : needles) {
        ASSERT_TRUE(PumpUntil(
            [&] {
                hold.lock();
                if (LambdaX100.load() == needle.lambdaX100)
                    return true;
                hold.unlock();
                return false;
            },
            VIEW_WAIT_MS));
        HDC dc = GetDC(window);
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(GetPixel(dc, needle.needle[i].x, needle.needle[i].y), Rgb(210, 20, 10)) << i;
            EXPECT_EQ(GetPixel(dc, needle.erased[i].x, needle.erased[i].y), Rgb(235, 235, 235))
                << i;
        }
        ReleaseDC(window, dc);
        hold.unlock();
    }
    // Leaving it stops the stream.
    before = Log().size();
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    EXPECT_TRUE(PumpUntil([&] { return Sent(STREAM_OFF, before); }, VIEW_WAIT_MS));
}

TEST_F(MainWindowWin32, ClosingStoresThePositionUnlessMinimized) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    SetWindowPos(window, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    CloseApplication();
    ResetSettings();
    StartWindow(nullptr);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(std::to_string(frame.left) + "," + std::to_string(frame.top), "100,50");
    ShowWindow(window, SW_MINIMIZE);
    PumpFor(100);
    SendMessageA(window, WM_CLOSE, 0, 0);
    CloseApplication();
    EXPECT_NE(ReadFileText(settingsFile).find("[XPOSHWND] 100\r\n[YPOSHWND] 50\r\n"),
              std::string::npos)
        << "closed minimized: the icon's rectangle is not stored";
}

TEST_F(MainWindowWin32, SetWritesWithTheWindowLockedAndReadBringsTheValuesBack) {
    StartUnit({"--baud", "57600"}); // paced at the line's speed: the write can be watched
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    // An AFR of 250 in a five-character field: a beep for the letter and one for the value, which
    // keeps the focus.
    int32_t beeps = RefusedInputBeeps();
    SetFocus(Field(1));
    SetWindowTextA(Field(1), "");
    for (char typed : {'a', '2', '5', '0'}) // one WM_CHAR a key, as typing gives them
        SendMessageA(Field(1), WM_CHAR, typed, 1);
    Tab(Field(1));
    EXPECT_EQ(ControlText(Field(1)), "210.0");
    EXPECT_EQ(RefusedInputBeeps() - beeps, 2);
    EXPECT_EQ(GetFocus(), Field(1));
    Click(713, 424); // WB: channel B's four fields
    const char* typed[][2] = {{"0.5", "0.5"}, {"11", "11.00"}, {"4.5", "4.5"}, {"18", "18.00"},
                              {"5", "5.0"},   {"20", "20.00"}, {"0", "0.0"},   {"10", "10.00"}};
    for (int row = 0; row < 8; ++row) {
        SetWindowTextA(Field(row), typed[row][0]);
        SetFocus(Field(row));
        Tab(Field(row));
    }
    beeps = RefusedInputBeeps();
    Click(620, 496); // Set MQ-6
    HWND bar = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            bar = ChildAt(window, "msctls_progress32", 8, 476);
            return bar != nullptr && SendMessageA(bar, PBM_GETPOS, 0, 0) > 10;
        },
        VIEW_WAIT_MS));
    EXPECT_EQ(AskToClose(), FALSE) << "no close request ends the program under the write";
    EXPECT_TRUE(Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                Grayed(GetMenu(window), IDM_EXIT) && !IsWindowEnabled(Field(7)));
    ASSERT_TRUE(PumpUntil([] { return SetupWriteRunning.load() == 0; }, VIEW_WAIT_MS));
    EXPECT_GE(RefusedInputBeeps() - beeps, 2) << "each close request refused with a beep";
    EXPECT_TRUE(IsWindow(window) && !Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                IsWindowEnabled(Field(7)));
    // What the unit took from the write comes back over the defaults.
    Click(480, 496); // Set Defaults
    Click(340, 496); // Read MQ-6
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(ControlText(Field(row)), typed[row][1]) << "row " << row;
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(MainWindowWin32, FirmwareUpdateRunsItsPhasesWithTheWindowLockedAndEndsWithTheMatch) {
    ResetFirmwareView();
    StartUnit({"--version", "1.00", "--baud", "57600"}); // paced: the phases can be watched
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    HWND button = ChildAt(window, "Button", 300, 420),
         bar = ChildAt(window, "msctls_progress32", 20, 500);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    bool started = false, locked = true;
    LRESULT endSession = TRUE;
    SendMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil(
        [&] {
            int32_t phase = ProgramPhase.load();
            started = started || phase != PHASE_NONE;
            if (phase != PHASE_NONE)
                locked = locked && !IsWindowEnabled(button) &&
                         Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                         Grayed(GetMenu(window), IDM_COMM_SETUP);
            if (phase == PHASE_PROGRAMMING && endSession == TRUE)
                endSession = AskToClose();
            return started && phase == PHASE_NONE;
        },
        60000));
    EXPECT_TRUE(locked) << "no second update, no close, no port change while one runs";
    EXPECT_EQ(endSession, FALSE);
    // The unit restarts with the carried firmware; the reread finds the versions match.
    EXPECT_TRUE(PumpUntil(
        [&] {
            return !Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) && UpdateAllowed.load() == 0;
        },
        VIEW_WAIT_MS));
    PumpFor(300);
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(CountNotices(), 0u);
}

} // namespace
