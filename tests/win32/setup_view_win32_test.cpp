// The Wide Band Setup view in the real main window under Wine: its controls and their Tab order,
// the checks of typed values, the key filter, the offset scroll bar, the two layouts of channel
// B, Set Defaults, Read and Set against the simulated unit, and the view's picture.
#include "app/input_filter.h"
#include "app/main_window.h"
#include "display/status_line.h"
#include "link/link.h"
#include "resources/resource.h"
#include "support/notice_record.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_plot.h"
#include "wbsetup/setup_transfer.h"
#include "wbsetup/setup_values.h"
#include "win32/app_driver.h"
#include "win32/view_fixture.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr Colour GRID = Rgb(190, 190, 190);
constexpr Colour BLACK = Rgb(0, 0, 0);

struct ExpectedControl {
    const char* className;
    const char* text;
    DWORD style;
    int x;
    int y;
    // Bits the control itself changes: a combo box hands its scroll bar to its list, and an
    // unchecked radio button is no tab stop.
    DWORD changed = 0;
};

class SetupViewWin32 : public ViewWin32 {
  protected:
    void SetUp() override {
        ViewWin32::SetUp();
        SetupValues = DEFAULT_SETUP;
    }
    void TearDown() override {
        // A write still running must finish before the window goes.
        PumpUntil([] { return SetupWriteRunning.load() == 0; }, VIEW_WAIT_MS);
        ViewWin32::TearDown();
        SetupValues = DEFAULT_SETUP;
    }

