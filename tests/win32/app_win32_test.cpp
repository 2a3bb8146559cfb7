// The utility's main window under Wine, started the way WinMain starts it, with the simulated
// unit behind a COM port of the test's prefix, and driven by messages: the start state, view
// switches and the frames they send, live drawing, the digit filter, the accelerators, the
// close sequence, the menu lock, and the Preferences and Comm Port Setup dialogs.
#include "app/input_filter.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/status_line.h"
#include "link/link.h"
#include "mq6_version.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"
#include "win32/wine_sim.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr Colour FACE = Rgb(235, 235, 235);
constexpr Colour NEEDLE = Rgb(210, 20, 10);
constexpr Colour INK = Rgb(32, 32, 32);
constexpr Colour STATUS_BACK = Rgb(40, 40, 240);

constexpr char UNIT_PORT[] = "COM5";
// A port that no test links: opening it fails and the comm thread keeps retrying.
constexpr char SETTINGS_NO_UNIT[] = "[PORT] COM9\n[AUTOPORT] 0\n";
constexpr char SETTINGS_UNIT[] = "[PORT] COM5\n[AUTOPORT] 0\n";

// Request frames as the simulated unit logs them.
const std::string STREAM_ON = "52 00 08 00 00 00 00 00 00 00 00 00 00 5A";
const std::string STREAM_OFF = "52 00 00 00 00 00 00 00 00 00 00 00 00 52";
const std::string READ_DATA_BLOCK = "52 07 20 20 20 20 20 20 20 20 20 20 01 99";

constexpr int LONG_WAIT_MS = 20000;

struct MenuCommand {
    int command;
    const char* text;
};
constexpr std::array<MenuCommand, 8> MenuCommands = {{
    {IDM_FIND_UNIT, "Find &MQ-6"},
    {IDM_COMM_SETUP, "&Comm Setup..."},
    {IDM_PREFERENCES, "Pre&ferences..."},
    {IDM_EXIT, "E&xit"},
    {IDM_WB_SETUP, "&WB Setup"},
    {IDM_AFR_LAMBDA, "&Afr && Lambda"},
    {IDM_FIRMWARE_UPDATE, "&Firmware Update"},
    {IDM_ABOUT, "&About ..."},
}};

// Marks Alt as held in this thread's key state, as the keyboard would while Alt is down: the
// accelerator table looks at the key state, which posted messages do not change.
void HoldAlt(bool held) {
    std::array<BYTE, 256> keys{};
    GetKeyboardState(keys.data());
    for (int key : {VK_MENU, VK_LMENU})
        keys[key] = held ? 0x80 : 0;
    SetKeyboardState(keys.data());
}

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

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
        ++serial;
        std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial);
        dir = fs::temp_directory_path() / ("mq6-app-" + tag);
        fs::create_directories(dir);
        settingsFile = (dir / "MQ-6_Setup.cfg").string();
        ASSERT_LT(settingsFile.size(), ConfigPath.size());
        ConfigPath.fill('\0');
        std::memcpy(ConfigPath.data(), settingsFile.data(), settingsFile.size());
        simLog = EnvText("MQ6_WINE_ROOT") + "/app-sim-" + tag + ".log";
    }

    void TearDown() override {
        CloseApplication();
        StopWineSim(sim);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        DeleteFileA(DosPathOf(simLog).c_str());
        ResetSettings();
        ResetLinkState();
        ResetLiveState();
    }

    void StartUnit(const std::vector<std::string>& options = {}) {
        std::vector<std::string> args = {"--log", simLog};
        args.insert(args.end(), options.begin(), options.end());
        std::string why;
        ASSERT_TRUE(StartWineSim(sim, UNIT_PORT, args, why)) << why;
    }

    // Start-up as WinMain runs it, with the settings file holding settings.
    void StartWindow(const std::string& settings) {
        WriteFileText(settingsFile, settings);
        StartWindow();
    }
    void StartWindow() {
        QuitTaken = false;
        ASSERT_EQ(StartApplication(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 1);
        running = true;
        window = MainWindow;
    }

    // Destroys the window if it still exists, takes the quit message and ends the threads.
    void CloseApplication() {
        if (!running)
            return;
        if (IsWindow(window))
            DestroyWindow(window);
        PumpUntil([] { return QuitTaken; }, LONG_WAIT_MS);
        EXPECT_TRUE(QuitTaken) << "the close sequence posts the quit message";
        FinishApplication();
        running = false;
    }

    bool WaitForUnitData() {
        return PumpUntil([] { return PortStatus.load() == 1 && DeviceDataValid.load() == 1; },
                         LONG_WAIT_MS);
    }

    std::vector<std::string> UnitRequests() const {
        return FileLines(DosPathOf(simLog));
    }
    // Whether the unit received frame as one of its requests from index from on.
    bool UnitReceived(const std::string& frame, size_t from = 0) const {
        std::vector<std::string> requests = UnitRequests();
        for (size_t i = from; i < requests.size(); i++)
            if (requests[i] == frame)
                return true;
        return false;
    }

    std::string Settings() const {
        return ReadFileText(settingsFile);
    }

    std::vector<int> GrayedCommands() const {
        std::vector<int> grayed;
        for (const MenuCommand& item : MenuCommands)
            if (MenuItemGrayed(window, item.command))
                grayed.push_back(item.command);
        return grayed;
    }

    Colour StatusLinePixel() const {
        return WindowPixel(window, 2, ClientHeight - LineHeight + 1);
    }

    fs::path dir;
    std::string settingsFile;
    std::string simLog;
    WineSim sim;
    bool running = false;
    HWND window = nullptr;
};

