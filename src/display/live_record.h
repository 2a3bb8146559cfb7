// Recording of live data to a CSV file: the rows of mq6 live --csv, one per good frame, with
// the seconds counted from the start of the recording. The recorder is a live stream listener
// on the decoding thread; it keeps the rows in a fixed buffer and writes them out in one write
// at least once a second, so that the decoding thread never waits on the disk for more
// than one write and a process killed from outside leaves whole rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr size_t RECORD_PATH_SIZE = 1024;

enum RecordStateValue : int32_t {
    RECORD_IDLE = 0,    // no recording
    RECORD_RUNNING = 1, // rows go to the file
    RECORD_FAILED = 2,  // a write failed: the file is closed, the reason kept until the next start
};

// Creates (or empties) the file, writes the header and adds the listener. 0, or -1 with the
// file not created and the reason kept (RecordFailure); a path of RECORD_PATH_SIZE characters or
// more is refused, never cut.
int StartRecording(std::string_view path);
// Writes out what is buffered, closes the file and removes the listener. 0, or -1 when the last
// write or the close failed (the reason kept); nothing to do when no recording runs.
int StopRecording();
// For a timer of the front end, about once a second: writes out rows that have waited for a
// second (the stream has stopped coming). Returns the state after it.
int32_t KeepRecording();

int32_t RecordState();
// A marker on the next row of the running recording: its number (1 for the first of the
// recording), or -1 when no recording runs. LastRecordMark is the last one given, 0 for none.
int AddRecordMark();
int LastRecordMark();
// The status line's note while a recording runs: "  Recording H:MM:SS, N rows", then
// ", marker M" once there is one; else empty.
void FormatRecordingNote(char* text, size_t size);
// Rows written or buffered, and the seconds since the start, of the running recording.
long RecordedRows();
double RecordedSeconds();
// The file of the running or the last recording, and why the last start or write failed.
std::string_view RecordPath();
std::string_view RecordFailure();
