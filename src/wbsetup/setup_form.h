// The Wide Band Setup view's rule, apart from its controls: which items the user has edited,
// which the unit's values fill after a data block is read, which fields their check limited,
// and the step from what the controls show to the record that Set writes. The _win32 view
// gathers its controls into a SetupFormTexts and shows what the rule leaves in SetupValues.
#pragma once

#include "wbsetup/setup_plot.h"
#include "wbsetup/setup_values.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int32_t NO_SELECTION = -1;

// What the view's controls show: each FieldLayout row's text (empty when the row's field does
// not exist now) and the row each Response box shows.
struct SetupFormTexts {
    std::array<std::array<char, FIELD_TEXT_LIMIT + 1>, SETUP_FIELD_ROWS> Text{};
    std::array<bool, SETUP_FIELD_ROWS> FieldShown{};
    std::array<int32_t, SETUP_CHANNEL_COUNT> ResponseRow{}; // NO_SELECTION for none
    std::array<bool, SETUP_CHANNEL_COUNT> ResponseShown{};
    // The box shows the channel's code in no row ("(code 66)"), which Set then keeps.
    std::array<bool, SETUP_CHANNEL_COUNT> ResponseCodeShown{};
};

// What the user has changed since the view last took the unit's values or wrote them: one bit
// per FieldLayout row, then these. A data block read after a connection fills every other item.
constexpr uint32_t ITEM_RESPONSE_A = 1u << SETUP_FIELD_ROWS;
constexpr uint32_t ITEM_RESPONSE_B = ITEM_RESPONSE_A << 1;
constexpr uint32_t ITEM_LAYOUT = ITEM_RESPONSE_A << 2; // channel B's NB or WB
constexpr uint32_t ITEM_OFFSET = ITEM_RESPONSE_A << 3;
constexpr uint32_t ALL_ITEMS = (ITEM_OFFSET << 1) - 1;
extern uint32_t EditedItems;
// Rows whose check on leaving changed the typed value; Set shows them before it writes.
extern uint32_t LimitedRows;

// The stored value behind a FieldLayout row, its kind, and its text as the field shows it.
int32_t& FormValue(SetupRecord& values, int row);
FieldKind FormKind(int row);
void FormatFormValue(int row, std::array<char, FIELD_TEXT_LIMIT + 1>& text);

// A new main window has shown nothing of any unit yet.
void ResetSetupForm();
// The view now shows what the unit holds: after Read, or after Set has started a write of it.
void NoteSetupRead();
void NoteSetupWritten();
// The view now shows values of the user's choosing (the defaults, a setup file): every item
// counts as edited, for whichever unit comes.
void NoteSetupChosen();
// The same for a setup file just opened; until a field is retyped, its check keeps the file's
// value even beyond the field's range, as the unit held it.
void NoteSetupOpened();
// The write started by Set was cut off: its values stay the user's for the same unit.
void NoteSetupCut();
// Whether the box of a channel shows its code in no row: while the code is the user's choice.
bool ShowsResponseCode(int channel);

// The check a field gets when it is left, with the text it holds: the value (limited to the
// field's range) goes into SetupValues, the row counts as edited when the value changed, and
// as limited until a text within the range is typed. 1 when the check limited it, else 0; -1 when
// the text is still an opened file's value, which stays as it is (the field's text too, which may
// be longer than a user may type).
int CheckFormField(int row, std::string_view text);

// Marks what the user typed or chose and the view has not stored yet: a field whose text is not
// its stored value, a Response box not showing its stored row.
void NoteEditedItems(const SetupFormTexts& form);

// The data block last read (after a connection, by the firmware view or by a Set) carries the
// unit's setup: every item the user has not edited takes the unit's value, as Read would show
// it, into SetupValues. Edits typed over a unit's values are kept only for that unit: a block
// that differs from the one they were made over in any byte but the mode byte drops them. A
// setup of the user's choosing stays for any unit, and a cut write's for the unit whose bytes
// outside the setup block and the mode byte are the same. A unit in its setup mode holds part of
// a cut write: its block is no setup and fills nothing; pending, the setup that write was
// writing (when it was kept), becomes the view's as the cut write's. 1 when it did (the view
// shows SetupValues, and each edited field keeps the text form gives it); 0 when no new block
// has come or while a job runs; -1, nothing done, while another thread reads and wait is false
// (wait makes it wait for that read).
int TakeUnitSetup(bool wait, const SetupFormTexts& form, const SetupRecord* pending);
// The unit's block last read holds part of a cut write (the unit is in its setup mode), and the
// view does not show a whole setup of the user's choosing (a file, the defaults, the cut write's
// setup): Set would write that mix back.
bool SetupMixUnchosen();
// The view shows the setup a cut write was writing, taken after a restart (TakeUnitSetup).
bool SetupPendingShown();

// Set's first step: when checks have limited fields, the text that names each and what it was
// limited to, and -1 (each is told once); else 0.
int DescribeLimitedFields(std::string& text);
// The lines of that text that name the fields, without telling them.
std::string LimitedFieldsText();
// The items whose value in values differs from the unit's setup last read or written (ITEM_
// bits and a bit per FieldLayout row; ITEM_LAYOUT for any bit of the flag byte); 0 when no
// unit's setup is known, as after a cut write until the unit's block is read again.
uint32_t DifferingItems(const SetupRecord& values);
// True when Set would write values the user has not seen: not every item is of the user's
// choosing and the unit's data block has not been read.
bool SetupUnseen();
// Set's record: SetupValues with the texts of channel A's fields and, while channel B is
// linear, of channel B's, rounded as stored, and the code of the row each Response box shows
// (a box showing none keeps the channel's code; a negative row other than NO_SELECTION counts
// by its size). The Stoich AFR is the one its check stored.
void ReadSetupForm(const SetupFormTexts& form, SetupRecord& values);
