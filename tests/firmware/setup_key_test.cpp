// The setup key as a build input: the blocks a setup write sends with the build's key, what
// --version says about the key and the image, and the build-time check of key files.
#include "firmware/cipher.h"
#include "firmware/test_files.h"
#include "mq6_version.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Bytes = std::vector<uint8_t>;

// Both tables enciphered as the unit deciphers them: block n with k2 advanced n key steps,
// words high byte first (TeaEncipher itself is checked against known answers).
Bytes Encipher(std::array<uint32_t, 5> key, Bytes bytes) {
    for (size_t at = 0; at < bytes.size(); at += 16) {
        SetupKey = {key[0], key[1], key[2] + uint32_t(at / 16) * key[4], key[3]};
        std::array<uint32_t, 4> words{};
        for (size_t i = 0; i < 16; ++i)
            words[i / 4] = words[i / 4] << 8 | bytes[at + i];
        TeaEncipher(4, words.data());
        for (size_t i = 0; i < 16; ++i)
            bytes[at + i] = uint8_t(words[i / 4] >> (24 - 8 * (i % 4)));
    }
    return bytes;
}

TEST(SetupKeyBuild, SetupWriteEnciphersWithTheKeyOfItsBuildAndVersionNamesIt) {
    const struct {
        const char *cli, *sim;
        std::array<uint32_t, 5> key; // k0 to k3 and the step, from the key files
        std::string keyLine;
    } builds[] = {
        {MQ6_CLI_PATH,
         MQ6_SIM_PATH,
         {0x4D513636, 0x2D574221, 0x0B5E7A1D, 0xC3D2E1F0, 0x01234567},
         "Setup key: sample-setup-key.txt, the SAMPLE, not the unit's key\n"},
        {MQ6_TESTKEY_CLI_PATH,
         MQ6_TESTKEY_SIM_PATH,
         {0xA1B2C3D4, 0x5E6F7081, 0x92A3B4C5, 0xD6E7F809, 0x1A2B3C4D},
         "Setup key: test-setup-key.txt, given at build time\n"},
    };
    OutputTable table1{}, table2{};
    BuildSetupTables(DEFAULT_SETUP, table1, table2);
    Bytes plain(table1.begin(), table1.end());
    plain.insert(plain.end(), table2.begin(), table2.end());
    for (const auto& build : builds) {
        SCOPED_TRACE(build.keyLine);
        TempDir dir;
        SimProcess sim = StartSimProgram(
            build.sim, {"--log", dir.File("log"), "--dump-tables", dir.File("tables")});
        ProcessResult run = RunProcess(
            build.cli, {"--port", sim.path, "setup", "write", "--defaults", "--yes"}, dir.path);
        EXPECT_EQ(run.status, 0) << run.err;
        // The unit restarts, and dumps what it deciphered, a moment after the last request.
        EXPECT_TRUE(WaitFor([&] { return ReadBytes(dir.File("tables")).size() == 4096; }, 3000));
        StopSim(sim);
        Bytes sent; // the WriteBlock payloads to the table addresses, in order
        for (const Bytes& frame : ReadRequestLog(dir.File("log")))
            if (frame.size() == 22 && frame[0] == 'Z' && frame[1] == 0 && frame[2] >= 0x10 &&
                frame[2] < 0x18)
                sent.insert(sent.end(), frame.begin() + 4, frame.begin() + 20);
        EXPECT_EQ(sent, Encipher(build.key, plain));
        EXPECT_EQ(ReadBytes(dir.File("tables")), plain) << "the unit of the same build";
        EXPECT_EQ(RunProcess(build.cli, {"--version"}, dir.path).out,
                  "mq6 " MQ6_VERSION_TEXT
                  "\nCarried firmware: 1.01\nFirmware image: sample-image.txt, "
                  "the SAMPLE, not device firmware\n" +
                      build.keyLine);
        EXPECT_EQ(RunProcess(build.sim, {"--version"}, dir.path).out,
                  "mq6-sim " MQ6_VERSION_TEXT "\n" + build.keyLine);
    }
}

TEST(SetupKeyScript, AcceptsEachNameOnceInAnyOrderAndRefusesOtherFilesNamingTheLine) {
    const std::string head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    const struct {
        std::string file;
        const char* found; // in the generated source, or after the file's name on stderr
    } rows[] = {
        {"# sample values, other order and case\nstep 01234567\nk3 c3d2e1f0\n"
         "k2 0b5e7a1d  # comment\nk1 2D574221\n\nk0 4d513636\n",
         "const bool SETUP_KEY_IS_SAMPLE = true;"},
        {"k0 a1b2c3d4\nk1 5E6F7081\nk2 92A3B4C5\nk3 D6E7F809\nstep 01234567\n",
         "const uint32_t SETUP_KEY_WORD0 = 0xA1B2C3D4;"},
        {head, ": no 'step' line"},
        {head + "step 01234567\nk2 00000000\n",
         ": line 6: a second 'k2' line (the first is line 3)"},
        {head + "step 0123456\n", ": line 5: step value '0123456' is not 8 hex digits"},
        {"# key\n" + head + "k4 01234567\nstep 01234567\n", ": line 6: unknown name 'k4'"},
        {head + "step=01234567\n", ": line 5: expected 'NAME XXXXXXXX'"},
        {"", ": no 'k0' line"},
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
        bool refused = row.found[0] == ':';
        EXPECT_EQ(result.status != 0, refused) << result.err;
        EXPECT_NE((refused ? result.err : ReadText(dir.File("key.cpp")))
                      .find((refused ? "setup key " + dir.File("key.txt") : "") + row.found),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(std::filesystem::exists(dir.File("key.cpp")), !refused);
    }
}

} // namespace
