// The Firmware Update view in the real main window under Wine, against the simulated unit: the
// controls, the verdict for older, equal and newer units, a whole update with its phases and
// progress, a failed one, the refusal of a unit in setup mode, and the view's picture.
#include "app/input_filter.h"
#include "app/main_window.h"
#include "display/status_line.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_paint.h"
#include "firmware/programming.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"
#include "resources/resource.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"
#include "win32/view_fixture.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

// The phases a running update went through, seen by a hook in front of the view's own.
std::atomic<int32_t> PhasesSeen{0};
void (*ViewPhaseHook)(int phase) = nullptr;
void RecordPhase(int phase) {
    PhasesSeen.fetch_or(1 << phase);
    ViewPhaseHook(phase);
}

class FirmwareViewWin32 : public ViewWin32 {
  protected:
    void SetUp() override {
        ViewWin32::SetUp();
        ResetFirmwareView();
    }
    void TearDown() override {
        // An update still running must end before the window goes.
        PumpUntil([&] { return !MenuItemGrayed(window, IDM_EXIT); }, VIEW_WAIT_MS);
        ViewWin32::TearDown();
        ResetFirmwareView();
        ProgramPhaseHook = nullptr;
        DeviceDataHook = nullptr;
    }

    // The unit on COM5 with version, the window started and the firmware view shown with the
    // unit's data block read.
    void ShowFirmwareView(const std::string& version, std::vector<std::string> options = {}) {
        options.insert(options.end(), {"--version", version});
        StartUnit(options);
        StartWindow(VIEW_SETTINGS_UNIT);
        ASSERT_TRUE(WaitForUnitData());
        SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
        PumpFor(200);
    }

    HWND UpdateButton() const {
        return ChildWithText("Button", "Update Firmware");
    }
    HWND ProgressBar() const {
        return ChildAt("msctls_progress32", 20, 500);
    }
    int UnitVersion() const {
        int major = 0;
        int minor = 0;
        ReadUnitVersion(DeviceInfo, major, minor);
        return major * 100 + minor;
    }
    bool MenusLocked() const {
        return MenuItemGrayed(window, IDM_EXIT);
    }
};

TEST_F(FirmwareViewWin32, ControlsAreTheTwoBoxesTheButtonAndTheBar) {
    ShowFirmwareView("1.01");
    std::vector<HWND> children = Children();
    ASSERT_EQ(children.size(), 4u);
    struct Expected {
        const char* className;
        const char* text;
        DWORD style;
        RECT rect;
    };
    const Expected expected[] = {
        {"Button", "MQ-6 Information", 0x50000007, {60, 60, 720, 260}},
        {"Button", "New Firmware Information", 0x50000007, {60, 280, 720, 380}},
        {"Button", "Update Firmware", 0x50010000, {300, 420, 500, 460}},
        {"msctls_progress32", "", 0x50000000, {20, 500, ClientWidth - 20, 516}},
    };
    for (size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(expected[i].text);
        char className[32] = {};
        GetClassNameA(children[i], className, sizeof className);
        EXPECT_STREQ(className, expected[i].className);
        EXPECT_EQ(ControlText(children[i]), expected[i].text);
        // The update button is disabled here: the versions match.
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(children[i], GWL_STYLE)) & ~WS_DISABLED,
                  expected[i].style);
        RECT rect = ClientRectOf(children[i]);
        EXPECT_EQ(rect.left, expected[i].rect.left);
        EXPECT_EQ(rect.top, expected[i].rect.top);
        EXPECT_EQ(rect.right, expected[i].rect.right);
        EXPECT_EQ(rect.bottom, expected[i].rect.bottom);
    }
    EXPECT_EQ(SendMessageA(ProgressBar(), PBM_GETRANGE, FALSE, 0), CODE_RECORD_COUNT);
    EXPECT_EQ(SendMessageA(ProgressBar(), PBM_GETRANGE, TRUE, 0), 0);

    // Leaving the view takes them all away.
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    EXPECT_EQ(UpdateButton(), nullptr);
    EXPECT_EQ(ProgressBar(), nullptr);
    EXPECT_EQ(ChildWithText("Button", "MQ-6 Information"), nullptr);
}

