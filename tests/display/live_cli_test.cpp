// mq6 live against mq6-sim: rows decoded and smoothed as the utility's display does, and the
// stream stopped on the way out.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(LiveCliTest, CsvRowsAreSmoothedAndTheStreamIsStopped) {
    TempDir dir;
    SimProcess sim =
        StartSim({"--profile", "const:0.90", "--stoich", "14.70", "--log", dir.File("log")});
    // Options after the command, in any order, the port among them.
    ProcessResult run =
        RunProcess(MQ6_CLI_PATH, {"live", "--csv", "-", "--port", sim.path, "--count=8"}, dir.path);
    StopSim(sim);
    ASSERT_EQ(run.status, 0) << run.err;
    // At the default rate 50 the shown lambda halves its distance from 0.90 with every frame,
    // from 1.00: 0.95, 0.925, 0.9125, 0.90625 ...; the AFR is that times 14.70, to 0.1.
    std::string expected = "time_s,lambda,afr,lambda_raw,stoich\n";
    for (const char* shown : {"0.95,14.0", "0.93,13.6", "0.91,13.4", "0.91,13.3", "0.90,13.3",
                              "0.90,13.3", "0.90,13.2", "0.90,13.2"})
        expected += std::string(shown) + ",0.9000,14.70\n";
    std::string out = run.out; // without the times
    for (size_t at = out.find('\n'); at != std::string::npos && at + 1 < out.size();
         at = out.find('\n', at + 1))
        out.erase(at + 1, out.find(',', at) - at);
    EXPECT_EQ(out, expected) << run.out;
    std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(std::pair(requests.back()[1], requests.back()[2]),
              (std::pair<uint8_t, uint8_t>(0, 0)))
        << "SetStreamMode 0 stops the stream";
}

// A run that never streams leaves an existing CSV file as it was; a reader that closes the
// pipe ends the run as its end would: the stream stopped, exit status 0, nothing said.
TEST(LiveCliTest, RunsThatNeverStreamKeepTheFileAndAClosedPipeEndsTheRun) {
    FakeRoots dir; // no adapter to find
    const std::tuple<const char*, std::vector<std::string>, std::string, int, const char*> rows[] =
        {
            {"port that does not exist", {}, dir.File("missing"), 1, "cannot open"},
            {"no unit found", {}, "", 2, "no MQ-6 unit found"},
            {"silent unit", {"--silent"}, "sim", 1, "no live data from the unit"},
            {"reader closes the pipe", {}, "sim", 0, ""},
        };
    for (const auto& [name, simArgs, port, status, message] : rows) {
        SCOPED_TRACE(name);
        WriteText(dir.File("keep.csv"), "the last run's rows\n");
        std::vector<std::string> args = simArgs;
        args.insert(args.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(args);
        std::string portOption = port.empty() ? "" : "--port " + (port == "sim" ? sim.path : port);
        std::string live = std::string(MQ6_CLI_PATH) + " " + portOption + " live --seconds 1";
        ProcessResult run =
            RunProcess("/bin/bash",
                       {"-c", status == 0 ? live + " --csv - | head -n 3; exit ${PIPESTATUS[0]}"
                                          : live + " --csv " + dir.File("keep.csv")},
                       dir.path);
        StopSim(sim);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_EQ(std::string(message).empty(), run.err.empty()) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(ReadText(dir.File("keep.csv")), "the last run's rows\n");
        if (status == 0) {
            EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
            std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
            ASSERT_FALSE(requests.empty());
            EXPECT_EQ(requests.back()[2], 0) << "SetStreamMode 0 stops the stream";
        }
    }
}

} // namespace
