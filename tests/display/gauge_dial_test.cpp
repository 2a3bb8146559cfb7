// The static dial through the recording canvas: face, coloured arcs, target band, ticks,
// labels and captions at the pixels the view is laid out on.
#include "display/gauges.h"
#include "display/status_line.h"
#include "settings/config.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Args = std::array<int, 8>;

constexpr Colour FACE = Rgb(235, 235, 235);
constexpr Colour OUTLINE = Rgb(10, 10, 10);
constexpr Colour BAND = Rgb(217, 72, 0);
constexpr Args ARC_BOX = {241, 95, 551, 405};

class DialTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearCanvasCalls();
        ResetGauges();
        ResetSettings();
        ClientWidth = 794;
        CharWidth = 10;
        canvas = CanvasOpenWindow();
        ASSERT_NE(canvas, nullptr);
    }
    void TearDown() override {
        CanvasCloseWindow(canvas);
        ResetSettings();
    }

    // The arcs drawn with the 10-pixel pen: rich, lean, stoichiometric mark, target band.
    std::vector<CanvasCall> WideArcs() {
        std::vector<CanvasCall> arcs;
        for (const CanvasCall& arc : CanvasCallsOf(CanvasOp::ARC))
            if (arc.state.penWidth == 10)
                arcs.push_back(arc);
        return arcs;
    }
    Args Band() {
        DrawDial(canvas);
        auto arcs = WideArcs();
        EXPECT_EQ(arcs.size(), 4u);
        EXPECT_EQ(arcs.back().state.penColour, BAND);
        return arcs.back().args;
    }
    static Args ArcFrom(int startX, int startY, int endX, int endY) {
        return {ARC_BOX[0], ARC_BOX[1], ARC_BOX[2], ARC_BOX[3], startX, startY, endX, endY};
    }

    Canvas* canvas = nullptr;
};

TEST_F(DialTest, FaceArcsAndOutline) {
    DrawDial(canvas);
    auto ellipses = CanvasCallsOf(CanvasOp::ELLIPSE);
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_EQ(ellipses[0].args, (Args{236, 90, 556, 410}));
    EXPECT_EQ(ellipses[0].state.brushColour, FACE);
    EXPECT_EQ(ellipses[0].state.penWidth, 2);
    EXPECT_EQ(ellipses[0].state.penColour, OUTLINE);

    auto arcs = WideArcs();
    ASSERT_EQ(arcs.size(), 4u);
    EXPECT_EQ(arcs[0].args, ArcFrom(396, 95, 286, 359)) << "rich arc, angle 180 to 45";
    EXPECT_EQ(arcs[0].state.penColour, Rgb(235, 230, 80));
    EXPECT_EQ(arcs[1].args, ArcFrom(505, 359, 396, 95)) << "lean arc, angle 315 to 180";
    EXPECT_EQ(arcs[1].state.penColour, Rgb(70, 104, 245));
    EXPECT_EQ(arcs[2].args, ArcFrom(409, 95, 382, 95)) << "stoichiometric mark, 185 to 175";
    EXPECT_EQ(arcs[2].state.penColour, Rgb(20, 220, 10));

    // The outline is a whole circle: start and end at angle 0 (sin of 2 pi is a hair below
    // zero, so x truncates to 395).
    auto all = CanvasCallsOf(CanvasOp::ARC);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[4].args, (Args{236, 90, 556, 410, 395, 410, 395, 410}));
    EXPECT_EQ(all[4].state.penWidth, 2);
    EXPECT_EQ(all[4].state.penColour, OUTLINE);

    ASSERT_FALSE(CanvasCalls.empty());
    EXPECT_EQ(CanvasCalls.back().op, CanvasOp::RESTORE) << "pens and brushes are given back";
}

TEST_F(DialTest, DefaultTargetBandRunsFrom129DownTo120AndAHalf) {
    EXPECT_EQ(Band(), ArcFrom(275, 152, 262, 171));
}

TEST_F(DialTest, TargetBandEndsAreSortedNotRefused) {
    TargetLow = 0.90;
    TargetHigh = 0.85;
    EXPECT_EQ(Band(), ArcFrom(291, 135, 256, 181)) << "angle 137.5 down to 116.25";
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.90);
    EXPECT_DOUBLE_EQ(TargetHigh.load(), 0.85);
}

TEST_F(DialTest, SingleTargetValueWidensToABandOfOneHundredth) {
    TargetLow = 0.95;
    TargetHigh = 0.95;
    EXPECT_EQ(Band(), ArcFrom(345, 103, 334, 107)) << "0.955 down to 0.945";
}

TEST_F(DialTest, TargetOutsideTheScaleIsClampedAndStaysClamped) {
    TargetLow = 0.5;
    TargetHigh = 2.0;
    EXPECT_EQ(Band(), ArcFrom(503, 361, 288, 361)) << "the whole scale, 316 down to 44";
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.68);
    EXPECT_DOUBLE_EQ(TargetHigh.load(), 1.32);
}

