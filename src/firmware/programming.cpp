// The firmware's loader sequence and the loader steps that the setup write shares. A straight
// line of stages with no retries: a failed request ends the run with the text of the stage
// reached, and the user starts again.
#include "firmware/programming.h"

#include "firmware/cipher.h"
#include "firmware/firmware_image.h"
#include "platform/listeners.h"

#include <algorithm>
#include <cstring>

const std::string_view COMM_ERROR_MESSAGE =
    "       Comm Error\n\nCheck PC to MQ-6 WB Connection\n\nIs the MQ-6 WB Powered On?";
const std::string_view VERSION_OK_MESSAGE = "Version request OK\n";
const std::string_view LOAD_MODE_FAILED_MESSAGE = "Request load mode failed\n";
const std::string_view PROGRAM_MODE_FAILURE_MESSAGE = "Program Mode Failure\n";
const std::string_view PROGRAM_REQUEST_FAILURE_MESSAGE = "Program Request Failure\n";
const std::string_view PROGRAM_VERIFY_FAILURE_MESSAGE = "Program Verify Failure\n";
const std::string_view PROGRAM_DATA_FAILURE_MESSAGE = "Program Mode Data Failure\n";

std::atomic<int32_t> ProgramPhase{PHASE_NONE};

namespace {
constexpr int FIRMWARE_LOADER_CHECKS = 2;

int AbandonFirmware() {
    SetProgramPhase(PHASE_NONE);
    return -1;
}

int FailFirmware(std::string_view& message, std::string_view stage) {
    message = stage;
    return AbandonFirmware();
}

int WriteCodeRecords(std::string_view& message, ProgressSink progress) {
    for (int index = 0; index < CODE_RECORD_COUNT; ++index) {
        const uint8_t* record = GetCodeRecord(index);
        if (WriteBlock(GetCodeAddress(record), record + 2) != 0)
            return FailFirmware(message, PROGRAM_MODE_FAILURE_MESSAGE);
        ReportProgress(progress, PROGRESS_STEP);
    }
    return 0;
}

int VerifyCodeRecords(std::string_view& message, int verifyLength, ProgressSink progress) {
    size_t compared = static_cast<size_t>(std::clamp(verifyLength, 8, RECORD_DATA_SIZE));
    for (int index = 0; index < CODE_RECORD_COUNT; ++index) {
        const uint8_t* record = GetCodeRecord(index);
        if (ReadBlock(GetCodeAddress(record)) != 0)
            return FailFirmware(message, PROGRAM_REQUEST_FAILURE_MESSAGE);
        if (std::memcmp(RespBuf.data(), record + 2, compared) != 0)
            return FailFirmware(message, PROGRAM_VERIFY_FAILURE_MESSAGE);
        ReportProgress(progress, PROGRESS_STEP);
    }
    return 0;
}

int WriteInfoRecords(std::string_view& message, ProgressSink progress) {
    for (int index = 0; index < INFO_RECORD_COUNT; ++index) {
        const uint8_t* record = GetInfoRecord(index);
        if (WriteDataRecord(record[0], record + 1) != 0)
            return FailFirmware(message, PROGRAM_DATA_FAILURE_MESSAGE);
        ReportProgress(progress, PROGRESS_STEP);
    }
    return 0;
}

} // namespace

void ReportProgress(ProgressSink progress, ProgressMessage message) {
    if (progress != nullptr)
        progress(message);
}

int ReachLoader(std::string_view& message, uint8_t loadMode, int checks) {
    if (ReadDataBlock(nullptr, 0) == 0) {
        message = VERSION_OK_MESSAGE;
        if (EnterLoadMode(loadMode) != 0) {
            message = LOAD_MODE_FAILED_MESSAGE;
            return -1;
        }
    }
    int result = -1;
    for (int check = 0; check < checks; ++check)
        result = LoaderReadDataBlock(nullptr, 0);
    return result;
}

namespace {
ListenerList<ProgramPhaseListener> ProgramPhaseListeners;
} // namespace

int AddProgramPhaseListener(ProgramPhaseListener listener) {
    return AddListener(ProgramPhaseListeners, listener);
}

void RemoveProgramPhaseListener(ProgramPhaseListener listener) {
    RemoveListener(ProgramPhaseListeners, listener);
}

void SetProgramPhase(int phase) {
    ProgramPhase.store(phase, std::memory_order_release);
    CallListeners(ProgramPhaseListeners, phase);
}

int ProgramFirmware(std::string_view& message, int verifyLength, ProgressSink progress) {
    LinkClaim claim;
    message = COMM_ERROR_MESSAGE;
    if (ReachLoader(message, LOAD_MODE_FIRMWARE, FIRMWARE_LOADER_CHECKS) != 0)
        return AbandonFirmware();

    SetProgramPhase(PHASE_PROGRAMMING);
    if (WriteCodeRecords(message, progress) != 0)
        return -1;

    LoaderReadDataBlock(nullptr, 0); // answer not needed: the read-back checks every record
    SetProgramPhase(PHASE_VERIFYING);
    ReportProgress(progress, PROGRESS_RESET);
    if (VerifyCodeRecords(message, verifyLength, progress) != 0)
        return -1;

    SetProgramPhase(PHASE_FINISHING);
    if (WriteInfoRecords(message, progress) != 0)
        return -1;

    // Nothing answers the restart, but a restart that was never sent leaves the unit in its
    // loader: that is no success.
    if (LeaveLoadMode() != 0)
        return FailFirmware(message, PROGRAM_DATA_FAILURE_MESSAGE);
    SetProgramPhase(PHASE_NONE);
    return 0;
}
