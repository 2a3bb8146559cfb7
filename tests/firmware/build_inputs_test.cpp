// The maker's build inputs and what is made of them: the carried image's layout, the setup
// tables' blocks enciphered by a build with another key against answers computed outside this
// code, what --version says about the key and the image, and the build-time checks of image and
// key files.
#include "firmware/build_inputs.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "mq6_version.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(FirmwareImage, RecordsAreWhereTheLoaderTakesThemFromAndTheSelectorSetsTheVerifyLength) {
    // The verify length follows the image file's selector line: 0 compares 8 bytes, others 16.
    const std::string image = ReadText(MQ6_SAMPLE_IMAGE);
    size_t selector = image.find("\nselector ");
    ASSERT_NE(selector, std::string::npos);
    EXPECT_EQ(SelectVerifyLength(), image.compare(selector + 10, 2, "0\n") == 0 ? 8 : 16);
    // A record read from the wrong place gives the wrong address.
    for (int i = 0; i < 169; ++i)
        EXPECT_EQ(GetCodeAddress(GetCodeRecord(i)), 0x0800 + 8 * i);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(GetInfoRecord(i)[0], 0x40 + 16 * i);
}

// A build with another key file enciphers with that file's values: block n with k2 advanced n
// steps, words high byte first, as the unit deciphers them. The defaults' table 1 starts with
// code 0 (34 00 34 00) and ends with 4095 (34 0F 34 FF); the answers are from a TEA of 16
// cycles outside this code, with k0 A1B2C3D4, k1 5E6F7081, k2 92A3B4C5, k3 D6E7F809, step
// 1A2B3C4D.
TEST(SetupKeyBuild, SetupWriteEnciphersWithTheValuesOfItsKeyFile) {
    std::vector<uint8_t> sent;
    TempDir dir;
    // A unit running other firmware: a key that is not the sample goes to any unit.
    SimProcess sim = StartSim({"--other-firmware", "--log", dir.File("log")}, MQ6_TESTKEY_SIM_PATH);
    ProcessResult run =
        RunProcess(MQ6_TESTKEY_CLI_PATH,
                   {"--port", sim.path, "setup", "write", "--defaults", "--yes"}, dir.path);
    StopSim(sim);
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
        if (frame.size() == 22 && frame[0] == 'Z' && frame[1] == 0 && frame[2] >= 0x10 &&
            frame[2] < 0x18) // WriteBlock to the table addresses
            sent.insert(sent.end(), frame.begin() + 4, frame.begin() + 20);
    ASSERT_EQ(sent.size(), 4096u);
    // Both halves of a block hold the same words, so they encipher alike.
    for (auto [block, half] : {std::pair<size_t, std::string>(0, "E3 CA B1 1E D6 83 44 69"),
                               {1, "27 8D C7 D5 D9 97 27 73"},
                               {127, "6F 8A 57 F8 1B 35 4B A1"}})
        EXPECT_EQ(std::vector<uint8_t>(&sent[16 * block], &sent[16 * block + 16]),
                  Hex((half + " " + half).c_str()))
            << "block " << block;
}

// --version names the build's key and the image; the simulated unit names its key.
TEST(SetupKeyBuild, VersionNamesTheKeyOfEachBuildAndTheImage) {
    TempDir dir;
    const std::string head = "mq6 " MQ6_VERSION_TEXT "\nCarried firmware: 1.01\nFirmware image: "
                             "sample-image.txt, the SAMPLE, not device firmware\nSetup key: ",
                      sample = "sample-setup-key.txt, the SAMPLE, not the unit's key\n";
    for (auto [program, text] :
         {std::pair<const char*, std::string>{MQ6_CLI_PATH, head + sample},
          {MQ6_TESTKEY_CLI_PATH, head + "test-setup-key.txt, given at build time\n"},
          {MQ6_SIM_PATH, "mq6-sim " MQ6_VERSION_TEXT "\nSetup key: " + sample}})
        EXPECT_EQ(RunProcess(program, {"--version"}, dir.path).out, text) << program;
    // The image's line alone is longer than 64 characters: a buffer of 64 is refused.
    EXPECT_EQ(FormatBuildInputs(std::array<char, 64>{}.data(), 64), -1);
}

// The build-time checks of image and key files: the faults a file typed or pasted by hand
// most likely has are refused naming the file and the fault, and nothing is generated.
TEST(BuildInputScripts, BrokenFilesAreRefusedNamingTheFileAndTheFault) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE),
                      head = "k0 4D513636\nk1 2D574221\nk2 0B5E7A1D\nk3 C3D2E1F0\n";
    std::string typo = sample; // the first byte of the first information record mistyped
    typo.replace(typo.find("info 40:") + 9, 2, "G5");
    // A key file or an image, the file, and what stderr says besides the file's name.
    const std::tuple<bool, std::string, const char*> rows[] = {
        {false, sample.substr(0, sample.find("\ncode 0D40:") + 1), // the last line lost
         "168 code records, expected 169"},
        {false, typo, "'G5' is not a byte in two hex digits"},
        {true, head, ": no 'step' line"},
        {true, head + "step 0123456\n", ": line 5: step value '0123456' is not 8 hex digits"},
        {true, head + "k2 0B5E7A1D\n", ": line 5: a second 'k2' line (the first is line 3)"},
        {true, head + "k4 0B5E7A1D\n", ": line 5: unknown name 'k4', expected one of"},
        {true, head + "step = 0B5E7A1D\n", ": line 5: expected 'NAME XXXXXXXX' with NAME one of"}};
    TempDir dir;
    for (const auto& [key, file, found] : rows) {
        SCOPED_TRACE(found);
        WriteText(dir.File("in.txt"), file);
        ProcessResult result =
            RunProcess(MQ6_CMAKE_COMMAND,
                       {(key ? "-DKEY=" : "-DIMAGE=") + dir.File("in.txt"),
                        std::string("-DSAMPLE=") + (key ? MQ6_SAMPLE_SETUP_KEY : MQ6_SAMPLE_IMAGE),
                        "-DOUTPUT=" + dir.File("out.cpp"), "-P",
                        key ? MQ6_SETUP_KEY_SCRIPT : MQ6_FIRMWARE_IMAGE_SCRIPT},
                       dir.path);
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find(found), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(dir.File("in.txt")), std::string::npos) << "the file is named";
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.cpp")));
    }
}

} // namespace
