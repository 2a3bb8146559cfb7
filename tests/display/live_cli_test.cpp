// mq6 live against mq6-sim: rows decoded and smoothed as the utility's display does, and the
// stream stopped on the way out.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(LiveCliTest, CsvRowsAreSmoothedAndTheStreamIsStopped) {
    TempDir dir;
    SimProcess sim =
        StartSim({"--profile", "const:0.90", "--stoich", "14.70", "--log", dir.File("log")});
    ASSERT_FALSE(sim.path.empty());
    // Options after the command, in any order, the port among them.
    ProcessResult run =
        RunProcess(MQ6_CLI_PATH, {"live", "--csv", "-", "--port", sim.path, "--count=8"}, dir.path);
    StopSim(sim);
    ASSERT_EQ(run.status, 0) << run.err;
    // At the default rate 50 the shown lambda halves its distance from 0.90 with every frame,
    // from 1.00: 0.95, 0.925, 0.9125, 0.90625 ...; the AFR is that times 14.70, to 0.1.
    const std::vector<std::string> expected = {"0.95,14.0", "0.93,13.6", "0.91,13.4", "0.91,13.3",
                                               "0.90,13.3", "0.90,13.3", "0.90,13.2", "0.90,13.2"};
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time_s,lambda,afr,lambda_raw,stoich");
    for (const std::string& shown : expected) {
        ASSERT_TRUE(std::getline(lines, line)) << run.out;
        EXPECT_EQ(line.substr(line.find(',') + 1), shown + ",0.9000,14.70");
    }
    EXPECT_FALSE(std::getline(lines, line)) << run.out;
    std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back()[1], 0) << "SetStreamMode";
    EXPECT_EQ(requests.back()[2], 0) << "the stream is stopped";
}

} // namespace
