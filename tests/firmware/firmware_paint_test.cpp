// The Firmware Update view's text through the recording canvas: the unit's banner lines, the
// version verdict that offers the update, the version kept across paints, and the phase text.
#include "display/status_line.h"
#include "firmware/firmware_paint.h"
#include "link/link.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

namespace {

using namespace std::literals;
using Block = std::array<uint8_t, DEVICE_INFO_SIZE>;
using Texts = std::vector<std::string>;
// The verdicts as drawn, with the note that the test build carries the sample image; each is
// centred in the unit group box (x 60, 660 wide) on 10-pixel characters.
const std::string MATCH = "70,346 The Firmware Versions Match, There is no Need to Update (SAMPLE)";
const std::string UPDATE = "95,346 This is a Newer Version of Firmware, Please Update (SAMPLE)";
const std::string NEWER = "80,346 The Current MQ-6 Firmware is Newer then this Firmware (SAMPLE)";
const std::string GONE = "140,140 The MQ-6 does not answer: no update can be offered";
const std::string HEAD = "MQ-6 Wideband Controller ", NOTICE = "Copyright 2009 ",
                  RIGHTS = "All Rights Reserved ";

// A data block whose banner (at byte 128) is text, NUL-terminated, in the unit mode given (2:
// setup mode; 1: mid-update).
Block BlockWith(const std::string& banner, uint8_t mode = 2) {
    Block block{};
    std::copy(banner.begin(), banner.end(), block.begin() + 128); // the tests' are short
    block[255] = mode;
    return block;
}

// Paints with 10 x 20 pixel characters; what was drawn, as "x,y text".
Texts Paint(int32_t valid, const std::string& banner, int32_t phase = 0, uint8_t mode = 2) {
    LineHeight = 20, CharWidth = 10, ClientWidth = 794;
    ClearCanvasCalls();
    Canvas* canvas = CanvasOpenWindow();
    CanvasSetFont(canvas, FONT_STATUS);
    PaintFirmwareView(canvas, valid, BlockWith(banner, mode), phase);
    CanvasCloseWindow(canvas);
    Texts texts;
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        texts.push_back(std::to_string(call.args[0]) + "," + std::to_string(call.args[1]) + " " +
                        call.text);
    return texts;
}

// Painted in order: a version is kept from the last text that had one, and a paint without a
// data block draws no verdict, says the unit does not answer and offers no update. The rows: the
// carried version, older and newer ones; no version, nor one inside a word: the last one read
// stays; "Version 2.00" is read at fixed places, 0.00; the unit gone, then versions read again
// once a block is read; the port opened again: no version kept from another unit.
TEST(FirmwarePaint, VerdictComparesMajorFirstThenMinorAndKeepsTheLastVersionRead) {
    // A data block or none, its banner, the verdict drawn and whether the update is offered.
    const std::tuple<int, std::string, std::string, int> rows[] = {
        {1, "Version: 1.01", MATCH, 0},  {1, "Version: 1.00", UPDATE, 1},
        {1, "Version: 0.99", UPDATE, 1}, {1, "Version: 1.02", NEWER, 0},
        {1, "Version: 2.00", NEWER, 0},  {1, HEAD, NEWER, 0},
        {1, "NoVersionHere", NEWER, 0},  {1, "Version 2.00", UPDATE, 1},
        {0, "Version: 1.01", GONE, 0},   {1, "Version: 1.00", UPDATE, 1},
        {1, "Version: 1.02", NEWER, 0},  {1, HEAD, UPDATE, 1}};
    ResetFirmwareView();
    for (const auto& [valid, banner, verdict, allowed] : rows) {
        SCOPED_TRACE(banner);
        if (&banner == &std::get<1>(rows[std::size(rows) - 1]))
            PortOpenings.fetch_add(1);
        const std::string drawn = Paint(valid, banner).back();
        EXPECT_EQ(std::pair(drawn, UpdateAllowed.load()), std::pair(verdict, allowed));
    }
    // A unit mid-update names the carried version, yet is offered the update to finish it: the
    // line's 55 characters centred in the box, (660 - 550) / 2 + 60. (The match first: none.)
    Paint(1, "Version: 1.01");
    const std::string midUpdate = Paint(1, "Version: 1.01", 0, 1).back();
    EXPECT_EQ(std::pair(midUpdate, UpdateAllowed.load()),
              std::pair("115,346 A firmware update did not finish: press Update Firmware"s, 1));
}

TEST(FirmwarePaint, BannerLinesThePhaseTextBelowTitleAndColours) {
    ResetFirmwareView();
    EXPECT_EQ(Paint(1, HEAD + NOTICE + RIGHTS + "Version: 1.01"),
              (Texts{"315,10 Firmware Update", // 15 characters of 11 pixels centred on 794
                     "325,170 Version: 1.01", "290,140 " + RIGHTS, "315,120 " + NOTICE,
                     "265,94 " + HEAD, "325,313 Version: 1.01", MATCH}));
    // "All" after "Version": a piece whose bounds come the wrong way round is not drawn.
    EXPECT_EQ(Paint(1, "Version: 1.01 All").size(), 4u);
    const char* phases[] = {"", "Programming...", "Verifying...", "Finishing...", ""};
    for (int phase = 0; phase <= 4; ++phase)
        EXPECT_EQ(Paint(1, "Version: 1.01", phase).back(),
                  *phases[phase] ? "22,476 " + std::string(phases[phase]) : MATCH);
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT).at(0).state.font, FONT_LARGE);
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        EXPECT_EQ(std::make_pair(call.state.textColour, call.state.backColour),
                  std::make_pair(Rgb(20, 20, 20), Rgb(220, 220, 220)));
}

} // namespace
