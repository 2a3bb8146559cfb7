// Firmware updates and setup writes cut short by the unit vanishing in the middle of each
// phase of the transfer, each followed by a rerun against the unit's kept state: the rerun
// must leave the unit holding exactly what was asked for.
#include "faults/fault_table.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
using Args = std::vector<std::string>;

// mq6-sim's state file: magic and flags (16 bytes, the one at 8 "in the loader"), the data
// block (256 bytes), then program memory by word address.
constexpr size_t FLAGS_AT = 8, DATA_AT = 16, PROGRAM_AT = 16 + 256;

// What the unit holds after the rerun against what was asked; "" when it matches.
std::string CheckFirmware(const Bytes& state, const std::string& status, const Bytes&) {
    if (status != "Unit version: 1.01\nCarried version: 1.01\n"
                  "The Firmware Versions Match, There is no Need to Update\n")
        return "version after the rerun: " + status;
    for (int i = 0; i < 12; ++i)
        if (std::memcmp(&state[DATA_AT + GetInfoRecord(i)[0]], GetInfoRecord(i) + 1, 16) != 0)
            return "information record " + std::to_string(i) + " differs";
    for (int i = 0; i < 169; ++i)
        if (std::memcmp(&state[PROGRAM_AT + 2 * size_t{GetCodeAddress(GetCodeRecord(i))}],
                        GetCodeRecord(i) + 2, 16) != 0)
            return "code record " + std::to_string(i) + " differs";
    return "";
}

// The setup written: 14.6, A 1.0 V at 11.00 and 4.5 V at 18.50, B linear 0.5 V at 9.00 and
// 4.4 V at 20.00, responses Fastest and Slow, offset 150.
const Args SETUP = {
    "setup",        "write",        "--yes",    "--stoich",     "14.6", "--a1",        "1.0,11",
    "--a2",         "4.5,18.5",     "--b-mode", "wb",           "--b1", "0.5,9",       "--b2",
    "4.444,19.999", "--a-response", "FASTEST",  "--b-response", "slow", "--nb-offset", "150"};
const SetupRecord SETUP_ASKED = {
    1460, SETUP_FLAG_B_LINEAR, 150, {{{10, 1100, 45, 1850, 240, 6}, {5, 900, 44, 2000, 96, 2}}}};

std::string CheckSetup(const Bytes& state, const std::string&, const Bytes& tables) {
    OutputTable table1{}, table2{};
    BuildSetupTables(SETUP_ASKED, table1, table2);
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(SETUP_ASKED, info);
    if (!std::equal(table1.begin(), table1.end(), tables.begin()) ||
        !std::equal(table2.begin(), table2.end(), tables.begin() + 2048))
        return "tables differ";
    return std::memcmp(&state[DATA_AT + 4], &info[4], 64) == 0 ? "" : "setup block differs";
}

struct Transfer {
    std::string name;
    Args sim, command;
    std::string (*Check)(const Bytes& state, const std::string& status, const Bytes& tables);
};

ProcessResult Run(const Transfer& transfer, Args simArgs, const TempDir& dir, SimProcess& sim) {
    simArgs.insert(simArgs.begin(), transfer.sim.begin(), transfer.sim.end());
    sim = StartSim(simArgs);
    Args command{"--port", sim.path};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    return RunProcess(MQ6_CLI_PATH, command, dir.path);
}

// Cuts the transfer after bytes request bytes, reruns it on the unit's kept state and
// checks what the unit holds then.
void CutAndRerun(const Transfer& transfer, long bytes) {
    SCOPED_TRACE("cut after " + std::to_string(bytes) + " request bytes");
    TempDir dir;
    SimProcess sim;
    ProcessResult cut =
        Run(transfer, {"--state", dir.File("state"), "--vanish-after", std::to_string(bytes)}, dir,
            sim);
    bool vanished = WaitSimExit(sim, 5000) == 3;
    StopSim(sim);
    ProcessResult rerun = Run(
        transfer, {"--state", dir.File("state"), "--dump-tables", dir.File("tables")}, dir, sim);
    // The restarted unit writes the tables it deciphered.
    bool setup = transfer.Check == CheckSetup;
    WaitFor([&] { return !setup || ReadBytes(dir.File("tables")).size() == 4096; }, 3000);
    std::string status =
        RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "firmware", "status"}, dir.path).out;
    StopSim(sim);
    Bytes state = ReadBytes(dir.File("state")), tables = ReadBytes(dir.File("tables"));
    std::string mismatch = state.size() < PROGRAM_AT + 0x4000 || state[FLAGS_AT] != 0
                               ? "unit left in its loader"
                           : setup && tables.size() != 4096 ? "no tables"
                                                            : transfer.Check(state, status, tables);
    EXPECT_TRUE(vanished);
    EXPECT_EQ(cut.status, 1) << cut.err;
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_EQ(mismatch, "");
    CountFaultTry(transfer.name,
                  vanished && cut.status == 1 && rerun.status == 0 && mismatch.empty(),
                  !mismatch.empty());
}

// One cut in the middle of each phase of a clean run (a phase is a run of requests of one
// header and type), four runs at a time: each mostly waits on the line.
void RunCuts(const Transfer& transfer) {
    TempDir dir;
    SimProcess sim;
    EXPECT_EQ(Run(transfer, {"--log", dir.File("log")}, dir, sim).status, 0);
    StopSim(sim);
    std::vector<long> points;
    long start = 0, total = 0;
    int kind = -1;
    for (const Bytes& frame : ReadRequestLog(dir.File("log"))) {
        if ((frame[0] << 8 | frame[1]) != kind && total > 0)
            points.push_back(start + (total - start) / 2 + 1), start = total;
        kind = frame[0] << 8 | frame[1];
        total += long(frame.size());
    }
    points.push_back(start + (total - start) / 2 + 1);
    ASSERT_GE(points.size(), 7u);
    std::atomic<size_t> next{0};
    std::vector<std::thread> runners;
    for (int i = 0; i < 4; ++i)
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
    RunCuts({"setup write, unit vanishes", {}, SETUP, CheckSetup});
}

} // namespace
