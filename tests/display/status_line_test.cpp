// The status line text and its place, and the layout measures, through the recording canvas.
#include "display/status_line.h"
#include "link/link.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class StatusLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearCanvasCalls();
        ResetLinkState();
        LineHeight = 20;
        ClientHeight = 552;
    }
    void TearDown() override {
        ClearCanvasCalls();
        ResetLinkState();
    }
};

TEST_F(StatusLineTest, TextIsEightyCharactersWhiteOnBlueAtTheBottom) {
    const std::string id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XB3K7Q-if00-port0";
    const std::string longest(PortName.size() - 1, 'X'); // no terminator within the text
    struct Row {
        std::string port;
        int status;
        std::string shown;
    };
    const Row rows[] = {
        {"COM3", 1, " MQ-6 WB Utility    COM3: Open" + std::string(50, ' ')},
        {"COM3", 0, " MQ-6 WB Utility    COM3: Closed" + std::string(48, ' ')},
        {"COM12", 1, " MQ-6 WB Utility   COM12: Open" + std::string(50, ' ')},
        {"COMx", 0, " MQ-6 WB Utility    COMx: Closed" + std::string(48, ' ')},
        {id, 1, (" MQ-6 WB Utility   " + id + ": Open").substr(0, 80)},
        {longest, 1, (" MQ-6 WB Utility   " + longest).substr(0, 80)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.port);
        PortName.fill('\0');
        std::strncpy(PortName.data(), row.port.c_str(), PortName.size() - 1);
        PortStatus = row.status;
        ClearCanvasCalls();
        Canvas* canvas = CanvasOpenWindow();
        CanvasSetTextColour(canvas, Rgb(1, 2, 3));
        CanvasSetBackColour(canvas, Rgb(4, 5, 6));
        DrawStatusLine(canvas);
        auto texts = CanvasCallsOf(CanvasOp::TEXT);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, row.shown);
        EXPECT_EQ(texts[0].args[0], 0);
        EXPECT_EQ(texts[0].args[1], 552 - 20);
        EXPECT_EQ(texts[0].state.font, FONT_STATUS);
        EXPECT_EQ(texts[0].state.textColour, Rgb(240, 240, 240));
        EXPECT_EQ(texts[0].state.backColour, Rgb(40, 40, 240));
        EXPECT_EQ(CanvasSetTextColour(canvas, 0), Rgb(1, 2, 3)) << "colours are given back";
        EXPECT_EQ(CanvasSetBackColour(canvas, 0), Rgb(4, 5, 6));
        EXPECT_EQ(CanvasSetFont(canvas, FONT_SYSTEM), FONT_STATUS) << "the font stays selected";
    }
}

TEST_F(StatusLineTest, MeasureLayoutReadsStatusFontAndClientArea) {
    RecordFontCells[FONT_STATUS] = {12, 18};
    RecordClientWidth = 790;
    RecordClientHeight = 540;
    ASSERT_EQ(MeasureLayout(), 0);
    EXPECT_EQ((std::array<int32_t, 4>{LineHeight, CharWidth, ClientWidth, ClientHeight}),
              (std::array<int32_t, 4>{18, 12, 790, 540}));
    auto texts = CanvasCallsOf(CanvasOp::TEXT);
    ASSERT_EQ(texts.size(), 1u) << "the status line is drawn once";
    EXPECT_EQ(texts[0].args[1], 540 - 18);
    ASSERT_EQ(CanvasCallsOf(CanvasOp::CLOSE).size(), 1u);
    const CanvasState closing = CanvasCallsOf(CanvasOp::CLOSE)[0].state;
    EXPECT_EQ(closing.font, FONT_SYSTEM) << "the context is handed back as it was found";
    EXPECT_EQ(closing.textColour, Rgb(0, 0, 0));

    RecordWindowExists = false;
    LineHeight = 7;
    EXPECT_EQ(MeasureLayout(), -1) << "no window";
    EXPECT_EQ(LineHeight, 7);
}

} // namespace