TEST_F(MainWindowWin32, StartsInWideBandSetupAndAsksForThePort) {
    StartUnit();
    StartWindow(SETTINGS_UNIT);
    // Taken at once: the comm thread waits 125 ms before it opens the port.
    int32_t statusAtStart = PortStatus.load();
    int32_t requestAtStart = PortRequestPending.load();

    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    EXPECT_STREQ(text, "MQ-6 WB Utility");
    GetClassNameA(window, text, sizeof text);
    EXPECT_STREQ(text, "MQ6");
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.right - frame.left, 800);
    EXPECT_EQ(frame.bottom - frame.top, 600);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_NE(style & WS_SYSMENU, 0);
    EXPECT_NE(style & WS_MINIMIZEBOX, 0);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);

    // The first view is Wide Band Setup, and only its own command is gray.
    EXPECT_EQ(ViewMode.load(), VIEW_WB_SETUP);
    EXPECT_EQ(GrayedCommands(), std::vector<int>{IDM_WB_SETUP});
    for (const MenuCommand& item : MenuCommands) {
        GetMenuStringA(GetMenu(window), item.command, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, item.text);
    }

    // The indicator starts closed, so a reopen has been asked for and the settings were saved
    // whole; the comm thread then opens the unit's port and the data block is read.
    EXPECT_EQ(statusAtStart, 0);
    EXPECT_EQ(requestAtStart, 1);
    EXPECT_EQ(SettingOf(Settings(), "[LAMBFILT]"), "50");
    EXPECT_EQ(SettingOf(Settings(), "[PORT]"), "COM5");
    ASSERT_TRUE(WaitForUnitData());
    EXPECT_TRUE(UnitReceived(READ_DATA_BLOCK));
    EXPECT_TRUE(UnitReceived(STREAM_OFF)) << "the data-block read stops the stream first";
    EXPECT_FALSE(UnitReceived(STREAM_ON)) << "the setup view never starts the stream";

    // The status line along the bottom.
    PumpFor(100);
    EXPECT_EQ(StatusLinePixel(), STATUS_BACK);
}

