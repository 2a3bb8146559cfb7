// The loader programming of the firmware image, and the loader steps that the setup write
// (wbsetup/setup_write.h) shares with it. Each sequence claims the link for its whole run, reports
// progress through a sink, and hands back a constant text naming the stage it reached, which the
// caller shows on failure.
#pragma once

#include "link/link.h"

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
void ReportProgress(ProgressSink progress, ProgressMessage message);

// The loader's modes: 1 takes the firmware image, 2 the setup tables and setup bytes.
enum LoadMode : uint8_t { LOAD_MODE_FIRMWARE = 1, LOAD_MODE_SETUP = 2 };
// A unit that answers ReadDataBlock runs its application and is asked into its loader;
// one that does not is taken to be in the loader already. Either way the loader must answer
// the last of `checks` data-block reads. 0 or -1; a failed check leaves the message as it
// stood, a refused load mode sets LOAD_MODE_FAILED_MESSAGE.
int ReachLoader(std::string_view& message, uint8_t loadMode, int checks);

enum ProgramPhaseValue : int32_t {
    PHASE_NONE = 0,
    PHASE_PROGRAMMING = 1,
    PHASE_VERIFYING = 2,
    PHASE_FINISHING = 3,
};
extern std::atomic<int32_t> ProgramPhase;
// Called by SetProgramPhase after the store, on the sequence's thread: the firmware view redraws
// its phase text, mq6 names the phase.
using ProgramPhaseListener = void (*)(int phase);
int AddProgramPhaseListener(ProgramPhaseListener listener);
void RemoveProgramPhaseListener(ProgramPhaseListener listener);
void SetProgramPhase(int phase);

// Writes the carried image's code records, reads them back comparing verifyLength bytes of
// each (8 or 16), then writes its information records and restarts the unit. 0 or -1.
int ProgramFirmware(std::string_view& message, int verifyLength, ProgressSink progress);
