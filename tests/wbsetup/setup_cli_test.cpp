// mq6 as a user meets it, against mq6-sim: each command reaching the unit, setup files refused
// by position or key, and a setup backed up and restored.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Args = std::vector<std::string>;
using namespace std::string_literals;

class SetupCliTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim = StartSim({"--log", dir.File("log")});
    void TearDown() override {
        StopSim(sim);
    }
    // "@port" in args stands for --port and the simulator's path.
    ProcessResult Run(Args args) {
        for (std::string& arg : args)
            arg = arg == "@port" ? "--port=" + sim.path : arg;
        return RunProcess(MQ6_CLI_PATH, args, dir.path);
    }
};

TEST_F(SetupCliTest, EveryCommandReachesTheUnitAndPrintsWhatItHolds) {
    const std::vector<std::pair<Args, std::string>> rows = {
        // The unit's defaults, 16 bytes a row: AFR 14.70 (05 BE), flags and two zeros, the
        // Response rows 128 / 2 (40), A: 0 V (00) and 5 V (50 tenths, 32) at AFR 10.00 and 20.00
        // (03 E8, 07 D0), B the same, offset 128 (80), then the filler 5A.
        {{"@port", "info"},
         "Version: 1.01\nUnit mode: 0 (normal)\nSetup block:\n"
         "  05 BE 00 00 00 40 40 00 32 03 E8 07 D0 00 32 03\n  E8 07 D0 80 5A 5A "},
        {{"@port", "info", "--json", "-v"},
         "Project.\", \"All rights reserved.\", \"Version: 1.01\"],\n  \"version\": \"1.01\",\n"
         "  \"unit_mode\": 0,\n"},
        {{"@port", "setup", "read", "--json", "--output", "-"}, "{\n  \"stoich_afr\": 14.70,\n"},
        {{"@port", "setup", "read"},
         "Stoich AFR  14.70\nA point 1   0.0 V at AFR 10.00\nA point 2   5.0 V at AFR 20.00\nA "
         "response  Medium\nB mode      NB (narrowband)\n"},
        {{"@port", "setup", "write", "--dry-run", "--a2=4.94,20"},
         "A point 2   5.0 V at AFR 20.00 -> 4.9 V at AFR 20.00\n"},
        {{"@port", "setup", "write", "--yes"},
         "The setup block holds these values already; writing it and both output tables "
         "again\nRestore point: "},
        // Entry 331 is lambda point 506, 0.999303; the defaults' line gives it code 1920.
        {{"setup", "tables", "--csv"}, "\n331,506,0.999303,14.690,1920,2.344\n"},
        // Channel A's first entry lies below its first point (AFR 10 at 0 V): code 0.
        {{"setup", "tables", "--defaults", "--channel", "A", "--csv"}, ",0,0.000\n1,"}};
    for (const auto& [args, expected] : rows) {
        SCOPED_TRACE(args[1] + " " + args.back());
        ProcessResult result = Run(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(Has(result.out, expected)) << result.out;
    }
    // A reader that has closed the pipe before the rows come ends them quietly, as head does.
    const char* script = "(sleep 0.3; exec \"$0\" setup tables) | true; exit ${PIPESTATUS[0]}";
    ProcessResult closed = RunProcess("/bin/bash", {"-c", script, MQ6_CLI_PATH}, dir.path);
    EXPECT_EQ(closed.status + closed.err.size(), 0u) << closed.status << closed.err;
    // A full disk is no closed reader: help and version fail there as any output does, and say
    // why once.
    for (std::string words : {"--version"s, "--help"s, "setup tables"s,
                              "--port " + sim.path + " doctor --seconds 0.5"}) {
        ProcessResult run =
            RunProcess("/bin/sh", {"-c", MQ6_CLI_PATH " " + words + " >/dev/full"}, dir.path);
        EXPECT_EQ(std::to_string(run.status) + run.err,
                  "1mq6: cannot write the output: No space left on device\n")
            << words;
    }
    // On a terminal each stage is a bar of 40 redrawn in place: 128 of 256 blocks fill 20.
    ProcessResult bar = RunProcess(
        "/usr/bin/script",
        {"-qec", MQ6_CLI_PATH " --port " + sim.path + " setup write --defaults --yes", "/dev/null"},
        dir.path);
    for (const std::string& drawn : {std::string(20, '#') + std::string(20, '-') + "] 128/256",
                                     std::string(40, '#') + "] 256/256"})
        EXPECT_TRUE(Has(bar.out, "\rWriting...      [" + drawn)) << bar.out.substr(0, 300);
}

TEST_F(SetupCliTest, ABackupRestoresTheSetupExactly) {
    // Flag bits only the unit knows, an offset the scroll bar cannot reach, 4.444 V as 4.4, a
    // response code in no row, values beyond what a user may type (0.50, 7.0 V, 655.35). The
    // flags are taken before the mode bit wherever they stand.
    WriteText(dir.File("start.json"),
              "{\"b_mode\": \"WB\", \"flags\": 240, \"nb_offset\": 20, \"b_response\": 66, "
              "\"stoich_afr\": 0.5, \"a1_volts\": 7, \"a2_afr\": 655.35}");
    // Written only with --force: refused, each is named with the range a user may give.
    Args write = {"@port", "setup",        "write",        "--from",  dir.File("start.json"),
                  "--b1",  "4.444,19.999", "--a-response", "FASTEST", "--yes"};
    const std::string beyond = "stoich_afr 0.50 (1 to 210), a1_volts 7.0 (0 to 5), a2_afr 655.35 "
                               "(0 to 210), b_response code 66 (none of the seven rates), "
                               "nb_offset 20 (55 to 201)";
    ProcessResult refused = Run(write);
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(Has(refused.out, "Beyond what a user may give: " + beyond + "; not written"));
    EXPECT_FALSE(Has("\n" + ReadText(dir.File("log")), "\n52 0F")) << "no load mode";
    write.push_back("--force");
    ProcessResult first = Run(write);
    ASSERT_EQ(first.status, 0) << first.err;
    // 0.50 (00 32), flags F2, A's code 240 and B's 66 halved (78 21), A 7.0 V, 5.0 V, 10.00,
    // 655.35 (46 32 03 E8 FF FF), B 4.4 V, 5.0 V, 20.00 twice (2C 32 07 D0 07 D0), offset 20.
    const std::string block = "00 32 F2 00 00 78 21 46 32 03 E8 FF FF 2C 32 07\n  D0 07 D0 14 5A";
    EXPECT_TRUE(Has(first.out, beyond + "; written as given (--force)"));
    // A unit that cannot be read leaves the backup of that name as it was.
    const std::string file = dir.File("backup.json");
    WriteText(file, "the last backup\n");
    Args read = {"--port", dir.File("missing"), "setup", "read", "--json", "--output", file};
    EXPECT_EQ(std::pair(Run(read).status, ReadText(file)), std::pair(1, "the last backup\n"s));
    read[1] = sim.path;
    EXPECT_EQ(Run(read).out, "");
    std::string backup = ReadText(file);
    // Each write keeps what the unit held as a restore point; the one before this is the backup.
    const std::string folder = dir.File("data/mq6/restore");
    std::filesystem::remove_all(folder);
    ProcessResult defaults = Run({"@port", "setup", "write", "--defaults", "--yes"});
    std::string point = std::filesystem::directory_iterator(folder)->path().string();
    EXPECT_EQ(ReadText(point), backup);
    EXPECT_TRUE(Has(defaults.out, "Restore point: " + point + "\nSetup written.\n"));
    EXPECT_TRUE(Has(Run({"@port", "setup", "read", "--json"}).out, "\"flags\": 0,"));
    // Restored from standard input, with XDG_DATA_HOME relative: not a base directory, so
    // taken as unset and the restore point goes under HOME.
    std::string restore = "XDG_DATA_HOME=relative HOME=" + dir.path +
                          " " MQ6_CLI_PATH " --port=" + sim.path +
                          " setup write --from - --yes --force <" + file;
    ASSERT_EQ(RunProcess("/bin/sh", {"-c", restore}, dir.path).status, 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File(".local/share/mq6/restore")));
    EXPECT_EQ(Run({"@port", "setup", "read", "--json"}).out, backup);
    EXPECT_TRUE(Has(Run({"@port", "info"}).out, block));
    // Without a folder for it the write is refused before load mode is asked for; asked to go
    // on without one, it is refused all the same, as the setup it writes cannot be kept for
    // finishing it either.
    std::filesystem::remove_all(dir.File("data"));
    WriteText(dir.File("data"), "");
    size_t sent = ReadText(dir.File("log")).size();
    refused = Run({"@port", "setup", "write", "--defaults", "--yes"});
    std::string why = "mq6: nothing was written: the restore point of the unit's setup could not "
                      "be kept: cannot make the folder " +
                      folder + ": Not a directory\nmq6: --no-restore-point writes without one\n";
    EXPECT_EQ(std::pair(refused.status, refused.err), std::pair(1, why));
    refused = Run({"@port", "setup", "write", "--defaults", "--yes", "--no-restore-point"});
    EXPECT_TRUE(refused.status == 1 &&
                Has(refused.err, "mq6: nothing was written: the setup to write could not be kept"))
        << refused.err;
    EXPECT_FALSE(Has("\n" + ReadText(dir.File("log")).substr(sent), "\n52 0F")) << "load mode";
}

} // namespace
