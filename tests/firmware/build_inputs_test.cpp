// The maker's build inputs and what is made of them: the carried image's layout, the setup
// tables' cipher against answers computed outside this code and the blocks a build with
// another key sends, what --version says about the key and the image, and the build-time
// checks of image and key files.
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

TEST(FirmwareImage, RecordsAreWhereTheLoaderTakesThemFromAndTheSelectorAsksForSixteenBytes) {
    EXPECT_EQ(SelectVerifyLength(), 16);
    // A record read from the wrong place gives the wrong address.
    for (int i = 0; i < 169; ++i)
        EXPECT_EQ(GetCodeAddress(GetCodeRecord(i)), 0x0800 + 8 * i);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(GetInfoRecord(i)[0], 0x40 + 16 * i);
}

TEST(Cipher, MatchesKnownAnswersAndLeavesTheKeyAlone) {
    SetupKey = {0, 0, 0, 0};
    std::array<uint32_t, 2> zero{0, 0};
    TeaEncipher(2, zero.data());
    EXPECT_EQ(zero, (std::array<uint32_t, 2>{0xA889F798, 0x182D8083}));
    const std::array<uint32_t, 4> key = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    SetupKey = key;
    std::array<uint32_t, 4> words{0x01020304, 0x05060708, 0x01020304, 0x05060708};
    TeaEncipher(4, words.data());
    EXPECT_EQ(words, (std::array<uint32_t, 4>{0xC8A25048, 0x627464E2, 0xC8A25048, 0x627464E2}));
    EXPECT_EQ(SetupKey, key) << "only EncryptBlock16 steps the key";
}

// A build with another key file enciphers with that file's values: block n with k2 advanced n
// steps, words high byte first, as the unit deciphers them.
TEST(SetupKeyBuild, SetupWriteEnciphersWithTheValuesOfItsKeyFile) {
    const std::array<uint32_t, 5> key = {0xA1B2C3D4, 0x5E6F7081, 0x92A3B4C5, 0xD6E7F809,
                                         0x1A2B3C4D}; // k0 to k3 and the step
    OutputTable table1{}, table2{};
    BuildSetupTables(DEFAULT_SETUP, table1, table2);
    std::vector<uint8_t> want(table1.begin(), table1.end()), sent;
    want.insert(want.end(), table2.begin(), table2.end());
    for (size_t at = 0; at < want.size(); at += 16) {
        SetupKey = {key[0], key[1], key[2] + uint32_t(at / 16) * key[4], key[3]};
        std::array<uint32_t, 4> words{};
        for (size_t i = 0; i < 16; ++i)
            words[i / 4] = words[i / 4] << 8 | want[at + i];
        TeaEncipher(4, words.data());
        for (size_t i = 0; i < 16; ++i)
            want[at + i] = uint8_t(words[i / 4] >> (24 - 8 * (i % 4)));
    }
    TempDir dir;
    // A unit running other firmware: a key that is not the sample goes to any unit.
    SimProcess sim =
        StartSimProgram(MQ6_TESTKEY_SIM_PATH, {"--other-firmware", "--log", dir.File("log")});
    ProcessResult run =
        RunProcess(MQ6_TESTKEY_CLI_PATH,
                   {"--port", sim.path, "setup", "write", "--defaults", "--yes"}, dir.path);
    StopSim(sim);
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
        if (frame.size() == 22 && frame[0] == 'Z' && frame[1] == 0 && frame[2] >= 0x10 &&
            frame[2] < 0x18) // WriteBlock to the table addresses
            sent.insert(sent.end(), frame.begin() + 4, frame.begin() + 20);
    EXPECT_EQ(sent, want);
}

// --version names the build's key and the image.
TEST(SetupKeyBuild, VersionNamesTheKeyOfEachBuildAndTheImage) {
    TempDir dir;
    const std::string head = "mq6 " MQ6_VERSION_TEXT "\nCarried firmware: 1.01\nFirmware image: "
                             "sample-image.txt, the SAMPLE, not device firmware\nSetup key: ";
    EXPECT_EQ(RunProcess(MQ6_CLI_PATH, {"--version"}, dir.path).out,
              head + "sample-setup-key.txt, the SAMPLE, not the unit's key\n");
    EXPECT_EQ(RunProcess(MQ6_TESTKEY_CLI_PATH, {"--version"}, dir.path).out,
              head + "test-setup-key.txt, given at build time\n");
}

// The build-time checks of image and key files: the faults a file typed or pasted by hand
// most likely has are refused naming the file and the fault, and nothing is generated.
TEST(BuildInputScripts, BrokenFilesAreRefusedNamingTheFileAndTheFault) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE),
                      head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    std::string typo = sample; // the first byte of the first information record mistyped
    typo.replace(typo.find("info 40:") + 9, 2, "G5");
    const struct {
        bool key; // a key file, or an image
        std::string file;
        const char* found; // on stderr, with the file's name
    } rows[] = {
        {false, sample.substr(0, sample.find("\ncode 0D40:") + 1), // the last line lost
         "168 code records, expected 169"},
        {false, typo, "'G5' is not a byte in two hex digits"},
        {true, head, ": no 'step' line"},
        {true, head + "step 0123456\n", ": line 5: step value '0123456' is not 8 hex digits"},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.found);
        WriteText(dir.File("in.txt"), row.file);
        ProcessResult result = RunProcess(
            MQ6_CMAKE_COMMAND,
            {(row.key ? "-DKEY=" : "-DIMAGE=") + dir.File("in.txt"),
             std::string("-DSAMPLE=") + (row.key ? MQ6_SAMPLE_SETUP_KEY : MQ6_SAMPLE_IMAGE),
             "-DOUTPUT=" + dir.File("out.cpp"), "-P",
             row.key ? MQ6_SETUP_KEY_SCRIPT : MQ6_FIRMWARE_IMAGE_SCRIPT},
            dir.path);
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find(row.found), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(dir.File("in.txt")), std::string::npos) << "the file is named";
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.cpp")));
    }
}

} // namespace
