// The utility's main window under Wine, started the way WinMain starts it, with the simulated
// unit behind a COM port of the test's prefix, and driven by messages through its own loop: the
// window position kept across starts, the start menu, the key filter of the Wide Band Setup
// fields, Set and Read with the window locked while the write runs, the samples refused to a unit
// that runs other firmware, and a firmware update left unfinished, then finished. The live view
// with its stream and needle on the screen is the smoke run's.
#include "app/main_window.h"
#include "app/open_recording.h"
#include "app/shell.h"
#include "app/startup.h"
#include "app/status_note.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/live_record.h"
#include "display/recording_view.h"
#include "firmware/firmware_paint.h"
#include "firmware/job.h"
#include "firmware/programming.h"
#include "link/link.h"
#include "platform/notice.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "wbsetup/setup_transfer.h"
#include "wbsetup/setup_view.h"
#include "win32/wine_helpers.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

namespace {

using namespace std::literals;

bool Has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// The settings that point the utility at the simulated unit.
constexpr char VIEW_SETTINGS_UNIT[] = "[PORT] COM5\n[AUTOPORT] 0\n";
constexpr int VIEW_WAIT_MS = 20000;
// A write or an update waited for whole: far above its length on any machine.
constexpr int WORK_WAIT_MS = 300000;

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
        ClearRecordedNotices();
        settingsFile = EnvText("TEMP") + "\\mq6-view.cfg";
        std::strncpy(ConfigPath.data(), settingsFile.c_str(), ConfigPath.size() - 1);
    }
    void TearDown() override {
        PumpUntil([] { return JobRunning.load() == 0; }, WORK_WAIT_MS);
        CloseApplication();
        StopWineSim();
        DeleteFileA(settingsFile.c_str());
    }
    void StartUnit(const std::vector<std::string>& options) {
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
    // While a worker writes, the window is locked: Exit, Comm Setup and the close box greyed,
    // and a close request from another program, the system menu's Close (Alt+F4 comes the same
    // way) and the end of the session all refused.
    void ExpectLocked() {
        EXPECT_TRUE(Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                    Grayed(GetMenu(window), IDM_EXIT));
        PostMessageA(window, WM_CLOSE, 0, 0);
        PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP), FALSE);
    }
    std::string MenuText(int command) const {
        char text[64] = {};
        GetMenuStringA(GetMenu(window), command, text, sizeof text, MF_BYCOMMAND);
        return text;
    }
    // The menu's items popup by popup, "text" or "text (gray)", and "/" after each popup.
    std::string MenuState() const {
        std::string items;
        for (int popup = 0; popup < GetMenuItemCount(GetMenu(window)); ++popup) {
            HMENU menu = GetSubMenu(GetMenu(window), popup);
            for (int item = 0; item < GetMenuItemCount(menu); ++item) {
                char text[64] = {};
                GetMenuStringA(menu, item, text, sizeof text, MF_BYPOSITION);
                bool gray = (GetMenuState(menu, item, MF_BYPOSITION) & MF_GRAYED) != 0;
                items += std::string(text) + (gray ? " (gray)|" : "|");
            }
            items += "/";
        }
        return items;
    }
    // The Wide Band Setup view's rows 0 to 3: channel A's volts, AFR, volts, AFR; 4 to 7 channel
    // B's (its linear layout).
    HWND Field(int row) const {
        return ChildAt(window, "Edit", (row % 2 ? 280 : 44) + row / 4 * 395,
                       364 + row / 2 % 2 * 26);
    }
    // The row's field given the text (unless null) and the focus, then Tab down and up as the
    // keyboard sends it; the filter posts its next-control message.
    void Tab(int row, const char* text = nullptr) {
        if (text != nullptr)
            SetWindowTextA(Field(row), text);
        SetFocus(Field(row));
        SendMessageA(Field(row), WM_KEYDOWN, VK_TAB, 1);
        SendMessageA(Field(row), WM_KEYUP, VK_TAB, 0xC0000001);
        PumpUntil([] { return false; }, 30);
    }
    void Click(int x, int y) {
        SendMessageA(ChildAt(window, "Button", x, y), BM_CLICK, 0, 0);
    }

    std::string settingsFile;
    bool running = false;
    HWND window = nullptr;
};

