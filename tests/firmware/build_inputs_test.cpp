// The maker's build inputs and what is made of them: the carried image's layout, the
// setup-table cipher against answers computed outside this code, a setup write with each
// build's key, what --version says about the key and the image, and the build-time checks
// of image and key files.
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

// The unit of a build deciphers its setup write with its own copy of the cipher and of the key,
// so the known answers here are what ties both to the cipher the unit runs.
TEST(Cipher, MatchesKnownAnswersWordsHighByteFirstAndStepsOnlyPerBlock) {
    const std::array<uint32_t, 4> key = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
    SetupKey = key;
    std::array<uint32_t, 4> words{0x01020304, 0x05060708, 0x01020304, 0x05060708};
    TeaEncipher(4, words.data());
    EXPECT_EQ(words, (std::array<uint32_t, 4>{0xC8A25048, 0x627464E2, 0xC8A25048, 0x627464E2}));
    EXPECT_EQ(SetupKey, key) << "only EncryptBlock16 steps the key";
}

// The test key's build writes the default setup to its own unit, which deciphers it back to
// the tables sent (the sample key's build does so in the setup transfer tests); --version
// names each build's key and the image.
TEST(SetupKeyBuild, SetupWriteIsDecipheredByTheUnitOfItsBuildAndVersionNamesTheKey) {
    OutputTable table1{}, table2{};
    BuildSetupTables(DEFAULT_SETUP, table1, table2);
    std::vector<uint8_t> plain(4096);
    std::copy(table2.begin(), table2.end(), std::copy(table1.begin(), table1.end(), plain.begin()));
    TempDir dir;
    SimProcess sim = StartSimProgram(MQ6_TESTKEY_SIM_PATH, {"--dump-tables", dir.File("tables")});
    ProcessResult run =
        RunProcess(MQ6_TESTKEY_CLI_PATH,
                   {"--port", sim.path, "setup", "write", "--defaults", "--yes"}, dir.path);
    EXPECT_EQ(run.status, 0) << run.err;
    // The unit restarts, and dumps what it deciphered, a moment after the last request.
    EXPECT_TRUE(WaitFor([&] { return ReadBytes(dir.File("tables")) == plain; }, 3000));
    StopSim(sim);
    const std::string head = "mq6 " MQ6_VERSION_TEXT "\nCarried firmware: 1.01\nFirmware image: "
                             "sample-image.txt, the SAMPLE, not device firmware\nSetup key: ";
    EXPECT_EQ(RunProcess(MQ6_CLI_PATH, {"--version"}, dir.path).out,
              head + "sample-setup-key.txt, the SAMPLE, not the unit's key\n");
    EXPECT_EQ(RunProcess(MQ6_TESTKEY_CLI_PATH, {"--version"}, dir.path).out,
              head + "test-setup-key.txt, given at build time\n");
}

// The build-time checks of image and key files: the faults a file typed or pasted by hand
// most likely has are refused naming the file and the fault; a key file's names come in any
// order and case, and the sample is told by its values.
TEST(BuildInputScripts, BrokenFilesAreRefusedNamingTheFaultAndKeyNamesComeInAnyOrder) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE),
                      ff = " 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55";
    // The sample image with the line starting so replaced, or removed when replacement is "".
    auto Edited = [&](const std::string& line, const std::string& replacement) {
        std::string image = sample;
        size_t at = image.find("\n" + line) + 1;
        return image.replace(at, image.find('\n', at) + 1 - at,
                             replacement.empty() ? "" : replacement + "\n");
    };
    const std::string head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    const struct {
        bool key; // a key file, or an image
        std::string file;
        const char* found; // in the generated source, or on stderr with the file's name
    } rows[] = {
        {false, Edited("code 0D40:", ""), "168 code records, expected 169"},
        {false, Edited("info 40:", "info 40:" + ff + " G5"),
         "'G5' is not a byte in two hex digits"},
        {true,
         "# sample values, other order and case\nstep 01234567\nk3 c3d2e1f0\n"
         "k2 0b5e7a1d  # comment\nk1 2D574221\n\nk0 4d513636\n",
         "const bool SETUP_KEY_IS_SAMPLE = true;"},
        {true, head, ": no 'step' line"},
        {true, head + "step 0123456\n", ": line 5: step value '0123456' is not 8 hex digits"},
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
