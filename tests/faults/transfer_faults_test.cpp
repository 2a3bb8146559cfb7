// Firmware updates and setup writes cut short by the unit vanishing in the middle of each
// phase of the transfer, each followed by a rerun against the unit's kept state: the rerun
// must leave the unit holding exactly what a run never cut leaves it. The unit shows the sample
// firmware's information bytes through every cut (the information records rewrite the same bytes,
// the setup block's last record the same 'ZZZZ'), so no rerun needs MQ6_ALLOW_SAMPLE.
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

// The setup written: 14.6, A 1.0 V at 11.00, B linear, offset 150, the rest as the defaults
// have them: unlike the unit's first setup.
const Args SETUP = {"setup",  "write",    "--yes", "--stoich",    "14.6", "--a1",
                    "1.0,11", "--b-mode", "wb",    "--nb-offset", "150"};

struct Transfer {
    Args sim, command;
};

ProcessResult Run(const Transfer& transfer, Args simArgs, const TempDir& dir, SimProcess& sim) {
    simArgs.insert(simArgs.begin(), transfer.sim.begin(), transfer.sim.end());
    sim = StartSim(simArgs);
    Args command{"--port", sim.path};
    command.insert(command.end(), transfer.command.begin(), transfer.command.end());
    return RunProcess(MQ6_CLI_PATH, command, dir.path);
}

// The unit's state file once the unit has restarted out of its loader.
std::string StateAfterRestart(SimProcess& sim, const TempDir& dir) {
    auto state = [&] { return ReadText(dir.File("state")); };
    WaitFor([&] { return state().size() > 8 && state()[8] == 0; }, 3000);
    StopSim(sim);
    return state();
}

// Cuts the transfer after bytes request bytes and reruns it on the unit's kept state: the unit
// must then hold, byte for byte, what a run never cut left it holding.
void CutAndRerun(const Transfer& transfer, long bytes, const std::string& uncut) {
    SCOPED_TRACE("cut after " + std::to_string(bytes) + " request bytes");
    TempDir dir;
    SimProcess sim;
    ProcessResult cut =
        Run(transfer, {"--state", dir.File("state"), "--vanish-after", std::to_string(bytes)}, dir,
            sim);
    bool vanished = WaitSimExit(sim, 5000) == 3;
    StopSim(sim);
    ProcessResult rerun = Run(transfer, {"--state", dir.File("state")}, dir, sim);
    // The version the unit then reports is the carried one.
    std::string status =
        RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "firmware", "status"}, dir.path).out;
    bool same = StateAfterRestart(sim, dir) == uncut,
         match = status.find("The Firmware Versions Match") != std::string::npos;
    EXPECT_TRUE(vanished);
    EXPECT_EQ(cut.status, 1) << cut.err;
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_TRUE(same) << "the unit holds other than what the uncut run left";
    EXPECT_TRUE(match) << status;
}

// One cut in the middle of each phase of a clean run (a phase is a run of requests of one
// header and type), one run at a time, so that a loaded machine cannot starve a run into its
// time-outs.
void RunCuts(const Transfer& transfer) {
    TempDir dir;
    SimProcess sim;
    ProcessResult run =
        Run(transfer, {"--state", dir.File("state"), "--log", dir.File("log")}, dir, sim);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string uncut = StateAfterRestart(sim, dir);
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
    for (long point : points)
        CutAndRerun(transfer, point, uncut);
}

TEST(TransferFaultsTest, FirmwareUpdateCutInAnyPhaseIsFinishedByARerun) {
    RunCuts({{"--version", "1.00"}, {"firmware", "update", "--yes", "--force"}});
}

TEST(TransferFaultsTest, SetupWriteCutInAnyPhaseIsFinishedByARerun) {
    RunCuts({{}, SETUP});
}

} // namespace
