// The status line along the bottom of the main window in every view (title, port name,
// open or closed), and the text metrics that the drawing code places text with.
#pragma once

#include "display/canvas.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Measured once when the main window is created; the window never changes size.
extern int32_t LineHeight;  // StatusFont's cell height
extern int32_t CharWidth;   // StatusFont's average character width
extern int32_t ClientWidth; // the main window's client area
extern int32_t ClientHeight;

// Measures StatusFont and the client area on a canvas of the main window.
void MeasureLayout(Canvas* canvas);
// Draws the line with StatusFont, which it leaves selected. note is what the utility adds after
// the port's state (app/status_note.h): an empty note adds nothing, and one longer than the 48
// blanks after the state takes the title's place.
void DrawStatusLine(Canvas* canvas, std::string_view note);