TEST_F(MainWindowWin32, ViewSwitchesDriveTheStreamAndTheLiveView) {
    StartUnit({"--profile", "step:0.90:1.10:4"});
    StartWindow(SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    PumpFor(100);

    size_t before = UnitRequests().size();
    DeleteFileA(settingsFile.c_str());
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    EXPECT_EQ(ViewMode.load(), VIEW_AFR_LAMBDA);
    EXPECT_EQ(GrayedCommands(), std::vector<int>{IDM_AFR_LAMBDA});
    EXPECT_TRUE(PumpUntil([&] { return UnitReceived(STREAM_ON, before); }, LONG_WAIT_MS));
    // The port was open: the switch neither marked it closed nor asked for a reopen.
    EXPECT_EQ(PortStatus.load(), 1);
    EXPECT_EQ(PortRequestPending.load(), 0);
    EXPECT_EQ(GetFileAttributesA(settingsFile.c_str()), INVALID_FILE_ATTRIBUTES)
        << "no reconnect, so nothing saved";

    // Live frames move the values, the needle and the digits. The display thread decodes and
    // draws while it holds the exchange lock, so holding it freezes a finished picture.
    std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::defer_lock);
    auto holdAt = [&](int lambdaX100, int afrX10) {
        return PumpUntil(
            [&] {
                hold.lock();
                if (LambdaX100.load() == lambdaX100 && AfrX10.load() == afrX10)
                    return true;
                hold.unlock();
                return false;
            },
            LONG_WAIT_MS);
    };

    ASSERT_TRUE(holdAt(90, 132)); // 0.90 x 14.7
    for (int radius = 20; radius <= 130; radius += 10)
        EXPECT_EQ(DialPixel(window, 137.5, radius), NEEDLE) << "needle at 0.90, radius " << radius;
    EXPECT_EQ(WindowPixel(window, 484, 452), INK) << "lambda digit 0";
    EXPECT_EQ(WindowPixel(window, 164, 452), BackColour) << "AFR digit 3";
    EXPECT_EQ(StatusLinePixel(), STATUS_BACK);
    hold.unlock();

    ASSERT_TRUE(holdAt(110, 162)); // 1.10 x 14.7
    for (int radius = 20; radius <= 130; radius += 10) {
        EXPECT_EQ(DialPixel(window, 222.5, radius), NEEDLE) << "needle at 1.10, radius " << radius;
        EXPECT_EQ(DialPixel(window, 137.5, radius), FACE) << "old needle, radius " << radius;
    }
    EXPECT_EQ(WindowPixel(window, 484, 452), BackColour) << "lambda digit 1";
    EXPECT_EQ(WindowPixel(window, 508, 452), INK) << "lambda digit 1";
    EXPECT_EQ(WindowPixel(window, 164, 452), INK) << "AFR digit 6";
    EXPECT_GT(CountPixels(window, 720, 20, 761, 61, TextColour), 0) << "activity mark turned";
    hold.unlock();

    // Leaving the live view stops the stream; the firmware view grays only its command.
    before = UnitRequests().size();
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    EXPECT_EQ(ViewMode.load(), VIEW_FIRMWARE_UPDATE);
    EXPECT_EQ(GrayedCommands(), std::vector<int>{IDM_FIRMWARE_UPDATE});
    EXPECT_TRUE(PumpUntil([&] { return UnitReceived(STREAM_OFF, before); }, LONG_WAIT_MS));
    PumpFor(100);
    EXPECT_EQ(StatusLinePixel(), STATUS_BACK);

    // Choosing the shown view again changes nothing on the unit's side.
    before = UnitRequests().size();
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    SendMessageA(window, WM_COMMAND, IDM_WB_SETUP, 0);
    EXPECT_EQ(GrayedCommands(), std::vector<int>{IDM_WB_SETUP});
    PumpFor(300);
    EXPECT_EQ(UnitRequests().size(), before);
}

