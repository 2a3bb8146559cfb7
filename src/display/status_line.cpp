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
constexpr int NOTE_BLANKS = 48;   // the blanks after the port's state, which a note fills
constexpr int NOTE_SIZE = 80;
} // namespace

void MeasureLayout(Canvas* canvas) {
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
    CanvasSetFont(canvas, previousFont);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}

void DrawStatusLine(Canvas* canvas, std::string_view note) {
    CanvasSetFont(canvas, FONT_STATUS);
    Colour previousText = CanvasSetTextColour(canvas, StatusTextColour);
    Colour previousBack = CanvasSetBackColour(canvas, StatusBackColour);
    std::array<char, PORT_NAME_SIZE> name = CopyPortName();
    int nameLength = static_cast<int>(strnlen(name.data(), name.size()));
    const char* state = PortStatus.load(std::memory_order_acquire) == 1 ? "Open  " : "Closed";
    // A note shows in the blanks after the port's state; one longer than them takes the title's
    // place, so that the whole of it fits the window.
    note = note.substr(0, NOTE_SIZE - 1);
    bool longNote = note.size() > NOTE_BLANKS;
    char text[PORT_NAME_SIZE + NOTE_SIZE + 48];
    int length = std::snprintf(text, sizeof text, "%s%5.*s: %s%-48.*s",
                               longNote ? " " : " MQ-6 WB Utility   ", nameLength, name.data(),
                               state, static_cast<int>(note.size()), note.data());
    length = std::clamp(length, 0, longNote ? static_cast<int>(sizeof text) - 1 : STATUS_LENGTH);
    // The band reaches the window's edge whatever the note's length.
    while (length < STATUS_LENGTH)
        text[length++] = ' ';
    CanvasText(canvas, 0, ClientHeight - LineHeight, std::string_view(text, length));
    CanvasSetTextColour(canvas, previousText);
    CanvasSetBackColour(canvas, previousBack);
}
