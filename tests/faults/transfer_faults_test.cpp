// Firmware updates and setup writes cut short by the unit vanishing in the middle of each
// phase of the transfer, each followed by a rerun against the unit's kept state: the rerun
// must leave the unit holding exactly what was asked for.
#include "faults/fault_table.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// mq6-sim's state file: magic and flags (16 bytes, the first flag "in the loader"), the data
// block, program memory by word address, then the two setup tables.
constexpr size_t STATE_FLAGS_AT = 8;
constexpr size_t STATE_DATA_BLOCK_AT = 16;
constexpr size_t STATE_DATA_BLOCK_SIZE = 256;
constexpr size_t STATE_PROGRAM_AT = STATE_DATA_BLOCK_AT + STATE_DATA_BLOCK_SIZE;

constexpr int PARALLEL_RUNS = 4; // each run mostly waits on the line
constexpr char MATCH_TEXT[] = "Unit version: 1.01\nCarried version: 1.01\n"
                              "The Firmware Versions Match, There is no Need to Update\n";

// The setup written, and what it packs to.
const std::vector<std::string> SETUP_OPTIONS = {
    "--stoich",     "14.6",    "--a1",         "1.0,11", "--a2",        "4.5,18.5",
    "--b-mode",     "wb",      "--b1",         "0.5,9",  "--b2",        "4.444,19.999",
    "--a-response", "FASTEST", "--b-response", "slow",   "--nb-offset", "150"};
const SetupRecord SETUP_ASKED = {
    1460, SETUP_FLAG_B_LINEAR, 150, {{{10, 1100, 45, 1850, 240, 6}, {5, 900, 44, 2000, 96, 2}}}};

struct Transfer {
    std::string name;
    std::vector<std::string> simArgs;
    std::vector<std::string> command;
    // Compares what the unit holds after the rerun with what was asked; "" when it matches.
    std::string (*Check)(const Bytes& state, const std::string& dumpedTables);
};

std::string CheckFirmware(const Bytes& state, const std::string&) {
    if (state.size() < STATE_PROGRAM_AT + 2 * 0x2000)
        return "no state file";
    if (state[STATE_FLAGS_AT] != 0)
        return "unit left in its loader";
    for (int i = 0; i < INFO_RECORD_COUNT; ++i) {
        const uint8_t* record = GetInfoRecord(i);
        if (std::memcmp(state.data() + STATE_DATA_BLOCK_AT + record[0], record + 1,
                        RECORD_DATA_SIZE) != 0)
            return "information record " + std::to_string(i) + " differs";
    }
    for (int i = 0; i < CODE_RECORD_COUNT; ++i) {
        const uint8_t* record = GetCodeRecord(i);
        if (std::memcmp(state.data() + STATE_PROGRAM_AT + 2 * size_t{GetCodeAddress(record)},
                        record + 2, RECORD_DATA_SIZE) != 0)
            return "code record " + std::to_string(i) + " differs";
    }
    return "";
}

std::string CheckSetup(const Bytes& state, const std::string& dumpedTables) {
    if (state.size() < STATE_PROGRAM_AT)
        return "no state file";
    if (state[STATE_FLAGS_AT] != 0)
        return "unit left in its loader";
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(SETUP_ASKED, table1, table2);
    std::string tables(table1.begin(), table1.end());
    tables.append(table2.begin(), table2.end());
    if (dumpedTables != tables)
        return "tables differ";
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(SETUP_ASKED, info);
    if (std::memcmp(state.data() + STATE_DATA_BLOCK_AT + SETUP_BLOCK_OFFSET,
                    info.data() + SETUP_BLOCK_OFFSET, SETUP_BLOCK_SIZE) != 0)
        return "setup block differs";
    return "";
}

