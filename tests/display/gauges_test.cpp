// The AFR and Lambda view through the recording canvas: the dial at the pixels it is laid out
// on, the needle, the block-digit readouts with their redraw of changed digits only, and the
// activity mark, also as live frames drive them.
#include "display/gauges.h"
#include "display/live_decode.h"
#include "display/status_line.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Args = std::array<int, 8>;

constexpr Colour FACE = Rgb(235, 235, 235);
constexpr Colour OUTLINE = Rgb(10, 10, 10);
constexpr Colour BLACK = Rgb(0, 0, 0);
constexpr Colour BAND = Rgb(217, 72, 0);
constexpr Colour NEEDLE = Rgb(210, 20, 10);
constexpr Colour IDLE_SPOKE = Rgb(250, 250, 250);
constexpr Colour VIEW_TEXT = Rgb(32, 32, 32);
constexpr std::array<int, 4> AFR_COLUMNS = {80, 160, 220, 260}; // tens, ones, point, tenths
constexpr std::array<int, 4> LAMBDA_COLUMNS = {480, 540, 580,
                                               660}; // ones, point, tenths, hundredths

// The glyphs 0 to 9 and the point, row by row: # full block, ^ upper half block, . blank.
const char* const GLYPH_TABLE[7] = {
    "####### ..###.. ####### ####### ##..... ####### ####### ####### ####### ####### ....",
    "##...## ...##.. .....## .....## ##..##. ##..... ##..... ^....## ##...## ##...## ....",
    "##...## ...##.. .....## .....## ##..##. ##..... ##..... .....## ##...## ##...## ....",
    "##...## ...##.. ####### .###### ####### ####### ####### .....## ####### ####### ....",
    "##...## ...##.. ##..... .....## ....##. .....## ##...## .....## ##...## .....## ....",
    "##...## ...##.. ##..... .....## ....##. .....## ##...## .....## ##...## .....## ....",
    "####### ..####. ####### ####### ....##. ####### ####### .....## ####### .....## .##.",
};

std::string GlyphRow(int glyph, int row) {
    std::istringstream cells(GLYPH_TABLE[row]);
    std::string cell;
    for (int g = 0; g <= glyph; g++)
        cells >> cell;
    for (char& c : cell)
        c = c == '#' ? '\xDB' : c == '^' ? '\xDF' : ' ';
    return cell;
}

// Reads the glyphs drawn on the given columns back: a digit or "." per glyph, "-" for a
// column left alone, "?" for rows that are no glyph or lie off the columns and readout rows.
std::string Shown(const std::array<int, 4>& columns) {
    std::string shown;
    size_t onColumns = 0;
    auto rows = CanvasCallsOf(CanvasOp::BLOCK_TEXT);
    for (int x : columns) {
        std::vector<CanvasCall> at;
        for (const CanvasCall& row : rows)
            if (row.args[0] == x)
                at.push_back(row);
        onColumns += at.size();
        char glyph = at.empty() ? '-' : '?';
        for (int g = 0; g < 11 && at.size() == 7; g++) {
            bool same = true;
            for (int r = 0; r < 7; r++)
                same = same && at[r].args[1] == 434 + 12 * r && at[r].text == GlyphRow(g, r);
            if (same)
                glyph = g == 10 ? '.' : static_cast<char>('0' + g);
        }
        shown += glyph;
    }
    size_t onHalf = 0; // the AFR readout lies left of x 400, the lambda readout right of it
    for (const CanvasCall& row : rows)
        onHalf += (row.args[0] < 400) == (columns[0] < 400) ? 1 : 0;
    return onHalf == onColumns ? shown : shown + "?";
}

// The lines drawn in one pen colour, as from x, from y, to x, to y.
std::vector<Args> LinesIn(Colour colour) {
    std::vector<Args> lines;
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
        if (line.state.penColour == colour)
            lines.push_back(line.args);
    return lines;
}

class GaugeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetGauges();
        ResetLiveState();
        ResetSettings();
        ClientWidth = 794;
        CharWidth = 10;
        Fresh();
    }
    void TearDown() override {
        ClearCanvasCalls();
        LiveFrameHook = nullptr;
        ResetLiveState();
        ResetSettings();
    }
    void Fresh() {
        ClearCanvasCalls();
        canvas = CanvasOpenWindow();
        ASSERT_NE(canvas, nullptr);
    }

    Canvas* canvas = nullptr;
};
class LiveGaugeTest : public GaugeTest {};

TEST_F(GaugeTest, DialShapesAndTexts) {
    struct Shape {
        const char* what;
        CanvasOp op;
        int width;
        Colour colour;
        size_t count, nth;
        Args args;
    };
    const Shape shapes[] = {
        {"face", CanvasOp::ELLIPSE, 2, FACE, 1, 0, {236, 90, 556, 410}},
        {"rich arc 180 to 45",
         CanvasOp::ARC,
         10,
         Rgb(235, 230, 80),
         1,
         0,
         {241, 95, 551, 405, 396, 95, 286, 359}},
        {"lean arc 315 to 180",
         CanvasOp::ARC,
         10,
         Rgb(70, 104, 245),
         1,
         0,
         {241, 95, 551, 405, 505, 359, 396, 95}},
        {"stoichiometric 185 to 175",
         CanvasOp::ARC,
         10,
         Rgb(20, 220, 10),
         1,
         0,
         {241, 95, 551, 405, 409, 95, 382, 95}},
        // sin of 2 pi is a hair below zero, so x truncates to 395
        {"outline", CanvasOp::ARC, 2, OUTLINE, 1, 0, {236, 90, 556, 410, 395, 410, 395, 410}},
        {"major 44, radius 146 out", CanvasOp::LINE_TO, 3, BLACK, 17, 0, {294, 355, 284, 365}},
        {"major 180", CanvasOp::LINE_TO, 3, BLACK, 17, 8, {396, 104, 396, 90}},
        {"major 316", CanvasOp::LINE_TO, 3, BLACK, 17, 16, {497, 355, 507, 365}},
        {"mid 52.5, radius 148", CanvasOp::LINE_TO, 2, BLACK, 16, 0, {278, 340, 269, 347}},
        {"mid 307.5", CanvasOp::LINE_TO, 2, BLACK, 16, 15, {513, 340, 522, 347}},
        {"minor 311.75, radius 150", CanvasOp::LINE_TO, 1, OUTLINE, 64, 63, {507, 349, 515, 356}},
    };
    struct Text {
        const char* text;
        int x, y;
        CanvasFont font;
        Colour back;
    };
    const Text texts[] = {
        {"AFR and Lambda", 794 / 2 - 14 * 11 / 2, 10, FONT_LARGE, BackColour},
        {"LAMBDA", 396 - 3 * 10, 346, FONT_STATUS, FACE},
        {"AFR", 110, 408, FONT_STATUS, BackColour},
        {"Lambda", 646, 408, FONT_STATUS, BackColour},
        {"0.68", 265, 379, FONT_STATUS, BackColour},
        {"1.00", 396, 56, FONT_STATUS, BackColour},
        {"1.32", 526, 379, FONT_STATUS, BackColour},
    };
    CanvasSetFont(canvas, FONT_STATUS);
    CanvasSetBackColour(canvas, BackColour);
    DrawDial(canvas);
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.what);
        std::vector<Args> drawn;
        for (const CanvasCall& call : CanvasCallsOf(shape.op))
            if (call.state.penWidth == shape.width &&
                (shape.op == CanvasOp::ELLIPSE ? call.state.brushColour : call.state.penColour) ==
                    shape.colour)
                drawn.push_back(call.args);
        ASSERT_EQ(drawn.size(), shape.count);
        EXPECT_EQ(drawn[shape.nth], shape.args);
    }
    std::string labels;
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        if (call.state.align == ALIGN_CENTRE_TOP)
            labels += call.text + " ";
    EXPECT_EQ(labels, "0.68 0.72 0.76 0.80 0.84 0.88 0.92 0.96 1.00 1.04 1.08 1.12 1.16 1.20 1.24 "
                      "1.28 1.32 ");
    for (const Text& text : texts) {
        SCOPED_TRACE(text.text);
        size_t found = 0;
        for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
            if (call.text == text.text) {
                found++;
                EXPECT_EQ((std::array<int, 2>{call.args[0], call.args[1]}),
                          (std::array<int, 2>{text.x, text.y}));
                EXPECT_EQ(call.state.font, text.font);
                EXPECT_EQ(call.state.backColour, text.back);
            }
        EXPECT_EQ(found, 1u);
    }
    EXPECT_EQ(CanvasCalls.back().op, CanvasOp::RESTORE) << "pens and brushes are given back";
    EXPECT_EQ(CanvasSetTextAlign(canvas, ALIGN_LEFT_TOP), ALIGN_LEFT_TOP) << "alignment given back";
}

