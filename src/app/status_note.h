// What the status line says after the port's state: a unit left mid-job and what finishes it, the
// port being searched for or missing, the running recording, or the last message shown (the end
// of a job, of a recording), which ShowStatusMessage sets (app/shell.h). Any thread may set a
// message or draw the line.
#pragma once

#include "display/canvas.h"

#include <cstddef>
#include <string_view>

// The note, written into text (size bytes); empty when there is nothing to add.
void FormatStatusNote(char* text, size_t size);
// The status line with the note as it stands.
void DrawStatusNoteLine(Canvas* canvas);
// Forgets the last message (a new main window has shown none), as ResetStatusMessage does.
void ResetStatusNote();
