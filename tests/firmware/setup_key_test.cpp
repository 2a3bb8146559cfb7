// The setup key as a build input: the build-time check of key files, the blocks a setup write
// sends with the build's key (against a cipher written here from the device's description),
// and what --version says about the key and the image.
#include "firmware/test_files.h"
#include "mq6_version.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_values.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct KeyWords {
    uint32_t k0, k1, k2, k3, step;
};
// firmware/sample-setup-key.txt and tests/firmware/test-setup-key.txt.
constexpr KeyWords SAMPLE_KEY = {0x4D513636, 0x2D574221, 0x0B5E7A1D, 0xC3D2E1F0, 0x01234567};
constexpr KeyWords TEST_KEY = {0xA1B2C3D4, 0x5E6F7081, 0x92A3B4C5, 0xD6E7F809, 0x1A2B3C4D};

// TEA with 16 cycles over each 64-bit half of each 16-byte block, words high byte first;
// block n (over both tables) with k2 advanced n times by the key step.
Bytes Encipher(const KeyWords& key, Bytes bytes) {
    for (size_t block = 0; block < bytes.size() / 16; ++block) {
        uint32_t k2 = key.k2 + static_cast<uint32_t>(block) * key.step;
        for (uint8_t* half = &bytes[block * 16]; half < &bytes[block * 16] + 16; half += 8) {
            uint32_t w[2] = {};
            for (int i = 0; i < 8; ++i)
                w[i / 4] = (w[i / 4] << 8) | half[i];
            uint32_t sum = 0;
            for (int cycle = 0; cycle < 16; ++cycle) {
                sum += 0x9E3779B9;
                w[0] += ((w[1] << 4) + key.k0) ^ (w[1] + sum) ^ ((w[1] >> 5) + key.k1);
                w[1] += ((w[0] << 4) + k2) ^ (w[0] + sum) ^ ((w[0] >> 5) + key.k3);
            }
            for (int i = 0; i < 8; ++i)
                half[i] = static_cast<uint8_t>(w[i / 4] >> (24 - 8 * (i % 4)));
        }
    }
    return bytes;
}

// The 256 blocks of the WriteBlock frames (Z/0: address, 16 bytes) to the table addresses,
// in the order they were sent.
Bytes SentTableBlocks(const std::vector<Bytes>& frames) {
    Bytes blocks;
    for (const Bytes& frame : frames) {
        if (frame.size() < 20 || frame[0] != 'Z' || frame[1] != 0)
            continue;
        unsigned address = (frame[2] << 8) | frame[3];
        if (address >= 0x1000 && address < 0x1800)
            blocks.insert(blocks.end(), frame.begin() + 4, frame.begin() + 20);
    }
    return blocks;
}

struct KeyBuild {
    const char* name;
    const char* cli;
    const char* sim;
    KeyWords key;
    const char* keyLine; // what --version says of the key
};

const KeyBuild KEY_BUILDS[] = {
    {"sample key", MQ6_CLI_PATH, MQ6_SIM_PATH, SAMPLE_KEY,
     "Setup key: sample-setup-key.txt, the SAMPLE, not the unit's key\n"},
    {"another key", MQ6_TESTKEY_CLI_PATH, MQ6_TESTKEY_SIM_PATH, TEST_KEY,
     "Setup key: test-setup-key.txt, given at build time\n"},
};

TEST(SetupKeyBuild, SetupWriteEnciphersWithTheKeyOfItsBuild) {
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(DEFAULT_SETUP, table1, table2);
    Bytes plain(table1.begin(), table1.end());
    plain.insert(plain.end(), table2.begin(), table2.end());
    for (const KeyBuild& build : KEY_BUILDS) {
        SCOPED_TRACE(build.name);
        TempDir dir;
        SimProcess sim = StartSimProgram(
            build.sim, {"--log", dir.File("log"), "--dump-tables", dir.File("tables")});
        ASSERT_FALSE(sim.path.empty());
        ProcessResult run = RunProcess(
            build.cli, {"--port", sim.path, "setup", "write", "--defaults", "--yes"}, dir.path);
        EXPECT_EQ(run.status, 0) << run.err;
        // The unit restarts, and dumps what it deciphered, a moment after the last request.
        EXPECT_TRUE(WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 4096; }, 3000));
        StopSim(sim);
        EXPECT_EQ(SentTableBlocks(ReadRequestLog(dir.File("log"))), Encipher(build.key, plain));
        EXPECT_EQ(ReadBytes(dir.File("tables")), plain) << "the unit of the same build";
    }
}