TEST_F(GaugeTest, TargetBandIsSortedWidenedAndClamped) {
    // Band arcs run from the higher end's angle down to the lower's, 4.25 degrees per 0.01.
    struct Row {
        double low, high;
        int startX, startY, endX, endY;
        double lowAfter, highAfter;
    };
    const Row rows[] = {
        {0.86, 0.88, 275, 152, 262, 171, 0.86, 0.88}, // 129 down to 120.5
        {0.90, 0.85, 291, 135, 256, 181, 0.90, 0.85}, // 137.5 down to 116.25
        {0.95, 0.95, 345, 103, 334, 107, 0.95, 0.95}, // 0.955 down to 0.945
        {0.5, 2.0, 503, 361, 288, 361, 0.68, 1.32},   // the whole scale, 316 down to 44
        {std::nan(""), 0.70, 273, 344, 288, 361, 0.68, 0.70},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.low);
        Fresh();
        TargetLow = row.low;
        TargetHigh = row.high;
        DrawDial(canvas);
        std::vector<Args> band;
        for (const CanvasCall& arc : CanvasCallsOf(CanvasOp::ARC))
            if (arc.state.penColour == BAND && arc.state.penWidth == 10)
                band.push_back(arc.args);
        EXPECT_EQ(band, (std::vector<Args>{
                            {241, 95, 551, 405, row.startX, row.startY, row.endX, row.endY}}));
        EXPECT_DOUBLE_EQ(TargetLow.load(), row.lowAfter);
        EXPECT_DOUBLE_EQ(TargetHigh.load(), row.highAfter);
    }
}

TEST_F(GaugeTest, NeedleTipsClampAtTheScaleEnds) {
    // The value is taken as unsigned: a negative one lands at the lean end.
    struct Row {
        int32_t lambdaX100;
        int x, y;
    };
    const Row rows[] = {{100, 396, 109}, {68, 298, 351}, {0, 298, 351}, {132, 493, 351},
                        {500, 493, 351}, {90, 300, 146}, {-5, 493, 351}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lambdaX100);
        ResetGauges();
        Fresh();
        LambdaX100 = row.lambdaX100;
        DrawNeedle(canvas);
        EXPECT_EQ(LinesIn(NEEDLE), (std::vector<Args>{{396, 250, row.x, row.y}}));
    }
}

TEST_F(GaugeTest, NeedleIsErasedAtItsLastTipAndGetsItsHub) {
    LambdaX100 = 100;
    DrawNeedle(canvas);
    LambdaX100 = 90;
    DrawNeedle(canvas);
    EXPECT_EQ(LinesIn(FACE), (std::vector<Args>{{396, 250, 396, 250}, {396, 250, 396, 109}}))
        << "nothing drawn yet: the hub itself; then the tip of 1.00";
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
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
        std::array<int, 2> to{erase[2], erase[3]};
        ASSERT_TRUE(to == (std::array<int, 2>{396, 250}) || to == (std::array<int, 2>{396, 109}) ||
                    to == (std::array<int, 2>{298, 351}))
            << "erased towards (" << to[0] << ", " << to[1] << ")";
    }
}

