// The moving parts of the AFR and Lambda view through the recording canvas: the needle, the
// block-digit readouts with their redraw of changed digits only, and the activity mark, also
// as live frames drive them.
#include "display/gauges.h"
#include "display/live_decode.h"
#include "display/status_line.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Args = std::array<int, 8>;

constexpr Colour NEEDLE = Rgb(210, 20, 10);
constexpr Colour FACE = Rgb(235, 235, 235);
constexpr Colour IDLE_SPOKE = Rgb(250, 250, 250);
constexpr Colour VIEW_TEXT = Rgb(32, 32, 32);

// The lines drawn in one pen colour, as from x, from y, to x, to y.
std::vector<Args> LinesIn(Colour colour) {
    std::vector<Args> lines;
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
        if (line.state.penColour == colour)
            lines.push_back(line.args);
    return lines;
}

// Reads the glyphs drawn between two x positions back as text, left to right: a digit per
// glyph, "." for the point, "?" for anything that is no glyph or not on the readout rows.
std::string ReadGlyphs(int left, int right) {
    std::map<int, std::vector<CanvasCall>> columns;
    for (const CanvasCall& row : CanvasCallsOf(CanvasOp::BLOCK_TEXT))
        if (row.args[0] >= left && row.args[0] < right)
            columns[row.args[0]].push_back(row);
    std::string shown;
    for (const auto& [x, rows] : columns) {
        char glyph = '?';
        for (int g = 0; g < 11 && rows.size() == GLYPH_ROWS; g++) {
            bool same = true;
            for (int r = 0; r < GLYPH_ROWS; r++) {
                const DigitGlyph& pattern = DigitGlyphs[g];
                same = same && rows[r].args[1] == 434 + 12 * r &&
                       rows[r].text == std::string(pattern.rows[r].data(), pattern.width);
            }
            if (same)
                glyph = g == GLYPH_POINT ? '.' : static_cast<char>('0' + g);
        }
        shown += glyph;
    }
    return shown;
}

std::string AfrShown() {
    return ReadGlyphs(0, 400);
}

std::string LambdaShown() {
    return ReadGlyphs(400, 800);
}

class LiveGaugeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearCanvasCalls();
        ResetGauges();
        ResetLiveState();
        ResetSettings();
        canvas = CanvasOpenWindow();
        ASSERT_NE(canvas, nullptr);
    }
    void TearDown() override {
        CanvasCloseWindow(canvas);
        LiveFrameHook = nullptr;
        ResetLiveState();
        ResetSettings();
    }

    Args NeedleAt(int32_t lambdaX100) {
        ResetGauges();
        ClearCanvasCalls();
        canvas = CanvasOpenWindow();
        LambdaX100 = lambdaX100;
        DrawNeedle(canvas);
        auto needle = LinesIn(NEEDLE);
        EXPECT_EQ(needle.size(), 1u);
        return needle.empty() ? Args{} : needle[0];
    }
    std::string AfrFor(int32_t afrX10) {
        ClearCanvasCalls();
        canvas = CanvasOpenWindow();
        AfrX10 = afrX10;
        DrawAfrReadout(canvas, 1);
        return AfrShown();
    }
    std::string LambdaFor(int32_t lambdaX100) {
        ClearCanvasCalls();
        canvas = CanvasOpenWindow();
        LambdaX100 = lambdaX100;
        DrawLambdaReadout(canvas, 1);
        return LambdaShown();
    }

    Canvas* canvas = nullptr;
};

TEST_F(LiveGaugeTest, NeedleTipsAndTheirClampAtTheScaleEnds) {
    EXPECT_EQ(NeedleAt(100), (Args{396, 250, 396, 109})) << "1.00 points straight up";
    EXPECT_EQ(NeedleAt(68), (Args{396, 250, 298, 351})) << "angle 44";
    EXPECT_EQ(NeedleAt(0), (Args{396, 250, 298, 351}));
    EXPECT_EQ(NeedleAt(132), (Args{396, 250, 493, 351})) << "angle 316";
    EXPECT_EQ(NeedleAt(500), (Args{396, 250, 493, 351}));
    EXPECT_EQ(NeedleAt(90), (Args{396, 250, 300, 146})) << "angle 137.5";
    // The value is taken as unsigned: a negative one lands at the lean end.
    EXPECT_EQ(NeedleAt(-5), (Args{396, 250, 493, 351}));
}

