// The maker's build inputs and what is made of them: the carried image's layout and the
// build-time check of image files; the setup-table cipher against answers computed outside
// this code; the blocks a setup write sends with the build's key, what --version says about
// the key and the image, and the build-time check of key files.
#include "firmware/cipher.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "mq6_version.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/output_table.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(FirmwareImage, CopiesRecordsAndInformationAreaAreLaidOutAsTheLoaderTakesThem) {
    EXPECT_EQ(std::vector<uint8_t>(FirmwareImageA.begin(), FirmwareImageA.begin() + 8),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SelectVerifyLength(), 16);
    EXPECT_TRUE(
        std::equal(FirmwareImageB.begin(), FirmwareImageB.end(), FirmwareImageA.begin() + 8));
    EXPECT_EQ(std::vector<uint8_t>(&FirmwareImageB[204], &FirmwareImageB[208]),
              std::vector<uint8_t>(4, 0));
    for (int i = 0; i < 169; ++i) {
        ASSERT_EQ(GetCodeRecord(i), &FirmwareImageB[size_t(208 + 18 * i)]);
        EXPECT_EQ(GetCodeAddress(GetCodeRecord(i)), 0x0800 + 8 * i);
    }
    std::string area(256, '\0');
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(GetInfoRecord(i), &FirmwareImageB[size_t(17 * i)]);
        ASSERT_EQ(GetInfoRecord(i)[0], 0x40 + 16 * i);
        std::copy(GetInfoRecord(i) + 1, GetInfoRecord(i) + 17, &area[size_t(0x40 + 16 * i)]);
    }
    // The banner's pieces and the filler are refused at build time when out of place.
    EXPECT_EQ(area.substr(0x80, 25), "MQ-6 LSU 4.2 Controller. ");
    EXPECT_EQ(area.substr(0xCF, 14), std::string("Version: 1.01\0", 14));
    EXPECT_EQ(area[0xFF], 0) << "neither update nor setup mode";
}

// The cipher's byte order, its key step and the key loaded afresh for every write are checked
// on a whole setup write's blocks below.
constexpr std::array<uint32_t, 4> KEY = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};

TEST(Cipher, MatchesKnownAnswersWordsHighByteFirstAndStepsOnlyPerBlock) {
    SetupKey = {0, 0, 0, 0};
    std::array<uint32_t, 2> zero{0, 0};
    TeaEncipher(2, zero.data());
    EXPECT_EQ(zero, (std::array<uint32_t, 2>{0xA889F798, 0x182D8083}));
    SetupKey = KEY;
    std::array<uint32_t, 4> words{0x01020304, 0x05060708, 0x01020304, 0x05060708};
    TeaEncipher(4, words.data());
    EXPECT_EQ(words, (std::array<uint32_t, 4>{0xC8A25048, 0x627464E2, 0xC8A25048, 0x627464E2}));
    EXPECT_EQ(SetupKey, KEY) << "only EncryptBlock16 steps the key";
}

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
    }
}

// The build-time checks of image and key files: broken copies of the sample image and broken
// key files are refused naming the file and the fault; a key file's names are taken once each,
// in any order and case, and the sample is told by its values.
TEST(BuildInputScripts, BrokenFilesAreRefusedNamingTheFaultAndKeyNamesComeInAnyOrder) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE),
                      ff = " 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55";
    // The sample image with its line starting so replaced: "" removes it, or appends a line.
    auto Edited = [&](const std::string& line, const std::string& replacement) {
        std::string image = sample;
        size_t at = line.empty() ? image.size() : image.find("\n" + line) + 1;
        size_t end = at == image.size() ? at : image.find('\n', at) + 1;
        return image.replace(at, end - at, replacement.empty() ? "" : replacement + "\n");
    };
    const std::string head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    const struct {
        bool key; // a key file, or an image
        std::string file;
        const char* found; // in the generated source, or on stderr with the file's name
    } rows[] = {
        {false, Edited("code 0D40:", ""), "168 code records, expected 169"},
        {false, Edited("code 0828:", "code 0830:" + ff + " 55"),
         "code record 5 has address 0830, expected 0828"},
        {false, Edited("info 60:", "info 61:" + ff + " 55"),
         "info record 2 has address 61, expected 60"},
        {false, Edited("info 40:", "info 40:" + ff), "info record has 15 data bytes, expected 16"},
        {false, Edited("info 40:", "info 40:" + ff + " G5"),
         "'G5' is not a byte in two hex digits"},
        {false, Edited("selector", "selector 2"), "must be 0 (verify 8 bytes) or 1"},
        {false, Edited("selector", "firmware 1"), "line 11: expected 'selector N'"},
        {false, Edited("info A0:", "info A0: 41 6C 6C 28 63 29 20 32 30 32 36 20 4D 51 2D 36"),
         "\"All\" first appears at 0xA0 in the banner, expected 0xBA"},
        {false, Edited("info 80:", "info 80: 4D 51 2D 37 20 4C 53 55 20 34 2E 32 20 43 6F 6E"),
         "banner must start with \"MQ-6 LSU 4.2 Controller. \""},
        {false, Edited("info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 31 55 55 55 55"),
         "no NUL ending the banner at 0xDC"},
        {false, Edited("info F0:", "info F0:" + ff + " 02"), "unit mode byte 0xFF must be 0"},
        {false, Edited("", "code 0D48:" + ff + " 55"), "more than 169 code records"},
        {true,
         "# sample values, other order and case\nstep 01234567\nk3 c3d2e1f0\n"
         "k2 0b5e7a1d  # comment\nk1 2D574221\n\nk0 4d513636\n",
         "const bool SETUP_KEY_IS_SAMPLE = true;"},
        {true, head, ": no 'step' line"},
        {true, head + "step 01234567\nk2 00000000\n",
         ": line 6: a second 'k2' line (the first is line 3)"},
        {true, head + "step 0123456\n", ": line 5: step value '0123456' is not 8 hex digits"},
        {true, "# key\n" + head + "k4 01234567\nstep 01234567\n", ": line 6: unknown name 'k4'"},
        {true, head + "step=01234567\n", ": line 5: expected 'NAME XXXXXXXX'"},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.found);
        std::filesystem::remove(dir.File("out.cpp"));
        WriteText(dir.File("in.txt"), row.file);
        ProcessResult result = RunProcess(
            MQ6_CMAKE_COMMAND,
            {(row.key ? "-DKEY=" : "-DIMAGE=") + dir.File("in.txt"),
             std::string("-DSAMPLE=") + (row.key ? MQ6_SAMPLE_SETUP_KEY : MQ6_SAMPLE_IMAGE),
             "-DOUTPUT=" + dir.File("out.cpp"), "-P",
             row.key ? MQ6_SETUP_KEY_SCRIPT : MQ6_FIRMWARE_IMAGE_SCRIPT},
            dir.path);
        bool refused = std::string(row.found).rfind("const ", 0) != 0;
        EXPECT_EQ(result.status != 0, refused) << result.err;
        EXPECT_NE((refused ? result.err : ReadText(dir.File("out.cpp"))).find(row.found),
                  std::string::npos)
            << result.err;
        EXPECT_TRUE(!refused || result.err.find(dir.File("in.txt")) != std::string::npos);
        EXPECT_EQ(std::filesystem::exists(dir.File("out.cpp")), !refused);
    }
}

} // namespace
