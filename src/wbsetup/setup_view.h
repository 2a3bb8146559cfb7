// The Wide Band Setup view's rules for every front end: what each control shows, what each
// input does, Read, Set Defaults and Set MQ-6 with their checks, the setup files, the offset bar's
// steps, the marks beside the items that differ from the unit's setup, and the unit's values taken
// in after a data block. The front end makes the controls (wbsetup/setup_controls.h) and passes
// their input on; everything here runs on the main thread unless it says otherwise.
#pragma once

#include "display/canvas.h"
#include "wbsetup/setup_controls.h"

#include <string>

// The front end has made the view's controls that are always there (SetupLayout): the rule fills
// them, makes those of channel B's layout, and takes the unit's values in. Leaving: before the
// front end removes them.
void EnterSetupView();
void LeaveSetupView();

// A click on Read MQ-6, Set Defaults, Set MQ-6 or a mode button (checked by the click).
void OnSetupButton(SetupControl control);
// A field lost the focus: its check, which limits the value with a beep and keeps the focus there.
// Any other control (SETUP_NO_CONTROL) only redraws the plots and marks.
void OnSetupFieldLeft(SetupControl control);

// The offset bar's requests; track carries the thumb's position.
enum OffsetRequest : int {
    OFFSET_LINE_LESS,
    OFFSET_LINE_MORE,
    OFFSET_PAGE_LESS,
    OFFSET_PAGE_MORE,
    OFFSET_TRACK,
    OFFSET_HOME, // the Home key: the centre
    OFFSET_STAY, // the thumb released, the End key, the end of a scroll
};
constexpr int OFFSET_PAGE = 8;
// The bar's new position for a request at position: limited as the bar limits it.
int OffsetBarStep(OffsetRequest request, int position, int track);
void OnSetupOffsetScroll(OffsetRequest request, int track);

void OnSetupViewWake(SetupWake wake);
void OnUnitSetupTakeDue();

// File > Open Setup... and Save Setup As...: the box, then the file.
enum SetupFileCommand : int { SETUP_FILE_OPEN, SETUP_FILE_SAVE };
void OnSetupFileCommand(SetupFileCommand command);
// Reads a setup file into the view, which counts as the user's choice for every item: 0, or -1
// after the box that names the file and what is wrong (the view as it was).
int OpenSetupFile(const std::string& path);
// Writes what the view shows, after the check of the field being typed in: 0, or -1 after the box.
int SaveSetupFile(const std::string& path);

// The whole view but its controls (plots on a canvas no paint clips, see PaintSetupView of
// wbsetup/setup_plot.h), the marks and their key.
void PaintSetupViewWithMarks(Canvas* canvas, Canvas* plots);
// The items marked now: a bit each, as setup_form.h's ITEM_ bits and FieldLayout rows.
uint32_t MarkedItems();

// Where the main window says that it closes once the write has ended.
ViewRect SetupClosingNotePlace();