TEST_F(LiveGaugeTest, NeedleIsErasedWhereItWasDrawnLast) {
    LambdaX100 = 100;
    DrawNeedle(canvas);
    LambdaX100 = 90;
    DrawNeedle(canvas);
    auto erased = LinesIn(FACE);
    ASSERT_EQ(erased.size(), 2u);
    EXPECT_EQ(erased[0], (Args{396, 250, 396, 250})) << "nothing drawn yet: the hub itself";
    EXPECT_EQ(erased[1], (Args{396, 250, 396, 109}));
    auto drawn = CanvasCallsOf(CanvasOp::LINE_TO);
    for (const CanvasCall& line : drawn)
        EXPECT_EQ(line.state.penWidth, 5);

    auto hubs = CanvasCallsOf(CanvasOp::ELLIPSE);
    ASSERT_EQ(hubs.size(), 2u);
    EXPECT_EQ(hubs[1].args, (Args{391, 245, 401, 255}));
    EXPECT_EQ(hubs[1].state.brushColour, NEEDLE);
    EXPECT_EQ(hubs[1].state.penColour, NEEDLE);
    EXPECT_EQ(CanvasCalls.back().op, CanvasOp::RESTORE);
}

TEST_F(LiveGaugeTest, EraseGoesOnlyWhereTheNeedleWas) {
    // The display thread moves the needle between 1.00 and 0.68 while the paint handler
    // draws it too; each erases the tip as last drawn, by whichever of the two.
    std::atomic<bool> done{false};
    std::thread live([&] {
        Canvas* own = CanvasOpenWindow();
        QuietCanvas(own);
        for (int i = 0; !done.load(); ++i) {
            LambdaX100 = i % 2 == 0 ? 100 : 68;
            DrawNeedle(own);
        }
        CanvasCloseWindow(own);
    });
    for (int paint = 0; paint < 20000; ++paint)
        DrawNeedle(canvas);
    done.store(true);
    live.join();
    for (const Args& erase : LinesIn(FACE)) {
        std::pair<int, int> to{erase[2], erase[3]};
        ASSERT_TRUE(to == std::make_pair(396, 250) || to == std::make_pair(396, 109) ||
                    to == std::make_pair(298, 351))
            << "erased towards (" << to.first << ", " << to.second << ")";
    }
}

TEST_F(LiveGaugeTest, ReadoutsShowTheirValuesWithLeadingZerosAndSaturate) {
    EXPECT_EQ(AfrFor(147), "14.7");
    EXPECT_EQ(AfrFor(1470), "99.9");
    EXPECT_EQ(AfrFor(5), "00.5");
    EXPECT_EQ(AfrFor(999), "99.9");
    EXPECT_EQ(AfrFor(-1), "99.9");
    EXPECT_EQ(LambdaFor(100), "1.00");
    EXPECT_EQ(LambdaFor(7), "0.07");
    EXPECT_EQ(LambdaFor(1234), "9.99");
}

TEST_F(LiveGaugeTest, ReadoutGlyphsSitOnTheirColumns) {
    AfrX10 = 147;
    LambdaX100 = 100;
    DrawAfrReadout(canvas, 1);
    DrawLambdaReadout(canvas, 1);
    std::map<int, int> rowsAt;
    for (const CanvasCall& row : CanvasCallsOf(CanvasOp::BLOCK_TEXT))
        rowsAt[row.args[0]]++;
    EXPECT_EQ(rowsAt, (std::map<int, int>{{80, 7},
                                          {160, 7},
                                          {220, 7},
                                          {260, 7}, // tens, ones, point, tenths
                                          {480, 7},
                                          {540, 7},
                                          {580, 7},
                                          {660, 7}}))
        << "ones, point, tenths, hundredths";
}