TEST_F(GaugeTest, ReadoutsShowLeadingZerosSaturateAndRedrawOnlyChangedDigits) {
    // In order: a full call draws every column, a partial one only the digits that changed.
    struct Row {
        bool afr;
        int32_t value;
        int full;
        const char* shown;
    };
    const Row rows[] = {
        {true, 147, 1, "14.7"},  {true, 148, 0, "---8"},   {true, 148, 0, "----"},
        {true, 1470, 1, "99.9"}, {true, 5, 1, "00.5"},     {true, 999, 1, "99.9"},
        {true, -1, 1, "99.9"},   {false, 100, 1, "1.00"},  {false, 200, 0, "2---"},
        {false, 7, 1, "0.07"},   {false, 1234, 1, "9.99"}, {false, 1299, 0, "----"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.value) + (row.afr ? " AFR" : " lambda"));
        Fresh();
        (row.afr ? AfrX10 : LambdaX100) = row.value;
        (row.afr ? DrawAfrReadout : DrawLambdaReadout)(canvas, row.full);
        EXPECT_EQ(Shown(row.afr ? AFR_COLUMNS : LAMBDA_COLUMNS), row.shown);
        EXPECT_EQ(CanvasCallsOf(CanvasOp::BLOCK_TEXT).size(),
                  7 * (4 - std::count(row.shown, row.shown + 4, '-')));
    }
}

TEST_F(GaugeTest, ActivityMarkTurnsOnEveryFourthFrameStartingWithTheFirst) {
    DrawSpokes(canvas);
    auto idle = LinesIn(IDLE_SPOKE);
    ASSERT_EQ(idle.size(), 12u);
    EXPECT_EQ(idle[0], (Args{739, 47, 739, 57})) << "angle 1, from radius 8 out to 18";
    EXPECT_EQ(idle[3], (Args{732, 39, 722, 39})) << "angle 91";
    for (const CanvasCall& line : CanvasCallsOf(CanvasOp::LINE_TO))
        EXPECT_EQ(line.state.penWidth, 2);

    Fresh();
    std::vector<size_t> darkAfter;
    for (int frame = 1; frame <= 9; frame++) {
        AdvanceActivityIndicator();
        darkAfter.push_back(LinesIn(TextColour).size());
    }
    EXPECT_EQ(darkAfter, (std::vector<size_t>{1, 1, 1, 1, 2, 2, 2, 2, 3}));
    EXPECT_EQ(CanvasCallsOf(CanvasOp::CLOSE).size(), 3u) << "its own context per move";
    EXPECT_EQ(LinesIn(IDLE_SPOKE)[0], (Args{739, 47, 739, 57})) << "the first spoke goes idle";
    EXPECT_EQ(LinesIn(TextColour)[0], (Args{735, 46, 730, 55})) << "angle 31 darkens";
    for (int frame = 10; frame <= 45; frame++)
        AdvanceActivityIndicator();
    auto dark = LinesIn(TextColour);
    ASSERT_EQ(dark.size(), 12u);
    EXPECT_EQ(dark[11], (Args{739, 47, 739, 57})) << "the twelfth move comes back to the first";
}

// A live frame: "W", an unused byte, the raw lambda, the factor 14.70, and its sum.
void StoreFrame(uint8_t rawHigh, uint8_t rawMiddle, uint8_t rawLow, bool goodSum) {
    uint8_t bytes[7] = {0x57, 0x00, rawHigh, rawMiddle, rawLow, 0x05, 0xBE};
    unsigned sum = goodSum ? 0 : 1;
    for (uint8_t byte : bytes) {
        sum += byte;
        RxStoreByte(byte);
    }
    RxStoreByte(static_cast<uint8_t>(sum >> 8));
    RxStoreByte(static_cast<uint8_t>(sum));
}

