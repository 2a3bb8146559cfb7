// mq6 firmware status and update against mq6-sim: the verdicts and the firmware view's rule
// for what is updated (older, or unreadable in the loader; the rest only with --force).
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char MATCH[] = "The Firmware Versions Match, There is no Need to Update";
constexpr char UPDATE[] = "This is a Newer Version of Firmware, Please Update";
constexpr char NEWER[] = "The Current MQ-6 Firmware is Newer then this Firmware";

struct Row {
    std::vector<std::string> sim;
    std::vector<std::string> command;
    int status;
    const char* out; // expected in stdout
    const char* err; // expected in stderr
    bool programmed; // the unit was taken through its loader
};

TEST(FirmwareCliTest, StatusAndUpdateFollowTheViewsRule) {
    const std::string finished = "Unit version: 1.01\nCarried version: 1.01\n" + std::string(MATCH);
    const std::vector<Row> rows = {
        {{"--version", "1.00"}, {"status"}, 0, UPDATE, "", false},
        {{"--version", "1.02"}, {"status"}, 0, NEWER, "", false},
        {{"--version", "1.00"}, {"update", "--yes"}, 0, finished.c_str(), "Finishing...\n", true},
        {{"--version", "1.01"}, {"update", "--yes"}, 1, MATCH, MATCH, false},
        {{"--version", "2.00"}, {"update", "--yes"}, 1, NEWER, NEWER, false},
        {{"--version", "2.00"}, {"update", "--yes", "--force"}, 0, MATCH, "downgrade", true},
        {{"--version", "1.01"}, {"update", "--force", "--yes"}, 0, MATCH, "reinstall", true},
        // Left in its loader by an interrupted update: updated whatever its data block says.
        {{"--unit-mode", "1", "--start-in-loader"}, {"update", "--yes"}, 0, MATCH, "", true},
        {{"--unit-mode", "2"}, {"update", "--yes"}, 1, "", "The SetUp MUST be completed", false},
        {{"--version", "1.00"}, {"update"}, 2, "", "add --yes", false},
        {{"--version", "1.00", "--refuse-load"},
         {"update", "--yes"},
         1,
         "",
         "load mode failed",
         true},
    };
    for (const Row& row : rows) {
        TempDir dir;
        std::vector<std::string> simArgs = row.sim;
        simArgs.insert(simArgs.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(simArgs);
        ASSERT_FALSE(sim.path.empty());
        std::vector<std::string> args = {"--port", sim.path, "firmware"};
        args.insert(args.end(), row.command.begin(), row.command.end());
        SCOPED_TRACE(row.sim.back() + " " + row.command.back());
        ProcessResult result = RunProcess(MQ6_CLI_PATH, args, dir.path);
        EXPECT_EQ(result.status, row.status) << result.err;
        EXPECT_NE(result.out.find(row.out), std::string::npos) << result.out;
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        bool loadMode = false;
        for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
            loadMode = loadMode || (frame[0] == 'R' && frame[1] == 15);
        EXPECT_EQ(loadMode || row.sim.back() == "--start-in-loader", row.programmed);
        StopSim(sim);
    }
}

} // namespace
