// A unit left mid-job: which job a cut setup write or firmware update left unfinished, as the
// data block read last or the cut itself tells, and the words that say so and name what
// finishes it. The utility's window and mq6 say the same situations in the same words.
#pragma once

#include "link/link.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum UnfinishedJob : int32_t {
    JOB_NONE = 0,
    JOB_SETUP_WRITE = 1,     // the unit is in its setup mode
    JOB_FIRMWARE_UPDATE = 2, // the unit is in its firmware update mode
    JOB_LOADER_ONLY = 3,     // only the loader answers: the unit's firmware does not run
};

// What a data block says: its mode byte, and whether the loader alone answered.
UnfinishedJob JobOfBlock(const std::array<uint8_t, DEVICE_INFO_SIZE>& info, int32_t fromLoader);
// The end of a setup write or firmware update: job is what it left (JOB_NONE when it finished).
// That stands until the next data block is read, which then tells.
void NoteJobEnd(UnfinishedJob job);
// Start value: no job has ended yet.
void ResetUnfinishedJob();
// The job the unit is left in, as far as the utility knows now: the last job's end until a
// block is read after it, then the block while it is valid.
UnfinishedJob FindUnfinishedJob();

// "a setup write did not finish", in mq6's words as in the window's; empty for JOB_NONE.
std::string_view JobSituation(UnfinishedJob job);
// The status line's words for it, short enough to leave the line its title: "Setup write
// unfinished: press Set MQ-6"; empty for JOB_NONE.
std::string_view JobStatusText(UnfinishedJob job);
// The window's one line: "A setup write did not finish: press Set MQ-6 to finish it". Written
// into text (size bytes, cut to fit); returns the length, 0 for JOB_NONE.
int FormatJobGuidance(UnfinishedJob job, char* text, size_t size);
