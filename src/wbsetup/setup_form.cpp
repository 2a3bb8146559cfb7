// The Wide Band Setup view's rule over SetupValues and the unit's data block; no control is
// touched here.
#include "wbsetup/setup_form.h"

#include "firmware/banner.h"
#include "firmware/job.h"
#include "link/link.h"
#include "wbsetup/setup_fields.h"
#include "wbsetup/setup_transfer.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

uint32_t EditedItems = 0;
uint32_t LimitedRows = 0;

namespace {
// The data block that the view's values were last taken from or written as.
std::array<uint8_t, DEVICE_INFO_SIZE> ShownInfo{};
bool ShownBlockValid = false;
// The edits are a whole setup of the user's choosing, not bound to a unit.
bool EditsForAnyUnit = false;
// The edits are a cut write's, bound to its unit whatever its setup block now holds.
bool CutWriteKept = false;
// Since the cut, what the unit's setup block holds is not known: nothing is marked.
bool UnitSetupUnknown = false;
// The view shows the setup a cut write was writing, taken from its file after a restart.
bool PendingShown = false;
// Rows that show an opened setup file's value and have not been retyped since: their check keeps
// the file's value, which may lie beyond the field's range, so that Set writes the file's block.
uint32_t OpenedRows = 0;

uint32_t RowBit(int row) {
    return 1u << row;
}

void KeepShownBlock() {
    ShownInfo = DeviceInfo;
    ShownBlockValid = true;
    UnitSetupUnknown = false;
}

bool ShownBlockMidWrite() {
    return ShownBlockValid && ShownInfo[UNIT_MODE_OFFSET] == UNIT_MODE_SETUP;
}

// The same bytes from first to last, the setup block and the mode byte skipped as asked.
bool SameBytes(int first, int last, bool setup) {
    for (int at = first; at <= last; ++at) {
        bool inSetup = at >= SETUP_BLOCK_OFFSET && at < SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE;
        if (at != UNIT_MODE_OFFSET && (setup || !inSetup) &&
            ShownInfo[static_cast<size_t>(at)] != DeviceInfo[static_cast<size_t>(at)])
            return false;
    }
    return true;
}

bool SameBlock() {
    return SameBytes(0, DEVICE_INFO_SIZE - 1, true);
}

bool SameUnit() {
    return SameBytes(0, DEVICE_INFO_SIZE - 1, false);
}

bool IsLinear(const SetupRecord& values) {
    return (values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
}

// A selection other than none names a row; any negative number but -1 counts by its size.
void TakeResponseSelection(int32_t selection, ChannelSetup& setup) {
    if (selection == NO_SELECTION)
        return;
    long long row =
        std::min(std::llabs(selection), static_cast<long long>(RESPONSE_CHOICE_COUNT - 1));
    setup.ResponseIndex = static_cast<int32_t>(row);
    setup.ResponseValue = ResponseChoices[static_cast<size_t>(row)].value;
}
} // namespace

int32_t& FormValue(SetupRecord& values, int row) {
    return FieldSlot(FieldTable[FieldLayout[static_cast<size_t>(row)].field], values);
}

FieldKind FormKind(int row) {
    return static_cast<FieldKind>(FieldTable[FieldLayout[static_cast<size_t>(row)].field].kind);
}

void FormatFormValue(int row, std::array<char, FIELD_TEXT_LIMIT + 1>& text) {
    FormatFieldValue(FormValue(SetupValues, row), FormKind(row), text.data(), text.size());
}

void ResetSetupForm() {
    PendingShown = false;
    OpenedRows = 0;
    ShownBlockValid = false;
    EditedItems = 0;
    LimitedRows = 0;
    EditsForAnyUnit = false;
    CutWriteKept = false;
}

void NoteSetupRead() {
    PendingShown = false;
    OpenedRows = 0;
    KeepShownBlock();
    EditedItems = 0;
    LimitedRows = 0;
    EditsForAnyUnit = false;
    CutWriteKept = false;
}

void NoteSetupWritten() {
    PendingShown = false;
    OpenedRows = 0;
    KeepShownBlock();
    EditedItems = 0;
    EditsForAnyUnit = false;
    CutWriteKept = false;
}

void NoteSetupChosen() {
    PendingShown = false;
    OpenedRows = 0;
    EditedItems = ALL_ITEMS;
    LimitedRows = 0;
    EditsForAnyUnit = true;
    CutWriteKept = false;
}

void NoteSetupOpened() {
    NoteSetupChosen();
    OpenedRows = ITEM_RESPONSE_A - 1;
}

void NoteSetupCut() {
    EditedItems = ALL_ITEMS;
    CutWriteKept = true;
    UnitSetupUnknown = true;
}

bool ShowsResponseCode(int channel) {
    return FindResponseChoice(SetupValues.Channel[static_cast<size_t>(channel)].ResponseValue) <
               0 &&
           (EditedItems & (ITEM_RESPONSE_A << channel)) != 0;
}

int CheckFormField(int row, std::string_view text) {
    std::array<char, FIELD_TEXT_LIMIT + 1> stored{};
    FormatFormValue(row, stored);
    if ((OpenedRows & RowBit(row)) != 0 && text == std::string_view(stored.data()))
        return -1;
    OpenedRows &= ~RowBit(row);
    int32_t value = 0;
    int limited = CheckFieldText(text, FormKind(row), value);
    if (limited != 0)
        LimitedRows |= RowBit(row);
    else if (text != std::string_view(stored.data()))
        LimitedRows &= ~RowBit(row); // typed again, within the limits
    int32_t& slot = FormValue(SetupValues, row);
    if (value != slot)
        EditedItems |= RowBit(row);
    slot = value;
    return limited;
}

void NoteEditedItems(const SetupFormTexts& form) {
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row) {
        if (!form.FieldShown[static_cast<size_t>(row)])
            continue;
        std::array<char, FIELD_TEXT_LIMIT + 1> shown{};
        FormatFormValue(row, shown);
        if (std::string_view(form.Text[static_cast<size_t>(row)].data()) !=
            std::string_view(shown.data()))
            EditedItems |= RowBit(row);
    }
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel)
        if (form.ResponseShown[channel] &&
            form.ResponseRow[channel] != SetupValues.Channel[channel].ResponseIndex)
            EditedItems |= ITEM_RESPONSE_A << channel;
}