    HWND Field(int row) const {
        return ChildAt("Edit", FieldTable[static_cast<size_t>(row)].x,
                       FieldTable[static_cast<size_t>(row)].y);
    }
    HWND Stoich() const {
        return Field(FIELD_ROW_STOICH);
    }
    HWND Button(const char* text) const {
        return ChildWithText("Button", text);
    }
    HWND OffsetBar() const {
        return ChildAt("ScrollBar", 476, 364);
    }
    HWND ResponseBox(int channel) const {
        return ChildAt("ComboBox", channel == 0 ? 133 : 528, 424);
    }
    bool Checked(const char* radio) const {
        return SendMessageA(Button(radio), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    int BarPosition() const {
        return GetScrollPos(OffsetBar(), SB_CTL);
    }
    std::string ResponseShown(int channel) const {
        return ControlText(ResponseBox(channel));
    }

    // Types text into a field as the user would after selecting all of it, then Tab.
    void TypeAndTab(HWND field, std::string_view text) {
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
        SendMessageA(field, WM_CLEAR, 0, 0);
        TypeText(field, text);
        PressKey(field, VK_TAB);
    }

    bool WaitForWrite() {
        return PumpUntil([] { return SetupWriteRunning.load() == 0; }, VIEW_WAIT_MS);
    }
};

TEST_F(SetupViewWin32, ControlsComeInTabOrderWithTheirStylesAndPlaces) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    const int cw = CharWidth;
    const int lh = LineHeight;
    // Defaults: channel B in its narrowband layout, so the scroll bar closes the list.
    const std::vector<ExpectedControl> expected = {
        {"Button", "Channel A", 0x50000007, 8, 44},
        {"Button", "Channel B", 0x50000007, 403, 44},
        {"Edit", "14.70", 0x50010002, 130, 506},
        {"Button", "Read MQ-6", 0x50010000, 340, 496},
        {"Button", "Set Defaults", 0x50010000, 480, 496},
        {"Button", "Set MQ-6", 0x50010000, 620, 496},
        {"Edit", "0.0", 0x50010002, 44, 364},
        {"Edit", "10.00", 0x50010002, 280, 364},
        {"Edit", "5.0", 0x50010002, 44, 390},
        {"Edit", "20.00", 0x50010002, 280, 390},
        {"ComboBox", "Medium", 0x50210003, 133, 424, WS_VSCROLL},
        {"ComboBox", "Medium", 0x50210003, 528, 424, WS_VSCROLL},
        {"Button", "NB", 0x50030009, 663, 424},
        {"Button", "WB", 0x50010009, 713, 424, WS_TABSTOP},
        {"ScrollBar", "", 0x50010000, 476, 364},
    };
    std::vector<HWND> children = Children();
    ASSERT_EQ(children.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        HWND child = children[i];
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        SCOPED_TRACE(std::string("control ") + std::to_string(i) + " " + expected[i].text);
        EXPECT_STREQ(className, expected[i].className);
        EXPECT_EQ(ControlText(child), expected[i].text);
        EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)) & ~expected[i].changed,
                  expected[i].style & ~expected[i].changed)
            << std::hex << GetWindowLongA(child, GWL_STYLE);
        EXPECT_EQ(GetDlgCtrlID(child), 0) << "no control carries an identifier";
        RECT rect = ClientRectOf(child);
        EXPECT_EQ(rect.left, expected[i].x);
        EXPECT_EQ(rect.top, expected[i].y);
    }
    // Sizes: fields five characters wide, buttons ten, radio buttons five.
    RECT rect = ClientRectOf(Stoich());
    EXPECT_EQ(rect.right - rect.left, 5 * cw);
    EXPECT_EQ(rect.bottom - rect.top, lh - 4);
    rect = ClientRectOf(Button("Set MQ-6"));
    EXPECT_EQ(rect.right - rect.left, 10 * cw);
    EXPECT_EQ(rect.bottom - rect.top, lh + 10);
    rect = ClientRectOf(Button("NB"));
    EXPECT_EQ(rect.right - rect.left, 5 * cw);
    EXPECT_EQ(rect.bottom - rect.top, lh);
    rect = ClientRectOf(OffsetBar());
    EXPECT_EQ(rect.right - rect.left, 256);
    EXPECT_EQ(rect.bottom - rect.top, 18);
    EXPECT_EQ(SendMessageA(Stoich(), EM_GETLIMITTEXT, 0, 0), 5);

    // The response boxes list the seven rates, slowest first.
    HWND box = ResponseBox(0);
    ASSERT_EQ(SendMessageA(box, CB_GETCOUNT, 0, 0), RESPONSE_CHOICE_COUNT);
    char name[32] = {};
    SendMessageA(box, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, "Slowest");
    SendMessageA(box, CB_GETLBTEXT, 6, reinterpret_cast<LPARAM>(name));
    EXPECT_STREQ(name, "Fastest");

    // The offset bar: 55 to 208 with a page of 8, at the offset.
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(OffsetBar(), SB_CTL, &info));
    EXPECT_EQ(info.nMin, 55);
    EXPECT_EQ(info.nMax, 208);
    EXPECT_EQ(info.nPage, 8u);
    EXPECT_EQ(info.nPos, 128);

    EXPECT_TRUE(Checked("NB"));
    EXPECT_FALSE(Checked("WB"));
    EXPECT_EQ(GetFocus(), Stoich());
}

