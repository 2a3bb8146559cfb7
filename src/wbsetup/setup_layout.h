// The Wide Band Setup view's controls: one table, in the order they are made (which is the
// keyboard's tab order), with their kind, caption and place in client pixels. Every front end
// makes its controls from it; the marks beside the items stand where it puts their controls.
#pragma once

#include "app/shell.h"
#include "wbsetup/setup_plot.h"

#include <array>
#include <cstdint>
#include <string_view>

// The controls, by name. The first SETUP_FIELD_ROWS are the value fields of FieldLayout's rows.
enum SetupControl : int {
    SETUP_NO_CONTROL = -1,
    SETUP_STOICH_FIELD = FIELD_ROW_STOICH,
    SETUP_FRAME_A = SETUP_FIELD_ROWS,
    SETUP_FRAME_B,
    SETUP_READ,
    SETUP_DEFAULTS,
    SETUP_SET,
    SETUP_RESPONSE_A,
    SETUP_RESPONSE_B,
    SETUP_NB,
    SETUP_WB,
    SETUP_OFFSET_BAR,
    SETUP_WRITE_BAR,
    SETUP_NOTE,
    SETUP_PHASE,
    SETUP_CONTROL_COUNT
};

enum SetupControlKind : int {
    SETUP_KIND_FRAME,       // a group box with its caption
    SETUP_KIND_FIELD,       // a right-aligned number field, a tab stop
    SETUP_KIND_BUTTON,      // a push button, a tab stop
    SETUP_KIND_CHOICE,      // a drop-down list of the response rates, a tab stop
    SETUP_KIND_RADIO_FIRST, // the first of the mode buttons, starting their group
    SETUP_KIND_RADIO,       // a mode button
    SETUP_KIND_SCROLL_BAR,  // the horizontal offset bar, a tab stop
    SETUP_KIND_PROGRESS,    // the write's progress bar, shown while a write runs
    SETUP_KIND_NOTE,        // a line of text
};

// When a control is there: always while the view is shown, in one of channel B's layouts only,
// or when the rule shows it.
enum SetupControlPresence : int {
    SETUP_ALWAYS,
    SETUP_LINEAR_ONLY,     // channel B linear (WB): its four value fields
    SETUP_NARROWBAND_ONLY, // channel B narrowband (NB): the offset bar
    SETUP_WHEN_SHOWN,      // the progress bar and the note
};

// A length in StatusFont's cells and pixels: cells x CharWidth (or LineHeight) + pixels; a width
// with wide set is the client width less twice the left edge.
struct SetupExtent {
    int cells;
    int pixels;
};

struct SetupControlRow {
    SetupControl control;
    SetupControlKind kind;
    std::string_view caption;
    int x;
    int y;
    SetupExtent width;
    SetupExtent height;
    SetupControlPresence presence;
    bool wide;
};

constexpr int SETUP_MADE_CONTROLS = SETUP_CONTROL_COUNT;
extern const std::array<SetupControlRow, SETUP_MADE_CONTROLS> SetupLayout;

// The row of a control.
const SetupControlRow& SetupLayoutRow(SetupControl control);
// Where a control stands, in client pixels, with the measures of the status font.
ViewRect SetupControlPlace(SetupControl control);

// The items that a mark beside them says differ from the unit's setup: a bit each
// (wbsetup/setup_form.h), the FieldLayout rows first.
constexpr int SETUP_MARKED_ITEMS = SETUP_FIELD_ROWS + 4;
// The square of a mark: right of the item's control, 6 by 6 pixels.
ViewRect SetupMarkArea(int item);
// The control beside which an item's mark stands (the WB button for channel B's mode).
SetupControl SetupMarkedControl(int item);
// The line that says what the marks mean, drawn while any is shown.
ViewRect SetupMarkKeyArea();
