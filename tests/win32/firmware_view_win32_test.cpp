// The Firmware Update view in the real main window under Wine, against the simulated unit: a
// whole update with its phases, its progress and the window locked until the unit restarts.
#include "app/input_filter.h"
#include "firmware/firmware_paint.h"
#include "firmware/programming.h"
#include "resources/resource.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"
#include "win32/view_fixture.h"

#include <commctrl.h>

#include <atomic>

namespace {

// The phases a running update went through, seen by a hook in front of the view's own.
std::atomic<int> PhasesSeen{0};
void (*ViewPhaseHook)(int phase) = nullptr;
void RecordPhase(int phase) {
    PhasesSeen.fetch_or(1 << phase);
    ViewPhaseHook(phase);
}

TEST_F(ViewWin32, FirmwareUpdateRunsItsPhasesWithTheWindowLockedAndEndsWithTheMatch) {
    ResetFirmwareView();
    StartUnit({"--version", "1.00", "--baud", "57600"}); // paced: the phases can be watched
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    HWND button = ChildAt(window, "Button", 300, 420),
         bar = ChildAt(window, "msctls_progress32", 20, 500);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(button) != FALSE; }, VIEW_WAIT_MS));
    ViewPhaseHook = ProgramPhaseHook;
    ProgramPhaseHook = RecordPhase;
    bool locked = true;
    LRESULT endSession = TRUE;
    int32_t beeps = RefusedInputBeeps();
    SendMessageA(button, BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil(
        [&] {
            int32_t phase = ProgramPhase.load();
            if (phase != PHASE_NONE)
                locked = locked && !IsWindowEnabled(button) &&
                         Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                         Grayed(GetMenu(window), IDM_COMM_SETUP);
            if (phase == PHASE_PROGRAMMING && endSession == TRUE)
                endSession = AskToClose();
            return (PhasesSeen.load() & 1 << PHASE_FINISHING) != 0 && phase == PHASE_NONE;
        },
        60000));
    ProgramPhaseHook = ViewPhaseHook;
    EXPECT_EQ(PhasesSeen.load(), 1 << PHASE_NONE | 1 << PHASE_PROGRAMMING | 1 << PHASE_VERIFYING |
                                     1 << PHASE_FINISHING);
    EXPECT_TRUE(locked) << "no second update, no close, no port change while one runs";
    EXPECT_EQ(endSession, FALSE);
    EXPECT_GE(RefusedInputBeeps() - beeps, 2) << "each close request refused with a beep";
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