// The status line's text after the port's state, as it is drawn.
std::string StatusNote() {
    std::array<char, 96> text{};
    return FormatStatusNote(text.data(), text.size()), text.data();
}

// What a timer of a modal dialog's loop does in the dialog once it is open over the window.
std::function<void(HWND)> InDialog;
void CALLBACK RunInDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = GetLastActivePopup(MainWindow);
    if (dialog != MainWindow)
        KillTimer(nullptr, timer), InDialog(dialog);
}

// A first start, no settings file and no unit to find: the status line and the file keep the
// start name, and Comm Port Setup says that no unit was found. Closing stores the position, unless
// minimized.
TEST_F(MainWindowWin32, FirstStartFindsNoUnitAndClosingStoresThePositionUnlessMinimized) {
    StartUnit({}); // on COM5, which no driver entry names
    StartWindow(nullptr);
    PumpUntil([] { return false; }, 500);
    EXPECT_STREQ(CopyPortName().data(), "COMx");
    EXPECT_EQ(StatusNote(), " Searching for the MQ-6...");
    EXPECT_TRUE(Has(ReadFileText(settingsFile), "[PORT] COMx\r\n[AUTOPORT] 1\r\n"));
    std::string note;
    std::array<char, 32> ports[6] = {}; // COM5, there; COM6, not: only the first is marked
    InDialog = [&](HWND dialog) {
        note = ControlText(GetDlgItem(dialog, IDC_PORT_NOTE));
        for (int i : {4, 5})
            SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETLBTEXT, i, LPARAM(ports[i].data()));
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    SetTimer(nullptr, 0, 50, RunInDialog);
    SendMessageA(window, WM_COMMAND, IDM_COMM_SETUP, 0);
    EXPECT_EQ(note + "|" + ports[4].data() + "|" + ports[5].data(),
              "No MQ-6 unit was found. Connect it, or choose its port.|COM5  (present)|COM6");
    SetWindowPos(window, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    CloseApplication();
    ResetSettings();
    StartWindow(nullptr);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(std::to_string(frame.left) + "," + std::to_string(frame.top), "100,50");
    ShowWindow(window, SW_MINIMIZE);
    PumpUntil([] { return false; }, 100);
    SendMessageA(window, WM_CLOSE, 0, 0);
    CloseApplication();
    EXPECT_TRUE(Has(ReadFileText(settingsFile), "[XPOSHWND] 100\r\n[YPOSHWND] 50\r\n"))
        << "closed minimized: the icon's rectangle is not stored";
}

TEST_F(MainWindowWin32, SetChecksThenWritesWithTheWindowLockedAndTheUnitsValuesAreShown) {
    StartUnit({"--baud", "57600"}); // paced at the line's speed: the write can be watched
    StartWindow(VIEW_SETTINGS_UNIT);
    // Alt and a letter chooses one item in each menu: no two items of a popup share a letter.
    EXPECT_EQ(MenuState(),
              "Find &MQ-6|&Comm Setup...|Pre&ferences...|&Record Live Data...\tCtrl+R|M&ark\tF9|"
              "Open Recor&ding...\tCtrl+L|&Open Setup...\tCtrl+O|&Save Setup As...\tCtrl+S|E&xit|/"
              "&WB Setup (gray)|&Afr && Lambda|Live &History|&Firmware Update|/&About ...|/");
    ASSERT_TRUE(WaitForUnitData());
    // An accelerator reaches the window with the focus in a field: F9 (Mark) beeps, no recording
    // running.
    int32_t marks = RefusedInputBeeps();
    SetFocus(Field(1));
    PostMessageA(Field(1), WM_KEYDOWN, VK_F9, 1);
    EXPECT_TRUE(PumpUntil([&] { return RefusedInputBeeps() == marks + 1; }, VIEW_WAIT_MS));
    // An AFR of 250 in a five-character field: a beep for the letter and one for the value, which
    // keeps the focus.
    int32_t beeps = RefusedInputBeeps();
    SetFocus(Field(1));
    SetWindowTextA(Field(1), "x1..2y"); // pasted: each character a number cannot hold goes
    EXPECT_EQ(ControlText(Field(1)) + " " + std::to_string(RefusedInputBeeps() - beeps), "1.2 3");
    beeps = RefusedInputBeeps();
    SetWindowTextA(Field(1), "");
    for (char typed : {'a', '2', '5', '0'}) // one WM_CHAR a key, as typing gives them
        SendMessageA(Field(1), WM_CHAR, typed, 1);
    Tab(1);
    EXPECT_EQ(
        std::tuple(ControlText(Field(1)), RefusedInputBeeps() - beeps, GetFocus() == Field(1)),
        std::tuple("210.00", 2, true));
    // What Set says of a field its check limited, the bytes it writes and which fields the
    // unit's values fill after a data block are the view's rules, tested natively
    // (tests/wbsetup/setup_form_test.cpp, setup_transfer_test.cpp): the limited AFR retyped, and
    // one field of channel B's typed, are enough here.
    Tab(1, "11");
    Click(713, 424); // WB: channel B's four fields
    Tab(7, "10");
    beeps = RefusedInputBeeps();
    Click(620, 496); // Set MQ-6; its bar shows the write
    auto bar = [&] { return ChildAt(window, "msctls_progress32", 8, 476); };
    ASSERT_TRUE(
        PumpUntil([&] { return SendMessageA(bar(), PBM_GETPOS, 0, 0) > 10; }, VIEW_WAIT_MS));
    ExpectLocked();
    auto note = [&] { return ControlText(ChildAt(window, "Static", 420, 468)); };
    EXPECT_TRUE(
        PumpUntil([&] { return note() == "The window closes when the work ends."; }, VIEW_WAIT_MS));
    EXPECT_FALSE(IsWindowEnabled(Field(7)));
    ASSERT_TRUE(PumpUntil([] { return JobRunning.load() == 0; }, WORK_WAIT_MS));
    // ES_CONTINUOUS | ES_SYSTEM_REQUIRED from the worker while it wrote, ES_CONTINUOUS after.
    EXPECT_EQ(TakeExecutionStateCalls(), "|80000001 80000000 ");
    EXPECT_GE(RefusedInputBeeps() - beeps, 2) << "each close request refused with a beep";
    EXPECT_TRUE(PumpUntil([] { return QuitTaken; }, VIEW_WAIT_MS)) << "closed once written";
    CloseApplication();
    // The next start, with the defaults a new process holds: the data block read after the
    // connection shows what the unit took from the write, without Read.
    LoadDefaultSetup();
    StartWindow(nullptr);
    ASSERT_TRUE(WaitForUnitData());
    EXPECT_TRUE(PumpUntil([&] { return ControlText(Field(7)) == "10.00"; }, VIEW_WAIT_MS));
    Click(480, 496); // Set Defaults: only the view has them
    EXPECT_EQ(ControlText(ChildAt(window, "Static", 8, 468)),
              "The MQ-6 is unchanged until Set MQ-6");
    EXPECT_EQ(CountNotices(), 0u) << DescribeNotices();
}

// Pixels of one colour in a rectangle of the window's client area, from one copy of the screen
// as a screen grab takes it.
int CountPixels(HWND window, RECT area, COLORREF colour) {
    POINT origin{area.left, area.top};
    ClientToScreen(window, &origin);
    LONG width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP grab = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, grab);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    COLORREF wanted = RGB(GetBValue(colour), GetGValue(colour), GetRValue(colour)); // as stored
    int count = 0;
    for (LONG i = 0; i < width * height; ++i)
        count += (static_cast<const COLORREF*>(bits)[i] & 0xFFFFFF) == wanted;
    SelectObject(memory, previous);
    DeleteObject(grab);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

// The live views as a sweeping lambda arrives: grabs of the screen in quick succession find the
// History chart's grid and trace, and the needle, in every one (each redraw reaches the window in
// one copy). While the port is closed the needle is off the dial and the lambda readout shows
// three dashes beside its point (3 x 5 + 2 cells of 8 x 12 pixels); the next good frame brings
// both back.
TEST_F(MainWindowWin32, LiveViewsShowEveryFrameWholeAndDashesWhileTheUnitIsGone) {
    StartUnit({"--profile", "sweep:0.80:1.20:2"});
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    auto missed = [](const std::function<bool()>& shown) {
        int missing = 0;
        for (int grab = 0; grab < 250; ++grab)
            missing += !PumpUntil([] { return false; }, 1) && !shown();
        return missing;
    };
    SendMessageA(window, WM_COMMAND, IDM_LIVE_HISTORY, 0);
    auto chart = [&] {
        return CountPixels(window, {80, 60, 680, 380}, RGB(160, 160, 160)) > 2000 &&
               CountPixels(window, {80, 60, 680, 380}, RGB(210, 20, 10)) > 20;
    };
    ASSERT_TRUE(PumpUntil(chart, VIEW_WAIT_MS));
    EXPECT_EQ(missed(chart), 0) << "grabs of 250 without the chart's grid or trace";
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    auto needle = [&] { return CountPixels(window, {236, 90, 556, 410}, RGB(210, 20, 10)); };
    auto ink = [&] { return CountPixels(window, {480, 434, 716, 518}, RGB(32, 32, 32)); };
    for (bool gone : {false, true, false}) {
        SCOPED_TRACE(gone ? "gone" : "there");
        if (gone)
            StopWineSim();
        else if (!running || PortStatus.load() == 0)
            StartUnit({"--profile", "sweep:0.80:1.20:2"});
        EXPECT_TRUE(PumpUntil(
            [&] { return gone ? needle() == 0 && ink() == 1632 : needle() > 100 && ink() != 1632; },
            VIEW_WAIT_MS))
            << needle() << " needle pixels, " << ink() << " readout pixels";
        EXPECT_EQ(gone ? 0 : missed([&] { return needle() > 100; }), 0) << "grabs of 250";
    }
}

// Two markers set while recording are in the file the Recording view opens, which ends the
// recording (where their lines stand is the view's rule, tested natively in
// tests/display/recording_file_test.cpp; that they reach the screen is the hand file's check).
// Then a file of rows every 0.5 s over 120 s, markers at 20 s and 50 s: a character, the wheel and
// a key reach the view's input (+ halves the span about x 380: 60 s from 30; the wheel at x 180
// about 40 s: 30 s from 35; Page Down +30), whose every rule is tested natively
// (tests/display/recording_file_test.cpp); Home, and marker 1 at x 80 + 20 / 0.05 = 480. A file
// that is not a recording leaves the view as it was.
TEST_F(MainWindowWin32, RecordingViewShowsMarkersZoomsScrollsAndKeepsItsFileOnABadOne) {
    StartUnit({"--profile", "step:0.80:1.20:1", "--rate", "50"});
    StartWindow(VIEW_SETTINGS_UNIT);
    const std::string csv = EnvText("TEMP") + "\\mq6 marks.csv";
    ApplyStartArguments(" --record \"" + csv + "\"");
    for (long mark = 1; mark <= 2; ++mark) {
        long rows = RecordedRows();
        ASSERT_TRUE(PumpUntil([&] { return RecordedRows() >= rows + 20; }, VIEW_WAIT_MS));
        SendMessageA(window, WM_COMMAND, IDM_MARK, 0);
        std::array<char, 96> note{};
        FormatRecordingNote(note.data(), note.size());
        EXPECT_TRUE(std::string(note.data()).ends_with(", marker " + std::to_string(mark)))
            << note.data();
    }
    ASSERT_TRUE(PumpUntil([&] { return Has(ReadFileText(csv), ",2\r\n"); }, VIEW_WAIT_MS));
    ASSERT_EQ(OpenRecordingFile(csv.c_str()), 0) << ReadFileText(csv);
    EXPECT_EQ(RecordState(), RECORD_IDLE);
    EXPECT_EQ(ViewMode.load(), VIEW_RECORDING);
    EXPECT_TRUE(MenuText(IDM_RECORDING_VIEW) == "Re&cording" &&
                Grayed(GetMenu(window), IDM_RECORDING_VIEW));
    std::string hand = "time_s,lambda,afr,lambda_raw,stoich,mark\n";
    for (int half = 0; half <= 240; ++half)
        hand += std::to_string(half / 2) + (half % 2 ? ".5" : ".0") + ",0.90,13.2,0.9000,14.70," +
                (half == 40    ? "1"
                 : half == 100 ? "2"
                               : "") +
                "\n";
    const std::string file = EnvText("TEMP") + "\\mq6 hand.csv",
                      bad = EnvText("TEMP") + "\\other.csv";
    std::ofstream(file, std::ios::binary) << hand;
    ASSERT_EQ(OpenRecordingFile(file.c_str()), 0);
    POINT wheel = {180, 200};
    ClientToScreen(window, &wheel);
    const std::tuple<UINT, WPARAM, LPARAM, double, double> steps[] = {
        {WM_CHAR, '+', 0, 30, 60},
        {WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(wheel.x, wheel.y), 35, 30},
        {WM_KEYDOWN, VK_NEXT, 0, 65, 30},
    };
    for (const auto& [message, wParam, lParam, start, span] : steps) {
        SCOPED_TRACE(std::to_string(message) + " " + std::to_string(wParam));
        SendMessageA(window, message, wParam, lParam);
        EXPECT_NEAR(ReviewStart(), start, 1e-6);
        EXPECT_NEAR(ReviewSpan(), span, 1e-6);
    }
    SendMessageA(window, WM_KEYDOWN, VK_HOME, 0);
    // Marker 1 at 20 s of 30 s on screen; the drawing reaches the screen a little after the paint.
    auto marker = [&] { return CountPixels(window, {479, 100, 482, 360}, RGB(0, 80, 200)); };
    EXPECT_TRUE(PumpUntil([&] { return marker() >= 200; }, VIEW_WAIT_MS)) << marker();
    std::ofstream(bad, std::ios::binary) << "port,speed\nCOM3,57600\n";
    EXPECT_EQ(OpenRecordingFile(bad.c_str()), -1);
    ASSERT_EQ(CountNotices(), 1u) << DescribeNotices();
    EXPECT_EQ(RecordedNotices[0].text,
              bad + ", line 1: not the header of a recording of live data");
    EXPECT_TRUE(ViewMode.load() == VIEW_RECORDING && ReviewRecording().rows.size() == 241u);
    for (const std::string& path : {csv, file, bad})
        DeleteFileA(path.c_str());
}

// A unit running other firmware takes neither sample: Set and Update answer with a box over the
// window, send it nothing that changes it and leave the view and the menus as they were. With the
// rule lifted the update runs; its first block refused leaves the unit in its loader, which the
// status line names, and the button finishes the job. The window's lock during a job is the setup
// write's test here; that the update takes it is the desktop test's.
TEST_F(MainWindowWin32, SamplesRefusedToOtherFirmwareThenAnUpdateLeftUnfinishedIsFinished) {
    ResetFirmwareView();
    // Paced, so that the phases can be watched; the first block written fails.
    StartUnit({"--version", "1.00", "--baud", "57600", "--fail-write", "1", "--other-firmware"});
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    Click(620, 496); // Set MQ-6
    EXPECT_TRUE(IsWindowEnabled(Field(0)) && !Grayed(GetMenu(window), IDM_EXIT));
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    HWND button = ChildAt(window, "Button", 300, 420);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    // From the keyboard: Tab from the window to the button, and Alt+U.
    SetFocus(window);
    SendMessageA(window, WM_KEYDOWN, VK_TAB, 1);
    EXPECT_EQ(GetFocus(), button);
    SendMessageA(GetFocus(), WM_SYSCHAR, 'u', 1 << 29);
    // The refused job has shown its box and ended, and its thread has given the button back
    // (after the job's end, so waited for); refused before anything was sent, it never kept the
    // system awake.
    EXPECT_TRUE(PumpUntil(
        [&] { return CountNotices() == 2 && JobRunning.load() == 0 && IsWindowEnabled(button); },
        VIEW_WAIT_MS));
    EXPECT_EQ(TakeExecutionStateCalls(), "");
    EXPECT_FALSE(Grayed(GetMenu(window), IDM_EXIT));
    // What the rule sends and says is mq6's and the setup write's too, tested natively
    // (tests/firmware/firmware_cli_test.cpp, tests/wbsetup/setup_transfer_test.cpp).
    ASSERT_EQ(CountNotices(), 2u) << DescribeNotices();
    EXPECT_EQ(RecordedNotices[0].caption + RecordedNotices[1].caption,
              "-WB Setup Error--Firmware Update Error-");
    _putenv("MQ6_ALLOW_SAMPLE=1");
    SendMessageA(button, BM_CLICK, 0, 0);
    // The failed try (its box is counted below) kept the system awake (ES_CONTINUOUS |
    // ES_SYSTEM_REQUIRED) and let it go (ES_CONTINUOUS) on its own thread; then the button is back.
    std::string first;
    auto failed = [&] { return (first += TakeExecutionStateCalls()) == "|80000001 80000000 "; };
    ASSERT_TRUE(PumpUntil(failed, WORK_WAIT_MS)) << first << DescribeNotices();
    EXPECT_EQ(StatusNote(), " Update unfinished: press Update Firmware");
    EXPECT_TRUE(PumpUntil(
        [&] { return SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP) == TRUE; },
        VIEW_WAIT_MS))
        << "the session may end once the work has";
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS))
        << "a unit left in its loader is offered the update again";
    SetFocus(button); // as the mouse's click gives it
    SendMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([] { return ProgramPhase.load() == PHASE_PROGRAMMING; }, VIEW_WAIT_MS));
    EXPECT_FALSE(IsWindowEnabled(button)) << "no second update while one runs";
    // The run is waited for whole, however long the machine makes it: a stage or a reread that
    // failed says which in its box. The restarted unit reports the carried firmware, the status
    // line says what was written and when, the bar is emptied and the keyboard works.
    EXPECT_TRUE(PumpUntil([] { return JobRunning.load() == 0; }, WORK_WAIT_MS));
    _putenv("MQ6_ALLOW_SAMPLE=");
    EXPECT_EQ(CountNotices(), 3u) << DescribeNotices();
    const std::string text(DeviceInfo.begin() + 128, DeviceInfo.end());
    EXPECT_TRUE(DeviceDataValid.load() == 1 && Has(text, "Version: 1.01")) << text;
    EXPECT_TRUE(std::regex_match(
        StatusNote(), std::regex("  Firmware 1.01 written to the.* at \\d\\d:\\d\\d:\\d\\d")))
        << StatusNote();
    EXPECT_TRUE(PumpUntil([] { return IsWindowEnabled(GetFocus()); }, 2000)) << "keyboard";
    HWND bar = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0) << "emptied";
    EXPECT_EQ(TakeExecutionStateCalls(), "|80000001 80000000 ") << "the same for the second";
}

