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
// TEA with 16 cycles over each 64-bit half of each 16-byte block, words high byte first;
// block n (over both tables) with k2 advanced n times by the key step.
Bytes Encipher(const KeyWords& key, Bytes bytes) {
    for (size_t at = 0; at + 8 <= bytes.size(); at += 8) {
        uint32_t k2 = key.k2 + static_cast<uint32_t>(at / 16) * key.step;
        uint32_t y = 0, z = 0, sum = 0;
        for (size_t i = 0; i < 4; ++i) {
            y = y << 8 | bytes[at + i];
            z = z << 8 | bytes[at + 4 + i];
        }
        for (int cycle = 0; cycle < 16; ++cycle) {
            sum += 0x9E3779B9;
            y += ((z << 4) + key.k0) ^ (z + sum) ^ ((z >> 5) + key.k1);
            z += ((y << 4) + k2) ^ (y + sum) ^ ((y >> 5) + key.k3);
        }
        for (size_t i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<uint8_t>(y >> (24 - 8 * i));
            bytes[at + 4 + i] = static_cast<uint8_t>(z >> (24 - 8 * i));
        }
    }
    return bytes;
}

// The two builds: the sample key, and another given at build time (test-setup-key.txt).
const struct {
    const char* cli;
    const char* sim;
    KeyWords key;
    const char* keyLine; // what --version says of the key
} KEY_BUILDS[] = {
    {MQ6_CLI_PATH,
     MQ6_SIM_PATH,
     {0x4D513636, 0x2D574221, 0x0B5E7A1D, 0xC3D2E1F0, 0x01234567},
     "Setup key: sample-setup-key.txt, the SAMPLE, not the unit's key\n"},
    {MQ6_TESTKEY_CLI_PATH,
     MQ6_TESTKEY_SIM_PATH,
     {0xA1B2C3D4, 0x5E6F7081, 0x92A3B4C5, 0xD6E7F809, 0x1A2B3C4D},
     "Setup key: test-setup-key.txt, given at build time\n"},
};

TEST(SetupKeyBuild, SetupWriteEnciphersWithTheKeyOfItsBuildAndVersionNamesIt) {
    OutputTable table1{};
    OutputTable table2{};
    BuildSetupTables(DEFAULT_SETUP, table1, table2);
    Bytes plain(table1.begin(), table1.end());
    plain.insert(plain.end(), table2.begin(), table2.end());
    const std::string version = MQ6_VERSION_TEXT;
    for (const auto& build : KEY_BUILDS) {
        SCOPED_TRACE(build.keyLine);
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
        Bytes sent; // the WriteBlock (Z/0) payloads to the table addresses, in order
        for (const Bytes& frame : ReadRequestLog(dir.File("log")))
            if (frame.size() == 22 && frame[0] == 'Z' && frame[1] == 0 && frame[2] >= 0x10 &&
                frame[2] < 0x18)
                sent.insert(sent.end(), frame.begin() + 4, frame.begin() + 20);
        EXPECT_EQ(sent, Encipher(build.key, plain));
        EXPECT_EQ(ReadBytes(dir.File("tables")), plain) << "the unit of the same build";

        EXPECT_EQ(RunProcess(build.cli, {"--version"}, dir.path).out,
                  "mq6 " + version +
                      "\nCarried firmware: 1.01\nFirmware image: sample-image.txt, "
                      "the SAMPLE, not device firmware\n" +
                      build.keyLine);
        EXPECT_EQ(RunProcess(build.sim, {"--version"}, dir.path).out,
                  "mq6-sim " + version + "\n" + build.keyLine);
    }
}

// ---- The build-time check, run on key files written here: accepted with a line of the
// generated source, or refused with the reason.

TEST(SetupKeyScript, AcceptsEachNameOnceInAnyOrderAndRefusesOtherFilesNamingTheLine) {
    const std::string head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    const struct {
        std::string file;
        const char* generated; // nullptr when refused
        const char* reason;
    } rows[] = {
        {"# sample values, other order and case\nstep 01234567\nk3 c3d2e1f0\n"
         "k2 0b5e7a1d  # comment\nk1 2D574221\n\nk0 4d513636\n",
         "const bool SETUP_KEY_IS_SAMPLE = true;", ""},
        {"k0 a1b2c3d4\nk1 5E6F7081\nk2 92A3B4C5\nk3 D6E7F809\nstep 01234567\n",
         "const uint32_t SETUP_KEY_WORD0 = 0xA1B2C3D4;", ""},
        {head, nullptr, "no 'step' line"},
        {head + "step 01234567\nk2 00000000\n", nullptr,
         "line 6: a second 'k2' line (the first is line 3)"},
        {head + "step 0123456\n", nullptr, "line 5: step value '0123456' is not 8 hex digits"},
        {"# key\n" + head + "k4 01234567\nstep 01234567\n", nullptr, "line 6: unknown name 'k4'"},
        {head + "step=01234567\n", nullptr, "line 5: expected 'NAME XXXXXXXX'"},
        {"", nullptr, "no 'k0' line"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir dir;
        WriteText(dir.File("key.txt"), row.file);
        ProcessResult result =
            RunProcess(MQ6_CMAKE_COMMAND,
                       {"-DKEY=" + dir.File("key.txt"), "-DSAMPLE=" MQ6_SAMPLE_SETUP_KEY,
                        "-DOUTPUT=" + dir.File("key.cpp"), "-P", MQ6_SETUP_KEY_SCRIPT},
                       dir.path);
        if (row.generated != nullptr) {
            ASSERT_EQ(result.status, 0) << result.err;
            EXPECT_NE(ReadText(dir.File("key.cpp")).find(row.generated), std::string::npos);
            continue;
        }
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find("setup key " + dir.File("key.txt") + ": " + row.reason),
                  std::string::npos)
            << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("key.cpp")));
    }
}

} // namespace
