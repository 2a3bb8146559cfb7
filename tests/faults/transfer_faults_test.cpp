// Firmware updates and setup writes cut short by the unit vanishing at seeded points across
// every phase of the transfer, each followed by a rerun against the unit's kept state: the
// rerun must leave the unit holding exactly what was asked for.
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
#include <random>
#include <set>
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

constexpr int CUTS_PER_TRANSFER = 24;
constexpr int PARALLEL_RUNS = 4; // each run mostly waits on the line
constexpr uint32_t CUT_SEED = 6;
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

// One cut run and its rerun.
struct CutOutcome {
    long bytes = 0;
    bool cutReportedFailure = false;
    bool vanished = false;
    bool rerunOk = false;
    std::string mismatch; // what differs from what was asked, after the rerun
    std::string detail;
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

// Request bytes at the end of each phase of a clean run: a phase is a run of requests of
// one kind (header and type).
std::vector<long> PhaseEnds(const Transfer& transfer) {
    TempDir dir;
    std::vector<std::string> args = transfer.simArgs;
    args.insert(args.end(), {"--log", dir.File("log")});
    SimProcess sim = StartSim(args);
    std::vector<std::string> command{"--port", sim.path};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    ProcessResult clean = RunProcess(MQ6_CLI_PATH, command, dir.path);
    StopSim(sim);
    EXPECT_EQ(clean.status, 0) << clean.err;
    std::vector<long> ends;
    long total = 0;
    int kind = -1;
    for (const Bytes& frame : ReadRequestLog(dir.File("log"))) {
        int frameKind = frame[0] << 8 | frame[1];
        if (frameKind != kind && total > 0)
            ends.push_back(total);
        kind = frameKind;
        total += static_cast<long>(frame.size());
    }
    ends.push_back(total);
    return ends;
}

// One cut in every phase, the rest spread over the whole transfer; all seeded.
std::vector<long> CutPoints(const std::vector<long>& ends) {
    std::mt19937 random(CUT_SEED);
    std::set<long> points;
    long start = 0;
    for (long end : ends) {
        points.insert(start + 1 + static_cast<long>(random() % static_cast<uint32_t>(end - start)));
        start = end;
    }
    while (static_cast<int>(points.size()) < CUTS_PER_TRANSFER)
        points.insert(1 + static_cast<long>(random() % static_cast<uint32_t>(ends.back())));
    return {points.begin(), points.end()};
}

CutOutcome CutAndRerun(const Transfer& transfer, long bytes) {
    CutOutcome outcome;
    outcome.bytes = bytes;
    TempDir dir;
    std::string state = dir.File("state");
    std::vector<std::string> args = transfer.simArgs;
    args.insert(args.end(), {"--state", state, "--vanish-after", std::to_string(bytes)});
    SimProcess sim = StartSim(args);
    std::vector<std::string> command{"--port", sim.path};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    ProcessResult cut = RunProcess(MQ6_CLI_PATH, command, dir.path);
    outcome.cutReportedFailure = cut.status == 1;
    outcome.vanished = WaitSimExit(sim, 5000) == 3;
    StopSim(sim);

    args = transfer.simArgs;
    args.insert(args.end(), {"--state", state, "--dump-tables", dir.File("tables")});
    sim = StartSim(args);
    command[1] = sim.path;
    ProcessResult rerun = RunProcess(MQ6_CLI_PATH, command, dir.path);
    outcome.rerunOk = rerun.status == 0;
    if (transfer.Check == CheckFirmware) {
        ProcessResult status =
            RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "firmware", "status"}, dir.path);
        if (status.out != MATCH_TEXT)
            outcome.mismatch = "version after the rerun: " + status.out;
    } else {
        // The restarted unit writes the tables it deciphered.
        WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 2 * OUTPUT_TABLE_SIZE; },
                3000);
    }
    StopSim(sim);
    if (outcome.mismatch.empty()) {
        Bytes tables = ReadBytes(dir.File("tables"));
        outcome.mismatch =
            transfer.Check(ReadBytes(state), std::string(tables.begin(), tables.end()));
    }
    outcome.detail = "cut run: " + std::to_string(cut.status) + " " + cut.err +
                     "rerun: " + std::to_string(rerun.status) + " " + rerun.err;
    return outcome;
}

void RunCuts(const Transfer& transfer) {
    std::vector<long> points = CutPoints(PhaseEnds(transfer));
    ASSERT_GE(points.size(), 20u);
    std::vector<CutOutcome> outcomes(points.size());
    std::atomic<size_t> next{0};
    std::vector<std::thread> runners;
    for (int i = 0; i < PARALLEL_RUNS; ++i)
        runners.emplace_back([&] {
            for (size_t at = next++; at < points.size(); at = next++)
                outcomes[at] = CutAndRerun(transfer, points[at]);
        });
    for (std::thread& runner : runners)
        runner.join();
    for (const CutOutcome& outcome : outcomes) {
        SCOPED_TRACE("cut after " + std::to_string(outcome.bytes) + " request bytes");
        EXPECT_TRUE(outcome.vanished);
        EXPECT_TRUE(outcome.cutReportedFailure) << outcome.detail;
        EXPECT_TRUE(outcome.rerunOk) << outcome.detail;
        EXPECT_EQ(outcome.mismatch, "") << outcome.detail;
        CountFaultTry(transfer.name,
                      outcome.vanished && outcome.cutReportedFailure && outcome.rerunOk &&
                          outcome.mismatch.empty(),
                      !outcome.mismatch.empty());
    }
}

TEST(TransferFaultsTest, FirmwareUpdateCutAnywhereIsFinishedByARerun) {
    RunCuts({"firmware update, unit vanishes",
             {"--version", "1.00"},
             {"firmware", "update", "--yes", "--force"},
             CheckFirmware});
}

TEST(TransferFaultsTest, SetupWriteCutAnywhereIsFinishedByARerun) {
    std::vector<std::string> command{"setup", "write", "--yes"};
    command.insert(command.end(), SETUP_OPTIONS.begin(), SETUP_OPTIONS.end());
    RunCuts({"setup write, unit vanishes", {}, command, CheckSetup});
}

} // namespace
