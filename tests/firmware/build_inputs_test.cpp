// The maker's build inputs and what is made of them: the carried image's layout, what
// --version says about the key and the image, and the build-time checks of image and key
// files. The setup tables' cipher is run against the simulated unit's own copy of it by the
// setup transfer tests.
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "mq6_version.h"

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
