// The recording canvas, linked into the native tests in place of GDI.
#include "support/canvas_record.h"

#include <algorithm>
#include <utility>

struct Canvas {
    bool open = false;
    int id = 0;
    CanvasState state;
    Canvas* target = nullptr; // an off-screen canvas's, with the part it stands for
    std::array<int, 8> area{};
    int kept = -1; // the slot of Kept it goes back to at its close
};

std::vector<CanvasCall> CanvasCalls;

namespace {

// The client area of an 800 by 600 window with a caption and a menu, and font cells (width,
// height) like those of the system's fonts, indexed by CanvasFont.
constexpr int CLIENT_WIDTH = 794, CLIENT_HEIGHT = 552;
constexpr std::array<std::pair<int, int>, 5> FONT_CELLS = {
    {{8, 16}, {8, 12}, {10, 20}, {9, 17}, {11, 24}}};
std::mutex CanvasRecordLock;
std::array<Canvas, 8> Contexts;
int ContextsOpened = 0;
// What the layers and then the kept context (the tests draw the live path on one thread) keep
// between openings: their selections, and a layer's part.
struct Kept {
    CanvasState state;
    std::array<int, 4> area{}; // none until a layer's bitmap is made
};
std::array<Kept, CANVAS_LAYER_COUNT + 1> KeptSlots; // the kept context last

void Record(Canvas* canvas, CanvasOp op, std::array<int, 8> args = {}, std::string_view text = {}) {
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    CanvasCalls.push_back({op, canvas->id, args, std::string(text), canvas->state});
}

} // namespace

void ClearCanvasCalls() {
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    CanvasCalls.clear();
    Contexts.fill(Canvas{});
    ContextsOpened = 0;
    KeptSlots.fill(Kept{});
}

std::vector<CanvasCall> CanvasCallsOf(CanvasOp op) {
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    std::vector<CanvasCall> calls;
    for (const CanvasCall& call : CanvasCalls)
        if (call.op == op)
            calls.push_back(call);
    return calls;
}

namespace {
// A context with the given selections, or those its slot of Kept keeps; an off-screen one records
// its calls as its own.
Canvas* OpenContext(CanvasState state = {}, Canvas* target = nullptr, std::array<int, 8> area = {},
                    int kept = -1) {
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    auto free = std::find_if(Contexts.begin(), Contexts.end(), [](auto& c) { return !c.open; });
    if (free == Contexts.end())
        return nullptr;
    *free = Canvas{true, ++ContextsOpened, kept < 0 ? state : KeptSlots[kept].state, target, area,
                   kept};
    return &*free;
}

void CloseContext(Canvas* canvas) {
    if (canvas == nullptr)
        return;
    CanvasRestoreObjects(canvas);
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    if (canvas->kept >= 0)
        KeptSlots[canvas->kept].state = canvas->state;
    canvas->open = false;
}
} // namespace

Canvas* CanvasOpenWindow() {
    return OpenContext();
}

Canvas* CanvasOpenPaint(int left, int top, int right, int bottom) {
    Canvas* canvas = OpenContext();
    canvas->state.shown = {left, top, right, bottom};
    return canvas;
}

Canvas* CanvasOpenOffscreen(Canvas* target, int left, int top, int right, int bottom) {
    return OpenContext(target->state, target, {left, top, right, bottom});
}

Canvas* CanvasOpenLayer(CanvasLayer layer, Canvas*, int left, int top, int right, int bottom,
                        bool* blank) {
    std::array<int, 4> area{left, top, right, bottom};
    *blank = KeptSlots[layer].area != area;
    if (*blank)
        KeptSlots[layer] = Kept{CanvasState{}, area};
    Canvas* canvas = OpenContext({}, nullptr, {}, layer);
    Record(canvas, CanvasOp::LAYER, {left, top, right, bottom, *blank, layer});
    return canvas;
}

void CanvasCloseLayer(Canvas* layer) {
    CloseContext(layer);
}

void CanvasCopy(Canvas*, Canvas* to, int left, int top, int right, int bottom) {
    Record(to, CanvasOp::COPY, {left, top, right, bottom});
}

