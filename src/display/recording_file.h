// A recording read back: the CSV of live data that the utility's recorder and mq6 live write
// (display/live_stream.h), checked row by row, and the figures of a stretch of its time, which
// the Recording view and mq6 log show alike.
#pragma once

#include "display/lambda_scale.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Larger files are refused before they are read.
constexpr uint64_t RECORDING_SIZE_LIMIT = uint64_t{1} << 30;
constexpr double RECORDING_MAX_SECONDS = 1e7; // time_s beyond is refused
// Rows further apart than this are a gap: three of the history chart's 0.2 s columns. On purpose
// longer than the 0.5 s after which mq6 live and mq6 doctor call frames lost (LIVE_LOST_GAP_S,
// cli/live_loop.h): that is a rule about the link, this one what the chart can show as a hole.
constexpr double RECORDING_GAP_S = 0.6;
// Whether the row at later seconds comes more than RECORDING_GAP_S after the one at earlier:
// compared in whole milliseconds, as the file writes its times, so that rows 0.600 s apart
// are no gap wherever they stand. mq6 log and the Recording view count gaps by it alike.
bool IsRowGap(double earlier, double later);

// One row; 24 bytes, so that an open file holds less than its own size.
struct RecordedRow {
    double seconds;     // time_s
    float lambdaRaw;    // lambda_raw
    int16_t lambdaX100; // lambda as the dial showed it
    int16_t afrX10;
    int16_t factorX100; // stoich
    uint16_t mark;      // the marker's number; 0 on a row without one
};

struct Recording {
    std::vector<RecordedRow> rows;  // time_s never goes back
    std::vector<uint32_t> markRows; // the rows that carry a marker, in order
};

// Why a file was refused: the line (0 for the file as a whole) and what is wrong with it.
struct RecordingFault {
    long line = 0;
    bool unreadable = false; // the system would not give the file (missing, no permission)
    std::array<char, 160> what{};
};

// Reads the recording at path: 0, or -1 with the fault. A last line without its line end that is
// no whole row is what a recorder killed while writing leaves: it is dropped, not refused; a
// whole one is read. A byte-order mark before the header and blank lines at the end are let
// be.
int ReadRecording(const char* path, Recording& recording, RecordingFault& fault);
// The same for the file's text.
int ParseRecording(std::string_view text, Recording& recording, RecordingFault& fault);
// "name, line 3: text where a number belongs in lambda", or without the line for the whole file.
void FormatRecordingFault(const char* name, const RecordingFault& fault, char* text, size_t size);

struct RecordingFigures {
    long rows = 0;
    double durationS = 0.0;   // the last time_s minus the first
    long gaps = 0;            // rows after a gap (IsRowGap)
    double longestGapS = 0.0; // the longest of them, 0 without any
    double lambdaMin = 0.0;   // of the lambda column
    double lambdaMax = 0.0;
    double lambdaMean = 0.0;
    double shareInBand = 0.0; // fractions of the rows: band.low <= lambda <= band.high
    double shareLean = 0.0;   // above the band
    double shareRich = 0.0;   // below it
};
// The figures of rows [first, end).
RecordingFigures FigureRows(const Recording& recording, size_t first, size_t end, TargetBand band);
// The first row at or after seconds (rows.size() when none is).
size_t RowAtOrAfter(const Recording& recording, double seconds);
