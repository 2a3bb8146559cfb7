// The setup file as a backup: a unit's setup block through the file and back unchanged, and the
// restore points kept before each write, in a real temporary folder.
#include "firmware/test_files.h"
#include "wbsetup/restore_point.h"
#include "wbsetup/setup_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

namespace {

using Bytes = std::vector<uint8_t>;
using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;

Info InfoWith(const Bytes& setup) {
    Info info{};
    info.fill(0x11);
    std::fill(&info[4], &info[68], 0x5A);
    std::copy(setup.begin(), setup.end(), &info[4]);
    return info;
}

// Each block's first 20 bytes (stoich, flags, two zeros, the response bytes, then A's volts,
// volts, AFR, AFR and B's, the offset) go to a file and come back as the same 64 bytes.
TEST(SetupFile, EveryBlockComesBackFromItsFileByteForByte) {
    const std::tuple<const char*, Bytes, const char*> rows[] = {
        {"defaults",
         {0x05, 0xBE, 0,    0, 0,  0x40, 0x40, 0,    50,   0x03,
          0xE8, 0x07, 0xD0, 0, 50, 0x03, 0xE8, 0x07, 0xD0, 0x80},
         "\"a_response\": \"Medium\""},
        // Flag bits of the unit's own, offset 55, response byte 33 (code 66) and 120 (Fastest).
        {"unusual",
         {0x05, 0xB4, 0xF2, 0, 0,  33,   120,  12,   45,   0x04,
          0x4C, 0x07, 0x3A, 5, 40, 0x03, 0x84, 0x06, 0xA4, 55},
         "\"a_response\": 66,\n  \"b_mode\": \"wb\""},
        // Stoich 1.00, everything else 0: response code 0 has no row.
        {"lowest",
         {0, 100, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "\"b_response\": 0,"},
        // 210.00 is 0x5208, 5.0 V is 50; response byte 255 is code 510.
        {"highest",
         {0x52, 0x08, 0xFF, 0,  0,  0xFF, 0xFF, 50,   50,   0x52,
          0x08, 0x52, 0x08, 50, 50, 0x52, 0x08, 0x52, 0x08, 0xFF},
         "\"flags\": 255,"},
    };
    TempDir dir;
    for (const auto& [what, setup, line] : rows) {
        SCOPED_TRACE(what);
        Info info = InfoWith(setup);
        SetupRecord unit = DEFAULT_SETUP;
        UnpackSetupBlock(info, unit);
        std::string text = SetupToJson(unit), error;
        EXPECT_NE(text.find(line), std::string::npos) << text;
        ASSERT_TRUE(WriteSetupText(dir.File("setup.json"), text, error)) << error;
        SetupRecord back = DEFAULT_SETUP;
        ASSERT_TRUE(ReadSetupFile(dir.File("setup.json"), back, error)) << error;
        Info again = InfoWith({});
        PackSetupBlock(back, again);
        EXPECT_EQ(Bytes(&again[4], &again[68]), Bytes(&info[4], &info[68]));
    }
    // The earlier form's null keeps the rate the setup starts from; a code the unit cannot hold
    // (odd, or above 2 x 255) is refused.
    const std::pair<const char*, const char*> files[] = {
        {"{\"a_response\": null}", ""},
        {"{\"a_response\": 65}", "65"},
        {"{\"b_response\": 512}", "512"},
    };
    for (const auto& [file, refused] : files) {
        SCOPED_TRACE(file);
        WriteText(dir.File("old.json"), file);
        SetupRecord values = DEFAULT_SETUP;
        std::string error;
        EXPECT_EQ(ReadSetupFile(dir.File("old.json"), values, error), refused[0] == '\0');
        EXPECT_EQ(values.Channel[0].ResponseValue, 128);
        if (refused[0] != '\0') {
            EXPECT_TRUE(error.ends_with("Fastest, or an even code from 0 to 510, not " +
                                        std::string(refused)))
                << error;
        }
    }
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(RestorePoint, NamedByTheSecondNeverOverwrittenAndTheNewestHundredKept) {
    TempDir dir;
    const std::string folder = dir.File("settings/restore");
    // 8 December 2026, 23:05:01 local time: a second and a third of that second are numbered.
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 8;
    when.tm_hour = 23, when.tm_min = 5, when.tm_sec = 1;
    std::filesystem::create_directories(folder);
    for (const char* name : {"mq6-setup-20261208-230501.json", "mq6-setup-20261208-230501-2.json",
                             "mq6-setup-20261208-230501-3.json"}) {
        EXPECT_EQ(RestorePointName(folder, when), name);
        WriteText(folder + "/" + name, "{}");
    }
    // 110 restore points from 2025 (the tenth of each second numbered -2 in its second, so that
    // it sorts after the first of that second), and files that are none.
    for (int i = 0; i < 110; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "mq6-setup-20250101-0000%02d%s.json", i / 2,
                      i % 2 == 0 ? "" : "-2");
        WriteText(folder + "/" + name, "{}");
    }
    for (const char* other :
         {"notes.txt", "mq6-setup-2025.json", "mq6-setup-20240101-000000-x.json"})
        WriteText(folder + "/" + other, "{}");
    Info info = InfoWith({0x05, 0xB4, 0xF2, 0, 0,  33,   120,  12,   45,   0x04,
                          0x4C, 0x07, 0x3A, 5, 40, 0x03, 0x84, 0x06, 0xA4, 55});
    std::string path, error;
    ASSERT_EQ(SaveRestorePoint(folder, info, path, error), 0) << error;
    EXPECT_TRUE(
        std::regex_match(path, std::regex(folder + "/mq6-setup-\\d{8}-\\d{6}(-\\d+)?\\.json")))
        << path;
    SetupRecord back = DEFAULT_SETUP;
    ASSERT_TRUE(ReadSetupFile(path, back, error)) << error;
    Info again = InfoWith({});
    PackSetupBlock(back, again);
    EXPECT_EQ(Bytes(&again[4], &again[68]), Bytes(&info[4], &info[68]));
    // 114 restore points: the 14 oldest go, 000000 to 000006 with their -2s; the rest stay.
    std::set<std::string> names = Names(folder);
    EXPECT_EQ(names.size(), 103u);
    for (const char* gone : {"mq6-setup-20250101-000000.json", "mq6-setup-20250101-000006-2.json"})
        EXPECT_EQ(names.count(gone), 0u) << gone;
    for (const char* kept :
         {"mq6-setup-20250101-000007.json", "notes.txt", "mq6-setup-20240101-000000-x.json",
          "mq6-setup-20261208-230501-3.json"})
        EXPECT_EQ(names.count(kept), 1u) << kept;
    // A folder that cannot be made: nothing saved, and why.
    WriteText(dir.File("file"), "");
    EXPECT_EQ(SaveRestorePoint(dir.File("file/restore"), info, path, error), -1);
    EXPECT_EQ(error, "cannot make the folder " + dir.File("file/restore") + ": Not a directory");
}

} // namespace
