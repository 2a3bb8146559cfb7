// The status line along the bottom of the main window in every view (title, port name,
// open or closed), and the text metrics that the drawing code places text with.
#pragma once

#include "display/canvas.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

// Measured once when the main window is created; the window never changes size.
extern int32_t LineHeight;  // StatusFont's cell height
extern int32_t CharWidth;   // StatusFont's average character width
extern int32_t ClientWidth; // the main window's client area
extern int32_t ClientHeight;

// Measures StatusFont and the client area on the main window and draws the status line
// there. Returns 0, or -1 when the window has no drawing surface to give.
int MeasureLayout();
// Draws the line with StatusFont, which it leaves selected.
void DrawStatusLine(Canvas* canvas);

// What the utility adds after the port's state (a unit left mid-job, the port being searched
// for, the end of a job, the running recording), written into text of size bytes; an empty text
// adds nothing, and one longer than the 48 blanks after the state takes the title's place. The
// shell sets it at start, so that the line, which the comm thread draws, calls no feature that
// itself reaches the link.
using StatusNote = void (*)(char* text, size_t size);
extern std::atomic<StatusNote> StatusLineNote;
