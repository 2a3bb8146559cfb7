// File > Open Recording...: a recorded file shown in the Recording view, which the Display
// menu offers from the first file opened on. For every front end.
#pragma once

// The Open box, then the chosen file; nothing when the user cancels.
void OnOpenRecording();
// Reads path and shows it in the Recording view: 0, or -1 after the box that names the file,
// its line and what is wrong, with the view shown before still shown.
int OpenRecordingFile(const char* path);

// What each front end supplies: the Display menu's item of the Recording view ("Re&cording"),
// added once.
void ShowRecordingViewItem();
