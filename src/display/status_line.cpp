// The status line: " MQ-6 WB Utility", the port name and its state, drawn white on blue in
// StatusFont across 80 character cells at the bottom of the client area.
#include "display/status_line.h"

#include "link/link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

int32_t LineHeight = 0;
int32_t CharWidth = 0;
int32_t ClientWidth = 0;
int32_t ClientHeight = 0;

namespace {
constexpr Colour StatusTextColour = Rgb(240, 240, 240);
constexpr Colour StatusBackColour = Rgb(40, 40, 240);
constexpr int STATUS_LENGTH = 80; // characters drawn, whatever the port name's length
constexpr int STATUS_REDRAW_LIMIT = 8;
} // namespace

int MeasureLayout() {
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return -1;
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_STATUS);
    Colour previousText = CanvasSetTextColour(canvas, TextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    int height = 0;
    int width = 0;
    CanvasTextMetrics(canvas, &height, &width);
    LineHeight = height;
    CharWidth = width;
    CanvasClientSize(canvas, &width, &height);
    ClientWidth = width;
    ClientHeight = height;
    DrawStatusLine(canvas);
    CanvasSetFont(canvas, previousFont);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
    CanvasCloseWindow(canvas);
    return 0;
}

void DrawStatusLine(Canvas* canvas) {
    CanvasSetFont(canvas, FONT_STATUS);
    Colour previousText = CanvasSetTextColour(canvas, StatusTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, StatusBackColour);
    // The comm thread and the main thread both draw the line, each with the state it read; the
    // later drawing may carry the older state. Whoever draws looks again afterwards and draws
    // once more when the link moved meanwhile, so the line ends in the link's state.
    for (int pass = 0; pass < STATUS_REDRAW_LIMIT; ++pass) {
        std::array<char, PORT_NAME_SIZE> name = CopyPortName();
        int32_t status = PortStatus.load(std::memory_order_acquire);
        int nameLength = static_cast<int>(strnlen(name.data(), name.size()));
        const char* state = status == 1 ? "Open  " : "Closed";
        char text[PORT_NAME_SIZE + 96];
        int length = std::snprintf(text, sizeof text, " MQ-6 WB Utility   %5.*s: %s%48s",
                                   nameLength, name.data(), state, " ");
        length = std::clamp(length, 0, STATUS_LENGTH);
        CanvasText(canvas, 0, ClientHeight - LineHeight, std::string_view(text, length));
        if (status == PortStatus.load(std::memory_order_acquire) && name == CopyPortName())
            break;
    }
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}