TEST_F(MainWindowWin32, RecordingGoesOnAcrossTheLiveViewsEndsWholeOnLeavingThemOrSaysWhyNot) {
    StartUnit({"--profile", "step:0.80:1.20:1", "--rate", "50"});
    StartWindow(VIEW_SETTINGS_UNIT);
    const std::string csv = EnvText("TEMP") + "\\mq6 record.csv";
    ApplyStartArguments(" --record \"" + csv + "\"");
    EXPECT_EQ(ViewMode.load(), VIEW_AFR_LAMBDA) << "recording shows the live data";
    EXPECT_EQ(MenuText(IDM_RECORD), "Stop &Recording\tCtrl+R");
    // Rows older than a second are in the file, whole, while the recording runs.
    std::string early;
    auto lines = [&] {
        early = ReadFileText(csv);
        return std::count(early.begin(), early.end(), '\n');
    };
    EXPECT_TRUE(PumpUntil([&] { return lines() >= 50; }, VIEW_WAIT_MS));
    EXPECT_EQ(early.back(), '\n');
    SendMessageA(window, WM_COMMAND, IDM_LIVE_HISTORY, 0);
    long before = RecordedRows();
    EXPECT_TRUE(PumpUntil([&] { return RecordedRows() >= before + 50; }, VIEW_WAIT_MS));
    SendMessageA(window, WM_COMMAND, IDM_WB_SETUP, 0);
    EXPECT_EQ(RecordState(), RECORD_IDLE);
    EXPECT_EQ(StatusNote(), "  Recording ended: mq6 record.csv");
    EXPECT_EQ(MenuText(IDM_RECORD), "&Record Live Data...\tCtrl+R");
    // A row for each recorded, in the system's line ends; the rows' fields are the recorder's,
    // tested natively (tests/display/live_stream_test.cpp).
    const std::string text = ReadFileText(csv);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') - 1, RecordedRows());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), RecordedRows() + 1);
    EXPECT_EQ(CountNotices(), 0u) << DescribeNotices();
    DeleteFileA(csv.c_str());
    // A file that cannot be made: the box names it and says why, and live data goes on.
    const std::string bad = EnvText("TEMP") + "\\no such folder\\mq6.csv";
    ApplyStartArguments("--record \"" + bad + "\"");
    ASSERT_EQ(CountNotices(), 1u) << DescribeNotices();
    EXPECT_EQ(RecordedNotices[0].text,
              "Can not record live data to\n\n" + bad + "\n\nNo such file or directory");
    EXPECT_EQ(RecordState(), RECORD_IDLE);
    EXPECT_EQ(ViewMode.load(), VIEW_WB_SETUP) << "no view switch for a recording that failed";
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    int32_t shown = LambdaX100.load();
    EXPECT_TRUE(PumpUntil([&] { return LambdaX100.load() != shown; }, VIEW_WAIT_MS));
}

