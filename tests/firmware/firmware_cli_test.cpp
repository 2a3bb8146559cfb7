// mq6 firmware update and setup write against mq6-sim: the firmware view's rule for what is
// updated (older, in update mode, also left in its loader; the rest only with --force), the
// confirmation asked for, the samples written only into a unit that runs the sample firmware, and
// a unit left mid-update or mid-write as each command names it.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const IMAGE = "SAMPLE firmware image, which is not device firmware";
const char* const KEY = "SAMPLE setup key, which is not the unit's key";
const std::string OTHER = "--other-firmware", LOADER = "--start-in-loader";
const std::string ALLOW = "MQ6_ALLOW_SAMPLE=1"; // set for mq6 when it leads its options
const char* const UPDATED = "Firmware updated: the unit runs 1.01.\n";
constexpr const char* ModeOne =
    "firmware update mode: a firmware update did not finish; mq6 firmware update finishes it\n";
constexpr const char* ModeTwo =
    "setup mode: a setup write did not finish; mq6 setup write with the setup to write (--from "
    "FILE, --defaults or the values) finishes it\n";

TEST(FirmwareCliTest, UpdateFollowsTheViewsRuleAndSamplesGoOnlyToASampleUnit) {
    // The simulator's and mq6's options (firmware update unless a command leads them), what is
    // typed on a terminal (nullptr: none), the exit status, a part of the output, and whether the
    // unit was asked into its loader. The unit is written exactly when an update or a write
    // succeeds.
    using Words = std::vector<std::string>;
    const std::tuple<Words, Words, const char*, int, const char*, bool> rows[] = {
        {{"--version", "1.00"}, {"--yes"}, nullptr, 0, UPDATED, true},
        {{"--version", "2.00"}, {"--yes"}, nullptr, 1, "Newer then this", false},
        {{"--version", "2.00"}, {"--yes", "--force"}, nullptr, 0, "downgrade", true},
        {{"--version", "1.01"}, {"--force", "--yes"}, nullptr, 0, "reinstall", true},
        // In its update mode the unit is updated whatever version its text names.
        {{"--unit-mode", "1"}, {"--yes"}, nullptr, 0, "finishing an interrupted update\n", true},
        {{"--unit-mode", "2"}, {"--yes"}, nullptr, 1, "The SetUp MUST be completed", false},
        // Left in its loader by an interrupted update: updated without asking for load mode.
        {{"--unit-mode", "1", LOADER}, {"--yes"}, nullptr, 0, "Finishing", false},
        // Answers on the terminal; a refused load mode stops the run once it has begun.
        {{"--version", "1.00", "--refuse-load"}, {}, "y\n", 1, "load mode failed", true},
        {{"--version", "1.00", "--refuse-load"}, {}, "n\n", 1, "cancelled", false},
        {{"--version", "1.00", "--refuse-load"}, {}, "\x04", 1, "cancelled", false},
        // A unit running other firmware, in its application or its loader, or one that cannot
        // be read, gets neither sample, and is not asked first; MQ6_ALLOW_SAMPLE=1 lets it.
        {{"--version", "1.00", OTHER}, {}, "y\n", 1, IMAGE, false},
        {{"--version", "1.01", OTHER}, {"--yes", "--force"}, nullptr, 1, IMAGE, false},
        {{OTHER, "--unit-mode", "1", LOADER}, {"--yes"}, nullptr, 1, IMAGE, false},
        {{OTHER, "--unit-mode", "1", LOADER}, {ALLOW, "--yes"}, nullptr, 0, "Finishing", false},
        {{OTHER}, {"setup", "write", "--yes"}, nullptr, 1, KEY, false},
        {{OTHER}, {"setup", "write", "--dry-run"}, nullptr, 0, KEY, false},
        {{"--silent"}, {"setup", "write", "--defaults", "--yes"}, nullptr, 1, KEY, false},
        // Every other command names the unfinished job and the command that finishes it.
        {{"--unit-mode", "1"}, {"info"}, nullptr, 0, ModeOne, false},
        {{LOADER}, {"info"}, nullptr, 0, "(the unit answers only from its loader)", false},
        {{"--version", "1.10"}, {"info", "--json"}, nullptr, 0, "\"version\": \"1.10\"", false},
        {{"--unit-mode", "1"}, {"firmware", "status"}, nullptr, 0, ModeOne, false},
        {{"--unit-mode", "2"}, {"info"}, nullptr, 0, ModeTwo, false},
        {{"--unit-mode", "7"}, {"info"}, nullptr, 0, "\nUnit mode: 7 (unknown)\n", false},
        {{"--unit-mode", "1", LOADER}, {"live", "--seconds", "2"}, nullptr, 1, ModeOne, false},
        {{"--unit-mode", "2"}, {"setup", "read"}, nullptr, 1, ModeTwo, false}};
    for (auto [simArgs, options, typed, status, err, loadMode] : rows) {
        SCOPED_TRACE(testing::PrintToString(simArgs) + testing::PrintToString(options) +
                     (typed ? typed : ""));
        TempDir dir;
        simArgs.insert(simArgs.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(simArgs);
        if (std::erase(options, ALLOW) > 0)
            setenv("MQ6_ALLOW_SAMPLE", "1", 1);
        bool writes = options.empty() || options[0].starts_with("--") ||
                      (options[0] == "setup" && options[1] == "write");
        if (options.empty() || options[0].starts_with("--"))
            options.insert(options.begin(), {"firmware", "update"});
        options.insert(options.begin(), {"--port", sim.path});
        ProcessResult result = RunProcess(MQ6_CLI_PATH, options, dir.path, typed);
        unsetenv("MQ6_ALLOW_SAMPLE");
        EXPECT_EQ(result.status, status) << result.err;
        EXPECT_NE((result.err + result.out).find(err), std::string::npos) << result.err;
        // An update of a unit in its update mode, and only that, says it finishes one.
        bool finishing = options[2] == "firmware" && options[3] == "update" && status == 0 &&
                         std::ranges::count(simArgs, "1") == 1;
        EXPECT_EQ(result.err.find("an interrupted") != std::string::npos, finishing) << result.err;
        std::vector<std::vector<uint8_t>> log = ReadRequestLog(dir.File("log"));
        EXPECT_EQ(std::ranges::count_if(log, [](auto& f) { return f[0] == 'R' && f[1] == 15; }),
                  loadMode);
        EXPECT_EQ(std::ranges::any_of(log, [](auto& f) { return f[0] == 'Z' && f[1] == 0; }),
                  writes && status == 0 && options.back() != "--dry-run");
        StopSim(sim);
    }
}

} // namespace
