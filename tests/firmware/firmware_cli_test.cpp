// mq6 firmware update against mq6-sim: the firmware view's rule for what is updated (older,
// or unreadable in the loader; the rest only with --force) and the confirmation it asks for.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FirmwareCliTest, UpdateFollowsTheViewsRuleAndAsksUnlessTold) {
    const struct {
        std::vector<std::string> sim;
        std::vector<std::string> options;
        const char* typed; // on a terminal; nullptr: no terminal
        int status;
        const char* err; // expected in stderr
        bool loadMode;   // the unit was asked into its loader
    } rows[] = {
        {{"--version", "1.00"}, {"--yes"}, nullptr, 0, "Finishing...\n", true},
        {{"--version", "1.01"}, {"--yes"}, nullptr, 1, "Versions Match", false},
        {{"--version", "2.00"}, {"--yes"}, nullptr, 1, "Newer then this", false},
        {{"--version", "2.00"}, {"--yes", "--force"}, nullptr, 0, "downgrade", true},
        {{"--version", "1.01"}, {"--force", "--yes"}, nullptr, 0, "reinstall", true},
        // Left in its loader by an interrupted update: updated whatever its data block says.
        {{"--unit-mode", "1", "--start-in-loader"}, {"--yes"}, nullptr, 0, "", false},
        {{"--unit-mode", "2"}, {"--yes"}, nullptr, 1, "The SetUp MUST be completed", false},
        {{"--version", "1.00"}, {}, nullptr, 2, "add --yes", false},
        // Answers on the terminal; a refused load mode stops the run once it has begun.
        {{"--version", "1.00", "--refuse-load"}, {}, "y\n", 1, "load mode failed", true},
        {{"--version", "1.00", "--refuse-load"}, {}, "Yes\n", 1, "load mode failed", true},
        {{"--version", "1.00", "--refuse-load"}, {}, "n\n", 1, "cancelled", false},
        {{"--version", "1.00", "--refuse-load"}, {}, "\x04", 1, "cancelled", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.sim[1] + (row.typed ? std::string(" typed ") + row.typed : ""));
        TempDir dir;
        std::vector<std::string> simArgs = row.sim;
        simArgs.insert(simArgs.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(simArgs);
        ASSERT_FALSE(sim.path.empty());
        std::vector<std::string> args = {"--port", sim.path, "firmware", "update"};
        args.insert(args.end(), row.options.begin(), row.options.end());
        ProcessResult result = RunProcess(MQ6_CLI_PATH, args, dir.path, row.typed);
        EXPECT_EQ(result.status, row.status) << result.err;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        bool loadMode = false;
        for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
            loadMode = loadMode || (frame[0] == 'R' && frame[1] == 15);
        EXPECT_EQ(loadMode, row.loadMode);
        if (row.status == 0) {
            EXPECT_EQ(
                RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "firmware", "status"}, dir.path).out,
                "Unit version: 1.01\nCarried version: 1.01\n"
                "The Firmware Versions Match, There is no Need to Update\n");
        }
        StopSim(sim);
    }
}

} // namespace
