// mq6 live against mq6-sim: rows decoded and smoothed as the utility's display does, and the
// stream stopped on the way out.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A run that never streams leaves an existing CSV file as it was; a reader that closes the
// pipe ends the run as its end would: the stream stopped, exit status 0, nothing said. Rows for
// a file that cannot take them fail the run; off a terminal no status line goes to stdout.
TEST(LiveCliTest, RunsThatNeverStreamKeepTheFileAndAClosedPipeEndsTheRun) {
    FakeRoots dir; // no adapter to find
    const std::string keep = dir.File("keep.csv");
    const std::tuple<const char*, std::string, std::string, int, const char*> rows[] = {
        {"port that does not exist", dir.File("missing"), keep, 1, "cannot open"},
        {"no unit found", "", keep, 2, "no MQ-6 unit found"},
        {"reader closes the pipe", "sim", "-", 0, ""},
        {"file that cannot be written", "sim", "/dev/full", 1,
         "mq6: cannot write /dev/full: No space left on device\n"},
    };
    for (const auto& [name, port, csv, status, message] : rows) {
        SCOPED_TRACE(name);
        WriteText(keep, "the last run's rows\n");
        SimProcess sim = StartSim({"--profile", "const:0.90", "--log", dir.File("log")});
        std::string portOption = port.empty() ? "" : "--port " + (port == "sim" ? sim.path : port);
        std::string live = std::string(MQ6_CLI_PATH) + " " + portOption + " live --seconds 1";
        ProcessResult run =
            RunProcess("/bin/bash",
                       {"-c", csv == "-" ? live + " --csv - | head -n 3; exit ${PIPESTATUS[0]}"
                                         : live + " --csv " + csv},
                       dir.path);
        StopSim(sim);
        EXPECT_EQ(run.status, status) << run.err;
        EXPECT_TRUE(*message == '\0' ? run.err.empty() : run.err.find(message) != run.err.npos)
            << run.err;
        EXPECT_EQ(ReadText(keep), "the last run's rows\n");
        EXPECT_TRUE(csv == "-" || run.out.empty()) << run.out;
        if (status == 0) {
            EXPECT_EQ(run.out.substr(0, 41), "time_s,lambda,afr,lambda_raw,stoich,mark\n");
            // The first row is the unit's own 0.90 (AFR 0.90 x 14.70 = 13.2), not a value
            // smoothed from a start the engine never had.
            std::string first = run.out.substr(41, run.out.find('\n', 41) - 41);
            EXPECT_EQ(first.substr(first.find(',')), ",0.90,13.2,0.9000,14.70,") << first;
            EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
            std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
            ASSERT_FALSE(requests.empty());
            EXPECT_EQ(requests.back()[2], 0) << "SetStreamMode 0 stops the stream";
        }
    }
    // On a terminal a line shows the values and a bar of 20 over 0.68 to 1.32: 1.07 fills 12.
    // The unit goes as it takes the second stream request (14 bytes each), 2 s in: 2 s later the
    // line shows dashes, as the utility's dial does, not the last reading.
    SimProcess sim = StartSim({"--profile", "const:1.07", "--vanish-after", "28"});
    ProcessResult tty = RunCliOnTerminal(
        "--port " + sim.path + " live --seconds 5 --csv " + dir.File("rows.csv"), dir.path);
    StopSim(sim);
    size_t shown = tty.out.find("\rlambda 1.07  AFR 15.7  [############--------] ");
    EXPECT_NE(shown, tty.out.npos) << tty.out;
    EXPECT_NE(tty.out.find("\rlambda -.--  AFR --.-  [" + std::string(20, ' ') + "] ", shown),
              tty.out.npos)
        << tty.out;
}

} // namespace
