// The utility's views in one table: which runs the live stream, which moves the focus among its
// controls with Tab, what each paints, which keys and pointer moves each takes, and where it says
// that the window closes once a job has ended. View switching, with the unit-side steps and the
// recording that need a live view, is one rule for every front end.
#pragma once

#include "app/shell.h"
#include "display/canvas.h"
#include "display/display_thread.h"
#include "display/review_input.h"

#include <cstdint>
#include <string_view>

struct ViewRow {
    int32_t view;
    bool live;     // the unit streams while it is shown
    bool tabStops; // Tab, Enter and Escape move the focus among its controls
    // The view after the status line; unclipped is a canvas of the same window that no paint's
    // clipping limits (the setup view's plots), canvas itself where nothing clips.
    void (*paint)(Canvas* canvas, Canvas* unclipped);
    ViewInput (*key)(ViewKey key);          // nullptr: it takes no key
    ViewInput (*character)(char character); // nullptr: it takes no character
    ViewInput (*wheel)(int steps, int x);   // steps in, x in client pixels
    ViewInput (*pointer)(int x, int y);
    ViewRect (*closingNote)(); // where "The window closes when the work ends." stands
    // The front end's controls of a view that has any (app/view_controls.h), made as it is
    // entered and removed as it is left; nullptr for a live view.
    void (*showControls)();
    void (*hideControls)();
};

// A close asked for while a job runs is kept: the shown view says so where its closingNote is, and
// the window closes once the job has ended, looked at this often.
constexpr std::string_view CLOSE_WHEN_DONE_TEXT = "The window closes when the work ends.";
constexpr int CLOSE_WHEN_DONE_CHECK_MS = 100;

// The row of a view, nullptr for VIEW_NONE.
const ViewRow* FindView(int32_t view);
const ViewRow* ShownView();

// Switches to the view of a Display menu command with the unit-side steps that go with it:
// leaving the live views stops the stream and ends a running recording, its file complete;
// between the two live views the stream and the recording go on. Returns 0.
int SelectView(int command);
// Starts recording to path and, once it runs, shows the AFR and Lambda view unless a live view
// is shown. 0, or -1 after the recording's box, with the view as it was.
int RecordInLiveView(std::string_view path);
// File > Record Live Data...: the box and the recording in a live view; the same item stops a
// running one.
void OnRecordCommand();
