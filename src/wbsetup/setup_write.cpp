// The setup write's loader sequence: both output tables enciphered, read back, then the setup
// bytes and a restart. A straight line of stages with no retries, as the firmware's.
#include "wbsetup/setup_write.h"

#include "firmware/cipher.h"

#include <cstring>

namespace {
constexpr int SETUP_LOADER_CHECKS = 3;
constexpr uint16_t TABLE1_ADDRESS = 0x1000;
constexpr uint16_t TABLE2_ADDRESS = 0x1400;
constexpr int WORDS_PER_BLOCK = 8;
constexpr int SETUP_RECORD_FIRST = 4; // DeviceInfo bytes 4 to 67 in four records
constexpr int SETUP_RECORD_COUNT = 4;

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
            ReportProgress(progress, PROGRESS_STEP);
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
            ReportProgress(progress, PROGRESS_STEP);
        }
    }
    return 0;
}
} // namespace

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
    ReportProgress(progress, PROGRESS_RESET);
    if (VerifyTableBlocks(message, tables, progress) != 0)
        return -1;

    for (int record = 0; record < SETUP_RECORD_COUNT; ++record) {
        int offset = SETUP_RECORD_FIRST + 16 * record;
        if (WriteDataRecord(static_cast<uint8_t>(offset), deviceInfo.data() + offset) != 0) {
            message = PROGRAM_DATA_FAILURE_MESSAGE;
            return -1;
        }
        ReportProgress(progress, PROGRESS_STEP);
    }

    if (LeaveLoadMode() != 0) {
        message = PROGRAM_DATA_FAILURE_MESSAGE;
        return -1;
    }
    return 0;
}
