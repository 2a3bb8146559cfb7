// mq6 log on small files written here, and the marker that Enter on a terminal puts into
// mq6 live's CSV rows.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

// Rows 0.80, 0.86, 0.90, 1.00 at 0, 0.5, 1.5 and 1.7 s: one gap of 1.0 s; band 0.85 to 0.95
// holds 0.86 and 0.90, 1.00 is leaner, 0.80 richer; the mean 3.56 / 4. An older five-column
// file reads the same without its marker.
TEST(LogCliTest, FiguresAsJsonAndFilesThatAreNotRecordingsExit2) {
    TempDir dir;
    const std::string rows = "0.000,0.80,11.8,0.8000,14.70,\n0.500,0.86,12.6,0.8600,14.70,\n"
                             "1.500,0.90,13.2,0.9000,14.70,3\n1.700,1.00,14.7,1.0000,14.70,\n";
    WriteText(dir.File("six.csv"), "time_s,lambda,afr,lambda_raw,stoich,mark\n" + rows);
    WriteText(dir.File("five.csv"), "time_s,lambda,afr,lambda_raw,stoich\n0.000,0.80,11.8,0.8000,"
                                    "14.70\n0.500,0.86,12.6,0.8600,14.70\n1.500,0.90,13.2,0.9000,"
                                    "14.70\n1.700,1.00,14.7,1.0000,14.70\n");
    WriteText(dir.File("other.csv"), "port,speed\nCOM3,57600\n");
    const std::tuple<const char*, int, const char*> runs[] = {
        {"six.csv", 0, R"([{"number":3,"time_s":1.5,"lambda":0.9}])"},
        {"five.csv", 0, "[]"},
        {"other.csv", 2, "other.csv, line 1: not the header"},
        {".", 2, ".: it is a folder"},
        {"missing.csv", 1, "cannot read"}};
    for (const auto& [file, status, markers] : runs) {
        SCOPED_TRACE(file);
        ProcessResult run = RunProcess(
            MQ6_CLI_PATH, {"log", dir.File(file), "--json", "--band", "0.95,0.85"}, dir.path);
        EXPECT_EQ(run.status, status) << run.err;
        if (status != 0) {
            EXPECT_NE(run.err.find(markers), std::string::npos) << run.err;
            continue;
        }
        nlohmann::json want = nlohmann::json::parse(
            R"({"rows": 4, "duration_s": 1.7, "gaps": 1, "longest_gap_s": 1.0, "lambda_min": 0.8,
                "lambda_max": 1.0, "lambda_mean": 0.89, "share_in_band": 0.5, "share_lean": 0.25,
                "share_rich": 0.25})");
        want["markers"] = nlohmann::json::parse(markers);
        EXPECT_EQ(nlohmann::json::parse(run.out), want) << run.out;
    }
}

// Enter typed on mq6 live's terminal: marker 1 on the first row, every other row's mark empty.
TEST(LogCliTest, EnterOnTheTerminalMarksTheNextRow) {
    TempDir dir;
    SimProcess sim = StartSim({"--profile", "const:0.90"});
    ProcessResult run =
        RunMq6(sim.path, {"live", "--count", "5", "--csv", dir.File("live.csv")}, dir.path, "\n");
    StopSim(sim);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Split(ReadText(dir.File("live.csv")), '\n');
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "time_s,lambda,afr,lambda_raw,stoich,mark");
    for (size_t row = 1; row < lines.size(); ++row)
        EXPECT_EQ(lines[row].substr(lines[row].find(',')),
                  row == 1 ? ",0.90,13.2,0.9000,14.70,1" : ",0.90,13.2,0.9000,14.70,")
            << row;
}

} // namespace
