// The two loader sequences. Each is a straight line of stages with no retries: a failed
// request ends the run with the text of the stage reached, and the user starts again.
#include "firmware/programming.h"

#include "firmware/cipher.h"
#include "firmware/firmware_image.h"

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
void (*ProgramPhaseHook)(int phase) = nullptr;

namespace {
constexpr uint8_t LOAD_MODE_FIRMWARE = 1;
constexpr uint8_t LOAD_MODE_SETUP = 2;
constexpr int FIRMWARE_LOADER_CHECKS = 2;
constexpr int SETUP_LOADER_CHECKS = 3;
constexpr uint16_t TABLE1_ADDRESS = 0x1000;
constexpr uint16_t TABLE2_ADDRESS = 0x1400;
constexpr int WORDS_PER_BLOCK = 8;
constexpr int SETUP_RECORD_FIRST = 4; // DeviceInfo bytes 4 to 67 in four records
constexpr int SETUP_RECORD_COUNT = 4;

void Report(ProgressSink progress, ProgressMessage message) {
    if (progress != nullptr)
        progress(message);
}

// A unit that answers ReadDataBlock runs its application and is asked into its loader;
// one that does not is taken to be in the loader already. Either way the loader must answer
// the last of `checks` data-block reads. A failed check leaves the message as it stood.
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
        Report(progress, PROGRESS_STEP);
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
        Report(progress, PROGRESS_STEP);
    }
    return 0;
}

int WriteInfoRecords(std::string_view& message, ProgressSink progress) {
    for (int index = 0; index < INFO_RECORD_COUNT; ++index) {
        const uint8_t* record = GetInfoRecord(index);
        if (WriteDataRecord(record[0], record + 1) != 0)
            return FailFirmware(message, PROGRAM_DATA_FAILURE_MESSAGE);
        Report(progress, PROGRESS_STEP);
    }
    return 0;
}

struct SentTable {
    const OutputTable* table;
    uint16_t address;
};

int WriteTableBlocks(std::string_view& message, const std::array<SentTable, 2>& tables,
                     ProgressSink progress) {
    for (const SentTable& sent : tables) {
        for (int block = 0; block < OUTPUT_TABLE_BLOCKS; ++block) {
            uint16_t address = static_cast<uint16_t>(sent.address + WORDS_PER_BLOCK * block);
            if (WriteBlock(address, sent.table->data() + 16 * block) != 0) {
                message = PROGRAM_MODE_FAILURE_MESSAGE;
                return -1;
            }
            Report(progress, PROGRESS_STEP);
        }
    }
    return 0;
}

int VerifyTableBlocks(std::string_view& message, const std::array<SentTable, 2>& tables,
                      ProgressSink progress) {
    for (const SentTable& sent : tables) {
        for (int block = 0; block < OUTPUT_TABLE_BLOCKS; ++block) {
            uint16_t address = static_cast<uint16_t>(sent.address + WORDS_PER_BLOCK * block);
            if (ReadBlock(address) != 0) {
                message = PROGRAM_REQUEST_FAILURE_MESSAGE;
                return -1;
            }
            if (std::memcmp(RespBuf.data(), sent.table->data() + 16 * block, 16) != 0) {
                message = PROGRAM_VERIFY_FAILURE_MESSAGE;
                return -1;
            }
            Report(progress, PROGRESS_STEP);
        }
    }
    return 0;
}
} // namespace

void SetProgramPhase(int phase) {
    ProgramPhase.store(phase, std::memory_order_release);
    if (ProgramPhaseHook != nullptr)
        ProgramPhaseHook(phase);
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
    Report(progress, PROGRESS_RESET);
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

int WriteSetupTables(std::string_view& message, const OutputTable& table1,
                     const OutputTable& table2,
                     const std::array<uint8_t, DEVICE_INFO_SIZE>& deviceInfo,
                     ProgressSink progress) {
    LinkClaim claim;
    message = COMM_ERROR_MESSAGE;
    LoadSetupKey();
    if (ReachLoader(message, LOAD_MODE_SETUP, SETUP_LOADER_CHECKS) != 0)
        return -1;

    // Enciphering the caller's tables in place would leave them enciphered after the run, and
    // a second write (a retry after a failure) would encipher them twice: the unit would then
    // decipher garbage into its outputs. So the run enciphers copies, and compares the
    // read-back against those.
    std::array<OutputTable, 2> enciphered{table1, table2};
    for (OutputTable& table : enciphered)
        for (int block = 0; block < OUTPUT_TABLE_BLOCKS; ++block)
            EncryptBlock16(table.data() + 16 * block);
    const std::array<SentTable, 2> tables{{
        {&enciphered[0], TABLE1_ADDRESS},
        {&enciphered[1], TABLE2_ADDRESS},
    }};

    if (WriteTableBlocks(message, tables, progress) != 0)
        return -1;
    if (LoaderReadDataBlock(nullptr, 0) != 0) {
        message = PROGRAM_VERIFY_FAILURE_MESSAGE;
        return -1;
    }
    Report(progress, PROGRESS_RESET);
    if (VerifyTableBlocks(message, tables, progress) != 0)
        return -1;

    for (int record = 0; record < SETUP_RECORD_COUNT; ++record) {
        int offset = SETUP_RECORD_FIRST + 16 * record;
        if (WriteDataRecord(static_cast<uint8_t>(offset), deviceInfo.data() + offset) != 0) {
            message = PROGRAM_DATA_FAILURE_MESSAGE;
            return -1;
        }
        Report(progress, PROGRESS_STEP);
    }

    if (LeaveLoadMode() != 0) {
        message = PROGRAM_DATA_FAILURE_MESSAGE;
        return -1;
    }
    return 0;
}
