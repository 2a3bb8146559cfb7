// The Wide Band Setup view's rule without its window: the check a field gets when it is left,
// the notice Set gives for limited values, and the unit's values let in after a data block
// everywhere the user has not edited.
#include "firmware/banner.h"
#include "wbsetup/setup_form.h"

#include <gtest/gtest.h>

#include <bit>
#include <vector>

namespace {

// A's first volts 6 (limited to 5.0), its first AFR 9.5, the Stoich AFR 0.5 (limited to 1.00),
// A's second volts 7 (limited), then 4, within the range: only the first two are told. Then the
// unit's values fill every item the user has not edited; an opened file's value beyond a field's
// range stays until the field is retyped.
TEST(SetupForm, LimitedFieldsAreToldOnceAndTheUnitsValuesFillWhatTheUserHasNotEdited) {
    SetupValues = DEFAULT_SETUP;
    ResetSetupForm();
    for (auto [row, text, limited] :
         {std::tuple(0, "6", 1), {1, "9.5", 0}, {8, "0.5", 1}, {2, "7", 1}, {2, "4", 0}})
        EXPECT_EQ(CheckFormField(row, text), limited) << text;
    EXPECT_EQ(EditedItems, 0b100000111u) << "rows 0, 1, 2 and the Stoich AFR";
    std::string text;
    EXPECT_EQ(DescribeLimitedFields(text), -1);
    EXPECT_EQ(text,
              "Channel A, first Volts was limited to 5.0.\nStoich AFR was limited to "
              "1.00.\n\nNothing was written. Press \"Set MQ-6\" again to write these values.");
    EXPECT_EQ(DescribeLimitedFields(text), 0) << "told once";

    // Then a data block: the view shows the defaults, channel B narrowband; the unit holds
    // 14.60, flags F2 (B linear and bits of its own), offset 140, A 1.2 V at 11.00 and 4.5 V at
    // 18.50 Slowest, B 0.5 V at 9.00 and 4.0 V at 17.00 Fastest. Each row: what the user did
    // (A's second volts typed "2.2" or not, items marked edited, the row A's Response box
    // shows) and the fields that keep the view's value.
    PackSetupBlock({1460, 0xF2, 140, {{{12, 1100, 45, 1850, 16, 0}, {5, 900, 40, 1700, 240, 6}}}},
                   DeviceInfo);
    DeviceInfo[UNIT_MODE_OFFSET] = 0;
    DeviceDataValid.store(1);
    const std::tuple<const char*, bool, uint32_t, int32_t, std::vector<std::pair<int, int32_t>>>
        rows[] = {{"nothing edited", false, 0, 3, {}},
                  {"A's second volts typed", true, 0, 3, {{5, 50}}},
                  {"NB chosen: the unit's other bits", false, ITEM_LAYOUT, 3, {{1, 0xF0}}},
                  {"offset moved", false, ITEM_OFFSET, 3, {{2, 128}}},
                  {"A's box showing Faster", false, 0, 5, {{7, 128}, {8, 3}}}};
    for (const auto& [what, typed, edited, responseRow, kept] : rows) {
        SCOPED_TRACE(what);
        SetupValues = DEFAULT_SETUP;
        ResetSetupForm();
        EditedItems = edited;
        SetupFormTexts form{{}, {1, 1, 1, 1, 0, 0, 0, 0, 1}, {responseRow, 3}, {true, true}};
        for (int field : {0, 1, 2, 3, 8})
            FormatFormValue(field, form.Text[size_t(field)]);
        if (typed)
            form.Text[2] = {'2', '.', '2'};
        EXPECT_EQ(TakeUnitSetup(false, form, nullptr), 1);
        // The record's fields in their order: stoich, flags, offset, then per channel volts1,
        // afr1, volts2, afr2, response code and row.
        auto expected =
            std::to_array({1460, 0xF2, 140, 12, 1100, 45, 1850, 16, 0, 5, 900, 40, 1700, 240, 6});
        for (auto [at, value] : kept)
            expected[size_t(at)] = value;
        EXPECT_EQ(std::bit_cast<decltype(expected)>(SetupValues), expected);
        EXPECT_EQ(TakeUnitSetup(false, form, nullptr), 0) << "the same block again";
    }
    // Nothing from a unit in its firmware update mode, nor Set without the unit's values seen.
    ResetSetupForm();
    DeviceInfo[UNIT_MODE_OFFSET] = UNIT_MODE_FIRMWARE_UPDATE;
    EXPECT_EQ(TakeUnitSetup(true, SetupFormTexts{}, nullptr), 0);
    DeviceDataValid.store(0);
    EXPECT_TRUE(SetupUnseen());
    NoteSetupChosen();
    EXPECT_FALSE(SetupUnseen()) << "every value is the user's after Set Defaults";
    // A file's Stoich AFR 0.50, below the field's range, stays until the field is retyped.
    SetupValues.StoichAfr = 50;
    NoteSetupOpened();
    // Each check leaves the value shown (which names the row), limited unless it is the file's.
    for (auto [typed, value] : {std::pair("0.50", 50), {"250", 21000}, {"0.50", 100}})
        EXPECT_EQ((std::pair{CheckFormField(8, typed), SetupValues.StoichAfr}),
                  std::pair(value == 50 ? -1 : 1, value));
}

// Edits typed over one unit's values are that unit's: a block that differs drops them, unless
// they are a whole setup of the user's choosing (Set Defaults, a setup file) or a cut write's on
// the same unit. The unit holds the defaults and banner byte 130 'A'; A's first volts becomes
// 2.0. The next block holds Stoich 14.60 and comes from another unit (byte 130 'B') or from the
// same unit, in its setup mode after the cut: part of a write, which fills nothing; or in its
// normal mode after a write it refused at its first block (REFUSED), still the user's. Each row:
// A's first volts and the items marked as differing from the unit (row 0 and the Stoich AFR,
// row 8) after that block.
TEST(SetupForm, EditsStayOnlyWithTheUnitTheyWereMadeForAndDifferencesAreMarked) {
    enum How { TYPED, CHOSEN, CUT, REFUSED };
    const std::tuple<How, char, int32_t, uint32_t> rows[] = {
        {TYPED, 'B', 0, 0},    {TYPED, 'A', 0, 0},    {CHOSEN, 'B', 20, 0x101},
        {CUT, 'B', 20, 0x101}, {CUT, 'A', 20, 0x101}, {REFUSED, 'A', 20, 0x101}};
    for (const auto& [how, unit, volts, differing] : rows) {
        SCOPED_TRACE(std::to_string(how) + unit);
        DeviceInfo[130] = 'A', DeviceInfo[UNIT_MODE_OFFSET] = 0;
        PackSetupBlock(DEFAULT_SETUP, DeviceInfo);
        DeviceDataValid.store(1);
        SetupValues = DEFAULT_SETUP;
        // The view opened afresh after a cut write of a chosen setup, then the unit's block.
        NoteSetupChosen(), NoteSetupCut(), ResetSetupForm();
        EXPECT_EQ(TakeUnitSetup(false, SetupFormTexts{}, nullptr), 1);
        SetupValues.Channel[CHANNEL_A].Volts1 = 20;
        how == TYPED    ? void(EditedItems = 1)
        : how == CHOSEN ? NoteSetupChosen()
                        : (NoteSetupWritten(), NoteSetupCut());
        DeviceInfo[5] = 0xB4; // Stoich 14.60
        DeviceInfo[130] = unit, DeviceInfo[UNIT_MODE_OFFSET] = how == CUT ? UNIT_MODE_SETUP : 0;
        EXPECT_EQ(TakeUnitSetup(false, SetupFormTexts{}, nullptr), 1);
        EXPECT_EQ(std::pair(SetupValues.Channel[CHANNEL_A].Volts1, DifferingItems(SetupValues)),
                  std::pair(volts, differing));
    }
}

} // namespace
