// mq6 firmware update against mq6-sim: the firmware view's rule for what is updated (older,
// in update mode, also left in its loader; the rest only with --force) and the confirmation it
// asks for; a unit left mid-update or mid-write as each command names it.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr const char* ModeOne = "firmware update mode: an update did not finish; mq6 firmware "
                                "update finishes it\n";
constexpr const char* ModeTwo = "setup mode: a setup write did not finish; mq6 setup write "
                                "finishes it\n";

TEST(FirmwareCliTest, UpdateFollowsTheViewsRuleAndAsksUnlessTold) {
    const struct {
        // The simulator's options, mq6's command, what is typed on a terminal (nullptr: none), the
        // exit status, a part of stderr, and whether the unit was asked into its loader.
        std::vector<std::string> sim, options;
        const char* typed;
        int status;
        const char* err;
        bool loadMode;
    } rows[] = {
        {{"--version", "1.00"}, {"--yes"}, nullptr, 0, "Finishing...\n", true},
        {{"--version", "2.00"}, {"--yes"}, nullptr, 1, "Newer then this", false},
        {{"--version", "2.00"}, {"--yes", "--force"}, nullptr, 0, "downgrade", true},
        {{"--version", "1.01"}, {"--force", "--yes"}, nullptr, 0, "reinstall", true},
        // In its update mode the unit is updated whatever version its text names.
        {{"--unit-mode", "1"}, {"--yes"}, nullptr, 0, "finishing an interrupted update\n", true},
        {{"--unit-mode", "2"}, {"--yes"}, nullptr, 1, "The SetUp MUST be completed", false},
        // Left in its loader by an interrupted update: updated without asking for load mode.
        {{"--unit-mode", "1", "--start-in-loader"}, {"--yes"}, nullptr, 0, "Finishing", false},
        // Answers on the terminal; a refused load mode stops the run once it has begun.
        {{"--version", "1.00", "--refuse-load"}, {}, "y\n", 1, "load mode failed", true},
        {{"--version", "1.00", "--refuse-load"}, {}, "n\n", 1, "cancelled", false},
        {{"--version", "1.00", "--refuse-load"}, {}, "\x04", 1, "cancelled", false},
        // Every other command names the unfinished job and the command that finishes it.
        {{"--unit-mode", "1"}, {"info"}, nullptr, 0, ModeOne, false},
        {{"--unit-mode", "1"}, {"firmware", "status"}, nullptr, 0, ModeOne, false},
        {{"--unit-mode", "2"}, {"info"}, nullptr, 0, ModeTwo, false},
        {{"--unit-mode", "2"}, {"setup", "read"}, nullptr, 1, ModeTwo, false},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.sim[1] + " " + row.err +
                     (row.typed ? std::string(" typed ") + row.typed : ""));
        TempDir dir;
        row.sim.insert(row.sim.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(row.sim);
        if (row.options.empty() || row.options[0].starts_with("--"))
            row.options.insert(row.options.begin(), {"firmware", "update"});
        row.options.insert(row.options.begin(), {"--port", sim.path});
        ProcessResult result = RunProcess(MQ6_CLI_PATH, row.options, dir.path, row.typed);
        EXPECT_EQ(result.status, row.status) << result.err;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        auto enterLoadMode = [](const auto& frame) { return frame[0] == 'R' && frame[1] == 15; };
        EXPECT_EQ(std::ranges::count_if(ReadRequestLog(dir.File("log")), enterLoadMode),
                  row.loadMode);
        StopSim(sim);
    }
}

} // namespace
