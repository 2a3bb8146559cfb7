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
         "mq6: cannot write /dev/full: No space left on device\n"}};
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
        EXPECT_TRUE(*message == '\0' ? run.err.empty() : Has(run.err, message)) << run.err;
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
    // A silent unit costs a request each half second: the run asks for the stream, asks once to
    // stop it (no frame has come to stop) and asks the loader once for the data block.
    SimProcess sim = StartSim({"--silent", "--log", dir.File("log")});
    ProcessResult run = RunMq6(sim.path, {"live", "--seconds", "1"}, dir.path);
    StopSim(sim);
    EXPECT_NE(run.err.find("mq6: no live data from the unit\n"), run.err.npos) << run.err;
    std::string requests;
    for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
        requests +=
            char(frame[0]) + std::to_string(frame[1]) + "," + std::to_string(frame[2]) + " ";
    EXPECT_EQ(requests, "R0,8 R0,0 Z3,32 "); // the stream on and off, the loader's block read
    // On a terminal a line shows the values and a bar of 20 over 0.68 to 1.32: lambda 20.00 and
    // 1.00 (10 filled) in turn, with AFR 294.0 and 14.7, so the narrow line blanks the two
    // characters the wide one left. Enter, typed 1 s in, is not echoed: the line stays one line,
    // and shows the marker. The unit goes as it takes the second stream request (14 bytes each),
    // 2 s in: 2 s later the line shows dashes, as the utility's dial does, not the last reading.
    // The terminal echoes again once the run has ended. The second is counted from the stream's
    // request in the unit's log, however long a slow build of mq6 takes to start.
    sim = StartSim({"--profile", "step:1.00:20.00:0.4", "--rate", "5", "--vanish-after", "28",
                    "--log", dir.File("tty.log")});
    const std::string enter = "(for i in $(seq 400); do [ -s " + dir.File("tty.log") +
                              " ] && break; sleep 0.05; done; sleep 1; printf '\\n')";
    ProcessResult tty =
        RunProcess("/bin/bash",
                   {"-c", enter + " | script -qec '" + std::string(MQ6_CLI_PATH) + " --port " +
                              sim.path + " live --seconds 5 --response-rate 100 --csv " +
                              dir.File("rows.csv") + "; stty -a' /dev/null"},
                   dir.path);
    StopSim(sim);
    EXPECT_NE(tty.out.find("] \rlambda 1.00  AFR 14.7  [##########----------]   \r"), tty.out.npos);
    // Blanks after the last reading when the one before it was wider.
    const size_t dashes =
        tty.out.find("\rlambda -.--  AFR --.-  [" + std::string(20, ' ') + "] marker 1 ");
    ASSERT_NE(dashes, tty.out.npos) << tty.out;
    const size_t blanks = tty.out.find_last_not_of(' ', dashes - 1);
    EXPECT_EQ(tty.out.substr(blanks - 9, 10), "] marker 1") << tty.out;
    EXPECT_EQ(tty.out.find('\n'), tty.out.find("\r\n", tty.out.rfind("\rlambda")) + 1) << tty.out;
    EXPECT_NE(tty.out.find(" echo "), tty.out.npos) << tty.out;
    // Without a file to mark, Enter marks nothing.
    sim = StartSim({"--profile", "const:0.90"});
    tty = RunProcess("/bin/bash",
                     {"-c", "(sleep 1; printf '\\n') | script -qec '" + std::string(MQ6_CLI_PATH) +
                                " --port " + sim.path + " live --seconds 2' /dev/null"},
                     dir.path);
    StopSim(sim);
    EXPECT_TRUE(Has(tty.out, "lambda 0.90") && !Has(tty.out, "marker")) << tty.out;
}

} // namespace
