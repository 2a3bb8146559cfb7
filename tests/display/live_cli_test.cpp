// mq6 live against mq6-sim: rows decoded and smoothed as the utility's display does, and the
// stream stopped on the way out.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

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

} // namespace
