// mq6 setup read, write and tables, run as a program against mq6-sim: what the simulated unit
// deciphers and keeps, what mq6 then reads back, and the JSON backup and restore.
#include "display/lambda_table.h"
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

Bytes TablesOf(const SetupRecord& values) {
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(values, table1, table2);
    Bytes both(2 * OUTPUT_TABLE_SIZE);
    std::copy(table1.begin(), table1.end(), both.begin());
    std::copy(table2.begin(), table2.end(), both.begin() + OUTPUT_TABLE_SIZE);
    return both;
}

std::string BlockHex(const SetupRecord& values) {
    std::array<uint8_t, DEVICE_INFO_SIZE> info{};
    PackSetupBlock(values, info);
    std::string hex;
    char digits[4];
    for (int i = SETUP_BLOCK_OFFSET; i < SETUP_BLOCK_OFFSET + SETUP_BLOCK_SIZE; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", info[static_cast<size_t>(i)]);
        hex += digits;
    }
    return hex;
}

// The setup written by the first test, and what it reads back as.
const std::vector<std::string> CUSTOM_OPTIONS = {
    "--stoich",     "14.6",    "--a1",         "1.0,11", "--a2",        "4.5,18.5",
    "--b-mode",     "wb",      "--b1",         "0.5,9",  "--b2",        "4.444,19.999",
    "--a-response", "FASTEST", "--b-response", "slow",   "--nb-offset", "150"};
const SetupRecord CUSTOM_SETUP = {
    1460, SETUP_FLAG_B_LINEAR, 150, {{{10, 1100, 45, 1850, 240, 6}, {5, 900, 44, 2000, 96, 2}}}};
const std::vector<std::string> CUSTOM_TEXT = {
    "Stoich AFR  14.60",
    "A point 1   1.0 V at AFR 11.00",
    "A point 2   4.5 V at AFR 18.50",
    "A response  Fastest",
    "B mode      WB (linear)",
    "B point 1   0.5 V at AFR 9.00",
    "B point 2   4.4 V at AFR 20.00",
    "B response  Slow",
    "NB offset   150 (switch point lambda 1.022)",
    "Flag byte   0x02",
};

class SetupCliTest : public ::testing::Test {
  protected:
    TempDir dir;
    SimProcess sim;

    void TearDown() override {
        StopSim(sim);
    }
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", dir.File("log"), "--dump-tables", dir.File("tables")});
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty());
    }
    ProcessResult Mq6(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", sim.path});
        return RunProcess(MQ6_CLI_PATH, args, dir.path);
    }
    ProcessResult Write(std::vector<std::string> options) {
        std::remove(dir.File("tables").c_str());
        options.insert(options.begin(), {"setup", "write", "--yes"});
        return Mq6(options);
    }
    // The restarted unit dumps the tables it deciphered.
    Bytes DumpedTables() {
        WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 2 * OUTPUT_TABLE_SIZE; },
                3000);
        return ReadBytes(dir.File("tables"));
    }
    std::string UnitBlockHex() {
        ProcessResult info = Mq6({"info", "--json"});
        EXPECT_EQ(info.status, 0) << info.err;
        size_t at = info.out.find("\"setup_block\": \"");
        if (at == std::string::npos)
            return "";
        return info.out.substr(at + 16, 2 * SETUP_BLOCK_SIZE);
    }
    std::vector<std::string> Commands() {
        std::vector<std::string> names;
        for (const Bytes& frame : ReadRequestLog(dir.File("log")))
            names.push_back(std::string(1, static_cast<char>(frame[0])) + "/" +
                            std::to_string(frame[1]));
        return names;
    }
    // Load mode, a block or record written, or a restart: anything beyond reading.
    bool SentAnyWrite() {
        std::vector<std::string> names = Commands();
        return std::any_of(names.begin(), names.end(), [](const std::string& name) {
            return name == "R/15" || name == "Z/0" || name == "Z/1" || name == "Z/4";
        });
    }
};