TEST_F(LiveGaugeTest, GlyphCellsAreCodePage437Blocks) {
    auto row = [](int glyph, int r) {
        return std::string(DigitGlyphs[glyph].rows[r].data(), DigitGlyphs[glyph].width);
    };
    EXPECT_EQ(row(7, 1), "\xDF    \xDB\xDB");
    EXPECT_EQ(row(1, 6), "  \xDB\xDB\xDB\xDB ");
    EXPECT_EQ(row(4, 4), "    \xDB\xDB ");
    EXPECT_EQ(row(GLYPH_POINT, 0), "    ");
    EXPECT_EQ(row(GLYPH_POINT, 6), " \xDB\xDB ");
}

TEST_F(LiveGaugeTest, OnlyChangedDigitsAreRedrawn) {
    AfrX10 = 147;
    DrawAfrReadout(canvas, 1);
    ClearCanvasCalls();
    canvas = CanvasOpenWindow();
    AfrX10 = 148;
    DrawAfrReadout(canvas, 0);
    EXPECT_EQ(AfrShown(), "8") << "the tenths alone, and no point";
    EXPECT_EQ(CanvasCallsOf(CanvasOp::BLOCK_TEXT)[0].args[0], 260);

    ClearCanvasCalls();
    canvas = CanvasOpenWindow();
    DrawAfrReadout(canvas, 0);
    EXPECT_TRUE(CanvasCallsOf(CanvasOp::BLOCK_TEXT).empty()) << "unchanged: nothing drawn";

    LambdaX100 = 100;
    DrawLambdaReadout(canvas, 1);
    ClearCanvasCalls();
    canvas = CanvasOpenWindow();
    LambdaX100 = 200;
    DrawLambdaReadout(canvas, 0);
    EXPECT_EQ(LambdaShown(), "2") << "the ones alone: the point is drawn only in full";
}

TEST_F(LiveGaugeTest, SpokesStartOneDegreeFromStraightDown) {
    EXPECT_EQ(SpokeTable[0].outerX, 739);
    EXPECT_EQ(SpokeTable[0].outerY, 57);
    EXPECT_EQ(SpokeTable[0].innerX, 739);
    EXPECT_EQ(SpokeTable[0].innerY, 47);
    EXPECT_EQ(SpokeTable[3].outerX, 722) << "angle 91: left of the centre";
    EXPECT_EQ(SpokeTable[3].innerY, 39);

    DrawSpokes(canvas);
    auto idle = LinesIn(IDLE_SPOKE);
    ASSERT_EQ(idle.size(), 12u);
    EXPECT_EQ(idle[0], (Args{739, 47, 739, 57})) << "from the inner point out";
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
        EXPECT_EQ(line.state.penWidth, 2);
}

TEST_F(LiveGaugeTest, ActivityMarkTurnsOnEveryFourthFrameStartingWithTheFirst) {
    std::vector<size_t> darkAfter;
    for (int frame = 1; frame <= 9; frame++) {
        AdvanceActivityIndicator();
        darkAfter.push_back(LinesIn(TextColour).size());
    }
    EXPECT_EQ(darkAfter, (std::vector<size_t>{1, 1, 1, 1, 2, 2, 2, 2, 3}));
    EXPECT_EQ(CanvasCallsOf(CanvasOp::OPEN).size(), 1u + 3u) << "its own context per move";
    EXPECT_EQ(CanvasCallsOf(CanvasOp::CLOSE).size(), 3u);

    // Each move redraws the current spoke idle and darkens the next one.
    auto idle = LinesIn(IDLE_SPOKE);
    auto dark = LinesIn(TextColour);
    const Spoke& first = SpokeTable[0];
    const Spoke& second = SpokeTable[1];
    EXPECT_EQ(idle[0], (Args{first.innerX, first.innerY, first.outerX, first.outerY}));
    EXPECT_EQ(dark[0], (Args{second.innerX, second.innerY, second.outerX, second.outerY}));

    for (int frame = 10; frame <= 45; frame++)
        AdvanceActivityIndicator();
    dark = LinesIn(TextColour);
    ASSERT_EQ(dark.size(), 12u);
    EXPECT_EQ(dark[11], (Args{first.innerX, first.innerY, first.outerX, first.outerY}))
        << "the twelfth move comes back to the first spoke";
}