TEST_F(FirmwareViewWin32, UpdateRunsThroughItsPhasesAndEndsWithTheMatch) {
    // Paced at the line's speed, so the phases last long enough to be seen.
    ShowFirmwareView("1.00", {"--baud", "57600"});
    HWND button = UpdateButton();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));

    ViewPhaseHook = ProgramPhaseHook;
    ProgramPhaseHook = RecordPhase;
    PhasesSeen.store(0);
    int highest = 0;
    bool buttonStayedOff = true;
    bool menusLocked = false;
    bool pictureTaken = false;
    bool closeTried = false;
    LRESULT endSession = TRUE;
    int32_t beepsBefore = RefusedInputBeeps();
    Click(button);
    ASSERT_TRUE(PumpUntil(
        [&] {
            int32_t phase = ProgramPhase.load();
            if (phase != PHASE_NONE) {
                highest = std::max(highest,
                                   static_cast<int>(SendMessageA(ProgressBar(), PBM_GETPOS, 0, 0)));
                buttonStayedOff = buttonStayedOff && !IsWindowEnabled(button);
                menusLocked = menusLocked || (MenusLocked() && CloseGrayed(window) &&
                                              MenuItemGrayed(window, IDM_COMM_SETUP));
            }
            if (phase == PHASE_PROGRAMMING && highest > 20 && !closeTried) {
                closeTried = true;
                endSession = AskToClose();
            }
            if (phase == PHASE_VERIFYING && highest > 60 && !pictureTaken) {
                PumpFor(50);
                pictureTaken = !SaveWindowPicture("firmware_view_verifying.bmp").empty();
            }
            return (PhasesSeen.load() & (1 << PHASE_FINISHING)) != 0 && phase == PHASE_NONE;
        },
        60000));
    ProgramPhaseHook = ViewPhaseHook;
    EXPECT_EQ(PhasesSeen.load(), (1 << PHASE_NONE) | (1 << PHASE_PROGRAMMING) |
                                     (1 << PHASE_VERIFYING) | (1 << PHASE_FINISHING));
    EXPECT_GT(highest, 100) << "the bar stepped along the records";
    EXPECT_TRUE(buttonStayedOff) << "no second update can start while one runs";
    EXPECT_TRUE(menusLocked);
    // Every close request was refused with a beep; the update went on to its end.
    ASSERT_TRUE(closeTried);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(endSession, FALSE);
    EXPECT_GE(RefusedInputBeeps() - beepsBefore, 2);

    // The unit restarts with the carried firmware; the reread shows the match.
    EXPECT_TRUE(PumpUntil([&] { return !MenusLocked() && UnitVersion() == 101; }, VIEW_WAIT_MS));
    PumpFor(300);
    EXPECT_EQ(UpdateAllowed.load(), 0);
    EXPECT_FALSE(IsWindowEnabled(button));
    EXPECT_EQ(SendMessageA(ProgressBar(), PBM_GETPOS, 0, 0), 0);
    EXPECT_TRUE(MenuItemGrayed(window, IDM_FIRMWARE_UPDATE));
    EXPECT_FALSE(MenuItemGrayed(window, IDM_AFR_LAMBDA));
    EXPECT_FALSE(CloseGrayed(window));
    EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, 0), TRUE);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(FirmwareViewWin32, FailedUpdateShowsItsStageAndOffersTheButtonAgain) {
    ShowFirmwareView("1.00", {"--fail-write", "5"});
    HWND button = UpdateButton();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    Click(button);
    ASSERT_TRUE(PumpUntil([&] { return CountNotices() > 0 && !MenusLocked(); }, VIEW_WAIT_MS));
    {
        std::lock_guard<std::mutex> lock(NoticeLock);
        ASSERT_EQ(RecordedNotices.size(), 1u);
        EXPECT_EQ(RecordedNotices[0].text, PROGRAM_MODE_FAILURE_MESSAGE);
        EXPECT_EQ(RecordedNotices[0].caption, "-Firmware Update Error-");
        EXPECT_EQ(RecordedNotices[0].flags, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    }
    EXPECT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    EXPECT_EQ(UpdateAllowed.load(), 1);
    EXPECT_EQ(ProgramPhase.load(), PHASE_NONE);
    EXPECT_EQ(SendMessageA(ProgressBar(), PBM_GETPOS, 0, 0), 0);
}

TEST_F(FirmwareViewWin32, UnitInSetupModeIsRefused) {
    ShowFirmwareView("1.00", {"--unit-mode", "2"});
    HWND button = UpdateButton();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    size_t requestsBefore = UnitRequests().size();
    bool menusLocked = false;
    Click(button);
    ASSERT_TRUE(PumpUntil(
        [&] {
            menusLocked = menusLocked || MenusLocked();
            return CountNotices() > 0;
        },
        VIEW_WAIT_MS));
    {
        std::lock_guard<std::mutex> lock(NoticeLock);
        ASSERT_EQ(RecordedNotices.size(), 1u);
        EXPECT_EQ(RecordedNotices[0].text, SETUP_MODE_REFUSAL_TEXT);
        EXPECT_EQ(RecordedNotices[0].caption, "-WB Firmware Error-");
        EXPECT_EQ(RecordedNotices[0].flags, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    }
    PumpFor(300);
    EXPECT_FALSE(menusLocked);
    EXPECT_EQ(UnitRequests().size(), requestsBefore) << "nothing was sent";
    EXPECT_EQ(UpdateAllowed.load(), 0);
    EXPECT_FALSE(IsWindowEnabled(button));
}

} // namespace
