// mq6 as a user meets it, against mq6-sim: each command reaching the unit, the usage errors,
// setup files refused by position or key, and a setup backed up and restored.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SetupCliTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim = StartSim({"--log", dir.File("log")});
    void TearDown() override {
        StopSim(sim);
    }
    ProcessResult Mq6(Args args) {
        args.insert(args.begin(), {"--port", sim.path});
        return RunProcess(MQ6_CLI_PATH, args, dir.path);
    }
};

TEST_F(SetupCliTest, EveryCommandReachesTheUnitAndPrintsWhatItHolds) {
    const std::vector<std::pair<Args, std::string>> rows = {
        {{"info"}, "All rights reserved.\nVersion: 1.01\nUnit mode: 0 (normal)\n"},
        {{"info", "--json", "-v"}, "\"version\": \"1.01\",\n  \"unit_mode\": 0,\n"},
        {{"setup", "read"}, "Stoich AFR  14.70\nA point 1   0.0 V at AFR 10.00\n"},
        {{"setup", "write", "--dry-run", "--a2=4.94,20"},
         "A point 2   5.0 V at AFR 20.00 -> 4.9 V at AFR 20.00\n"},
        // Entry 331 is lambda point 506, 0.999303; the defaults' line gives it code 1920.
        {{"setup", "tables", "--csv"}, "\n331,506,0.999303,14.690,1920,2.344\n"},
    };
    for (const auto& [args, expected] : rows) {
        SCOPED_TRACE(args[0] + " " + args.back());
        ProcessResult result = Mq6(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Has(result.out, expected)) << result.out;
    }
}

// Refused with status 2 and nothing sent: bad arguments, and setup files (bad.json, written
// with the row's text) refused by position or key.
TEST_F(SetupCliTest, UsageErrorsAndBadSetupFilesExit2WithTheReasonAndSendNothing) {
    const struct {
        Args args;
        std::string file, reason;
    } rows[] = {
        {{"bogus"}, "", "unknown command 'bogus'"},
        {{"setup", "defaults"}, "", "unknown action 'defaults'"},
        {{"live", "--count", "0"}, "", "run mq6 live --help"},
        {{"setup", "write", "--yes", "--a1", "5.1,14"}, "", "--a1: 5.1 is outside 0 to 5"},
        {{"setup", "write", "--yes", "--nb-offset", "54"}, "", "54 is outside 55 to 201"},
        {{"setup", "write", "--yes", "--defaults", "--from", "x.json"}, "", "excludes"},
        {{"setup", "write"}, "", "add --yes"},
        {{}, "{\"a1_volts\": 1,\n \"b1_afr\": }", "bad.json: parse error at line 2, column 12"},
        {{}, "{\"a1_volts\": \"1\"}", "a1_volts takes a number from 0 to 5, not \"1\""},
        {{}, "{\"colour\": 1}", "unknown setting colour"},
        {{}, "{\"flags\": 1, \"flags\": 2}", "setting flags is given twice"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        WriteText(dir.File("bad.json"), row.file);
        ProcessResult result =
            Mq6(row.file.empty() ? row.args
                                 : Args{"setup", "write", "--yes", "--from", dir.File("bad.json")});
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(Has(result.err, row.reason)) << result.err;
    }
    EXPECT_TRUE(ReadRequestLog(dir.File("log")).empty());
}

TEST_F(SetupCliTest, ABackupRestoresTheSetupExactly) {
    // Flag bits only the unit knows, an offset the scroll bar cannot reach, 4.444 V as 4.4.
    // The flags are taken before the mode bit wherever they stand in the file.
    WriteText(dir.File("start.json"), "{\"b_mode\": \"WB\", \"flags\": 240, \"nb_offset\": 20}");
    ProcessResult first = Mq6({"setup", "write", "--from", dir.File("start.json"), "--b1",
                               "4.444,19.999", "--a-response", "FASTEST", "--yes"});
    ASSERT_EQ(first.status, 0) << first.err;
    ProcessResult backup = Mq6({"setup", "read", "--json"});
    for (const char* line :
         {"\"flags\": 242,", "\"a_response\": \"Fastest\",", "\"b_mode\": \"wb\",",
          "\"b1_volts\": 4.4,", "\"b1_afr\": 20.00,", "\"nb_offset\": 20\n"})
        EXPECT_TRUE(Has(backup.out, line)) << line << "\n" << backup.out;
    WriteText(dir.File("backup.json"), backup.out);
    ASSERT_EQ(Mq6({"setup", "write", "--defaults", "--yes"}).status, 0);
    EXPECT_TRUE(Has(Mq6({"setup", "read", "--json"}).out, "\"flags\": 0,"));
    ASSERT_EQ(Mq6({"setup", "write", "--from", dir.File("backup.json"), "--yes"}).status, 0);
    EXPECT_EQ(Mq6({"setup", "read", "--json"}).out, backup.out);
}

} // namespace