bool CanvasPartVisible(Canvas* canvas, int left, int top, int right, int bottom) {
    const std::array<int, 4>& shown = canvas->state.shown;
    return shown[0] < 0 ||
           (left < shown[2] && shown[0] < right && top < shown[3] && shown[1] < bottom);
}

void CanvasCloseOffscreen(Canvas* offscreen) {
    if (offscreen == nullptr)
        return;
    Record(offscreen->target, CanvasOp::COPY, offscreen->area);
    std::lock_guard<std::mutex> hold(CanvasRecordLock);
    offscreen->open = false;
}

// Its selections go on from one opening to the next, as the kept context's do.
Canvas* CanvasOpenWindowKept() {
    return OpenContext({}, nullptr, {}, CANVAS_LAYER_COUNT);
}

void CanvasCloseWindow(Canvas* canvas) {
    if (canvas == nullptr)
        return;
    Record(canvas, CanvasOp::CLOSE);
    CloseContext(canvas);
}

void CanvasSetPen(Canvas* canvas, int width, Colour colour) {
    canvas->state.penColour = colour, canvas->state.penWidth = width;
}

void CanvasSetBrush(Canvas* canvas, Colour colour) {
    canvas->state.brushColour = colour;
}

void CanvasRestoreObjects(Canvas* canvas) {
    canvas->state.penColour = CanvasState{}.penColour;
    canvas->state.brushColour = CanvasState{}.brushColour;
}

CanvasFont CanvasSetFont(Canvas* canvas, CanvasFont font) {
    if (canvas->state.font != font)
        Record(canvas, CanvasOp::FONT, {font});
    return std::exchange(canvas->state.font, font);
}

Colour CanvasSetTextColour(Canvas* canvas, Colour colour) {
    return std::exchange(canvas->state.textColour, colour);
}

Colour CanvasSetBackColour(Canvas* canvas, Colour colour) {
    return std::exchange(canvas->state.backColour, colour);
}

CanvasAlign CanvasSetTextAlign(Canvas* canvas, CanvasAlign align) {
    return std::exchange(canvas->state.align, align);
}

void CanvasMoveTo(Canvas* canvas, int x, int y) {
    Record(canvas, CanvasOp::MOVE_TO, {x, y});
    std::tie(canvas->state.x, canvas->state.y) = std::pair(x, y);
}

void CanvasLineTo(Canvas* canvas, int x, int y) {
    Record(canvas, CanvasOp::LINE_TO, {canvas->state.x, canvas->state.y, x, y});
    std::tie(canvas->state.x, canvas->state.y) = std::pair(x, y);
}

void CanvasEllipse(Canvas* canvas, int left, int top, int right, int bottom) {
    Record(canvas, CanvasOp::ELLIPSE, {left, top, right, bottom});
}

void CanvasRectangle(Canvas* canvas, int left, int top, int right, int bottom) {
    Record(canvas, CanvasOp::RECTANGLE, {left, top, right, bottom});
}

void CanvasArc(Canvas* canvas, int left, int top, int right, int bottom, int startX, int startY,
               int endX, int endY) {
    Record(canvas, CanvasOp::ARC, {left, top, right, bottom, startX, startY, endX, endY});
}

void CanvasText(Canvas* canvas, int x, int y, std::string_view text) {
    Record(canvas, CanvasOp::TEXT, {x, y}, text);
}

void CanvasBlockText(Canvas* canvas, int x, int y, std::string_view cells) {
    Record(canvas, CanvasOp::BLOCK_TEXT, {x, y}, cells);
}

int CanvasTextWidth(Canvas* canvas, std::string_view text) {
    return static_cast<int>(text.size()) * FONT_CELLS[canvas->state.font].first;
}

void CanvasTextMetrics(Canvas* canvas, int* height, int* averageWidth) {
    std::tie(*averageWidth, *height) = FONT_CELLS[canvas->state.font];
}

void CanvasClientSize(Canvas*, int* width, int* height) {
    *width = CLIENT_WIDTH;
    *height = CLIENT_HEIGHT;
}
