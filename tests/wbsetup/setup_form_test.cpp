// The Wide Band Setup view's rule without its window: the check a field gets when it is left,
// the notice Set gives for limited values, and the unit's values let in after a data block
// everywhere the user has not edited.
#include "firmware/banner.h"
#include "link/link.h"
#include "wbsetup/setup_form.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

namespace {

// A record's fields in their order: stoich, flags, offset, then per channel volts1, afr1,
// volts2, afr2, response code and row.
using Fields = std::array<int32_t, 15>;

TEST(SetupForm, ChecksOnLeavingLimitAndSetNamesEachLimitedFieldOnceBeforeItWrites) {
    SetupValues = DEFAULT_SETUP;
    ResetSetupForm();
    // row, text typed, limited, the value stored
    const std::tuple<int, const char*, int, int32_t> rows[] = {
        {0, "6", 1, 50}, {1, "9.5", 0, 950}, {8, "0.5", 1, 100}, {2, "7", 1, 50}, {2, "4", 0, 40}};
    for (auto [row, text, limited, stored] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(CheckFormField(row, text), limited);
        EXPECT_EQ(FormValue(SetupValues, row), stored);
    }
    EXPECT_EQ(EditedItems, 0b100000111u) << "rows 0, 1, 2 and the Stoich AFR";
    std::string text;
    EXPECT_EQ(DescribeLimitedFields(text), -1);
    EXPECT_EQ(text,
              "Channel A, first Volts was limited to 5.0.\nStoich AFR was limited to "
              "1.00.\n\nNothing was written. Press \"Set MQ-6\" again to write these values.");
    EXPECT_EQ(DescribeLimitedFields(text), 0) << "told once";
}

// The view shows the defaults, channel B narrowband; the unit holds 14.60, flags F2 (B linear
// and bits of its own), offset 140, A 1.2 V at 11.00 and 4.5 V at 18.50 Slowest, B 0.5 V at 9.00
// and 4.0 V at 17.00 Fastest.
TEST(SetupForm, TheUnitsValuesFillEveryItemTheUserHasNotEdited) {
    const SetupRecord unit = {
        1460, 0xF2, 140, {{{12, 1100, 45, 1850, 16, 0}, {5, 900, 40, 1700, 240, 6}}}};
    const Fields all = {1460, 0xF2, 140, 12, 1100, 45, 1850, 16, 0, 5, 900, 40, 1700, 240, 6};
    const struct {
        const char* what;
        int row;             // a field given another text than it shows, or -1
        uint32_t edited;     // items marked edited before
        int32_t responseRow; // the row channel A's box shows
        std::array<std::pair<int, int32_t>, 2> kept; // fields keeping the view's value
    } rows[] = {
        {"nothing edited", -1, 0, 3, {{{0, 1460}, {0, 1460}}}},
        {"A's second volts typed", 2, 0, 3, {{{5, 50}, {5, 50}}}},
        {"Stoich AFR checked before", -1, 1u << 8, 3, {{{0, 1470}, {0, 1470}}}},
        {"NB chosen: the unit's other bits", -1, ITEM_LAYOUT, 3, {{{1, 0xF0}, {1, 0xF0}}}},
        {"offset moved", -1, ITEM_OFFSET, 3, {{{2, 128}, {2, 128}}}},
        {"A's box showing Faster", -1, 0, 5, {{{7, 128}, {8, 3}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetupValues = DEFAULT_SETUP;
        ResetSetupForm();
        EditedItems = row.edited;
        SetupFormTexts form{};
        for (int field : {0, 1, 2, 3, 8}) {
            form.FieldShown[size_t(field)] = true;
            FormatFormValue(field, form.Text[size_t(field)]);
        }
        if (row.row >= 0)
            std::strcpy(form.Text[size_t(row.row)].data(), "2.2");
        form.ResponseRow = {row.responseRow, 3};
        form.ResponseShown = {true, true};
        PackSetupBlock(unit, DeviceInfo);
        DeviceInfo[UNIT_MODE_OFFSET] = 0;
        DeviceDataValid.store(1);
        EXPECT_EQ(TakeUnitSetup(false, form), 1);
        Fields expected = all;
        for (auto [at, value] : row.kept)
            expected[size_t(at)] = value;
        EXPECT_EQ(std::bit_cast<Fields>(SetupValues), expected);
        EXPECT_EQ(TakeUnitSetup(false, form), 0) << "the same block again";
    }
    // Nothing from a unit in its firmware update mode, nor Set without the unit's values seen.
    ResetSetupForm();
    DeviceInfo[UNIT_MODE_OFFSET] = UNIT_MODE_FIRMWARE_UPDATE;
    EXPECT_EQ(TakeUnitSetup(true, SetupFormTexts{}), 0);
    DeviceDataValid.store(0);
    EXPECT_TRUE(SetupUnseen());
    NoteSetupChosen();
    EXPECT_FALSE(SetupUnseen()) << "every value is the user's after Set Defaults";
}

} // namespace