TEST_F(MainWindowWin32, ClosedPortIsReopenedBySwitchAndFind) {
    StartWindow(SETTINGS_NO_UNIT);
    // COM9 cannot be opened: the indicator stays closed, so a switch reconnects.
    PumpFor(300);
    ASSERT_EQ(PortStatus.load(), 0);
    DeleteFileA(settingsFile.c_str());
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    EXPECT_EQ(SettingOf(Settings(), "[PORT]"), "COM9") << "the reconnect saved the settings";

    // Find switches automatic search on and reconnects, saving that too.
    SendMessageA(window, WM_COMMAND, IDM_FIND_UNIT, 0);
    EXPECT_EQ(AutoPort.load(), 1);
    EXPECT_EQ(SettingOf(Settings(), "[AUTOPORT]"), "1");
    EXPECT_EQ(PortRequestPending.load(), 1);
}

TEST_F(MainWindowWin32, DigitFilterKeepsDigitsAndOnePoint) {
    StartWindow(SETTINGS_NO_UNIT);
    // Two fields of the kind the setup view has: edit children of the main window.
    HWND fields[2];
    for (int i = 0; i < 2; i++)
        fields[i] = CreateWindowExA(
            WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
            20 + 100 * i, 100, 80, 22, window, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(fields[0], nullptr);
    ASSERT_NE(fields[1], nullptr);

    int32_t beeps = RefusedInputBeeps();
    TypeText(fields[0], "1a2.3.4");
    EXPECT_EQ(ControlText(fields[0]), "12.34");
    EXPECT_EQ(RefusedInputBeeps() - beeps, 2);

    // Text that arrives at once loses each bad character, with a beep for each.
    beeps = RefusedInputBeeps();
    SetWindowTextA(fields[1], "1a.b2.");
    EXPECT_EQ(ControlText(fields[1]), "1.2");
    EXPECT_EQ(RefusedInputBeeps() - beeps, 3);

    // A field that gets the focus has all its text selected; the next-control message moves
    // the focus between the tab stops.
    SetFocus(fields[0]);
    DWORD start = 99;
    DWORD end = 99;
    SendMessageA(fields[0], EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 5u);
    PostMessageA(window, WM_NEXTDLGCTL, 0, 0);
    PumpFor(50);
    EXPECT_EQ(GetFocus(), fields[1]);
    PostMessageA(window, WM_NEXTDLGCTL, 1, 0);
    PumpFor(50);
    EXPECT_EQ(GetFocus(), fields[0]);
    DestroyWindow(fields[0]);
    DestroyWindow(fields[1]);
}

TEST_F(MainWindowWin32, AboutBoxOpensFromAltQuestionMarkAndSlashOnly) {
    StartWindow(SETTINGS_NO_UNIT);
    const char* about = "About MQ-6 WB Utility";
    auto clickOk = [](HWND dialog) {
        HoldAlt(false);
        ClickButton(dialog, IDOK);
        return true;
    };
    for (char key : {'?', '/'}) {
        SetFocus(window);
        bool opened = WithDialog(
            about,
            [&] {
                // Alt held: the key state, and the context bit of the system character.
                HoldAlt(true);
                PostMessageA(window, WM_SYSCHAR, static_cast<WPARAM>(key), 0x20000001);
            },
            clickOk);
        HoldAlt(false);
        EXPECT_TRUE(opened) << "Alt+" << key;
    }
    // The box names the version and says that the image and the key are the samples.
    std::string facts;
    EXPECT_TRUE(WithDialog(
        about, [&] { SendMessageA(window, WM_COMMAND, IDM_ABOUT, 0); },
        [&](HWND dialog) {
            facts = ControlText(GetDlgItem(dialog, IDC_ABOUT_FACTS));
            return clickOk(dialog);
        }));
    EXPECT_EQ(facts.rfind(std::string("Version ") + MQ6_VERSION_TEXT + "\n", 0), 0u) << facts;
    EXPECT_NE(facts.find("Firmware image: sample-image.txt, the SAMPLE"), std::string::npos);
    EXPECT_NE(facts.find("Setup key: sample-setup-key.txt, the SAMPLE"), std::string::npos);

    // Keys without Alt do nothing at all.
    SetFocus(window);
    bool opened = WithDialog(
        about,
        [&] {
            PostMessageA(window, WM_KEYDOWN, 'A', 0x001E0001);
            PostMessageA(window, WM_CHAR, 'a', 0x001E0001);
            PostMessageA(window, WM_KEYUP, 'A', 0xC01E0001);
            PostMessageA(window, WM_CHAR, '?', 0x00350001);
        },
        clickOk, 500);
    EXPECT_FALSE(opened);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(ViewMode.load(), VIEW_WB_SETUP);
}

TEST_F(MainWindowWin32, ClosingStoresThePositionUnlessMinimized) {
    StartWindow(SETTINGS_NO_UNIT);
    SetWindowPos(window, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PumpFor(50);
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ViewMode.load(), VIEW_NONE);
    EXPECT_TRUE(PumpUntil([] { return QuitTaken; }, LONG_WAIT_MS));
    CloseApplication();
    std::string saved = Settings();
    EXPECT_EQ(SettingOf(saved, "[XPOSHWND]"), "100");
    EXPECT_EQ(SettingOf(saved, "[YPOSHWND]"), "50");

    // The next start reads the position and opens there.
    ResetSettings();
    StartWindow();
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 100);
    EXPECT_EQ(frame.top, 50);

    // Closed while minimized: the rectangle is the icon's, the saved position stays.
    ShowWindow(window, SW_MINIMIZE);
    PumpFor(100);
    ASSERT_TRUE(IsIconic(window));
    SendMessageA(window, WM_CLOSE, 0, 0);
    CloseApplication();
    saved = Settings();
    EXPECT_EQ(SettingOf(saved, "[XPOSHWND]"), "100");
    EXPECT_EQ(SettingOf(saved, "[YPOSHWND]"), "50");
}

