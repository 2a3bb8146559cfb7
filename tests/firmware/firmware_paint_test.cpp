// The Firmware Update view's text through the recording canvas: the unit's banner lines, the
// version verdict that offers the update, the version kept across paints, and the phase text.
#include "display/status_line.h"
#include "firmware/firmware_paint.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Block = std::array<uint8_t, DEVICE_INFO_SIZE>;

constexpr char MATCH[] = "The Firmware Versions Match, There is no Need to Update";
constexpr char UPDATE[] = "This is a Newer Version of Firmware, Please Update";
constexpr char NEWER[] = "The Current MQ-6 Firmware is Newer then this Firmware";
constexpr char HEAD[] = "MQ-6 Wideband Controller ";
constexpr char NOTICE[] = "Copyright 2009 ";
constexpr char RIGHTS[] = "All Rights Reserved ";

// A data block whose banner (at byte 128) is text, NUL-terminated, in setup mode 2.
Block BlockWith(const std::string& banner) {
    Block block{};
    std::copy(banner.begin(), banner.begin() + std::min<long>(long(banner.size()), 127),
              block.begin() + 128);
    block[255] = 2;
    return block;
}

Block UnitAt(const std::string& version) {
    return BlockWith(std::string(HEAD) + NOTICE + RIGHTS + "Version: " + version);
}

// "x,y text", the text centred in the unit group box on 10-pixel characters.
std::string Centred(int y, const std::string& text) {
    return std::to_string(60 + (660 - int(text.size()) * 10) / 2) + "," + std::to_string(y) + " " +
           text;
}

class FirmwarePaintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFirmwareView();
        LineHeight = 20;
        CharWidth = 10;
        ClientWidth = 794;
    }
    void TearDown() override {
        ResetFirmwareView();
    }
    // Paints; texts holds what was drawn after the title. Returns what the paint returned.
    int Paint(int32_t valid, const Block& block, int32_t phase = 0) {
        ClearCanvasCalls();
        Canvas* canvas = CanvasOpenWindow();
        CanvasSetFont(canvas, FONT_STATUS);
        int allowed = PaintFirmwareView(canvas, valid, block, phase);
        CanvasCloseWindow(canvas);
        texts.clear();
        calls = CanvasCallsOf(CanvasOp::TEXT);
        for (size_t k = 1; k < calls.size(); ++k)
            texts.push_back(std::to_string(calls[k].args[0]) + "," +
                            std::to_string(calls[k].args[1]) + " " + calls[k].text);
        return allowed;
    }
    std::vector<CanvasCall> calls;
    std::vector<std::string> texts;
};

TEST_F(FirmwarePaintTest, BannerLinesTitleAndColours) {
    Paint(1, UnitAt("1.01"));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         Centred(170, "Version: 1.01"), Centred(140, RIGHTS), Centred(120, NOTICE),
                         Centred(94, HEAD), Centred(313, "Version: 1.01"), Centred(346, MATCH)}));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].text, "Firmware Update");
    EXPECT_EQ(calls[0].args[0], 397 - 165 / 2) << "15 characters of 11 pixels";
    EXPECT_EQ(calls[0].args[1], 10);
    EXPECT_EQ(calls[0].state.font, FONT_LARGE);
    for (const CanvasCall& call : calls) {
        EXPECT_EQ(call.state.textColour, Rgb(20, 20, 20));
        EXPECT_EQ(call.state.backColour, Rgb(220, 220, 220));
    }
    const CanvasCall close = CanvasCallsOf(CanvasOp::CLOSE).at(0);
    EXPECT_EQ(close.state.font, FONT_STATUS);
    EXPECT_EQ(close.state.textColour, Rgb(0, 0, 0));
    EXPECT_EQ(close.state.backColour, Rgb(255, 255, 255));
}

TEST_F(FirmwarePaintTest, VerdictComparesMajorFirstThenMinor) {
    const struct {
        const char* banner;
        const char* verdict;
        int allowed;
    } rows[] = {
        {"Version: 1.01", MATCH, 0},      {"Version: 1.00", UPDATE, 1},
        {"Version: 0.99", UPDATE, 1},     {"Version: 1.02", NEWER, 0},
        {"Version: 2.00", NEWER, 0},      {"Version 2.00", UPDATE, 1},
        {"no version at all", UPDATE, 1}, // never read: 0.0
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.banner);
        ResetFirmwareView();
        EXPECT_EQ(Paint(1, BlockWith(row.banner)), row.allowed);
        EXPECT_EQ(UpdateAllowed.load(), row.allowed);
        EXPECT_EQ(texts.back(), Centred(346, row.verdict));
    }
}

TEST_F(FirmwarePaintTest, LinesWithAMissingOrMisplacedBoundAreNotDrawn) {
    const std::string tail = std::string(127 - 13, 'x') + "Version: 1.01";
    const struct {
        std::string banner;
        std::vector<std::string> lines;
    } rows[] = {
        {std::string(HEAD) + RIGHTS + "Version: 1.01",
         {Centred(170, "Version: 1.01"), Centred(140, RIGHTS)}},
        {std::string(HEAD) + "Version: 1.01", {Centred(170, "Version: 1.01")}},
        {"Version: 1.01 All", {Centred(170, "Version: 1.01 All")}}, // bounds the wrong way
        {tail, {Centred(170, "Version: 1.01")}}, // no NUL: the text ends before byte 255
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.banner);
        Block block = BlockWith(row.banner);
        block[255] = 'X';
        Paint(1, block);
        std::vector<std::string> lines = row.lines;
        lines.insert(lines.end(), {Centred(313, "Version: 1.01"), Centred(346, MATCH)});
        EXPECT_EQ(texts, lines);
    }
}

TEST_F(FirmwarePaintTest, VersionAndFlagAreKeptWhenThereIsNothingToRead) {
    Paint(1, UnitAt("1.02"));
    EXPECT_EQ(Paint(1, BlockWith(HEAD)), 0) << "a block without a version keeps 1.02";
    EXPECT_EQ(texts.back(), Centred(346, NEWER));
    Paint(1, UnitAt("1.00"));
    EXPECT_EQ(Paint(0, UnitAt("1.01")), 1) << "no data block: no verdict, the flag stays";
    EXPECT_EQ(texts, (std::vector<std::string>{Centred(313, "Version: 1.01")}));
    EXPECT_EQ(Paint(1, BlockWith("")), 1) << "and the ignored block's version was not read";
}

TEST_F(FirmwarePaintTest, PhaseTextStandsOnTheLineAboveTheProgressBar) {
    const char* phases[] = {nullptr, "Programming...", "Verifying...", "Finishing...", nullptr};
    for (int phase = -1; phase <= 4; ++phase) {
        SCOPED_TRACE(phase);
        Paint(1, UnitAt("1.00"), phase);
        const char* text = phase >= 0 && phase <= 4 ? phases[phase] : nullptr;
        EXPECT_EQ(texts.back(), text ? "22,476 " + std::string(text) : Centred(346, UPDATE));
    }
}

} // namespace
