// The setup file as a backup: a unit's setup block through the file and back unchanged, and the
// restore points kept before each write, in a real temporary folder (where mq6 keeps them, what
// they hold and a folder that cannot be made are setup_cli_test's).
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "wbsetup/restore_point.h"
#include "wbsetup/setup_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using Info = std::array<uint8_t, DEVICE_INFO_SIZE>;

// A data block whose 64-byte setup block is hex (Hex's form).
Info InfoWith(const char* hex) {
    Info info{};
    std::ranges::copy(Hex(hex), &info[4]);
    return info;
}

// The setup block that the file at path gives.
Bytes BlockOfFile(const std::string& path) {
    SetupRecord back = DEFAULT_SETUP;
    std::string error;
    EXPECT_TRUE(ReadSetupFile(path, back, error)) << error;
    Info info;
    info.fill(0xEE);          // packing writes every byte of the block
    back.SetupFlags |= 0x100; // only the low byte travels
    PackSetupBlock(back, info);
    return Bytes(&info[4], &info[68]);
}

// Stoich, flags, two zeros, the response bytes, A's volts, volts, AFR, AFR, B's, the offset.
// Here flag bits of the unit's own, response byte 0x21 (code 66, no row), offset 55.
constexpr char UNUSUAL[] = "05 B4 F2 00 00 21 78 0C 2D 04 4C 07 3A 05 28 03 84 06 A4 37 5A*44";

TEST(SetupFile, EveryBlockComesBackFromItsFileByteForByteAndRestorePointsAreKept) {
    // The defaults; the unusual block; stoich 1.00 and the rest 0 (code 0 has no row); 210.00,
    // 5.0 V, every byte 255 and code 510. Then beyond what a user may type: stoich 0.50, A at
    // 7.0 V (46) and 12.3 V (7B), AFR 210.01 (52 09) and 300.00 (75 30); every byte FF, each
    // number at the most its bytes hold.
    const std::pair<const char*, const char*> rows[] = {
        {"05 BE 00 00 00 40 40 00 32 03 E8 07 D0 00 32 03 E8 07 D0 80 5A*44", "\"Medium\""},
        {UNUSUAL, "\"a_response\": 66,\n  \"b_mode\": \"wb\""},
        {"00 64 00*18 5A*44", "\"b_response\": 0,"},
        {"52 08 FF 00 00 FF FF 32 32 52 08 52 08 32 32 52 08 52 08 FF 5A*44", "\": 510,"},
        {"00 32 00 00 00 40 40 46 7B 52 09 75 30 00 32 03 E8 07 D0 80 5A*44",
         "0.50,\n  \"flags\": 0,\n  \"a1_volts\": 7.0,\n  \"a1_afr\": 210.01,\n"},
        {"FF FF FF 00 00 FF*15 5A*44", "655.35,\n  \"flags\": 255,\n  \"a1_volts\": 25.5,"}};
    TempDir dir;
    for (const auto& [hex, line] : rows) {
        SetupRecord unit = DEFAULT_SETUP;
        UnpackSetupBlock(InfoWith(hex), unit);
        std::string text = SetupToJson(unit), error;
        SCOPED_TRACE(text);
        EXPECT_NE(text.find(line), std::string::npos);
        ASSERT_TRUE(WriteSetupText(dir.File("setup.json"), text, error)) << error;
        EXPECT_EQ(BlockOfFile(dir.File("setup.json")), Hex(hex));
    }
    // The earlier form's null for such a code keeps the rate the setup starts from; a rate's
    // name is taken in any case (Fast: code 160, byte 0x50).
    WriteText(dir.File("old.json"), "{\"a_response\": null, \"b_response\": \"fAST\"}");
    Bytes old = BlockOfFile(dir.File("old.json"));
    EXPECT_EQ(Bytes(old.begin() + 5, old.begin() + 7), Hex("40 50"));
    // An odd code is none the unit's byte can hold: refused.
    SetupRecord odd = DEFAULT_SETUP;
    std::string path, error;
    WriteText(dir.File("old.json"), "{\"a_response\": 65}");
    EXPECT_FALSE(ReadSetupFile(dir.File("old.json"), odd, error));
    // A unit's text is Latin-1: its e acute (E9) is U+00E9 in the JSON mq6 prints.
    EXPECT_EQ(JsonString("caf\xE9 \"1\""), R"("caf\u00e9 \"1\"")");

    // Restore points are named by the second, never overwritten, and the newest 100 are kept.
    const std::string folder = dir.path, stamp = "/mq6-setup-20261208-230501";
    // 8 December 2026, 23:05:01 local time: a second and a third in that second are numbered.
    std::tm when{};
    strptime("20261208-230501", "%Y%m%d-%H%M%S", &when);
    for (std::string count : {"", "-2", "-3"}) {
        EXPECT_EQ("/" + RestorePointName(folder, when), stamp + count + ".json");
        WriteText(folder + stamp + count + ".json", "{}");
    }
    // 110 more from 2025, two in each second, beside the files above: of the 114, the 14 oldest
    // go (seconds 00 to 06), and the oldest left sorts first (the -2 before the first). A user's
    // file whose stamp has a letter is no restore point, however old its digits look.
    WriteText(folder + "/mq6-setup-19990101-x23456.json", "{}");
    for (int i = 0; i < 110; ++i)
        WriteText(folder + "/mq6-setup-20250101-0000" + std::to_string(100 + i / 2).substr(1) +
                      (i % 2 ? "-2.json" : ".json"),
                  "{}");
    ASSERT_EQ(SaveRestorePoint(folder, InfoWith(UNUSUAL), path, error), 0) << error;
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names.size(), 103u);
    EXPECT_EQ(*names.begin() + *std::next(names.begin()),
              "mq6-setup-19990101-x23456.jsonmq6-setup-20250101-000007-2.json");
    // A folder where no file can be made, by root either: no restore point, and the reason.
    EXPECT_EQ(SaveRestorePoint("/proc/self", InfoWith(UNUSUAL), path, error), -1);
    EXPECT_TRUE(error.starts_with("cannot write /proc/self/mq6-setup-")) << error;
}

} // namespace