// Setup files and restore points: Open (by its box, from the live view) fills the view, marks
// what differs from the unit and Set writes the file's block; a bad file leaves the view as it
// was with a box; Save then Open gives the same view; Set keeps a restore point.
TEST_F(MainWindowWin32, SetupFilesOpenSaveAndSetKeepsARestorePoint) {
    StartUnit({});
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    const std::string folder = EnvText("TEMP"), temp = folder + "\\",
                      good = temp + "good setup.json";
    // The restore points of the utility and of mq6.exe: in the user's local application data.
    const std::string restore = EnvText("LOCALAPPDATA") + "\\mq6\\restore";
    std::filesystem::remove_all(restore);
    // Differs from the unit's defaults in A's first volts and second AFR, A's response (code 66,
    // in no row), the flag byte with B linear, B's four values and the offset; the Stoich AFR and
    // B's 7.0 V lie beyond what a user may type, and stay through Save, Open and Set.
    std::ofstream(good) << R"({"stoich_afr": 250, "flags": 242, "a1_volts": 1.2, "a2_afr": 18.5,
    "a_response": 66, "b1_volts": 0.5, "b1_afr": 9, "b2_volts": 7, "b2_afr": 17, "nb_offset": 55})";
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    InDialog = [&](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, good.c_str()); // the box's file name
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    SetTimer(nullptr, 0, 50, RunInDialog);
    SendMessageA(window, WM_COMMAND, IDM_OPEN_SETUP, 0);
    // The texts of every control of the view, a checked button's marked.
    auto view = [&] {
        std::string texts;
        for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
            texts += ControlText(c) + (SendMessageA(c, BM_GETCHECK, 0, 0) ? "* " : " ");
        return texts;
    };
    EXPECT_TRUE(Has(ReadFileText(settingsFile), ("[SETUPFOLDER] " + folder + "\r\n").c_str()));
    EXPECT_EQ(view(), "Channel A Channel B 250.00 Read MQ-6 Set Defaults Set MQ-6 1.2 10.00 5.0 "
                      "18.50 (code 66) Medium NB WB* 0.5 9.00 7.0 17.00 ");
    // A mark of 6 x 6 pixels beside each item that differs and has its control: rows 0, 3, 4 to
    // 7 and 8, A's box and the mode buttons (the offset bar is not shown in the linear layout);
    // and one in the key that says what they mean.
    auto marks = [&] { return CountPixels(window, {40, 356, 780, 524}, RGB(200, 0, 200)); };
    EXPECT_TRUE(PumpUntil([&] { return marks() == 10 * 36; }, VIEW_WAIT_MS)) << marks();
    // Save, a field changed, Open of the saved file: the same view. A bad file: a box (what it
    // says is the file reader's, tested natively), and the view is as it was.
    ASSERT_EQ(SaveSetupFile(temp + "saved.json"), 0);
    std::string before = view();
    Tab(0, "3");
    ASSERT_EQ(OpenSetupFile(temp + "saved.json"), 0);
    std::ofstream(temp + "bad.json") << "{\"a1_volts\": 26}";
    EXPECT_EQ(OpenSetupFile(temp + "bad.json"), -1);
    EXPECT_EQ(view(), before);
    EXPECT_EQ(CountNotices(), 1u) << DescribeNotices();
    // Set writes the file's block once asked about the values beyond the fields' ranges: 250.00
    // (61 A8), F2, two zeros, response bytes 33 and 64, A 12 and 50 tenths of a volt at 10.00 and
    // 18.50, B 5 and 70 at 9.00 and 17.00, offset 55. Read shows what the unit holds.
    AskAnswer = 1;
    Click(620, 496);
    EXPECT_TRUE(PumpUntil([] { return JobRunning.load() == 0; }, VIEW_WAIT_MS));
    EXPECT_TRUE(Has(StatusNote(), "  Setup written to the MQ-6 at ")) << StatusNote();
    Click(340, 496);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&DeviceInfo[4]), 20),
              "\x61\xA8\xF2\0\0\x21\x40\x0C\x32\x03\xE8\x07\x3A\x05\x46\x03\x84\x06\xA4\x37"sv);
    // The restore point of the unit's defaults is where Windows keeps the user's data; what it
    // holds and what a cut write leaves in the view are tested natively
    // (tests/wbsetup/setup_transfer_test.cpp, setup_form_test.cpp).
    const std::string point = std::filesystem::directory_iterator(restore)->path().string();
    EXPECT_TRUE(Has(ReadFileText(point), "\"stoich_afr\": 14.70")) << point;
}