TEST_F(MainWindowWin32, MenuLockGraysWhatWouldDisturbAWorker) {
    StartWindow(SETTINGS_NO_UNIT);
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    LockMenus();
    // In menu order: Find, Comm Setup, Exit and the three views; Preferences and About stay.
    EXPECT_EQ(GrayedCommands(),
              (std::vector<int>{IDM_FIND_UNIT, IDM_COMM_SETUP, IDM_EXIT, IDM_WB_SETUP,
                                IDM_AFR_LAMBDA, IDM_FIRMWARE_UPDATE}));
    EXPECT_TRUE(CloseGrayed(window));
    UnlockMenus();
    EXPECT_EQ(GrayedCommands(), std::vector<int>{IDM_AFR_LAMBDA});
    EXPECT_FALSE(CloseGrayed(window));
    char text[64] = {};
    GetMenuStringA(GetMenu(window), IDM_AFR_LAMBDA, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Afr && Lambda");
}

TEST_F(MainWindowWin32, PreferencesFiltersClampsAndSaves) {
    StartWindow(std::string(SETTINGS_NO_UNIT) + "[LAMBFILT] 100\n");
    ASSERT_EQ(ResponseRate.load(), 100);
    bool opened = WithDialog(
        "Preferences", [&] { SendMessageA(window, WM_COMMAND, IDM_PREFERENCES, 0); },
        [](HWND dialog) {
            HWND rate = GetDlgItem(dialog, IDC_RESPONSE_RATE);
            HWND low = GetDlgItem(dialog, IDC_TARGET_LOW);
            HWND high = GetDlgItem(dialog, IDC_TARGET_HIGH);
            // The trackbar cannot show the file's 100: its thumb stops at 90.
            EXPECT_EQ(SendMessageA(rate, TBM_GETRANGEMIN, 0, 0), 10);
            EXPECT_EQ(SendMessageA(rate, TBM_GETRANGEMAX, 0, 0), 90);
            EXPECT_EQ(SendMessageA(rate, TBM_GETPOS, 0, 0), 90);
            EXPECT_EQ(ControlText(low), "0.86");
            EXPECT_EQ(ControlText(high), "0.88");
            EXPECT_EQ(GetFocus(), low);
            EXPECT_EQ(SendMessageA(low, EM_GETLIMITTEXT, 0, 0), 4);

            int32_t beeps = RefusedInputBeeps();
            SetWindowTextA(low, "");
            TypeText(low, "0.9a5");
            EXPECT_EQ(ControlText(low), "0.95");
            EXPECT_EQ(RefusedInputBeeps() - beeps, 1);
            beeps = RefusedInputBeeps();
            SetWindowTextA(low, "");
            TypeText(low, "1..2");
            EXPECT_EQ(ControlText(low), "1.2");
            EXPECT_EQ(RefusedInputBeeps() - beeps, 1);
            SetWindowTextA(low, "");
            TypeText(low, "0.875");
            EXPECT_EQ(ControlText(low), "0.87") << "four characters at most";

            // Leaving the field clamps it into the scale and stores it at once.
            SetWindowTextA(low, "");
            SetFocus(high);
            EXPECT_EQ(ControlText(low), "0.68");
            EXPECT_EQ(TargetLow.load(), 0.68);
            SetFocus(low);
            SetWindowTextA(low, "1.5");
            SetFocus(high);
            EXPECT_EQ(ControlText(low), "1.32");
            EXPECT_EQ(TargetLow.load(), 1.32);
            SetFocus(low);
            SetWindowTextA(low, "0.5");
            SetWindowTextA(high, "0.9");
            ClickButton(dialog, IDOK);
            return true;
        });
    ASSERT_TRUE(opened);
    EXPECT_EQ(ResponseRate.load(), 90);
    EXPECT_EQ(TargetLow.load(), 0.68);
    EXPECT_EQ(TargetHigh.load(), 0.9);
    std::string saved = Settings();
    EXPECT_EQ(SettingOf(saved, "[LAMBFILT]"), "90");
    EXPECT_EQ(SettingOf(saved, "[LAMBLOW]"), "0.680000");
    EXPECT_EQ(SettingOf(saved, "[LAMBHIGH]"), "0.900000");
}

TEST_F(MainWindowWin32, PreferencesCancelKeepsOnlyWhatLeavingAFieldStored) {
    StartWindow(SETTINGS_NO_UNIT);
    std::string before = Settings();
    bool opened = WithDialog(
        "Preferences", [&] { SendMessageA(window, WM_COMMAND, IDM_PREFERENCES, 0); },
        [](HWND dialog) {
            HWND low = GetDlgItem(dialog, IDC_TARGET_LOW);
            HWND high = GetDlgItem(dialog, IDC_TARGET_HIGH);
            SetWindowTextA(low, "0.95");
            SetFocus(high); // tabbed away: stored
            SetWindowTextA(high, "1.1");
            SendMessageA(GetDlgItem(dialog, IDC_RESPONSE_RATE), TBM_SETPOS, TRUE, 20);
            // Escape, while the To field still has the focus.
            SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return true;
        });
    ASSERT_TRUE(opened);
    EXPECT_EQ(TargetLow.load(), 0.95);
    EXPECT_EQ(TargetHigh.load(), 0.88) << "a field still being edited is not taken on Cancel";
    EXPECT_EQ(ResponseRate.load(), 50);
    EXPECT_EQ(Settings(), before);
}

TEST_F(MainWindowWin32, CommPortSetupStoresTheChoiceAndReopens) {
    StartUnit();
    StartWindow("[PORT] COM3\n[AUTOPORT] 1\n");
    ErrorShown.store(1);
    bool opened = WithDialog(
        "Comm Port Setup", [&] { SendMessageA(window, WM_COMMAND, IDM_COMM_SETUP, 0); },
        [](HWND dialog) {
            HWND list = GetDlgItem(dialog, IDC_PORT_LIST);
            char entry[16] = {};
            EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), 25);
            SendMessageA(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
            EXPECT_STREQ(entry, "COM1");
            SendMessageA(list, CB_GETLBTEXT, 24, reinterpret_cast<LPARAM>(entry));
            EXPECT_STREQ(entry, "COM25");
            // COM3 selected; with automatic search the list is disabled but shows it.
            EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 2);
            EXPECT_EQ(ControlText(list), "COM3");
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTO_PORT), BST_CHECKED);
            EXPECT_FALSE(IsWindowEnabled(list));
            ClickButton(dialog, IDC_FIXED_PORT);
            EXPECT_TRUE(IsWindowEnabled(list));
            EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_AUTO_PORT), BST_UNCHECKED);
            ClickButton(dialog, IDC_AUTO_PORT);
            EXPECT_FALSE(IsWindowEnabled(list));
            ClickButton(dialog, IDC_FIXED_PORT);
            SendMessageA(list, CB_SETCURSEL, 4, 0);
            ClearRecordedNotices();
            ClickButton(dialog, IDOK);
            return true;
        });
    ASSERT_TRUE(opened);
    EXPECT_EQ(AutoPort.load(), 0);
    EXPECT_STREQ(PortName.data(), "COM5");
    std::string saved = Settings();
    EXPECT_EQ(SettingOf(saved, "[AUTOPORT]"), "0");
    EXPECT_EQ(SettingOf(saved, "[PORT]"), "COM5");
    EXPECT_EQ(ErrorShown.load(), 0) << "a failure on the new port is reported again";
    {
        std::lock_guard<std::mutex> lock(NoticeLock);
        ASSERT_FALSE(RecordedPortStatus.empty());
        EXPECT_EQ(RecordedPortStatus.front(), 0) << "the indicator shows the port closed first";
    }
    // The comm thread reopens on COM5, where the unit answers.
    ASSERT_TRUE(WaitForUnitData());
    EXPECT_TRUE(UnitReceived(READ_DATA_BLOCK));
}

