// The Wide Band Setup view's controls and the places of its marks.
#include "wbsetup/setup_layout.h"

#include "display/status_line.h"

namespace {

constexpr int MARK_SIZE = 6;
constexpr int MARK_GAP = 3; // between a control's right edge and its mark

constexpr SetupControlRow Field(int row, SetupControlPresence presence = SETUP_ALWAYS) {
    const FieldPlace& place = FieldLayout[static_cast<size_t>(row)];
    return {static_cast<SetupControl>(row), SETUP_KIND_FIELD, "",       place.x, place.y,
            {place.characters, 0},          {1, -4},          presence, false};
}

constexpr SetupExtent BUTTON_WIDTH = {10, 0};
constexpr SetupExtent BUTTON_HEIGHT = {1, 10};

} // namespace

// In the order the controls are made: the keyboard's Tab goes from the Stoich AFR over the three
// buttons and channel A's fields to the Response boxes, the mode buttons and then channel B's
// fields or the offset bar, which a change of mode makes again.
const std::array<SetupControlRow, SETUP_MADE_CONTROLS> SetupLayout = {{
    {SETUP_FRAME_A, SETUP_KIND_FRAME, "Channel A", 8, 44, {0, 386}, {0, 420}, SETUP_ALWAYS, false},
    {SETUP_FRAME_B,
     SETUP_KIND_FRAME,
     "Channel B",
     403,
     44,
     {0, 386},
     {0, 420},
     SETUP_ALWAYS,
     false},
    Field(FIELD_ROW_STOICH),
    {SETUP_READ, SETUP_KIND_BUTTON, "Read MQ-6", 340, 496, BUTTON_WIDTH, BUTTON_HEIGHT,
     SETUP_ALWAYS, false},
    {SETUP_DEFAULTS, SETUP_KIND_BUTTON, "Set Defaults", 480, 496, BUTTON_WIDTH, BUTTON_HEIGHT,
     SETUP_ALWAYS, false},
    {SETUP_SET, SETUP_KIND_BUTTON, "Set MQ-6", 620, 496, BUTTON_WIDTH, BUTTON_HEIGHT, SETUP_ALWAYS,
     false},
    Field(0),
    Field(1),
    Field(2),
    Field(3),
    // A drop-down list is as tall as its open list; its face is one line.
    {SETUP_RESPONSE_A, SETUP_KIND_CHOICE, "", 133, 424, BUTTON_WIDTH, {6, 0}, SETUP_ALWAYS, false},
    {SETUP_RESPONSE_B, SETUP_KIND_CHOICE, "", 528, 424, BUTTON_WIDTH, {6, 0}, SETUP_ALWAYS, false},
    {SETUP_NB, SETUP_KIND_RADIO_FIRST, "NB", 663, 424, {5, 0}, {1, 0}, SETUP_ALWAYS, false},
    {SETUP_WB, SETUP_KIND_RADIO, "WB", 713, 424, {5, 0}, {1, 0}, SETUP_ALWAYS, false},
    Field(4, SETUP_LINEAR_ONLY),
    Field(5, SETUP_LINEAR_ONLY),
    Field(6, SETUP_LINEAR_ONLY),
    Field(7, SETUP_LINEAR_ONLY),
    {SETUP_OFFSET_BAR,
     SETUP_KIND_SCROLL_BAR,
     "",
     476,
     364,
     {0, 256},
     {0, 18},
     SETUP_NARROWBAND_ONLY,
     false},
    {SETUP_WRITE_BAR, SETUP_KIND_PROGRESS, "", 8, 476, {0, 0}, {0, 12}, SETUP_WHEN_SHOWN, true},
    // Between the frames and the buttons, where they hide no field and no label: a note on what
    // the view shows, and while a write runs the phase its bar counts, under the bar.
    {SETUP_NOTE, SETUP_KIND_NOTE, "", 8, 468, {38, 0}, {1, -4}, SETUP_WHEN_SHOWN, false},
    {SETUP_PHASE, SETUP_KIND_NOTE, "", 8, 489, {30, 0}, {1, -4}, SETUP_WHEN_SHOWN, false},
}};

const SetupControlRow& SetupLayoutRow(SetupControl control) {
    for (const SetupControlRow& row : SetupLayout)
        if (row.control == control)
            return row;
    return SetupLayout[0];
}

ViewRect SetupControlPlace(SetupControl control) {
    const SetupControlRow& row = SetupLayoutRow(control);
    int width = row.wide ? ClientWidth - 2 * row.x : row.width.cells * CharWidth + row.width.pixels;
    int height = row.height.cells * LineHeight + row.height.pixels;
    return {row.x, row.y, row.x + width, row.y + height};
}

SetupControl SetupMarkedControl(int item) {
    if (item < SETUP_FIELD_ROWS)
        return static_cast<SetupControl>(item);
    switch (item - SETUP_FIELD_ROWS) {
    case 0:
        return SETUP_RESPONSE_A;
    case 1:
        return SETUP_RESPONSE_B;
    case 2:
        return SETUP_WB;
    default:
        return SETUP_OFFSET_BAR;
    }
}

ViewRect SetupMarkArea(int item) {
    SetupControl control = SetupMarkedControl(item);
    ViewRect place = SetupControlPlace(control);
    // Centred on the control's face: a drop-down list's is one line.
    int face =
        SetupLayoutRow(control).kind == SETUP_KIND_CHOICE ? LineHeight : place.bottom - place.top;
    int x = place.right + MARK_GAP;
    int y = place.top + face / 2;
    return {x, y - MARK_SIZE / 2, x + MARK_SIZE, y + MARK_SIZE / 2};
}

ViewRect SetupMarkKeyArea() {
    // Under channel B's frame, right of the note.
    return {420, 468, 788, 485};
}