TEST(SetupKeyBuild, VersionNamesTheProgramAndItsInputs) {
    const std::string version = MQ6_VERSION_TEXT;
    const std::string image = "Firmware image: sample-image.txt, the SAMPLE, not device firmware\n";
    for (const KeyBuild& build : KEY_BUILDS) {
        SCOPED_TRACE(build.name);
        TempDir dir;
        ProcessResult cli = RunProcess(build.cli, {"--version"}, dir.path);
        EXPECT_EQ(cli.status, 0);
        EXPECT_EQ(cli.out, "mq6 " + version + "\nCarried firmware: 1.01\n" + image + build.keyLine);
        ProcessResult sim = RunProcess(build.sim, {"--version"}, dir.path);
        EXPECT_EQ(sim.status, 0);
        EXPECT_EQ(sim.out, "mq6-sim " + version + "\n" + build.keyLine);
    }
}

// ---- The build-time check, run on key files written here.

TEST(SetupKeyScript, AcceptsEachNameOnceInAnyOrderAndMarksTheSample) {
    struct Row {
        const char* file;
        const char* generated; // a line of the generated source
    };
    const Row rows[] = {
        {"# sample values, other order and case\nstep 01234567\nk3 c3d2e1f0\n"
         "k2 0b5e7a1d  # comment\nk1 2D574221\n\nk0 4d513636\n",
         "const bool SETUP_KEY_IS_SAMPLE = true;"},
        {"k0 a1b2c3d4\nk1 5E6F7081\nk2 92A3B4C5\nk3 D6E7F809\nstep 01234567\n",
         "const uint32_t SETUP_KEY_WORD0 = 0xA1B2C3D4;"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir dir;
        WriteText(dir.File("key.txt"), row.file);
        ProcessResult result =
            RunProcess(MQ6_CMAKE_COMMAND,
                       {"-DKEY=" + dir.File("key.txt"), "-DSAMPLE=" MQ6_SAMPLE_SETUP_KEY,
                        "-DOUTPUT=" + dir.File("key.cpp"), "-P", MQ6_SETUP_KEY_SCRIPT},
                       dir.path);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_NE(ReadText(dir.File("key.cpp")).find(row.generated), std::string::npos);
    }
}

TEST(SetupKeyScript, RefusesAMissingRepeatedOrMalformedLineNamingIt) {
    const std::string head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    struct Row {
        std::string file;
        const char* reason;
    };
    const Row rows[] = {
        {head, "no 'step' line"},
        {head + "step 01234567\nk2 00000000\n", "line 6: a second 'k2' line (the first is line 3)"},
        {head + "step 0123456\n", "line 5: step value '0123456' is not 8 hex digits"},
        {head + "step 0x123456\n", "line 5: step value '0x123456' is not 8 hex digits"},
        {head + "step 012345678\n", "line 5: step value '012345678' is not 8 hex digits"},
        {"# key\n" + head + "k4 01234567\nstep 01234567\n", "line 6: unknown name 'k4'"},
        {head + "step=01234567\n", "line 5: expected 'NAME XXXXXXXX'"},
        {head + "step 0123 4567\n", "line 5: expected 'NAME XXXXXXXX'"},
        {"", "no 'k0' line"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir dir;
        WriteText(dir.File("key.txt"), row.file);
        ProcessResult result =
            RunProcess(MQ6_CMAKE_COMMAND,
                       {"-DKEY=" + dir.File("key.txt"), "-DSAMPLE=" MQ6_SAMPLE_SETUP_KEY,
                        "-DOUTPUT=" + dir.File("key.cpp"), "-P", MQ6_SETUP_KEY_SCRIPT},
                       dir.path);
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find("setup key " + dir.File("key.txt") + ": " + row.reason),
                  std::string::npos)
            << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("key.cpp")));
    }
}

} // namespace
