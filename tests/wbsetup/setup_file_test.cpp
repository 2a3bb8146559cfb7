// The setup file as a backup: a unit's setup block through the file and back unchanged, and the
// restore points kept before each write, in a real temporary folder.
#include "firmware/test_files.h"
#include "wbsetup/restore_point.h"
#include "wbsetup/setup_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using Bytes = std::vector<uint8_t>;
using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;

// A data block whose setup block starts with these bytes (stoich, flags, two zeros, the
// response bytes, then A's volts, volts, AFR, AFR and B's, the offset), the filler after them.
Info InfoWith(const Bytes& setup) {
    Info info{};
    std::fill(&info[4], &info[68], 0x5A);
    std::copy(setup.begin(), setup.end(), &info[4]);
    return info;
}

Bytes SetupBlock(const Info& info) {
    return Bytes(&info[4], &info[68]);
}

// The setup block that the file at path gives.
Bytes BlockOfFile(const std::string& path) {
    SetupRecord back = DEFAULT_SETUP;
    std::string error;
    EXPECT_TRUE(ReadSetupFile(path, back, error)) << error;
    Info info = InfoWith({});
    PackSetupBlock(back, info);
    return SetupBlock(info);
}

// Flag bits of the unit's own, offset 55, response byte 33 (code 66, no row) and 120 (Fastest).
const Bytes UNUSUAL = {5,    0xB4, 0xF2, 0, 0,  33, 120,  12, 45,   4,
                       0x4C, 7,    0x3A, 5, 40, 3,  0x84, 6,  0xA4, 55};

TEST(SetupFile, EveryBlockComesBackFromItsFileByteForByte) {
    const std::tuple<Bytes, const char*> rows[] = {
        {{5, 0xBE, 0, 0, 0, 64, 64, 0, 50, 3, 0xE8, 7, 0xD0, 0, 50, 3, 0xE8, 7, 0xD0, 128},
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
        EXPECT_EQ(BlockOfFile(dir.File("setup.json")), SetupBlock(InfoWith(setup)));
    }
    // The earlier form's null for such a code keeps the rate the setup starts from.
    WriteText(dir.File("old.json"), "{\"a_response\": null, \"b_response\": \"Fast\"}");
    EXPECT_EQ(BlockOfFile(dir.File("old.json"))[5], 64);
}

TEST(RestorePoint, NamedByTheSecondNeverOverwrittenAndTheNewestHundredKept) {
    TempDir dir;
    const std::string folder = dir.File("settings/restore");
    std::filesystem::create_directories(folder);
    // 8 December 2026, 23:05:01 local time: a second and a third in that second are numbered.
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 8, when.tm_hour = 23, when.tm_min = 5;
    when.tm_sec = 1;
    for (std::string count : {"", "-2", "-3"}) {
        EXPECT_EQ(RestorePointName(folder, when), "mq6-setup-20261208-230501" + count + ".json");
        WriteText(folder + "/mq6-setup-20261208-230501" + count + ".json", "{}");
    }
    // 110 more from 2025, two in each second, and two files that are none: of the 114, the 14
    // oldest go (seconds 00 to 06), and the oldest left sorts first.
    for (int i = 0; i < 110; ++i)
        WriteText(folder + "/mq6-setup-20250101-0000" + std::to_string(100 + i / 2).substr(1) +
                      (i % 2 ? "-2" : "") + ".json",
                  "{}");
    WriteText(folder + "/mq6-setup-20240101-000000-x.json", "");
    std::string path, error;
    ASSERT_EQ(SaveRestorePoint(folder, InfoWith(UNUSUAL), path, error), 0) << error;
    EXPECT_EQ(std::filesystem::path(path).parent_path(), folder);
    EXPECT_EQ(BlockOfFile(path), SetupBlock(InfoWith(UNUSUAL)));
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names.size(), 101u);
    EXPECT_EQ(*std::next(names.begin()), "mq6-setup-20250101-000007-2.json");
    // A folder that cannot be made: nothing saved, and why.
    WriteText(dir.File("file"), "");
    EXPECT_EQ(SaveRestorePoint(dir.File("file/restore"), InfoWith(UNUSUAL), path, error), -1);
    EXPECT_EQ(error, "cannot make the folder " + dir.File("file/restore") + ": Not a directory");
}

} // namespace
