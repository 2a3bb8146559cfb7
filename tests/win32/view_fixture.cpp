#include "win32/view_fixture.h"

#include "app/main_window.h"
#include "app/startup.h"
#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"
#include "win32/wine_sim.h"

#include <cstring>
#include <fstream>

void ViewWin32::TearDownTestSuite() {
    StopTimerTick();
}

void ViewWin32::SetUp() {
    ResetSettings();
    ResetLinkState();
    ResetLiveState();
    ClearRecordedNotices();
    static int serial = 0;
    std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    settingsFile = EnvText("TEMP") + "\\mq6-view-" + tag + ".cfg";
    std::strcpy(ConfigPath.data(), settingsFile.c_str());
    simLog = EnvText("MQ6_WINE_ROOT") + "/view-sim-" + tag + ".log";
    simTables = EnvText("MQ6_WINE_ROOT") + "/view-sim-" + tag + ".tables";
}

void ViewWin32::TearDown() {
    CloseApplication();
    StopWineSim();
    for (const std::string& file : {settingsFile, DosPathOf(simLog), DosPathOf(simTables)})
        DeleteFileA(file.c_str());
}

void ViewWin32::StartUnit(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"--log", simLog, "--dump-tables", simTables};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_TRUE(StartWineSim("com5", args)) << "MQ6_SIM_UNIX_PATH, MQ6_WINE_ROOT, WINEPREFIX";
}

void ViewWin32::StartWindow(const char* settings) {
    if (settings != nullptr)
        std::ofstream(settingsFile, std::ios::binary) << settings;
    QuitTaken = false;
    ASSERT_EQ(StartApplication(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 1);
    running = true;
    window = MainWindow;
}

void ViewWin32::CloseApplication() {
    if (!running)
        return;
    if (IsWindow(window))
        DestroyWindow(window);
    EXPECT_TRUE(PumpUntil([] { return QuitTaken; }, VIEW_WAIT_MS)) << "no quit message";
    FinishApplication();
    running = false;
}

bool ViewWin32::WaitForUnitData() {
    return PumpUntil([] { return PortStatus.load() == 1 && DeviceDataValid.load() == 1; },
                     VIEW_WAIT_MS);
}

LRESULT ViewWin32::AskToClose() {
    constexpr LPARAM ALT_F4 = 0x203E0001; // scan code 0x3E, repeat 1, Alt held
    PostMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, WM_SYSKEYDOWN, VK_F4, ALT_F4);
    PostMessageA(window, WM_SYSKEYUP, VK_F4, ALT_F4 | static_cast<LPARAM>(0xC0000000));
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
}