TEST_F(GaugeTest, LiveFramesDriveMarkReadoutsAndNeedle) {
    ResetLinkState();
    ResponseRate = 100;
    LiveFrameHook = UpdateLiveGauges;
    // Frames in order: the spoke darkened, the digits redrawn (never the point) and the tip.
    struct Row {
        uint8_t high, middle, low;
        bool good;
        size_t dark;
        const char *afr, *lambda;
        int x, y;
    };
    const Row rows[] = {
        {0x7F, 0xFF, 0x00, true, 1, "24-5", "1-67", 493, 351}, // 1.67; the first good frame
        {0x40, 0x00, 0x00, false, 0, "----", "----", 0, 0},    // bad sums count for nothing
        {0x40, 0x00, 0x00, false, 0, "----", "----", 0, 0},
        {0x40, 0x00, 0x00, false, 0, "----", "----", 0, 0},
        {0x7F, 0xFF, 0x00, true, 0, "----", "----", 493, 351},
        {0x7F, 0xFF, 0x00, true, 0, "----", "----", 493, 351},
        {0x7F, 0xFF, 0x00, true, 0, "----", "----", 493, 351},
        {0x7F, 0xFF, 0x00, true, 1, "----", "----", 493, 351}, // the fifth good frame
        {0x3F, 0xFF, 0x80, true, 0, "17-2", "--1-", 530, 207}, // 1.17 at angle 252.25
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.afr) + " " + row.lambda);
        ClearCanvasCalls();
        StoreFrame(row.high, row.middle, row.low, row.good);
        ASSERT_EQ(DecodeLiveFrame(), row.good ? 0 : 3);
        EXPECT_EQ(LinesIn(TextColour).size(), row.dark);
        EXPECT_EQ(Shown(AFR_COLUMNS), row.afr);
        EXPECT_EQ(Shown(LAMBDA_COLUMNS), row.lambda);
        const std::vector<Args> tip = {{396, 250, row.x, row.y}};
        EXPECT_EQ(LinesIn(NEEDLE), row.good ? tip : std::vector<Args>());
        for (const CanvasCall& text : CanvasCallsOf(CanvasOp::BLOCK_TEXT)) {
            EXPECT_EQ(text.state.font, FONT_OEM_FIXED);
            EXPECT_EQ(text.state.textColour, VIEW_TEXT);
            EXPECT_EQ(text.state.backColour, BackColour);
        }
        EXPECT_EQ(CanvasCallsOf(CanvasOp::OPEN).size(), CanvasCallsOf(CanvasOp::CLOSE).size());
    }
}

TEST_F(GaugeTest, WholeViewPaintsSpokesDialReadoutsThenNeedle) {
    AfrX10 = 147;
    LambdaX100 = 90;
    PaintAfrLambdaView(canvas);
    size_t lastSpoke = 0, face = 0, firstRow = 0, lastRow = 0, needle = 0;
    for (size_t i = 0; i < CanvasCalls.size(); i++) {
        const CanvasCall& call = CanvasCalls[i];
        if (call.op == CanvasOp::LINE_TO && call.state.penColour == IDLE_SPOKE)
            lastSpoke = i;
        face = face == 0 && call.op == CanvasOp::ELLIPSE ? i : face;
        firstRow = firstRow == 0 && call.op == CanvasOp::BLOCK_TEXT ? i : firstRow;
        lastRow = call.op == CanvasOp::BLOCK_TEXT ? i : lastRow;
        needle = call.op == CanvasOp::LINE_TO && call.state.penColour == NEEDLE ? i : needle;
    }
    EXPECT_LT(lastSpoke, face);
    EXPECT_LT(face, firstRow);
    EXPECT_LT(lastRow, needle);
    EXPECT_EQ(Shown(AFR_COLUMNS), "14.7");
    EXPECT_EQ(Shown(LAMBDA_COLUMNS), "0.90");
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT)[0].state.textColour, VIEW_TEXT) << "the title";
    EXPECT_EQ(CanvasSetTextColour(canvas, Rgb(1, 2, 3)), TextColour) << "given back at the end";
}

} // namespace
