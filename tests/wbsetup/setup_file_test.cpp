// The setup file as a backup: a unit's setup block through the file and back unchanged, and the
// restore points kept before each write, in a real temporary folder.
#include "firmware/test_files.h"
#include "wbsetup/restore_point.h"
#include "wbsetup/setup_file.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Bytes = std::vector<uint8_t>;
using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;

// A block's first 20 bytes (stoich, flags, two zeros, the response bytes, then A's volts,
// volts, AFR, AFR and B's, the offset), the filler after them.
Info InfoWith(const Bytes& setup) {
    Info info{};
    std::fill(&info[4], &info[68], 0x5A);
    std::copy(setup.begin(), setup.end(), &info[4]);
    return info;
}

// The block read back from path.
Bytes BlockOfFile(const std::string& path) {
    SetupRecord back = DEFAULT_SETUP;
    std::string error;
    EXPECT_TRUE(ReadSetupFile(path, back, error)) << error;
    Info info = InfoWith({});
    PackSetupBlock(back, info);
    return Bytes(&info[4], &info[68]);
}

// Flag bits of the unit's own, offset 55, response byte 33 (code 66, no row) and 120 (Fastest).
const Bytes UNUSUAL = {0x05, 0xB4, 0xF2, 0, 0,  33,   120,  12,   45,   0x04,
                       0x4C, 0x07, 0x3A, 5, 40, 0x03, 0x84, 0x06, 0xA4, 55};

TEST(SetupFile, EveryBlockComesBackFromItsFileByteForByte) {
    const std::tuple<Bytes, const char*> rows[] = {
        {{0x05, 0xBE, 0,    0, 0,  64,   64,   0,    50,   0x03,
          0xE8, 0x07, 0xD0, 0, 50, 0x03, 0xE8, 0x07, 0xD0, 128},
         "\"a_response\": \"Medium\""}, // the defaults
        {UNUSUAL, "\"a_response\": 66,\n  \"b_mode\": \"wb\""},
        // Stoich 1.00, the rest 0 (response code 0 has no row); then 210.00 (0x5208), 5.0 V,
        // every byte 255 and response code 510.
        {{0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "\"b_response\": 0,"},
        {{0x52, 8, 255, 0, 0, 255, 255, 50, 50, 0x52, 8, 0x52, 8, 50, 50, 0x52, 8, 0x52, 8, 255},
         "\"b_response\": 510,"},
    };
    TempDir dir;
    for (const auto& [setup, line] : rows) {
        SetupRecord unit = DEFAULT_SETUP;
        UnpackSetupBlock(InfoWith(setup), unit);
        std::string text = SetupToJson(unit), error;
        SCOPED_TRACE(text);
        EXPECT_NE(text.find(line), std::string::npos);
        ASSERT_TRUE(WriteSetupText(dir.File("setup.json"), text, error)) << error;
        Info info = InfoWith(setup);
        EXPECT_EQ(BlockOfFile(dir.File("setup.json")), Bytes(&info[4], &info[68]));
    }
    // The earlier form's null keeps the rate the setup starts from; an odd code is refused.
    WriteText(dir.File("old.json"), "{\"a_response\": null, \"b_response\": \"Fast\"}");
    EXPECT_EQ(BlockOfFile(dir.File("old.json"))[5], 64);
    SetupRecord values = DEFAULT_SETUP;
    std::string error;
    WriteText(dir.File("odd.json"), "{\"a_response\": 65}");
    EXPECT_FALSE(ReadSetupFile(dir.File("odd.json"), values, error));
    EXPECT_TRUE(error.ends_with("Fastest, or an even code from 0 to 510, not 65")) << error;
}

TEST(RestorePoint, NamedByTheSecondNeverOverwrittenAndTheNewestHundredKept) {
    TempDir dir;
    const std::string folder = dir.File("settings/restore");
    // 8 December 2026, 23:05:01 local time: a second and a third in that second are numbered.
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 8, when.tm_hour = 23, when.tm_min = 5;
    when.tm_sec = 1;
    std::filesystem::create_directories(folder);
    for (const char* name : {"mq6-setup-20261208-230501.json", "mq6-setup-20261208-230501-2.json",
                             "mq6-setup-20261208-230501-3.json"}) {
        EXPECT_EQ(RestorePointName(folder, when), name);
        WriteText(folder + "/" + name, "{}");
    }
    // 110 more from 2025, two in each second, and two files that are none: of the 114, the 14
    // oldest go (seconds 00 to 06, the first of each second before its -2).
    for (int i = 0; i < 110; ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "/mq6-setup-20250101-0000%02d%s.json", i / 2,
                      i % 2 ? "-2" : "");
        WriteText(folder + name, "{}");
    }
    WriteText(folder + "/notes.txt", "");
    WriteText(folder + "/mq6-setup-20240101-000000-x.json", "");
    std::string path, error;
    ASSERT_EQ(SaveRestorePoint(folder, InfoWith(UNUSUAL), path, error), 0) << error;
    EXPECT_EQ(std::filesystem::path(path).parent_path(), folder);
    Info unusual = InfoWith(UNUSUAL);
    EXPECT_EQ(BlockOfFile(path), Bytes(&unusual[4], &unusual[68]));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.size(), 102u);
    EXPECT_EQ(names[0] + " " + names[1],
              "mq6-setup-20240101-000000-x.json mq6-setup-20250101-000007-2.json");
    // A folder that cannot be made: nothing saved, and why.
    WriteText(dir.File("file"), "");
    EXPECT_EQ(SaveRestorePoint(dir.File("file/restore"), InfoWith(UNUSUAL), path, error), -1);
    EXPECT_EQ(error, "cannot make the folder " + dir.File("file/restore") + ": Not a directory");
}

} // namespace