TEST_F(SetupViewWin32, LeavingAFieldChecksRoundsAndBeeps) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    HWND volts = Field(0);
    HWND afr = Field(1);

    // Above the limit: 5.0 with a beep, and the focus stays in the field.
    int32_t beeps = RefusedInputBeeps();
    TypeAndTab(volts, "7");
    EXPECT_EQ(ControlText(volts), "5.0");
    EXPECT_EQ(RefusedInputBeeps() - beeps, 1);
    EXPECT_EQ(GetFocus(), volts);
    EXPECT_EQ(SetupValues.Channel[0].Volts1, 50);

    // Rounded with 0.55: 2.446 is 2.5, 2.444 is 2.4; no beep, and Tab moves on.
    beeps = RefusedInputBeeps();
    TypeAndTab(volts, "2.446");
    EXPECT_EQ(ControlText(volts), "2.5");
    EXPECT_EQ(SetupValues.Channel[0].Volts1, 25);
    EXPECT_EQ(GetFocus(), afr);
    TypeAndTab(volts, "2.444");
    EXPECT_EQ(ControlText(volts), "2.4");
    EXPECT_EQ(SetupValues.Channel[0].Volts1, 24);
    EXPECT_EQ(RefusedInputBeeps() - beeps, 0);

    // An emptied AFR field becomes 0.00, with a beep.
    beeps = RefusedInputBeeps();
    TypeAndTab(afr, "");
    EXPECT_EQ(ControlText(afr), "0.00");
    EXPECT_EQ(SetupValues.Channel[0].Afr1, 0);
    EXPECT_EQ(RefusedInputBeeps() - beeps, 1);
    EXPECT_EQ(GetFocus(), afr);
    // The field takes five characters, so the limit shows as 210.0.
    beeps = RefusedInputBeeps();
    TypeAndTab(afr, "250");
    EXPECT_EQ(ControlText(afr), "210.0");
    EXPECT_EQ(SetupValues.Channel[0].Afr1, 21000);
    EXPECT_EQ(RefusedInputBeeps() - beeps, 1);

    // The stoichiometric AFR gets two decimals and redraws the AFR figures under the plots.
    TypeAndTab(Stoich(), "10");
    EXPECT_EQ(ControlText(Stoich()), "10.00");
    EXPECT_EQ(SetupValues.StoichAfr, 1000);
    TypeAndTab(Stoich(), "14.7");
    EXPECT_EQ(ControlText(Stoich()), "14.70");
    EXPECT_EQ(SetupValues.StoichAfr, 1470);
}

TEST_F(SetupViewWin32, TabEnterAndEscapeMoveTheFocusShiftBackwards) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    HWND read = Button("Read MQ-6");
    HWND defaults = Button("Set Defaults");
    ASSERT_EQ(GetFocus(), Stoich());
    PressKey(Stoich(), VK_TAB);
    EXPECT_EQ(GetFocus(), read);
    // Enter moves on instead of pressing the button: no read, so no notice and no request.
    PressKey(read, VK_RETURN);
    EXPECT_EQ(GetFocus(), defaults);
    PressKey(defaults, VK_ESCAPE, true);
    EXPECT_EQ(GetFocus(), read);
    PressKey(read, VK_TAB, true);
    EXPECT_EQ(GetFocus(), Stoich());
    PressKey(Stoich(), VK_RETURN, true);
    EXPECT_NE(GetFocus(), Stoich()) << "Shift+Enter goes back from the first tab stop";
    EXPECT_EQ(CountNotices(), 0u);

    // The scroll bar and the radio buttons filter their keys as well.
    SetFocus(OffsetBar());
    PressKey(OffsetBar(), VK_TAB, true);
    EXPECT_EQ(GetFocus(), Button("NB")) << "the unchecked WB is no tab stop";
    EXPECT_EQ(BarPosition(), 128) << "Tab is no scroll request";
}

