// The carried image's layout and the build-time check of image files.
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

TEST(FirmwareImage, CopiesRecordsAndInformationAreaAreLaidOutAsTheLoaderTakesThem) {
    ASSERT_EQ(FirmwareImageA.size(), 3258u);
    ASSERT_EQ(FirmwareImageB.size(), 3250u);
    EXPECT_EQ(std::vector<uint8_t>(FirmwareImageA.begin(), FirmwareImageA.begin() + 8),
              (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(SelectVerifyLength(), 16);
    EXPECT_TRUE(
        std::equal(FirmwareImageB.begin(), FirmwareImageB.end(), FirmwareImageA.begin() + 8));
    EXPECT_EQ(std::vector<uint8_t>(FirmwareImageB.begin() + 204, FirmwareImageB.begin() + 208),
              std::vector<uint8_t>(4, 0));
    EXPECT_EQ(GetCodeRecord(0), FirmwareImageB.data() + 208);
    for (int i = 0; i < 169; ++i)
        EXPECT_EQ(GetCodeAddress(GetCodeRecord(i)), 0x0800 + 8 * i);
    std::array<uint8_t, 256> area{};
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(GetInfoRecord(i), FirmwareImageB.data() + 17 * i);
        ASSERT_EQ(GetInfoRecord(i)[0], 0x40 + 16 * i);
        std::memcpy(area.data() + GetInfoRecord(i)[0], GetInfoRecord(i) + 1, 16);
    }
    std::array<std::string_view, 4> lines = SplitBanner(area);
    EXPECT_EQ(lines[BANNER_DESCRIPTION], "MQ-6 LSU 4.2 Controller. ");
    EXPECT_EQ(lines[BANNER_NOTICE].substr(0, 4), "Copy");
    EXPECT_EQ(lines[BANNER_NOTICE].size(), 0xBAu - 0x99u);
    EXPECT_EQ(lines[BANNER_RIGHTS].size(), 0xCFu - 0xBAu);
    EXPECT_EQ(lines[BANNER_VERSION], "Version: 1.01");
    EXPECT_EQ(CARRIED_VERSION_MAJOR * 100 + CARRIED_VERSION_MINOR, 101);
    EXPECT_EQ(area[0xDC], 0);
    EXPECT_TRUE(std::all_of(&area[0xDD], &area[0xFF], [](uint8_t b) { return b == 0x55; }));
    EXPECT_EQ(area[0xFF], 0) << "neither update nor setup mode";
}

ProcessResult CheckImage(const TempDir& dir, const std::string& image) {
    WriteText(dir.File("image.txt"), image);
    return RunProcess(MQ6_CMAKE_COMMAND,
                      {"-DIMAGE=" + dir.File("image.txt"), "-DOUTPUT=" + dir.File("image.cpp"),
                       "-P", MQ6_FIRMWARE_IMAGE_SCRIPT},
                      dir.path);
}

TEST(ImageScript, SampleIsEmbeddedAndBrokenCopiesAreRefusedNamingTheFault) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE);
    TempDir dir;
    ProcessResult accepted = CheckImage(dir, sample);
    ASSERT_EQ(accepted.status, 0) << accepted.err;
    std::string generated = ReadText(dir.File("image.cpp"));
    EXPECT_NE(generated.find("0x01, 0x00, 0x00, 0x00, // verify-length selector"),
              std::string::npos);
    EXPECT_NE(generated.find("    0x0D, 0x40, 0xFB, 0x0E,"), std::string::npos);

    const std::string ff = " 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55";
    const struct {
        const char* line; // the sample's line starting so, replaced ("" removes it)
        std::string replacement;
        const char* reason;
    } rows[] = {
        {"code 0D40:", "", "168 code records, expected 169"},
        {"info F0:", "", "11 info records, expected 12"},
        {"code 0828:", "code 0830:" + ff + " 55", "code record 5 has address 0830, expected 0828"},
        {"info 60:", "info 61:" + ff + " 55", "info record 2 has address 61, expected 60"},
        {"info 40:", "info 40:" + ff, "info record has 15 data bytes, expected 16"},
        {"info 40:", "info 40:" + ff + " G5", "'G5' is not a byte in two hex digits"},
        {"selector", "selector 2", "must be 0 (verify 8 bytes) or 1"},
        {"selector", "", "no selector line"},
        {"selector", "firmware 1", "line 11: expected 'selector N'"},
        {"info A0:", "info A0: 41 6C 6C 28 63 29 20 32 30 32 36 20 4D 51 2D 36",
         "\"All\" first appears at 0xA0 in the banner, expected 0xBA"},
        {"info 90:", "info 90: 74 72 6F 6C 6C 65 72 2E 20 63 6F 70 79 72 69 67",
         "banner has no \"Copy\""},
        {"info 80:", "info 80: 4D 51 2D 37 20 4C 53 55 20 34 2E 32 20 43 6F 6E",
         "banner must start with \"MQ-6 LSU 4.2 Controller. \""},
        {"info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 20 00 55 55 55",
         "expected \"Version: D.DD\""},
        {"info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 31 55 55 55 55",
         "no NUL ending the banner at 0xDC"},
        {"info E0:", "info E0:" + ff + " 00", "byte 0xEF must be the filler 0x55"},
        {"info F0:", "info F0:" + ff + " 02", "unit mode byte 0xFF must be 0"},
        {"", "code 0D48:" + ff + " 55", "more than 169 code records"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        std::string image = sample;
        size_t at = std::string(row.line).empty() ? image.size()
                                                  : image.find("\n" + std::string(row.line)) + 1;
        ASSERT_NE(at, std::string::npos + 1);
        size_t end = at == image.size() ? at : image.find('\n', at) + 1;
        image.replace(at, end - at, row.replacement.empty() ? "" : row.replacement + "\n");
        std::filesystem::remove(dir.File("image.cpp"));
        ProcessResult result = CheckImage(dir, image);
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find(row.reason), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("image.cpp")));
    }
}

} // namespace