// A live frame: "W", an unused byte, the raw lambda, the factor 14.70, and its sum.
void StoreFrame(uint8_t rawHigh, uint8_t rawMiddle, uint8_t rawLow, bool goodSum) {
    uint8_t bytes[7] = {0x57, 0x00, rawHigh, rawMiddle, rawLow, 0x05, 0xBE};
    unsigned sum = 0;
    for (uint8_t byte : bytes)
        sum += byte;
    if (!goodSum)
        sum ^= 1;
    for (uint8_t byte : bytes)
        RxStoreByte(byte);
    RxStoreByte(static_cast<uint8_t>(sum >> 8));
    RxStoreByte(static_cast<uint8_t>(sum));
}

TEST_F(LiveGaugeTest, LiveFramesDriveMarkReadoutsAndNeedle) {
    ResetLinkState();
    ResponseRate = 100;
    LiveFrameHook = UpdateLiveGauges;
    ClearCanvasCalls();

    StoreFrame(0x7F, 0xFF, 0x00, true); // lambda 1.67, AFR 24.5
    ASSERT_EQ(DecodeLiveFrame(), 0);
    EXPECT_EQ(LinesIn(TextColour).size(), 1u) << "the first good frame moves the mark";
    EXPECT_EQ(AfrShown(), "245");
    EXPECT_EQ(LambdaShown(), "167");
    for (const CanvasCall& row : CanvasCallsOf(CanvasOp::BLOCK_TEXT)) {
        EXPECT_EQ(row.state.font, FONT_OEM_FIXED);
        EXPECT_EQ(row.state.textColour, VIEW_TEXT);
        EXPECT_EQ(row.state.backColour, BackColour);
    }
    EXPECT_EQ(LinesIn(NEEDLE), (std::vector<Args>{{396, 250, 493, 351}})) << "clamped at 1.32";
    EXPECT_EQ(CanvasCallsOf(CanvasOp::OPEN).size(), CanvasCallsOf(CanvasOp::CLOSE).size());

    // Frames with a bad sum neither move the mark nor count towards its next move.
    for (int frame = 0; frame < 3; frame++) {
        StoreFrame(0x40, 0x00, 0x00, false);
        ASSERT_EQ(DecodeLiveFrame(), 3);
    }
    for (int frame = 0; frame < 3; frame++) {
        StoreFrame(0x7F, 0xFF, 0x00, true);
        ASSERT_EQ(DecodeLiveFrame(), 0);
    }
    EXPECT_EQ(LinesIn(TextColour).size(), 1u);
    StoreFrame(0x7F, 0xFF, 0x00, true);
    ASSERT_EQ(DecodeLiveFrame(), 0);
    EXPECT_EQ(LinesIn(TextColour).size(), 2u) << "the fifth good frame moves it again";
    EXPECT_EQ(AfrShown(), "245") << "unchanged digits were not drawn again";
}

TEST_F(LiveGaugeTest, WholeViewPaintsSpokesDialReadoutsThenNeedle) {
    ClientWidth = 794;
    CharWidth = 10;
    AfrX10 = 147;
    LambdaX100 = 90;
    PaintAfrLambdaView(canvas);
    size_t lastSpoke = 0, face = 0, firstRow = 0, lastRow = 0, needle = 0;
    for (size_t i = 0; i < CanvasCalls.size(); i++) {
        const CanvasCall& call = CanvasCalls[i];
        if (call.op == CanvasOp::LINE_TO && call.state.penColour == IDLE_SPOKE)
            lastSpoke = i;
        if (call.op == CanvasOp::ELLIPSE && face == 0)
            face = i;
        if (call.op == CanvasOp::BLOCK_TEXT) {
            firstRow = firstRow == 0 ? i : firstRow;
            lastRow = i;
        }
        if (call.op == CanvasOp::LINE_TO && call.state.penColour == NEEDLE)
            needle = i;
    }
    EXPECT_LT(lastSpoke, face);
    EXPECT_LT(face, firstRow);
    EXPECT_LT(lastRow, needle);
    EXPECT_EQ(AfrShown(), "14.7");
    EXPECT_EQ(LambdaShown(), "0.90");
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT)[0].state.textColour, VIEW_TEXT) << "the title";
    EXPECT_EQ(CanvasSetTextColour(canvas, Rgb(1, 2, 3)), TextColour) << "given back at the end";
}

} // namespace