TEST_F(SetupViewWin32, OffsetBarMovesTheOffsetByItsChange) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    HWND bar = OffsetBar();
    ASSERT_NE(bar, nullptr);
    SetFocus(bar);
    PressKey(bar, VK_RIGHT);
    EXPECT_EQ(BarPosition(), 129);
    EXPECT_EQ(SetupValues.NbOffset, 129);
    // End does nothing; Home centres.
    PressKey(bar, VK_END);
    EXPECT_EQ(BarPosition(), 129);
    EXPECT_EQ(SetupValues.NbOffset, 129);
    PressKey(bar, VK_HOME);
    EXPECT_EQ(BarPosition(), 128);
    EXPECT_EQ(SetupValues.NbOffset, 128);
    PressKey(bar, VK_PRIOR);
    EXPECT_EQ(SetupValues.NbOffset, 120) << "a page is 8";

    // At the end of the bar the offset stops with it.
    for (int i = 0; i < 30; ++i)
        SendMessageA(window, WM_HSCROLL, SB_PAGERIGHT, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(BarPosition(), 201);
    EXPECT_EQ(SetupValues.NbOffset, 201);

    // An offset beyond the bar's end, as a unit may report it, keeps its distance from the bar.
    SetupValues.NbOffset = 230;
    SendMessageA(window, WM_HSCROLL, SB_LINELEFT, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(BarPosition(), 200);
    EXPECT_EQ(SetupValues.NbOffset, 229);
    SendMessageA(window, WM_HSCROLL, SB_LEFT, reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(BarPosition(), 128);
    EXPECT_EQ(SetupValues.NbOffset, 157);
}

TEST_F(SetupViewWin32, RadioButtonsSwitchChannelBLayouts) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    ASSERT_NE(OffsetBar(), nullptr);
    for (int row = 4; row < 8; ++row)
        EXPECT_EQ(Field(row), nullptr);

    Click(Button("WB"));
    EXPECT_TRUE(Checked("WB"));
    EXPECT_FALSE(Checked("NB"));
    EXPECT_NE(SetupValues.SetupFlags & SETUP_FLAG_B_LINEAR, 0);
    EXPECT_EQ(OffsetBar(), nullptr);
    std::vector<HWND> fieldsB;
    for (int row = 4; row < 8; ++row) {
        fieldsB.push_back(Field(row));
        EXPECT_NE(fieldsB.back(), nullptr) << "row " << row;
    }
    EXPECT_EQ(ControlText(fieldsB[0]), "0.0");
    EXPECT_EQ(ControlText(fieldsB[3]), "20.00");
    EXPECT_EQ(GetFocus(), Stoich());
    // New controls go to the end of the Tab order.
    EXPECT_EQ(Children().back(), fieldsB.back());

    // WB while checked does nothing: the same fields stay.
    TypeAndTab(fieldsB[1], "12");
    Click(Button("WB"));
    for (int row = 4; row < 8; ++row)
        EXPECT_EQ(Field(row), fieldsB[static_cast<size_t>(row - 4)]);
    EXPECT_EQ(ControlText(fieldsB[1]), "12.00");

    // NB in the linear layout removes the fields and shows the bar at the offset.
    SetupValues.NbOffset = 140;
    Click(Button("NB"));
    EXPECT_TRUE(Checked("NB"));
    EXPECT_EQ(SetupValues.SetupFlags & SETUP_FLAG_B_LINEAR, 0);
    for (int row = 4; row < 8; ++row)
        EXPECT_EQ(Field(row), nullptr);
    ASSERT_NE(OffsetBar(), nullptr);
    EXPECT_EQ(BarPosition(), 140);
    EXPECT_EQ(SetupValues.Channel[1].Afr1, 1200) << "the value typed lives on";
}

TEST_F(SetupViewWin32, SetDefaultsGivesTheDefaultLayoutAndValues) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    Click(Button("WB"));
    TypeAndTab(Field(0), "1.5");
    TypeAndTab(Stoich(), "9.8");
    SendMessageA(ResponseBox(0), CB_SETCURSEL, 6, 0);
    SendMessageA(ResponseBox(1), CB_SETCURSEL, 0, 0);
    SetupValues.NbOffset = 150;

    Click(Button("Set Defaults"));
    EXPECT_TRUE(Checked("NB"));
    EXPECT_FALSE(Checked("WB"));
    ASSERT_NE(OffsetBar(), nullptr);
    EXPECT_EQ(BarPosition(), 128);
    EXPECT_EQ(Field(4), nullptr);
    EXPECT_EQ(ResponseShown(0), "Medium");
    EXPECT_EQ(ResponseShown(1), "Medium");
    EXPECT_EQ(ControlText(Field(0)), "0.0");
    EXPECT_EQ(ControlText(Field(1)), "10.00");
    EXPECT_EQ(ControlText(Stoich()), "14.70");
    EXPECT_EQ(GetFocus(), Stoich());
    EXPECT_EQ(SetupValues.NbOffset, 128);
    EXPECT_EQ(SetupValues.StoichAfr, 1470);
    EXPECT_EQ(SetupValues.SetupFlags, 0);
}

