// The Firmware Update view's text through the recording canvas: the unit's banner lines, the
// version verdict that offers the update, the version kept across paints, and the phase text.
#include "display/status_line.h"
#include "firmware/firmware_paint.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

namespace {

using Block = std::array<uint8_t, DEVICE_INFO_SIZE>;
using Texts = std::vector<std::string>;
// The verdicts, with the note that the test build carries the sample image.
const std::string MATCH = "The Firmware Versions Match, There is no Need to Update (SAMPLE)";
const std::string UPDATE = "This is a Newer Version of Firmware, Please Update (SAMPLE)";
const std::string NEWER = "The Current MQ-6 Firmware is Newer then this Firmware (SAMPLE)";
const std::string HEAD = "MQ-6 Wideband Controller ", NOTICE = "Copyright 2009 ",
                  RIGHTS = "All Rights Reserved ";

// A data block whose banner (at byte 128) is text, NUL-terminated, in setup mode 2.
Block BlockWith(const std::string& banner) {
    Block block{};
    std::copy(banner.begin(), banner.begin() + std::min<long>(long(banner.size()), 127),
              block.begin() + 128);
    block[255] = 2;
    return block;
}

// "x,y text", the text centred in the unit group box on 10-pixel characters.
std::string Centred(int y, const std::string& text) {
    return std::to_string(60 + (660 - int(text.size()) * 10) / 2) + "," + std::to_string(y) + " " +
           text;
}

// Paints with 10 x 20 pixel characters; what was drawn, as "x,y text".
Texts Paint(int32_t valid, const std::string& banner, int32_t phase = 0) {
    LineHeight = 20, CharWidth = 10, ClientWidth = 794;
    ClearCanvasCalls();
    Canvas* canvas = CanvasOpenWindow();
    CanvasSetFont(canvas, FONT_STATUS);
    PaintFirmwareView(canvas, valid, BlockWith(banner), phase);
    CanvasCloseWindow(canvas);
    Texts texts;
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        texts.push_back(std::to_string(call.args[0]) + "," + std::to_string(call.args[1]) + " " +
                        call.text);
    return texts;
}

// Painted in order: a version is kept from the last text that had one, and a paint without a
// data block draws no verdict, says the unit does not answer and offers no update.
TEST(FirmwarePaint, VerdictComparesMajorFirstThenMinorAndKeepsTheLastVersionRead) {
    const struct {
        int valid;
        std::string banner, verdict;
        int allowed;
    } rows[] = {
        {1, "Version: 1.01", MATCH, 0}, // the carried version
        {1, "Version: 1.00", UPDATE, 1},
        {1, "Version: 0.99", UPDATE, 1},
        {1, "Version: 1.02", NEWER, 0},
        {1, "Version: 2.00", NEWER, 0},
        {1, HEAD, NEWER, 0},             // no version: the last one read stays
        {1, "Version 2.00", UPDATE, 1},  // the numbers are read at fixed places: 0.00
        {0, "Version: 1.01", "", 0},     // the unit gone: says so, and offers nothing
        {1, "Version: 1.00", UPDATE, 1}, // until a block is read again
    };
    ResetFirmwareView();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.banner);
        Texts texts = Paint(row.valid, row.banner);
        EXPECT_EQ(texts.back(), row.valid ? Centred(346, row.verdict)
                                          : Centred(140, "The MQ-6 does not answer: no update "
                                                         "can be offered"));
        EXPECT_EQ(UpdateAllowed.load(), row.allowed);
    }
}

TEST(FirmwarePaint, BannerLinesThePhaseTextBelowTitleAndColours) {
    ResetFirmwareView();
    EXPECT_EQ(Paint(1, HEAD + NOTICE + RIGHTS + "Version: 1.01"),
              (Texts{"315,10 Firmware Update", // 15 characters of 11 pixels centred on 794
                     Centred(170, "Version: 1.01"), Centred(140, RIGHTS), Centred(120, NOTICE),
                     Centred(94, HEAD), Centred(313, "Version: 1.01"), Centred(346, MATCH)}));
    // "All" after "Version": a piece whose bounds come the wrong way round is not drawn.
    EXPECT_EQ(Paint(1, "Version: 1.01 All").size(), 4u);
    const char* phases[] = {"", "Programming...", "Verifying...", "Finishing...", ""};
    for (int phase = 0; phase <= 4; ++phase)
        EXPECT_EQ(Paint(1, "Version: 1.01", phase).back(),
                  *phases[phase] ? "22,476 " + std::string(phases[phase]) : Centred(346, MATCH));
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT).at(0).state.font, FONT_LARGE);
    for (const CanvasCall& call : CanvasCallsOf(CanvasOp::TEXT))
        EXPECT_EQ(std::make_pair(call.state.textColour, call.state.backColour),
                  std::make_pair(Rgb(20, 20, 20), Rgb(220, 220, 220)));
}

} // namespace
