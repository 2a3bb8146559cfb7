// The status line text and its place through the recording canvas.
#include "display/status_line.h"
#include "link/link.h"
#include "support/canvas_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StatusLineTest, TextIsEightyCharactersWhiteOnBlueAtTheBottom) {
    const std::string id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XB3K7Q-if00-port0";
    const std::string title = " MQ-6 WB Utility   ";
    LineHeight = 20;
    ClientHeight = 552;
    for (auto [port, status, shown] : {std::tuple<std::string, int, std::string>(
                                           "COM3", 1, title + " COM3: Open" + std::string(50, ' ')),
                                       {"COM3", 0, title + " COM3: Closed" + std::string(48, ' ')},
                                       {"COM12", 1, title + "COM12: Open" + std::string(50, ' ')},
                                       {id, 1, (title + id + ": Open").substr(0, 80)}}) {
        SCOPED_TRACE(port);
        ResetLinkState();
        StorePortName(port);
        PortStatus = status;
        ClearCanvasCalls();
        DrawStatusLine(CanvasOpenWindow(), "");
        ASSERT_EQ(CanvasCallsOf(CanvasOp::TEXT).size(), 1u);
        EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT)[0].text, shown);
    }
    // A note longer than the 48 blanks takes the title's place; the band still runs 80 cells.
    StorePortName("COM3");
    DrawStatusLine(CanvasOpenWindow(), " " + std::string(60, '0'));
    EXPECT_EQ(CanvasCallsOf(CanvasOp::TEXT).back().text,
              "  COM3: Open   " + std::string(60, '0') + std::string(5, ' '));
    const CanvasCall text = CanvasCallsOf(CanvasOp::TEXT).at(0);
    EXPECT_EQ(std::pair(text.args[0], text.args[1]), std::pair(0, 552 - 20));
    EXPECT_EQ(std::tuple(text.state.font, text.state.textColour, text.state.backColour),
              std::tuple(FONT_STATUS, Rgb(240, 240, 240), Rgb(40, 40, 240)));
    ClearCanvasCalls();
    ResetLinkState();
}

} // namespace
