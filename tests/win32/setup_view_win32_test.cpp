// The Wide Band Setup view in the real main window under Wine: the key filter of its fields, and
// Set and Read against the simulated unit with the window locked while the write runs.
#include "app/input_filter.h"
#include "resources/resource.h"
#include "support/notice_record.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_transfer.h"
#include "win32/app_driver.h"
#include "win32/view_fixture.h"
#include "win32/wine_sim.h"

#include <commctrl.h>

namespace {

class SetupViewWin32 : public ViewWin32 {
  protected:
    void TearDown() override {
        PumpUntil([] { return SetupWriteRunning.load() == 0; }, VIEW_WAIT_MS);
        ViewWin32::TearDown();
    }
    // Rows 0 to 3: channel A's volts, AFR, volts, AFR; 4 to 7 channel B's (its linear layout).
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
};

TEST_F(SetupViewWin32, SetWritesTheTablesWithTheWindowLockedAndReadBringsTheValuesBack) {
    StartUnit({"--baud", "57600"}); // paced at the line's speed: the write can be watched
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());
    // Above the volts' limit, and an AFR of 250 in a five-character field: each a beep for the
    // letter and one for the value, which keeps the focus.
    const char* refused[][2] = {{"a7", "5.0"}, {"a250", "210.0"}};
    for (int row = 0; row < 2; ++row) {
        int32_t beeps = RefusedInputBeeps();
        SetFocus(Field(row));
        SetWindowTextA(Field(row), "");
        TypeText(Field(row), refused[row][0]);
        Tab(Field(row));
        EXPECT_EQ(ControlText(Field(row)), refused[row][1]);
        EXPECT_EQ(RefusedInputBeeps() - beeps, 2);
        EXPECT_EQ(GetFocus(), Field(row));
    }
    Click(713, 424); // WB: channel B's four fields
    const char* typed[][2] = {{"0.5", "0.5"}, {"11", "11.00"}, {"4.5", "4.5"}, {"18", "18.00"},
                              {"5", "5.0"},   {"20", "20.00"}, {"0", "0.0"},   {"10", "10.00"}};
    for (int row = 0; row < 8; ++row) {
        SetWindowTextA(Field(row), typed[row][0]);
        SetFocus(Field(row));
        Tab(Field(row));
    }
    const SetupRecord values = SetupValues;
    int32_t beeps = RefusedInputBeeps();
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
    EXPECT_EQ(SetupWriteResult.load(), 0);
    EXPECT_GE(RefusedInputBeeps() - beeps, 2) << "each close request refused with a beep";
    EXPECT_TRUE(IsWindow(window) && !Grayed(GetSystemMenu(window, FALSE), SC_CLOSE) &&
                IsWindowEnabled(Field(7)));

    // The unit deciphered exactly the tables that the typed values give.
    OutputTable table1{}, table2{};
    BuildSetupTables(values, table1, table2);
    std::string tables(table1.begin(), table1.end());
    tables.append(table2.begin(), table2.end());
    EXPECT_TRUE(PumpUntil([&] { return ReadFileText(DosPathOf(simTables)) == tables; }, 5000));
    Click(480, 496); // Set Defaults
    Click(340, 496); // Read MQ-6
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(ControlText(Field(row)), typed[row][1]) << "row " << row;
    EXPECT_EQ(CountNotices(), 0u);
}

} // namespace
