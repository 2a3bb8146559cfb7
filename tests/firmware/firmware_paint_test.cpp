// The Firmware Update view's text through the recording canvas: the unit's banner lines, the
// version kept across paints, the verdict that offers the update, and the phase text.
#include "display/status_line.h"
#include "firmware/firmware_paint.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Args = std::array<int, 8>;
using Block = std::array<uint8_t, DEVICE_INFO_SIZE>;

constexpr char MATCH_TEXT[] = "The Firmware Versions Match, There is no Need to Update";
constexpr char UPDATE_TEXT[] = "This is a Newer Version of Firmware, Please Update";
constexpr char NEWER_TEXT[] = "The Current MQ-6 Firmware is Newer then this Firmware";

constexpr char DESCRIPTION[] = "MQ-6 Wideband Controller ";
constexpr char NOTICE[] = "Copyright 2009 ";
constexpr char RIGHTS[] = "All Rights Reserved ";

// A data block whose banner (at byte 128) is text, NUL-terminated, in update mode 2.
Block BlockWith(const std::string& banner) {
    Block block{};
    for (size_t i = 0; i < banner.size() && i < 127; ++i)
        block[128 + i] = static_cast<uint8_t>(banner[i]);
    block[255] = 2;
    return block;
}

Block UnitAt(const std::string& version) {
    return BlockWith(std::string(DESCRIPTION) + NOTICE + RIGHTS + "Version: " + version);
}

struct Drawn {
    int x;
    int y;
    std::string text;
    bool operator==(const Drawn&) const = default;
};

void PrintTo(const Drawn& drawn, std::ostream* out) {
    *out << "(" << drawn.x << ", " << drawn.y << ") \"" << drawn.text << "\"";
}

// Centred in the unit group box on StatusFont's 10-pixel characters.
Drawn Centred(int y, const std::string& text) {
    return {60 + (660 - static_cast<int>(text.size()) * 10) / 2, y, text};
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

    // The texts of one paint, the title left out; returns what the paint returned.
    int Paint(int32_t valid, const Block& block, int32_t phase = 0) {
        ClearCanvasCalls();
        Canvas* canvas = CanvasOpenWindow();
        EXPECT_NE(canvas, nullptr);
        CanvasSetFont(canvas, FONT_STATUS);
        int allowed = PaintFirmwareView(canvas, valid, block, phase);
        CanvasCloseWindow(canvas);
        texts.clear();
        for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
            texts.push_back({call.args[0], call.args[1], call.text});
        EXPECT_FALSE(texts.empty());
        if (!texts.empty())
            texts.erase(texts.begin());
        return allowed;
    }
    std::string VerdictDrawn() const {
        for (const Drawn& drawn : texts)
            if (drawn.y == 346)
                return drawn.text;
        return "";
    }

    std::vector<Drawn> texts;
};

TEST_F(FirmwarePaintTest, BannerLinesAndCarriedVersionAreCentredInTheirBoxes) {
    Paint(1, UnitAt("1.01"));
    EXPECT_EQ(texts, (std::vector<Drawn>{
                         Centred(170, "Version: 1.01"),
                         Centred(140, RIGHTS),
                         Centred(120, NOTICE),
                         Centred(94, DESCRIPTION),
                         Centred(313, "Version: 1.01"),
                         Centred(346, MATCH_TEXT),
                     }));
}

TEST_F(FirmwarePaintTest, TitleIsCentredInLargeFontAndTheContextIsLeftAsFound) {
    Paint(1, UnitAt("1.01"));
    auto calls = CanvasCallsOf(CanvasOp::TEXT);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].text, "Firmware Update");
    EXPECT_EQ(calls[0].args, (Args{397 - 165 / 2, 10})) << "15 characters of 11 pixels";
    EXPECT_EQ(calls[0].state.font, FONT_LARGE);
    for (size_t k = 1; k < calls.size(); ++k) {
        EXPECT_EQ(calls[k].state.font, FONT_STATUS);
        EXPECT_EQ(calls[k].state.textColour, TextColour);
        EXPECT_EQ(calls[k].state.backColour, BackColour);
    }
    auto closes = CanvasCallsOf(CanvasOp::CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].state.font, FONT_STATUS);
    EXPECT_EQ(closes[0].state.textColour, Rgb(0, 0, 0));
    EXPECT_EQ(closes[0].state.backColour, Rgb(255, 255, 255));
}

