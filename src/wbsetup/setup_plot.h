// The Wide Band Setup view's painting: title, field labels and frames, captions, and the two
// transfer-curve plots with their scales. Everything is drawn from a set of setup values, so
// the window side only hands over SetupValues.
#pragma once

#include "display/canvas.h"
#include "wbsetup/setup_fields.h"
#include "wbsetup/setup_values.h"

#include <array>
#include <string_view>

// The value fields of the view, one row each: the edit controls are laid out from this table,
// and the painting draws each row's label so that it ends where the field starts. Rows 0 to 3
// are channel A's Volts1, Afr1, Volts2, Afr2, rows 4 to 7 channel B's, row 8 the Stoich AFR.
struct FieldPlace {
    std::string_view name;  // as a notice names the field
    std::string_view label; // empty: the field has no label of its own
    int x;
    int y;
    int characters;        // width in StatusFont's average characters, and the typing limit
    SetupFieldIndex field; // the value it shows, its row in FieldTable
};
constexpr int SETUP_FIELD_ROWS = 9;
constexpr int FIELD_ROW_STOICH = 8;
constexpr int FIELD_ROWS_PER_CHANNEL = 4;
constexpr std::array<FieldPlace, SETUP_FIELD_ROWS> FieldLayout = {{
    {"Channel A, first Volts", "", 44, 364, 5, SETUP_A1_VOLTS},
    {"Channel A, first AFR", " Volts for AFR of ", 280, 364, 5, SETUP_A1_AFR},
    {"Channel A, second Volts", "", 44, 390, 5, SETUP_A2_VOLTS},
    {"Channel A, second AFR", " Volts for AFR of ", 280, 390, 5, SETUP_A2_AFR},
    // Channel B's four in the linear layout only.
    {"Channel B, first Volts", "", 439, 364, 5, SETUP_B1_VOLTS},
    {"Channel B, first AFR", " Volts for AFR of ", 675, 364, 5, SETUP_B1_AFR},
    {"Channel B, second Volts", "", 439, 390, 5, SETUP_B2_VOLTS},
    {"Channel B, second AFR", " Volts for AFR of ", 675, 390, 5, SETUP_B2_AFR},
    {"Stoich AFR", "Stoich AFR ", 130, 506, 5, SETUP_STOICH_AFR},
}};

// The whole view but its controls, after the status line. Draws its text in StatusFont on canvas
// and both plots on plots, a canvas of the same window that a paint's clipping does not limit, so
// that a plot repaint redraws the whole curve (it may be canvas itself where nothing clips).
// Leaves the canvas's colours and font as it found them.
void PaintSetupView(Canvas* canvas, Canvas* plots, const SetupRecord& values);

// One channel's characteristic (0 A, 1 B) in its plot; channel B while it emulates a narrowband
// sensor draws PlotNarrowbandCurve instead. -1 for any other channel, else 0.
int PlotOutputLine(Canvas* canvas, const SetupRecord& values, int channel);
// Channel B's narrowband characteristic moved by NbOffset, and the AFR of its switch point
// under the rich or lean end (or both ends, at the centre) of the offset scroll bar.
void PlotNarrowbandCurve(Canvas* canvas, const SetupRecord& values);
