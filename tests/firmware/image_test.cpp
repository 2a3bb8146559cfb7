// The carried image's layout, the version verdict, and the build-time check of image files.
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/test_files.h"
#include "firmware/verdict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// The information area as a unit holds it after programming: the image's 12 records.
std::array<uint8_t, 256> InfoArea() {
    std::array<uint8_t, 256> area{};
    for (int i = 0; i < INFO_RECORD_COUNT; ++i) {
        const uint8_t* record = GetInfoRecord(i);
        std::memcpy(area.data() + record[0], record + 1, RECORD_DATA_SIZE);
    }
    return area;
}

TEST(FirmwareImage, CopyAHeaderSelectsSixteenByteVerify) {
    EXPECT_EQ(FirmwareImageA[0], 1);
    for (int i = 1; i < IMAGE_HEADER_SIZE; ++i)
        EXPECT_EQ(FirmwareImageA[static_cast<size_t>(i)], 0) << "header byte " << i;
    EXPECT_EQ(SelectVerifyLength(), 16);
}

TEST(FirmwareImage, BothCopiesHoldTheSameTables) {
    EXPECT_TRUE(std::equal(FirmwareImageB.begin(), FirmwareImageB.end(),
                           FirmwareImageA.begin() + IMAGE_HEADER_SIZE));
    for (int i = 0; i < TABLE_GAP_SIZE; ++i)
        EXPECT_EQ(FirmwareImageB[static_cast<size_t>(INFO_TABLE_SIZE + i)], 0);
    EXPECT_EQ(GetCodeRecord(0), FirmwareImageB.data() + 208);
}

TEST(FirmwareImage, RecordsCarryTheirAddressesInOrder) {
    for (int i = 0; i < INFO_RECORD_COUNT; ++i)
        EXPECT_EQ(GetInfoRecord(i)[0], 0x40 + 16 * i);
    for (int i = 0; i < CODE_RECORD_COUNT; ++i)
        EXPECT_EQ(GetCodeAddress(GetCodeRecord(i)), 0x0800 + 8 * i);
    EXPECT_EQ(GetCodeAddress(GetCodeRecord(CODE_RECORD_COUNT - 1)), 0x0D40);
}

TEST(FirmwareImage, InformationAreaCarriesTheBannerOfTheCarriedVersion) {
    std::array<uint8_t, 256> area = InfoArea();
    std::array<std::string_view, 4> lines = SplitBanner(area);
    EXPECT_EQ(lines[BANNER_DESCRIPTION], "MQ-6 LSU 4.2 Controller. ");
    EXPECT_EQ(lines[BANNER_NOTICE].substr(0, 4), "Copy");
    EXPECT_EQ(lines[BANNER_NOTICE].size(), 33u);
    EXPECT_EQ(lines[BANNER_RIGHTS], "All rights reserved. ");
    EXPECT_EQ(lines[BANNER_VERSION], "Version: 1.01");
    int major = 0;
    int minor = 0;
    ASSERT_EQ(ReadUnitVersion(area, major, minor), 0);
    EXPECT_EQ(major, CARRIED_VERSION_MAJOR);
    EXPECT_EQ(minor, CARRIED_VERSION_MINOR);
    EXPECT_EQ(CARRIED_VERSION_MAJOR, 1);
    EXPECT_EQ(CARRIED_VERSION_MINOR, 1);
    EXPECT_EQ(area[0xDC], 0);
    EXPECT_TRUE(
        std::all_of(area.begin() + 0xDD, area.begin() + 0xFF, [](uint8_t b) { return b == 0x55; }));
    EXPECT_EQ(area[UNIT_MODE_OFFSET], 0) << "neither update nor setup mode";
}

TEST(FirmwareVerdict, ComparesMajorFirstThenMinor) {
    EXPECT_EQ(CompareFirmware(1, 1), VERDICT_MATCH);
    EXPECT_EQ(CompareFirmware(1, 0), VERDICT_UPDATE);
    EXPECT_EQ(CompareFirmware(0, 99), VERDICT_UPDATE);
    EXPECT_EQ(CompareFirmware(0, 0), VERDICT_UPDATE) << "no version ever read";
    EXPECT_EQ(CompareFirmware(1, 2), VERDICT_NEWER);
    EXPECT_EQ(CompareFirmware(2, 0), VERDICT_NEWER);
    EXPECT_EQ(VerdictText(VERDICT_MATCH),
              "The Firmware Versions Match, There is no Need to Update");
    EXPECT_EQ(VerdictText(VERDICT_UPDATE), "This is a Newer Version of Firmware, Please Update");
    EXPECT_EQ(VerdictText(VERDICT_NEWER), "The Current MQ-6 Firmware is Newer then this Firmware");
}

// ---- The build-time check, run on broken copies of the sample image.

class ImageScriptTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string sample = ReadText(MQ6_SAMPLE_IMAGE);

    ProcessResult Check(const std::string& image) {
        WriteText(dir.File("image.txt"), image);
        return RunProcess(MQ6_CMAKE_COMMAND,
                          {"-DIMAGE=" + dir.File("image.txt"), "-DOUTPUT=" + dir.File("image.cpp"),
                           "-P", MQ6_FIRMWARE_IMAGE_SCRIPT},
                          dir.path);
    }

    // The sample with one whole line (found by its start) replaced; "" removes it.
    std::string WithLine(const std::string& start, const std::string& replacement) {
        std::string image = sample;
        size_t at = image.find("\n" + start);
        EXPECT_NE(at, std::string::npos) << start;
        size_t end = image.find('\n', at + 1);
        image.replace(at + 1, end - at, replacement.empty() ? "" : replacement + "\n");
        return image;
    }

    void ExpectRefused(const std::string& image, const std::string& reason) {
        ProcessResult result = Check(image);
        EXPECT_NE(result.status, 0);
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(dir.File("image.cpp")));
    }
};

TEST_F(ImageScriptTest, SampleImageIsAcceptedAndEmbedded) {
    ASSERT_FALSE(sample.empty());
    ProcessResult result = Check(sample);
    ASSERT_EQ(result.status, 0) << result.err;
    std::string generated = ReadText(dir.File("image.cpp"));
    EXPECT_NE(generated.find("0x01, 0x00, 0x00, 0x00, // verify-length selector"),
              std::string::npos);
    EXPECT_NE(generated.find("    0x0D, 0x40, 0xFB, 0x0E,"), std::string::npos)
        << "last code record";
    EXPECT_NE(generated.find("CARRIED_VERSION_MAJOR = 1;"), std::string::npos);
    EXPECT_NE(generated.find("CARRIED_VERSION_MINOR = 1;"), std::string::npos);
}

TEST_F(ImageScriptTest, WrongRecordCountsAreRefused) {
    ExpectRefused(WithLine("code 0D40:", ""), "168 code records, expected 169");
    ExpectRefused(WithLine("info F0:", ""), "11 info records, expected 12");
    std::string extra = sample + "code 0D48: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n";
    ExpectRefused(extra, "more than 169 code records");
}

TEST_F(ImageScriptTest, AddressesOutOfOrderAreRefused) {
    std::string image =
        WithLine("code 0828:", "code 0830: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    ExpectRefused(image, "code record 5 has address 0830, expected 0828");
    ExpectRefused(WithLine("info 60:", "info 61: A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5"),
                  "info record 2 has address 61, expected 60");
}

TEST_F(ImageScriptTest, MalformedLinesAreRefused) {
    ExpectRefused(WithLine("info 40:", "info 40: A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5"),
                  "info record has 15 data bytes, expected 16");
    ExpectRefused(WithLine("info 40:", "info 40: A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 A5 G5"),
                  "'G5' is not a byte in two hex digits");
    ExpectRefused(WithLine("selector", "selector 2"), "must be 0 (verify 8 bytes) or 1");
    ExpectRefused(WithLine("selector", ""), "no selector line");
    ExpectRefused(WithLine("selector", "firmware 1"), "line 11: expected 'selector N'");
}

TEST_F(ImageScriptTest, BannerPiecesOffTheirOffsetsAreRefused) {
    // "All" moved into the notice: the firmware view would split the banner there.
    ExpectRefused(WithLine("info A0:", "info A0: 41 6C 6C 28 63 29 20 32 30 32 36 20 4D 51 2D 36"),
                  "\"All\" first appears at 0xA0 in the banner, expected 0xBA");
    // "Copy" lost.
    ExpectRefused(WithLine("info 90:", "info 90: 74 72 6F 6C 6C 65 72 2E 20 63 6F 70 79 72 69 67"),
                  "banner has no \"Copy\"");
    // The description changed.
    ExpectRefused(WithLine("info 80:", "info 80: 4D 51 2D 37 20 4C 53 55 20 34 2E 32 20 43 6F 6E"),
                  "banner must start with \"MQ-6 LSU 4.2 Controller. \"");
    // A version without its two minor digits.
    ExpectRefused(WithLine("info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 20 00 55 55 55"),
                  "expected \"Version: D.DD\"");
}

TEST_F(ImageScriptTest, AreaAfterTheBannerIsChecked) {
    ExpectRefused(WithLine("info D0:", "info D0: 65 72 73 69 6F 6E 3A 20 31 2E 30 31 55 55 55 55"),
                  "no NUL ending the banner at 0xDC");
    ExpectRefused(WithLine("info E0:", "info E0: 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 00"),
                  "byte 0xEF must be the filler 0x55");
    ExpectRefused(WithLine("info F0:", "info F0: 55 55 55 55 55 55 55 55 55 55 55 55 55 55 55 02"),
                  "unit mode byte 0xFF must be 0");
}

} // namespace