TEST_F(SetupViewWin32, SwitchingViewsKeepsValuesAndLayout) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    Click(Button("WB"));
    TypeAndTab(Field(6), "3.3");
    TypeAndTab(Stoich(), "6.4");
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    EXPECT_EQ(Stoich(), nullptr) << "the controls go with the view";
    EXPECT_EQ(Button("WB"), nullptr);
    SendMessageA(window, WM_COMMAND, IDM_WB_SETUP, 0);
    EXPECT_TRUE(Checked("WB"));
    EXPECT_EQ(OffsetBar(), nullptr);
    ASSERT_NE(Field(6), nullptr);
    EXPECT_EQ(ControlText(Field(6)), "3.3");
    EXPECT_EQ(ControlText(Stoich()), "6.40");
    EXPECT_EQ(GetFocus(), Stoich());
}

TEST_F(SetupViewWin32, SetWritesTheTablesAndReadBringsTheValuesBack) {
    // Paced at the line's speed, so the write runs long enough to be watched.
    StartUnit({"--baud", "57600"});
    StartWindow(VIEW_SETTINGS_UNIT);
    ASSERT_TRUE(WaitForUnitData());

    Click(Button("WB"));
    TypeAndTab(Field(0), "0.5");
    TypeAndTab(Field(1), "11");
    TypeAndTab(Field(2), "4.5");
    TypeAndTab(Field(3), "18");
    TypeAndTab(Field(4), "5");
    TypeAndTab(Field(5), "20");
    TypeAndTab(Field(6), "0");
    TypeAndTab(Field(7), "10");
    TypeAndTab(Stoich(), "14.6");
    SendMessageA(ResponseBox(0), CB_SETCURSEL, 5, 0);
    SendMessageA(ResponseBox(1), CB_SETCURSEL, 1, 0);
    const SetupRecord typed = SetupValues;

    int32_t beepsBefore = RefusedInputBeeps();
    Click(Button("Set MQ-6"));
    ASSERT_EQ(SetupWriteRunning.load(), 1);
    // While the write runs: a progress bar, the input controls disabled, the menus locked.
    HWND bar = nullptr;
    ASSERT_TRUE(PumpUntil(
        [&] {
            bar = ChildAt("msctls_progress32", 8, 476);
            return bar != nullptr && SendMessageA(bar, PBM_GETPOS, 0, 0) > 10;
        },
        VIEW_WAIT_MS));
    // No close request ends the program under the write.
    EXPECT_EQ(AskToClose(), FALSE);
    EXPECT_TRUE(CloseGrayed(window));
    EXPECT_TRUE(MenuItemGrayed(window, IDM_COMM_SETUP));
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 256);
    EXPECT_FALSE(IsWindowEnabled(Button("Set MQ-6")));
    EXPECT_FALSE(IsWindowEnabled(Stoich()));
    EXPECT_FALSE(IsWindowEnabled(Field(7)));
    EXPECT_FALSE(IsWindowEnabled(ResponseBox(1)));
    EXPECT_FALSE(IsWindowEnabled(Button("NB")));
    EXPECT_TRUE(IsWindowEnabled(Button("Channel A"))) << "the group boxes stay";
    EXPECT_TRUE(MenuItemGrayed(window, IDM_EXIT));
    EXPECT_TRUE(MenuItemGrayed(window, IDM_AFR_LAMBDA));

    ASSERT_TRUE(WaitForWrite());
    EXPECT_EQ(SetupWriteResult.load(), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_GE(RefusedInputBeeps() - beepsBefore, 2);
    EXPECT_FALSE(CloseGrayed(window));
    PumpUntil([&] { return ChildAt("msctls_progress32", 8, 476) == nullptr; }, VIEW_WAIT_MS);
    EXPECT_EQ(ChildAt("msctls_progress32", 8, 476), nullptr);
    EXPECT_TRUE(IsWindowEnabled(Button("Set MQ-6")));
    EXPECT_TRUE(IsWindowEnabled(Field(7)));
    EXPECT_FALSE(MenuItemGrayed(window, IDM_EXIT));
    EXPECT_TRUE(MenuItemGrayed(window, IDM_WB_SETUP));
    EXPECT_TRUE(PumpUntil([&] { return GetFocus() == Stoich(); }, VIEW_WAIT_MS))
        << "the paint after the write gives the focus back to the Stoich AFR field";
    EXPECT_EQ(CountNotices(), 0u);

    // The unit deciphered exactly the tables that the typed values give.
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(typed, table1, table2);
    std::vector<uint8_t> expected(2 * OUTPUT_TABLE_SIZE);
    std::copy(table1.begin(), table1.end(), expected.begin());
    std::copy(table2.begin(), table2.end(), expected.begin() + OUTPUT_TABLE_SIZE);
    ASSERT_TRUE(PumpUntil([&] { return DumpedTables().size() == expected.size(); }, VIEW_WAIT_MS));
    EXPECT_EQ(DumpedTables(), expected);

    // Defaults here, then Read brings the unit's values back into every control.
    Click(Button("Set Defaults"));
    ASSERT_EQ(ControlText(Field(1)), "10.00");
    Click(Button("Read MQ-6"));
    EXPECT_EQ(GetFocus(), Button("Read MQ-6"));
    EXPECT_TRUE(Checked("WB"));
    EXPECT_FALSE(Checked("NB"));
    EXPECT_EQ(OffsetBar(), nullptr);
    EXPECT_EQ(ControlText(Field(0)), "0.5");
    EXPECT_EQ(ControlText(Field(1)), "11.00");
    EXPECT_EQ(ControlText(Field(2)), "4.5");
    EXPECT_EQ(ControlText(Field(3)), "18.00");
    EXPECT_EQ(ControlText(Field(4)), "5.0");
    EXPECT_EQ(ControlText(Field(5)), "20.00");
    EXPECT_EQ(ControlText(Field(6)), "0.0");
    EXPECT_EQ(ControlText(Field(7)), "10.00");
    EXPECT_EQ(ControlText(Stoich()), "14.60");
    EXPECT_EQ(ResponseShown(0), "Faster");
    EXPECT_EQ(ResponseShown(1), "Slower");
    EXPECT_EQ(SetupValues.Channel[1].Afr2, 1000);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(SetupViewWin32, PictureShowsFramesGridsAndCurves) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    SetupValues.NbOffset = 150;
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    SendMessageA(window, WM_COMMAND, IDM_WB_SETUP, 0);
    PumpFor(300);
    std::string path = SaveWindowPicture("setup_view.bmp");
    EXPECT_FALSE(path.empty());

    // Plot frames, a grid line, the white field frames and the defaults' line in plot A: from
    // (44, 317) flat to nothing, rising to (374, 85).
    EXPECT_EQ(WindowPixel(window, 200, 68), BLACK);
    EXPECT_EQ(WindowPixel(window, 600, 318), BLACK);
    EXPECT_EQ(WindowPixel(window, 200, 267), GRID);
    EXPECT_EQ(WindowPixel(window, 44 + 164, 100), GRID);
    EXPECT_EQ(WindowPixel(window, 374, 85), BLACK);
    EXPECT_EQ(WindowPixel(window, 376, 85), BackColour);
    EXPECT_EQ(WindowPixel(window, 129, 505), BLACK) << "frame around the Stoich AFR field";
    // Channel B's narrowband curve starts at (439, 91) and ends at (769, 310).
    EXPECT_EQ(WindowPixel(window, 441, 91), BLACK);
    EXPECT_EQ(WindowPixel(window, 767, 310), BLACK);
    const int captionY = LineHeight + 369;
    EXPECT_GT(CountPixels(window, 560, captionY, 650, captionY + LineHeight, TextColour), 20)
        << "the NB Offset caption";
    EXPECT_GT(CountPixels(window, 700, captionY, 760, captionY + LineHeight, BLACK), 10)
        << "the switch-point readout at the lean end";
    EXPECT_EQ(CountPixels(window, 476, captionY, 540, captionY + LineHeight, BLACK), 0)
        << "and none at the rich end";
    EXPECT_GT(CountPixels(window, 44, 320, 374, 320 + 2 * LineHeight, BLACK) +
                  CountPixels(window, 44, 320, 374, 320 + 2 * LineHeight, TextColour),
              50)
        << "scale figures";
}

} // namespace