// One cut in the middle of each phase of a clean run: a phase is a run of requests of one
// kind (header and type); the cut falls after that many request bytes.
std::vector<long> CutPoints(const Transfer& transfer) {
    TempDir dir;
    std::vector<std::string> args = transfer.simArgs;
    args.insert(args.end(), {"--log", dir.File("log")});
    SimProcess sim = StartSim(args);
    std::vector<std::string> command{"--port", sim.path};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    ProcessResult clean = RunProcess(MQ6_CLI_PATH, command, dir.path);
    StopSim(sim);
    EXPECT_EQ(clean.status, 0) << clean.err;
    std::vector<long> points;
    long start = 0;
    long total = 0;
    int kind = -1;
    for (const Bytes& frame : ReadRequestLog(dir.File("log"))) {
        if ((frame[0] << 8 | frame[1]) != kind && total > 0) {
            points.push_back(start + (total - start) / 2 + 1);
            start = total;
        }
        kind = frame[0] << 8 | frame[1];
        total += static_cast<long>(frame.size());
    }
    points.push_back(start + (total - start) / 2 + 1);
    return points;
}

// Cuts the transfer after bytes request bytes, reruns it on the unit's kept state and
// checks what the unit holds then.
void CutAndRerun(const Transfer& transfer, long bytes) {
    SCOPED_TRACE("cut after " + std::to_string(bytes) + " request bytes");
    TempDir dir;
    std::vector<std::string> command{"--port", ""};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    ProcessResult runs[2];
    bool vanished = false;
    for (int rerun = 0; rerun < 2; ++rerun) {
        std::vector<std::string> args = transfer.simArgs;
        args.insert(args.end(), {"--state", dir.File("state")});
        if (rerun == 0)
            args.insert(args.end(), {"--vanish-after", std::to_string(bytes)});
        else
            args.insert(args.end(), {"--dump-tables", dir.File("tables")});
        SimProcess sim = StartSim(args);
        command[1] = sim.path;
        runs[rerun] = RunProcess(MQ6_CLI_PATH, command, dir.path);
        if (rerun == 0)
            vanished = WaitSimExit(sim, 5000) == 3;
        else if (transfer.Check == CheckFirmware)
            runs[1].out =
                RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "firmware", "status"}, dir.path).out;
        else // the restarted unit writes the tables it deciphered
            WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 2 * OUTPUT_TABLE_SIZE; },
                    3000);
        StopSim(sim);
    }
    std::string mismatch = transfer.Check == CheckFirmware && runs[1].out != MATCH_TEXT
                               ? "version after the rerun: " + runs[1].out
                               : "";
    if (mismatch.empty()) {
        Bytes tables = ReadBytes(dir.File("tables"));
        mismatch =
            transfer.Check(ReadBytes(dir.File("state")), std::string(tables.begin(), tables.end()));
    }
    EXPECT_TRUE(vanished);
    EXPECT_EQ(runs[0].status, 1) << runs[0].err;
    EXPECT_EQ(runs[1].status, 0) << runs[1].err;
    EXPECT_EQ(mismatch, "");
    CountFaultTry(transfer.name,
                  vanished && runs[0].status == 1 && runs[1].status == 0 && mismatch.empty(),
                  !mismatch.empty());
}

void RunCuts(const Transfer& transfer) {
    std::vector<long> points = CutPoints(transfer);
    ASSERT_GE(points.size(), 7u);
    std::atomic<size_t> next{0};
    std::vector<std::thread> runners;
    for (int i = 0; i < PARALLEL_RUNS; ++i)
        runners.emplace_back([&] {
            for (size_t at = next++; at < points.size(); at = next++)
                CutAndRerun(transfer, points[at]);
        });
    for (std::thread& runner : runners)
        runner.join();
}

TEST(TransferFaultsTest, FirmwareUpdateCutInAnyPhaseIsFinishedByARerun) {
    RunCuts({"firmware update, unit vanishes",
             {"--version", "1.00"},
             {"firmware", "update", "--yes", "--force"},
             CheckFirmware});
}

TEST(TransferFaultsTest, SetupWriteCutInAnyPhaseIsFinishedByARerun) {
    std::vector<std::string> command{"setup", "write", "--yes"};
    command.insert(command.end(), SETUP_OPTIONS.begin(), SETUP_OPTIONS.end());
    RunCuts({"setup write, unit vanishes", {}, command, CheckSetup});
}

} // namespace
