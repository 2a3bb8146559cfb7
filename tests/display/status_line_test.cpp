// The status line text and its place, and the layout measures, through the recording canvas.
#include "display/status_line.h"
#include "link/link.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr Colour STATUS_TEXT = Rgb(240, 240, 240);
constexpr Colour STATUS_BACK = Rgb(40, 40, 240);

void SetPortName(const char* name) {
    PortName.fill('\0');
    std::strncpy(PortName.data(), name, PortName.size() - 1);
}

class StatusLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearCanvasCalls();
        ResetLinkState();
        LineHeight = 20;
        ClientHeight = 552;
        canvas = CanvasOpenWindow();
        ASSERT_NE(canvas, nullptr);
    }
    void TearDown() override {
        CanvasCloseWindow(canvas);
        ResetLinkState();
    }

    std::string Drawn(const char* port, int status) {
        SetPortName(port);
        PortStatus = status;
        ClearCanvasCalls();
        canvas = CanvasOpenWindow();
        DrawStatusLine(canvas);
        auto texts = CanvasCallsOf(CanvasOp::TEXT);
        EXPECT_EQ(texts.size(), 1u);
        return texts.empty() ? std::string() : texts[0].text;
    }

    Canvas* canvas = nullptr;
};

TEST_F(StatusLineTest, OpenPortLineIsEightyCharacters) {
    EXPECT_EQ(Drawn("COM3", 1), " MQ-6 WB Utility    COM3: Open" + std::string(50, ' '));
}

TEST_F(StatusLineTest, ClosedIsFollowedDirectlyByTheBlanks) {
    EXPECT_EQ(Drawn("COM3", 0), " MQ-6 WB Utility    COM3: Closed" + std::string(48, ' '));
}

TEST_F(StatusLineTest, FiveCharacterNameFillsItsField) {
    EXPECT_EQ(Drawn("COM12", 1), " MQ-6 WB Utility   COM12: Open" + std::string(50, ' '));
}

TEST_F(StatusLineTest, StartNameIsShownUnchanged) {
    EXPECT_EQ(Drawn("COMx", 0), " MQ-6 WB Utility    COMx: Closed" + std::string(48, ' '));
}

TEST_F(StatusLineTest, LongNameIsCutAtEightyCharacters) {
    std::string name = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XB3K7Q-if00-port0";
    std::string full = " MQ-6 WB Utility   " + name + ": Open" + std::string(48, ' ');
    EXPECT_EQ(Drawn(name.c_str(), 1), full.substr(0, 80));

    std::string longest(PortName.size() - 1, 'X'); // no terminator within reach of the text
    EXPECT_EQ(Drawn(longest.c_str(), 1), (" MQ-6 WB Utility   " + longest).substr(0, 80));
}

TEST_F(StatusLineTest, DrawnWhiteOnBlueAtTheBottomInStatusFont) {
    CanvasSetTextColour(canvas, Rgb(1, 2, 3));
    CanvasSetBackColour(canvas, Rgb(4, 5, 6));
    DrawStatusLine(canvas);
    auto texts = CanvasCallsOf(CanvasOp::TEXT);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].args[0], 0);
    EXPECT_EQ(texts[0].args[1], 552 - 20);
    EXPECT_EQ(texts[0].state.font, FONT_STATUS);
    EXPECT_EQ(texts[0].state.textColour, STATUS_TEXT);
    EXPECT_EQ(texts[0].state.backColour, STATUS_BACK);
    EXPECT_EQ(CanvasSetTextColour(canvas, 0), Rgb(1, 2, 3)) << "colours are given back";
    EXPECT_EQ(CanvasSetBackColour(canvas, 0), Rgb(4, 5, 6));
    EXPECT_EQ(CanvasSetFont(canvas, FONT_SYSTEM), FONT_STATUS) << "the font stays selected";
}

TEST_F(StatusLineTest, MeasureLayoutReadsStatusFontAndClientArea) {
    CanvasCloseWindow(canvas);
    ClearCanvasCalls();
    RecordFontCells[FONT_STATUS] = {12, 18};
    RecordClientWidth = 790;
    RecordClientHeight = 540;
    ASSERT_EQ(MeasureLayout(), 0);
    EXPECT_EQ(LineHeight, 18);
    EXPECT_EQ(CharWidth, 12);
    EXPECT_EQ(ClientWidth, 790);
    EXPECT_EQ(ClientHeight, 540);

    auto texts = CanvasCallsOf(CanvasOp::TEXT);
    ASSERT_EQ(texts.size(), 1u) << "the status line is drawn once";
    EXPECT_EQ(texts[0].args[1], 540 - 18);
    EXPECT_EQ(CanvasCallsOf(CanvasOp::OPEN).size(), 1u);
    ASSERT_EQ(CanvasCallsOf(CanvasOp::CLOSE).size(), 1u);
    const CanvasState closing = CanvasCallsOf(CanvasOp::CLOSE)[0].state;
    EXPECT_EQ(closing.font, FONT_SYSTEM) << "the context is handed back as it was found";
    EXPECT_EQ(closing.textColour, Rgb(0, 0, 0));
    canvas = CanvasOpenWindow();
}

TEST_F(StatusLineTest, MeasureLayoutWithoutAWindowFails) {
    CanvasCloseWindow(canvas);
    canvas = nullptr;
    RecordWindowExists = false;
    LineHeight = 7;
    EXPECT_EQ(MeasureLayout(), -1);
    EXPECT_EQ(LineHeight, 7);
}

} // namespace