TEST_F(DialTest, TargetThatIsNotANumberGoesToTheLowEnd) {
    TargetLow = std::numeric_limits<double>::quiet_NaN();
    TargetHigh = 0.70;
    EXPECT_EQ(Band(), ArcFrom(273, 344, 288, 361)) << "0.70 down to 0.68";
    EXPECT_DOUBLE_EQ(TargetLow.load(), 0.68);
}

TEST_F(DialTest, SeventeenMajorSixteenMidAndSixtyFourMinorTicks) {
    DrawDial(canvas);
    std::vector<CanvasCall> major, mid, minor;
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO)) {
        if (line.state.penWidth == 3 && line.state.penColour == Rgb(0, 0, 0))
            major.push_back(line);
        else if (line.state.penWidth == 2 && line.state.penColour == Rgb(0, 0, 0))
            mid.push_back(line);
        else if (line.state.penWidth == 1 && line.state.penColour == OUTLINE)
            minor.push_back(line);
    }
    ASSERT_EQ(major.size(), 17u);
    ASSERT_EQ(mid.size(), 16u);
    ASSERT_EQ(minor.size(), 64u);
    // From the inner radius out to the rim.
    EXPECT_EQ(major[0].args, (Args{294, 355, 284, 365})) << "angle 44, radius 146 to 160";
    EXPECT_EQ(major[8].args, (Args{396, 104, 396, 90})) << "angle 180: lambda 1.00";
    EXPECT_EQ(major[16].args, (Args{497, 355, 507, 365})) << "angle 316";
    EXPECT_EQ(mid[0].args, (Args{278, 340, 269, 347})) << "angle 52.5, radius 148";
    EXPECT_EQ(mid[15].args, (Args{513, 340, 522, 347})) << "angle 307.5";
    EXPECT_EQ(minor[63].args, (Args{507, 349, 515, 356})) << "angle 311.75, radius 150";
}

TEST_F(DialTest, LabelsAreCentredAboveTheirScalePoints) {
    CanvasSetFont(canvas, FONT_STATUS);
    DrawDial(canvas);
    std::vector<CanvasCall> labels;
    for (const CanvasCall& text : CanvasCallsOf(CanvasOp::TEXT))
        if (text.state.align == ALIGN_CENTRE_TOP)
            labels.push_back(text);
    ASSERT_EQ(labels.size(), 17u);
    const char* expected[] = {"0.68", "0.72", "0.76", "0.80", "0.84", "0.88",
                              "0.92", "0.96", "1.00", "1.04", "1.08", "1.12",
                              "1.16", "1.20", "1.24", "1.28", "1.32"};
    for (size_t k = 0; k < labels.size(); k++)
        EXPECT_EQ(labels[k].text, expected[k]) << "label " << k;
    EXPECT_EQ(labels[0].args[0], 265);
    EXPECT_EQ(labels[0].args[1], 379);
    EXPECT_EQ(labels[8].args[0], 396);
    EXPECT_EQ(labels[8].args[1], 56);
    EXPECT_EQ(labels[16].args[0], 526);
    EXPECT_EQ(labels[16].args[1], 379);
    EXPECT_EQ(labels[8].state.font, FONT_STATUS) << "labels use the font the caller left";
    EXPECT_EQ(CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP), ALIGN_LEFT_TOP)
        << "the alignment is put back";
}

TEST_F(DialTest, TitleAndCaptions) {
    CanvasSetFont(canvas, FONT_STATUS);
    CanvasSetBackColour(canvas, BackColour);
    DrawDial(canvas);
    std::vector<CanvasCall> texts;
    for (const CanvasCall& text : CanvasCallsOf(CanvasOp::TEXT))
        if (text.state.align == ALIGN_LEFT_TOP)
            texts.push_back(text);
    ASSERT_EQ(texts.size(), 4u);

    // Centred on the client width with the large font: 794 / 2 - (14 * 11) / 2.
    EXPECT_EQ(texts[0].text, "AFR and Lambda");
    EXPECT_EQ(texts[0].args[0], 320);
    EXPECT_EQ(texts[0].args[1], 10);
    EXPECT_EQ(texts[0].state.font, FONT_LARGE);

    // Centred by the status font's character width on the face.
    EXPECT_EQ(texts[1].text, "LAMBDA");
    EXPECT_EQ(texts[1].args[0], 396 - 3 * 10);
    EXPECT_EQ(texts[1].args[1], 346);
    EXPECT_EQ(texts[1].state.font, FONT_STATUS);
    EXPECT_EQ(texts[1].state.backColour, FACE);

    EXPECT_EQ(texts[2].text, "AFR");
    EXPECT_EQ(texts[2].args[0], 110);
    EXPECT_EQ(texts[2].args[1], 408);
    EXPECT_EQ(texts[2].state.backColour, BackColour);
    EXPECT_EQ(texts[3].text, "Lambda");
    EXPECT_EQ(texts[3].args[0], 646);
    EXPECT_EQ(texts[3].args[1], 408);
    EXPECT_EQ(texts[3].state.backColour, BackColour);
}

} // namespace
