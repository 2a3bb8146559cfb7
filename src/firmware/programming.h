// The loader programming sequences: the firmware image, and the setup tables with the setup
// bytes. Each claims the link for its whole run, reports progress through a sink, and hands
// back a constant text naming the stage it reached, which the caller shows on failure.
#pragma once

#include "link/link.h"
#include "wbsetup/setup_tables.h"

#include <atomic>
#include <cstdint>
#include <string_view>

extern const std::string_view COMM_ERROR_MESSAGE;
extern const std::string_view VERSION_OK_MESSAGE;
extern const std::string_view LOAD_MODE_FAILED_MESSAGE;
extern const std::string_view PROGRAM_MODE_FAILURE_MESSAGE;
extern const std::string_view PROGRAM_REQUEST_FAILURE_MESSAGE;
extern const std::string_view PROGRAM_VERIFY_FAILURE_MESSAGE;
extern const std::string_view PROGRAM_DATA_FAILURE_MESSAGE;

// Progress reports: a step after every record written or verified, a reset to the start between
// writing and verifying. Each front end shows them in its own way.
enum ProgressMessage {
    PROGRESS_STEP,
    PROGRESS_RESET,
};
// Called on the sequence's thread; nullptr reports nothing.
using ProgressSink = void (*)(ProgressMessage message);

enum ProgramPhaseValue : int32_t {
    PHASE_NONE = 0,
    PHASE_PROGRAMMING = 1,
    PHASE_VERIFYING = 2,
    PHASE_FINISHING = 3,
};
extern std::atomic<int32_t> ProgramPhase;
// Called by SetProgramPhase after the store, on the sequence's thread: the firmware view
// redraws its phase text from it. The default does nothing.
extern void (*ProgramPhaseHook)(int phase);
void SetProgramPhase(int phase);

// Writes the carried image's code records, reads them back comparing verifyLength bytes of
// each (8 or 16), then writes its information records and restarts the unit. 0 or -1.
int ProgramFirmware(std::string_view& message, int verifyLength, ProgressSink progress);

// Writes both output tables enciphered to 0x1000 and 0x1400, reads them back, then writes
// deviceInfo bytes 4 to 67 and restarts the unit. The tables are enciphered in copies, so
// they stay plain for a retry or another write. 0 or -1.
int WriteSetupTables(std::string_view& message, const OutputTable& table1,
                     const OutputTable& table2,
                     const std::array<uint8_t, DEVICE_INFO_SIZE>& deviceInfo,
                     ProgressSink progress);