TEST_F(FirmwarePaintTest, LinesWithAMissingBoundAreNotDrawn) {
    // No "Copy": neither the description nor the notice line, but "All" to "Version" is.
    Paint(1, BlockWith(std::string(DESCRIPTION) + RIGHTS + "Version: 1.01"));
    EXPECT_EQ(texts, (std::vector<Drawn>{Centred(170, "Version: 1.01"), Centred(140, RIGHTS),
                                         Centred(313, "Version: 1.01"), Centred(346, MATCH_TEXT)}));

    // Neither "Copy" nor "All": the version line alone.
    Paint(1, BlockWith(std::string(DESCRIPTION) + "Version: 1.00"));
    EXPECT_EQ(texts,
              (std::vector<Drawn>{Centred(170, "Version: 1.00"), Centred(313, "Version: 1.01"),
                                  Centred(346, UPDATE_TEXT)}));
}

TEST_F(FirmwarePaintTest, BoundsInTheWrongOrderDrawNoLineBetweenThem) {
    // "All" after "Version": the rights line would run backwards.
    Paint(1, BlockWith("Version: 1.01 Copy All"));
    for (const Drawn& drawn : texts)
        EXPECT_NE(drawn.y, 140) << drawn.text;
    EXPECT_EQ(texts.front(), Centred(170, "Version: 1.01 Copy All"));
    EXPECT_EQ(VerdictDrawn(), MATCH_TEXT);
}

TEST_F(FirmwarePaintTest, BannerWithoutItsNulEndsBeforeTheUnitModeByte) {
    std::string banner(127 - 13, 'x');
    banner += "Version: 1.00";
    Block block = BlockWith(banner);
    block[255] = 'X';
    Paint(1, block);
    EXPECT_EQ(texts.front(), Centred(170, "Version: 1.00"));
    EXPECT_EQ(VerdictDrawn(), UPDATE_TEXT);
}

TEST_F(FirmwarePaintTest, BlockWithoutVersionKeepsTheLastVersionRead) {
    const Block unversioned = BlockWith(std::string(DESCRIPTION) + NOTICE + RIGHTS);
    // Never read: 0.0, older than anything carried.
    EXPECT_EQ(Paint(1, unversioned), 1);
    EXPECT_EQ(UpdateAllowed.load(), 1);
    EXPECT_EQ(VerdictDrawn(), UPDATE_TEXT);
    for (const Drawn& drawn : texts)
        EXPECT_NE(drawn.y, 170);

    Paint(1, UnitAt("1.02"));
    EXPECT_EQ(Paint(1, unversioned), 0);
    EXPECT_EQ(UpdateAllowed.load(), 0);
    EXPECT_EQ(VerdictDrawn(), NEWER_TEXT);

    Paint(1, UnitAt("1.01"));
    EXPECT_EQ(Paint(1, BlockWith("")), 0) << "an empty banner as well";
    EXPECT_EQ(VerdictDrawn(), MATCH_TEXT);
}

TEST_F(FirmwarePaintTest, NoDataBlockDrawsOnlyTheCarriedVersionAndKeepsTheFlag) {
    EXPECT_EQ(Paint(0, UnitAt("1.00")), 0);
    EXPECT_EQ(texts, (std::vector<Drawn>{Centred(313, "Version: 1.01")}));

    Paint(1, UnitAt("1.00"));
    EXPECT_EQ(Paint(0, UnitAt("1.01")), 1) << "an earlier verdict still allows the update";
    EXPECT_EQ(texts, (std::vector<Drawn>{Centred(313, "Version: 1.01")}));
    EXPECT_EQ(Paint(1, BlockWith("")), 1) << "and the version in the ignored block was not read";
}

TEST_F(FirmwarePaintTest, PhaseTextStandsOnTheLineAboveTheProgressBar) {
    const Block block = UnitAt("1.00");
    struct Case {
        int phase;
        const char* text;
    };
    for (Case c : {Case{1, "Programming..."}, Case{2, "Verifying..."}, Case{3, "Finishing..."}}) {
        Paint(1, block, c.phase);
        EXPECT_EQ(texts.back(), (Drawn{22, 496 - 20, c.text})) << c.phase;
    }
    for (int phase : {0, 4, -1}) {
        Paint(1, block, phase);
        EXPECT_EQ(texts.back(), Centred(346, UPDATE_TEXT)) << phase;
    }
}

} // namespace
