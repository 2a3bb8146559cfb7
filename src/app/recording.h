// Recording of live data in the utility, for every front end: the Save As box's proposal, the
// start with its folder kept, the marker, the end with its words, and the once-a-second upkeep.
// The recorder itself is portable (display/live_record.h); which view shows the live data
// belongs to the view switch (app/views.h).
#pragma once

#include "display/live_record.h"

#include <array>
#include <string_view>

// The Save As box, proposing mq6-YYYYMMDD-HHMMSS.csv in the last recording's folder. 1 with
// the chosen file in path, 0 when the user cancelled.
int ChooseRecordFile(std::array<char, RECORD_PATH_SIZE>& path);
// Starts recording to path and keeps its folder for the next Save As. 0, or -1 after the box
// that names the file and the reason.
int BeginRecording(std::string_view path);
// Mark (F9): a marker on the running recording's next row, its number on the status line; a
// beep when none runs.
void MarkRecording();
// Ends a running recording, with the box when its last write failed.
void EndRecording();
// Once a second while a recording runs: its waiting rows written out and the status line
// brought up to date; a recording whose write failed ends with its box.
void KeepRecordingUp();

// What each front end supplies: the record item says how to stop a running recording ("Stop
// &Recording"), or again how to start one.
void ShowRecordItem(bool running);