TEST_F(SetupCliTest, WriteReachesTheUnitsTablesAndBlockAndReadShowsIt) {
    Start({});
    ProcessResult write = Write(CUSTOM_OPTIONS);
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_TRUE(Contains(write.err, "Writing...\nVerifying...\nFinishing...\n")) << write.err;
    EXPECT_TRUE(Contains(write.out, "Changes:\n")) << write.out;
    EXPECT_TRUE(Contains(write.out, "A point 1   0.0 V at AFR 10.00 -> 1.0 V at AFR 11.00\n"))
        << write.out;
    EXPECT_TRUE(Contains(write.out, "Setup written.\n")) << write.out;

    EXPECT_EQ(DumpedTables(), TablesOf(CUSTOM_SETUP));
    EXPECT_EQ(UnitBlockHex(), BlockHex(CUSTOM_SETUP));

    ProcessResult read = Mq6({"setup", "read"});
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(Lines(read.out), CUSTOM_TEXT);
}

TEST_F(SetupCliTest, JsonBackupRestoresTheSetupExactly) {
    Start({});
    // A setup with flag bits that only the unit knows the meaning of.
    WriteText(dir.File("start.json"), "{\"flags\": 240, \"b_mode\": \"nb\", \"nb_offset\": 20,\n"
                                      " \"a_response\": \"Slower\", \"a2_afr\": 16.5}\n");
    ProcessResult first = Write({"--from", dir.File("start.json"), "--b1", "2.0,12.5"});
    ASSERT_EQ(first.status, 0) << first.err;
    Bytes written = DumpedTables();

    ProcessResult backup = Mq6({"setup", "read", "--json"});
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_TRUE(Contains(backup.out, "\"flags\": 240,\n")) << backup.out;
    EXPECT_TRUE(Contains(backup.out, "\"nb_offset\": 20\n")) << backup.out;
    EXPECT_TRUE(Contains(backup.out, "\"b1_volts\": 2.0,\n")) << backup.out;
    WriteText(dir.File("backup.json"), backup.out);

    ASSERT_EQ(Write({"--defaults"}).status, 0);
    EXPECT_EQ(DumpedTables(), TablesOf(DEFAULT_SETUP));
    EXPECT_NE(Mq6({"setup", "read", "--json"}).out, backup.out);

    ProcessResult restore = Write({"--from", dir.File("backup.json")});
    ASSERT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(DumpedTables(), written);
    EXPECT_EQ(Mq6({"setup", "read", "--json"}).out, backup.out);
}

TEST_F(SetupCliTest, DryRunShowsTheChangesAndWritesNothing) {
    Start({});
    ProcessResult dry = Mq6({"setup", "write", "--dry-run", "--stoich", "14.7", "--a2", "4.94,20"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(dry.out, "Changes:\nA point 2   5.0 V at AFR 20.00 -> 4.9 V at AFR 20.00\n"
                       "Dry run: nothing written.\n");
    EXPECT_FALSE(SentAnyWrite());

    ProcessResult same = Mq6({"setup", "write", "--dry-run", "--defaults"});
    EXPECT_TRUE(Contains(same.out, "No changes")) << same.out;
}

TEST_F(SetupCliTest, BadRequestsAreRefusedBeforeTheUnitIsTouched) {
    Start({});
    const std::vector<std::vector<std::string>> refused = {
        {"setup", "write"}, // no terminal to confirm on, no --yes
        {"setup", "write", "--yes", "--a1", "5.1,14"},
        {"setup", "write", "--yes", "--a2", "1.0"},
        {"setup", "write", "--yes", "--stoich", "210.01"},
        {"setup", "write", "--yes", "--stoich", "14.7x"},
        {"setup", "write", "--yes", "--nb-offset", "54"},
        {"setup", "write", "--yes", "--nb-offset", "130.5"},
        {"setup", "write", "--yes", "--b-mode", "narrow"},
        {"setup", "write", "--yes", "--b-response", "Quick"},
        {"setup", "write", "--yes", "--defaults", "--from", "x.json"},
        {"setup", "write", "--yes", "--from", "missing.json"},
        {"setup", "write", "--yes", "--extra"},
        {"setup", "read", "--csv"},
        {"setup", "erase"},
        {"setup"},
    };
    for (const std::vector<std::string>& args : refused) {
        ProcessResult result = Mq6(args);
        EXPECT_EQ(result.status, 2) << args.back() << ": " << result.err;
    }
    EXPECT_TRUE(Commands().empty());
}

TEST_F(SetupCliTest, SetupFilesAreCheckedLikeOptions) {
    Start({});
    const std::vector<std::string> bad = {
        "",
        "[]",
        "{\"stoich_afr\": 14.7,}",
        "{\"stoich_afr\": 14.7} {}",
        "{\"stoich_afr\": \"14.7\"}",
        "{\"stoich_afr\": 14.7, \"stoich_afr\": 14.6}",
        "{\"a1_volts\": 6}",
        "{\"a1_volts\": 01}",
        "{\"a1_volts\": true}",
        "{\"a1\": {\"volts\": 1}}",
        "{\"flags\": 256}",
        "{\"nb_offset\": -1}",
        "{\"a_response\": \"Medium\\u0000\"}",
        "{\"b_mode\": \"wb}",
        std::string(70000, ' ') + "{}",
    };
    for (const std::string& text : bad) {
        WriteText(dir.File("bad.json"), text);
        ProcessResult result = Mq6({"setup", "tables", "--from", dir.File("bad.json")});
        EXPECT_EQ(result.status, 2) << text.substr(0, 60);
        EXPECT_TRUE(Contains(result.err, "mq6: ")) << result.err;
    }
    // A file from the view's point of view: any offset a unit may hold, a rate in no row.
    WriteText(dir.File("good.json"),
              "{\"nb_offset\": 0, \"a_response\": null, \"a1_volts\": 5e-1}");
    EXPECT_EQ(Mq6({"setup", "tables", "--from", dir.File("good.json")}).status, 0);
}

TEST_F(SetupCliTest, FirmwareUpdateModeUnitIsRefused) {
    Start({"--unit-mode", "1"});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"setup", "read"},
          std::vector<std::string>{"setup", "write", "--yes", "--defaults"}}) {
        ProcessResult result = Mq6(args);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(Contains(result.err, "-WB Setup Error-: The MQ-6 WB Unit is currently in the "
                                         "Firmware Update Mode"))
            << result.err;
    }
    EXPECT_FALSE(SentAnyWrite());
}

