// Recording of live data in the utility: the File menu's record command, the Save As dialog,
// the --record start-up option, the once-a-second timer that writes out waiting rows and
// updates the status line, and the box when a recording fails.
#pragma once

#include <windows.h>

#include <string_view>

// "&Record Live Data..." while none runs (the Save As dialog, then the recording in a live
// view), "Stop &Recording" while one does.
void OnRecordCommand();
// Starts recording to path, switching to the AFR and Lambda view unless a live view is shown.
// 0, or -1 after the box that names the file and the reason.
int BeginRecording(std::string_view path);
// Ends a running recording, with the box when its last write failed.
void EndRecording();
// The main window's timer VIEW_TIMER: runs while a recording runs or the Live History view is
// shown.
constexpr UINT_PTR VIEW_TIMER = 2;
void OnViewTimer();
// Starts or stops the timer for the present state.
void UpdateViewTimer();
// The arguments after the program's name: "--record FILE" (FILE may be quoted) starts
// recording to FILE; anything else is ignored, as before.
void ApplyStartArguments(std::string_view arguments);