// The test's own close of a box that stays.
void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
    PostMessageA(GetLastActivePopup(MainWindow), WM_COMMAND, IDOK, 0);
}

// Three data blocks left unanswered: the main window shows its box once; the live data and a
// recording started under it go on, and the block read at last closes it.
TEST_F(MainWindowWin32, TheDataErrorBoxLetsTheLiveDataOnAndGoesWhenTheBlockIsRead) {
    StartUnit({"--ignore-data-reads", "3", "--rate", "50"});
    std::string text = "no box";
    uint64_t frames = 0, shown = 0, guard = 0;
    InDialog = [&](HWND box) {
        text = ControlText(GetDlgItem(box, 0xFFFF)), frames = LiveFramesGood;
        shown = GetTickCount();
        ApplyStartArguments(" --record \"" + EnvText("TEMP") + "\\mq6 box.csv\"");
        guard = SetTimer(nullptr, 0, 60000, CloseBox);
    };
    SetTimer(nullptr, 0, 50, RunInDialog);
    StartWindow(VIEW_SETTINGS_UNIT);
    EXPECT_TRUE(PumpUntil([&] { return shown && GetLastActivePopup(window) == window; }, 90000));
    EXPECT_EQ(std::tuple(text, (GetTickCount() - shown) < 60000, (LiveFramesGood - frames) > 20,
                         RecordedRows() > 20),
              std::tuple(std::string(DATA_ERROR_TEXT), true, true, true))
        << LiveFramesGood - frames << " frames, " << RecordedRows() << " rows while it was up";
    KillTimer(nullptr, guard);
    SetTimer(nullptr, 0, 50, RunInDialog); // a second box, which must not come
    EXPECT_FALSE(PumpUntil([&] { return text != DATA_ERROR_TEXT; }, 3000)) << text;
}

} // namespace