TEST_F(SetupCliTest, FailedTransferExitsWithTheStageText) {
    Start({"--refuse-load"});
    ProcessResult result = Write({"--stoich", "14.6"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "mq6: -WB Setup Error-: Request load mode failed"))
        << result.err;
    EXPECT_FALSE(Contains(result.out, "Setup written.")) << result.out;
}

TEST_F(SetupCliTest, UnreadableUnitNeedsAStartingSetup) {
    Start({"--silent"});
    ProcessResult result = Write({"--stoich", "14.6"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.err, "give --defaults or --from")) << result.err;
    EXPECT_FALSE(SentAnyWrite());
}

TEST(SetupTablesCli, RowsComeFromTheOutputTableOnTheLambdaGrid) {
    TempDir dir;
    ProcessResult result = RunProcess(MQ6_CLI_PATH, {"setup", "tables", "--csv"}, dir.path);
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 513u);
    EXPECT_EQ(lines[0], "entry,point,lambda,afr,code,volts");
    EXPECT_EQ(lines[1], "0,175,0.670000,9.849,0,0.000");
    EXPECT_EQ(lines[332], "331,506,0.999303,14.690,1920,2.344");
    EXPECT_EQ(lines[512], "511,686,1.891731,27.808,4095,5.000");

    WriteText(dir.File("b.json"), "{\"nb_offset\": 201, \"stoich_afr\": 14.60}");
    result = RunProcess(
        MQ6_CLI_PATH, {"setup", "tables", "--from", dir.File("b.json"), "--channel", "b", "--csv"},
        dir.path);
    ASSERT_EQ(result.status, 0) << result.err;
    lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 513u);
    SetupRecord values = DEFAULT_SETUP;
    values.NbOffset = 201;
    values.StoichAfr = 1460;
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(values, table1, table2);
    for (int entry = 0; entry < OUTPUT_TABLE_ENTRIES; ++entry) {
        double lambda = LambdaPointTable[static_cast<size_t>(FIRST_TABLE_POINT + entry)];
        int32_t code = ReadOutputCode(table2, entry);
        char row[96];
        std::snprintf(row, sizeof row, "%d,%d,%.6f,%.3f,%d,%.3f", entry, FIRST_TABLE_POINT + entry,
                      lambda, lambda * (1460 * 0.01), code, code / 819.0);
        ASSERT_EQ(lines[static_cast<size_t>(entry + 1)], row);
    }

    result = RunProcess(MQ6_CLI_PATH, {"setup", "tables", "--channel", "c"}, dir.path);
    EXPECT_EQ(result.status, 2);
}

} // namespace
