// The carried image's layout and the build-time check of image files.
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"

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
    EXPECT_EQ(area.substr(0x80, 25), "MQ-6 LSU 4.2 Controller. ");
    EXPECT_EQ(area.substr(0x99, 4), "Copy");
    EXPECT_EQ(area.substr(0xBA, 3), "All");
    EXPECT_EQ(area.substr(0xCF, 14), std::string("Version: 1.01\0", 14));
    EXPECT_EQ(area.substr(0xDD, 34), std::string(34, 0x55));
    EXPECT_EQ(area[0xFF], 0) << "neither update nor setup mode";
}

TEST(ImageScript, SampleIsEmbeddedAndBrokenCopiesAreRefusedNamingTheFault) {
    const std::string sample = ReadText(MQ6_SAMPLE_IMAGE),
                      ff = " 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55";
    const struct {
        const char* line; // the sample's line starting so, replaced ("" removes it)
        std::string replacement;
        const char* reason; // nullptr: accepted
    } rows[] = {
        {"code 0D40:", "", "168 code records, expected 169"},
        {"code 0828:", "code 0830:" + ff + " 55", "code record 5 has address 0830, expected 0828"},
        {"info 60:", "info 61:" + ff + " 55", "info record 2 has address 61, expected 60"},
        {"info 40:", "info 40:" + ff, "info record has 15 data bytes, expected 16"},
        {"info 40:", "info 40:" + ff + " G5", "'G5' is not a byte in two hex digits"},
        {"selector", "selector 2", "must be 0 (verify 8 bytes) or 1"},
        {"selector", "firmware 1", "line 11: expected 'selector N'"},
        {"info A0:", "info A0: 41 6C 6C 28 63 29 20 32 30 32 36 20 4D 51 2D 36",
         "\"All\" first appears at 0xA0 in the banner, expected 0xBA"},
        {"info 80:", "info 80: 4D 51 2D 37 20 4C 53 55 20 34 2E 32 20 43 6F 6E",
         "banner must start with \"MQ-6 LSU 4.2 Controller. \""},
        {"info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 31 55 55 55 55",
         "no NUL ending the banner at 0xDC"},
        {"info F0:", "info F0:" + ff + " 02", "unit mode byte 0xFF must be 0"},
        {"", "code 0D48:" + ff + " 55", "more than 169 code records"},
        {"", "", nullptr},
    };
    TempDir dir;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        std::string image = sample;
        size_t at = *row.line ? image.find("\n" + std::string(row.line)) + 1 : image.size();
        ASSERT_NE(at, 0u);
        size_t end = at == image.size() ? at : image.find('\n', at) + 1;
        image.replace(at, end - at, row.replacement.empty() ? "" : row.replacement + "\n");
        std::filesystem::remove(dir.File("image.cpp"));
        WriteText(dir.File("image.txt"), image);
        ProcessResult result =
            RunProcess(MQ6_CMAKE_COMMAND,
                       {"-DIMAGE=" + dir.File("image.txt"), "-DOUTPUT=" + dir.File("image.cpp"),
                        "-P", MQ6_FIRMWARE_IMAGE_SCRIPT},
                       dir.path);
        EXPECT_EQ(result.status == 0, !row.reason) << result.err;
        EXPECT_NE(result.err.find(row.reason ? row.reason : ""), std::string::npos) << result.err;
        EXPECT_EQ(std::filesystem::exists(dir.File("image.cpp")), !row.reason);
    }
    EXPECT_NE(ReadText(dir.File("image.cpp")).find("    0x0D, 0x40, 0xFB, 0x0E,"),
              std::string::npos);
}

} // namespace
