// Firmware updates and setup writes cut short by the unit vanishing in the middle of each
// phase of the transfer, each followed by a rerun against the unit's kept state: the rerun
// must leave the unit holding exactly what a run never cut leaves it. The unit shows the sample
// firmware's information bytes through every cut (the information records rewrite the same bytes,
// the setup block's last record the same 'ZZZZ'), so no rerun needs MQ6_ALLOW_SAMPLE.
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>

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
    return RunMq6(sim.path, transfer.command, dir.path);
}

// One command against a unit started for it alone.
ProcessResult Alone(const Args& simArgs, const Args& command, const TempDir& dir) {
    SimProcess sim = StartSim(simArgs);
    ProcessResult run = RunMq6(sim.path, command, dir.path);
    StopSim(sim);
    return run;
}

// The unit's state file once the unit has restarted out of its loader.
std::string StateAfterRestart(SimProcess& sim, const TempDir& dir) {
    auto state = [&] { return ReadText(dir.File("state")); };
    WaitFor([&] { return state().size() > 8 && state()[8] == 0; }, PATIENCE_MS);
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
    bool vanished = WaitSimExit(sim, PATIENCE_MS) == 3;
    StopSim(sim);
    const std::string left = ReadText(dir.File("state"));
    bool midJob = left.size() > 8 && left[8] != 0;
    ProcessResult rerun = Run(transfer, {"--state", dir.File("state")}, dir, sim);
    // The version the unit then reports is the carried one.
    std::string status = RunMq6(sim.path, {"firmware", "status"}, dir.path).out;
    bool same = StateAfterRestart(sim, dir) == uncut,
         match = Has(status, "The Firmware Versions Match");
    EXPECT_TRUE(vanished);
    EXPECT_EQ(cut.status, 1) << cut.err;
    // A cut that left the unit mid-job says what finishes it: not only the stage, whose text
    // may read as a success ("Version request OK").
    EXPECT_TRUE(!midJob || Has(cut.err, " finishes it")) << cut.err;
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

// A setup write cut after the first of its four setup records (11458 request bytes) leaves a
// unit that holds part of each setup. The message names the file of the setup being written;
// every command then says that the unit is mid-write, a write of the mix is refused, and the
// file finishes the job. A unit that reads back its setup mode after the restart is not done.
TEST(TransferFaultsTest, ACutSetupWriteIsFinishedWithTheSetupItWasWriting) {
    TempDir dir;
    SimProcess sim;
    const std::string state = dir.File("state"),
                      pending = dir.File("data/mq6/unfinished-setup.json");
    auto mq6 = [&](const Args& args) { return RunMq6(sim.path, args, dir.path); };
    ASSERT_EQ(Alone({"--state", state}, SETUP, dir).status, 0);
    ProcessResult cut = Alone({"--state", state, "--vanish-after", "11458"},
                              {"setup", "write", "--defaults", "--yes"}, dir);
    const std::string finish = "mq6 setup write --from " + pending + " --yes finishes it";
    EXPECT_EQ(cut.status, 1);
    EXPECT_TRUE(Has(cut.err, "mq6: the MQ-6 stopped answering, or its answer came damaged\n"));
    EXPECT_TRUE(Has(cut.err, finish)) << cut.err;
    sim = StartSim({"--state", state});
    // A write refused for want of its restore point leaves the file of the cut write whole.
    const std::string cutSetup = ReadText(pending);
    std::filesystem::remove_all(dir.File("data/mq6/restore"));
    WriteText(dir.File("data/mq6/restore"), "");
    EXPECT_EQ(mq6({"setup", "write", "--defaults", "--b1", "0.5,9", "--yes"}).status, 1);
    EXPECT_EQ(ReadText(pending), cutSetup);
    std::filesystem::remove(dir.File("data/mq6/restore"));
    const std::tuple<Args, int, const char*> rows[] = {
        {{"setup", "write", "--dry-run"}, 0, "in setup mode"},
        {{"setup", "write", "--yes"}, 1, "give the setup to write"},
        {{"setup", "write", "--from", pending, "--yes"}, 0, "Setup written."}};
    for (const auto& [args, status, said] : rows) {
        ProcessResult run = mq6(args);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_TRUE(Has(run.err + run.out, said)) << run.err << run.out;
    }
    std::string finished = mq6({"setup", "read", "--json"}).out;
    StopSim(sim);
    EXPECT_EQ(finished, Alone({}, {"setup", "read", "--json"}, dir).out) << "the defaults, whole";
    EXPECT_FALSE(std::filesystem::exists(pending)) << "kept only while the write is unfinished";
    ProcessResult sticky =
        Alone({"--keep-mode"}, {"setup", "write", "--stoich", "9.77", "--yes"}, dir);
    EXPECT_EQ(sticky.status, 1);
    EXPECT_TRUE(Has(sticky.err, "the MQ-6 restarted still in its setup mode\nmq6: a setup write "
                                "did not finish; mq6 setup write --from"))
        << sticky.err;
    // Bytes 3 and 4 of the block carry nothing: a unit that keeps its own there holds the setup.
    ProcessResult spare =
        Alone({"--spare-bytes", "7"}, {"setup", "write", "--stoich", "9.77", "--yes"}, dir);
    EXPECT_EQ(spare.status, 0) << spare.err;
}

// What mq6 says of a job that did not end written, each as it was: refused with nothing changed;
// refused part way, left mid-job with what finishes it; cut inside the restart, which is not
// "written" until the block read after it says so; an update cut before its programming, whose
// stage's text reads as a success ("Version request OK").
TEST(TransferFaultsTest, EachEndIsSaidAsItWasWithWhatFinishesALeftJob) {
    const std::tuple<bool, Args, Args, const char*> rows[] = {
        {false, Args{"--refuse-load"}, SETUP,
         "Request load mode failed\nmq6: the MQ-6 refused it: nothing was written, and it runs as "
         "before\n"},
        {true, Args{"--fail-write", "1"}, SETUP,
         "Program Mode Failure\nmq6: the MQ-6 refused to go on\n"},
        {true, Args{"--vanish-after", "11540"}, SETUP,
         "mq6: everything was sent, but the MQ-6 did not answer after its restart\n"},
        {true, Args{"--vanish-after", "70", "--version", "1.00"},
         Args{"firmware", "update", "--yes"},
         "Version request OK\nmq6: the MQ-6 stopped answering, or its answer came damaged\n"}};
    for (const auto& [finisher, simArgs, command, said] : rows) {
        SCOPED_TRACE(simArgs[0] + " " + command[0]);
        TempDir dir;
        ProcessResult run = Alone(simArgs, command, dir);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Has(run.err, said)) << run.err;
        EXPECT_EQ(Has(run.err, " finishes it"), finisher) << run.err;
    }
}

} // namespace