TEST_F(MainWindowWin32, CommPortSetupCancelChangesNothing) {
    StartWindow("[PORT] COM3\n[AUTOPORT] 1\n");
    PumpFor(100);
    std::string before = Settings();
    ClearRecordedNotices();
    bool opened = WithDialog(
        "Comm Port Setup", [&] { SendMessageA(window, WM_COMMAND, IDM_COMM_SETUP, 0); },
        [](HWND dialog) {
            ClickButton(dialog, IDC_FIXED_PORT);
            SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, 6, 0);
            ClickButton(dialog, IDCANCEL);
            return true;
        });
    ASSERT_TRUE(opened);
    EXPECT_EQ(AutoPort.load(), 1);
    EXPECT_STREQ(PortName.data(), "COM3");
    EXPECT_EQ(Settings(), before);
    std::lock_guard<std::mutex> lock(NoticeLock);
    EXPECT_TRUE(RecordedPortStatus.empty()) << "the port was not touched";
}

TEST_F(MainWindowWin32, CommPortSetupKeepsAPortBeyondTheList) {
    StartWindow("[PORT] COM30\n[AUTOPORT] 1\n");
    bool opened = WithDialog(
        "Comm Port Setup", [&] { SendMessageA(window, WM_COMMAND, IDM_COMM_SETUP, 0); },
        [](HWND dialog) {
            EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0), CB_ERR);
            ClickButton(dialog, IDOK);
            return true;
        });
    ASSERT_TRUE(opened);
    // No entry selected: the port keeps its name rather than becoming COM0.
    EXPECT_STREQ(PortName.data(), "COM30");
    EXPECT_EQ(SettingOf(Settings(), "[PORT]"), "COM30");
    EXPECT_EQ(AutoPort.load(), 1);
}

TEST(StartupWin32, SettingsFileLivesBesideTheProgram) {
    std::array<char, MAX_PATH> module{};
    DWORD length = GetModuleFileNameA(nullptr, module.data(), MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string program(module.data(), length);
    std::string expected = program.substr(0, program.find_last_of('\\') + 1) + "MQ-6_Setup.cfg";
    BuildModuleConfigPath();
    EXPECT_EQ(std::string(ConfigPath.data()), expected);
    ConfigPath.fill('\0');
}

} // namespace