int TakeUnitSetup(bool wait, const SetupFormTexts& form, const SetupRecord* pending) {
    if (JobRunning.load(std::memory_order_acquire) != 0)
        return 0;
    std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::defer_lock);
    if (wait)
        hold.lock();
    else if (!hold.try_lock())
        return -1;
    if (DeviceDataValid.load(std::memory_order_acquire) == 0 ||
        DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE ||
        (ShownBlockValid && SameBlock()))
        return 0;
    bool keepEdits = !ShownBlockValid || EditsForAnyUnit || (CutWriteKept && SameUnit());
    bool cutKept = ShownBlockValid && CutWriteKept && SameUnit();
    SetupRecord unit = SetupValues;
    UnpackSetupBlock(DeviceInfo, unit);
    MatchResponseRows(unit);
    KeepShownBlock();
    hold.unlock();

    // Part of a cut write is no setup to show: the view keeps what it shows, or shows the setup
    // that write was writing, to finish it with.
    if (ShownBlockMidWrite() && !cutKept) {
        if (pending != nullptr) {
            SetupValues = *pending;
            NoteSetupChosen();
            EditsForAnyUnit = false;
            CutWriteKept = true;
            PendingShown = true;
        } else {
            NoteEditedItems(form);
        }
        return 1;
    }

    if (keepEdits) {
        NoteEditedItems(form);
    } else {
        EditedItems = 0;
        LimitedRows = 0;
        CutWriteKept = false;
        OpenedRows = 0;
    }
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row)
        if ((EditedItems & RowBit(row)) == 0)
            FormValue(SetupValues, row) = FormValue(unit, row);
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel)
        if ((EditedItems & (ITEM_RESPONSE_A << channel)) == 0) {
            SetupValues.Channel[channel].ResponseValue = unit.Channel[channel].ResponseValue;
            SetupValues.Channel[channel].ResponseIndex = unit.Channel[channel].ResponseIndex;
        }
    int32_t layout = (EditedItems & ITEM_LAYOUT) != 0 ? SetupValues.SetupFlags : unit.SetupFlags;
    SetupValues.SetupFlags =
        (unit.SetupFlags & ~SETUP_FLAG_B_LINEAR) | (layout & SETUP_FLAG_B_LINEAR);
    if ((EditedItems & ITEM_OFFSET) == 0)
        SetupValues.NbOffset = unit.NbOffset;
    return 1;
}

std::string LimitedFieldsText() {
    std::string text;
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row)
        if ((LimitedRows & RowBit(row)) != 0) {
            std::array<char, FIELD_TEXT_LIMIT + 1> shown{};
            FormatFormValue(row, shown);
            text += std::string(FieldLayout[static_cast<size_t>(row)].name) + " was limited to " +
                    shown.data() + ".\n";
        }
    return text;
}

int DescribeLimitedFields(std::string& text) {
    if (LimitedRows == 0)
        return 0;
    text = LimitedFieldsText() +
           "\nNothing was written. Press \"Set MQ-6\" again to write these values.";
    LimitedRows = 0;
    return -1;
}

uint32_t DifferingItems(const SetupRecord& values) {
    if (!ShownBlockValid || UnitSetupUnknown)
        return 0;
    SetupRecord unit = DEFAULT_SETUP;
    UnpackSetupBlock(ShownInfo, unit);
    SetupRecord shown = values;
    uint32_t items = 0;
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row)
        if (FormValue(shown, row) != FormValue(unit, row))
            items |= RowBit(row);
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel)
        if (shown.Channel[channel].ResponseValue != unit.Channel[channel].ResponseValue)
            items |= ITEM_RESPONSE_A << channel;
    if ((shown.SetupFlags & 0xFF) != unit.SetupFlags)
        items |= ITEM_LAYOUT;
    if ((shown.NbOffset & 0xFF) != unit.NbOffset)
        items |= ITEM_OFFSET;
    return items;
}

bool SetupMixUnchosen() {
    return ShownBlockMidWrite() && EditedItems != ALL_ITEMS;
}

bool SetupPendingShown() {
    return PendingShown;
}

bool SetupUnseen() {
    return EditedItems != ALL_ITEMS && DeviceDataValid.load(std::memory_order_acquire) == 0;
}

void ReadSetupForm(const SetupFormTexts& form, SetupRecord& values) {
    values = SetupValues;
    for (int row = 0; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row)
        if (row < FIELD_ROWS_PER_CHANNEL || IsLinear(values))
            FormValue(values, row) =
                ReadFieldText(form.Text[static_cast<size_t>(row)].data(), FormKind(row));
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel)
        if (!form.ResponseCodeShown[channel])
            TakeResponseSelection(form.ResponseRow[channel], values.Channel[channel]);
}
