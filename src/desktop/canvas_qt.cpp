// The canvas on Qt: each call is the QPainter call of the same meaning, with GDI's conventions
// kept where the drawing code counts on them: a rectangle's and an ellipse's right and bottom
// edges excluded, arcs counter-clockwise from the ray through the start point, wide pens with round
// ends, text placed by its cell's top on an opaque background, and the block cells of the
// readouts as filled rectangles, the same pixels as the 8 by 12 OEM font.
#include "desktop/canvas_qt.h"

#include <QFontMetrics>
#include <QPainter>

#include <array>
#include <cmath>

struct Canvas {
    QPainter painter;
    QImage* surface = nullptr;
    QImage own;    // a layer's or an off-screen canvas's image
    QPoint origin; // the window point of the image's top-left pixel
    bool clipped = false;
    QRegion shown;
    // The selections, as a device context keeps them.
    Colour pen = Rgb(0, 0, 0);
    int penWidth = 1;
    Colour brush = Rgb(255, 255, 255);
    CanvasFont font = FONT_SYSTEM;
    Colour text = Rgb(0, 0, 0);
    Colour back = Rgb(255, 255, 255);
    CanvasAlign align = ALIGN_LEFT_TOP;
    QPoint position;
    Canvas* target = nullptr; // an off-screen canvas's
    bool open = false;
};

namespace {

constexpr size_t OFFSCREEN_SLOTS = 4;
int ClientWidthSet = 0;
int ClientHeightSet = 0;
std::array<QFont, 5> Fonts;
std::array<int, 5> FontHeights{};
std::array<int, 5> FontAverageWidths{};
Canvas WindowCanvas;
std::array<Canvas, CANVAS_LAYER_COUNT> Layers;
std::array<Canvas, OFFSCREEN_SLOTS> Offscreens;

QColor ToQColor(Colour colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

QString ToQString(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The largest pixel size whose cell (ascent and descent) is no higher than cell, as a Windows font
// asked for with a positive height is.
QFont FontOfCell(const QString& family, QFont::StyleHint hint, bool bold, int cell) {
    QFont font(family);
    font.setStyleHint(hint);
    font.setBold(bold);
    for (int size = cell; size > 4; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= cell)
            break;
    }
    return font;
}

void ResetSelections(Canvas& canvas) {
    canvas.pen = Rgb(0, 0, 0);
    canvas.penWidth = 1;
    canvas.brush = Rgb(255, 255, 255);
    canvas.font = FONT_SYSTEM;
    canvas.text = Rgb(0, 0, 0);
    canvas.back = Rgb(255, 255, 255);
    canvas.align = ALIGN_LEFT_TOP;
    canvas.position = QPoint();
}

void Begin(Canvas& canvas, QImage* image, QPoint origin) {
    canvas.surface = image;
    canvas.origin = origin;
    canvas.painter.begin(image);
    canvas.painter.setRenderHint(QPainter::Antialiasing, false);
    canvas.painter.translate(-origin.x(), -origin.y());
    canvas.open = true;
}

void End(Canvas& canvas) {
    if (canvas.painter.isActive())
        canvas.painter.end();
    canvas.open = false;
}

void UsePen(Canvas* canvas) {
    QPen pen(ToQColor(canvas->pen));
    if (canvas->penWidth > 1) {
        // A wide GDI pen is geometric, with round ends and joins.
        pen.setWidth(canvas->penWidth);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
    } else {
        pen.setWidth(0);
    }
    canvas->painter.setPen(pen);
}

// GDI's box with its right and bottom edges excluded, as a QRect whose outline covers it.
QRect OutlineBox(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left - 1, bottom - top - 1);
}

// A ray's angle on the ellipse of the box in Qt's terms: the parameter's angle, counter-clockwise
// from three o'clock, in degrees.
double RayAngle(const QRect& box, int x, int y) {
    double centreX = box.left() + box.width() / 2.0;
    double centreY = box.top() + box.height() / 2.0;
    double radiusX = std::max(box.width() / 2.0, 0.5);
    double radiusY = std::max(box.height() / 2.0, 0.5);
    return std::atan2(-(y - centreY) / radiusY, (x - centreX) / radiusX) * 180.0 / M_PI;
}

int TextAscent(CanvasFont font) {
    return QFontMetrics(Fonts[static_cast<size_t>(font)]).ascent();
}

} // namespace

void CreateCanvasFonts() {
    Fonts[FONT_SYSTEM] = FontOfCell("DejaVu Sans", QFont::SansSerif, true, 16);
    Fonts[FONT_OEM_FIXED] = FontOfCell("DejaVu Sans Mono", QFont::Monospace, false, 12);
    Fonts[FONT_STATUS] = FontOfCell("DejaVu Sans Mono", QFont::Monospace, true, 20);
    Fonts[FONT_COURIER] = FontOfCell("Courier New", QFont::TypeWriter, false, 17);
    Fonts[FONT_LARGE] = FontOfCell("DejaVu Sans", QFont::SansSerif, false, 24);
    for (size_t i = 0; i < Fonts.size(); ++i) {
        QFontMetrics metrics(Fonts[i]);
        FontHeights[i] = metrics.height();
        FontAverageWidths[i] = metrics.averageCharWidth();
    }
}

QFont CanvasQtFont(CanvasFont font) {
    return Fonts[static_cast<size_t>(font)];
}

void SetCanvasClientSize(int width, int height) {
    ClientWidthSet = width;
    ClientHeightSet = height;
}

Canvas* OpenSurfaceCanvas(QImage& surface, const QRegion& shown) {
    End(WindowCanvas);
    ResetSelections(WindowCanvas);
    Begin(WindowCanvas, &surface, QPoint());
    WindowCanvas.clipped = !shown.isEmpty();
    WindowCanvas.shown = shown;
    if (WindowCanvas.clipped)
        WindowCanvas.painter.setClipRegion(shown);
    return &WindowCanvas;
}

void CloseSurfaceCanvas(Canvas* canvas) {
    if (canvas != nullptr)
        End(*canvas);
}

// ---- The seam --------------------------------------------------------------------------

// Outside a paint event there is no surface to draw on: the desktop program draws only there.
Canvas* CanvasOpenWindow() {
    return nullptr;
}

Canvas* CanvasOpenWindowKept() {
    return nullptr;
}

void CanvasCloseWindow(Canvas* canvas) {
    CloseSurfaceCanvas(canvas);
}

Canvas* CanvasOpenOffscreen(Canvas* target, int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top)
        return nullptr;
    for (Canvas& slot : Offscreens) {
        if (slot.open)
            continue;
        slot.own = QImage(right - left, bottom - top, QImage::Format_RGB32);
        if (slot.own.isNull())
            return nullptr;
        slot.own.fill(ToQColor(BackColour));
        ResetSelections(slot);
        slot.font = target->font;
        slot.text = target->text;
        slot.back = target->back;
        slot.align = target->align;
        slot.target = target;
        slot.clipped = false;
        Begin(slot, &slot.own, QPoint(left, top));
        return &slot;
    }
    return nullptr;
}

void CanvasCloseOffscreen(Canvas* offscreen) {
    if (offscreen == nullptr || !offscreen->open)
        return;
    End(*offscreen);
    offscreen->target->painter.drawImage(offscreen->origin, offscreen->own);
    offscreen->own = QImage();
}

Canvas* CanvasOpenLayer(CanvasLayer which, Canvas*, int left, int top, int right, int bottom,
                        bool* blank) {
    Canvas& layer = Layers[static_cast<size_t>(which)];
    QSize size(right - left, bottom - top);
    *blank = layer.own.isNull() || layer.origin != QPoint(left, top) || layer.own.size() != size;
    if (*blank) {
        if (size.isEmpty())
            return nullptr;
        layer.own = QImage(size, QImage::Format_RGB32);
        if (layer.own.isNull())
            return nullptr;
        layer.own.fill(ToQColor(BackColour));
        ResetSelections(layer);
    }
    Begin(layer, &layer.own, QPoint(left, top));
    return &layer;
}

void CanvasCloseLayer(Canvas* layer) {
    if (layer == nullptr)
        return;
    End(*layer);
    CanvasRestoreObjects(layer);
}

void CanvasCopy(Canvas* from, Canvas* to, int left, int top, int right, int bottom) {
    QRect source(left - from->origin.x(), top - from->origin.y(), right - left, bottom - top);
    to->painter.drawImage(QPoint(left, top), *from->surface, source);
}

bool CanvasPartVisible(Canvas* canvas, int left, int top, int right, int bottom) {
    return !canvas->clipped ||
           canvas->shown.intersects(QRect(left, top, right - left, bottom - top));
}

void CanvasSetPen(Canvas* canvas, int width, Colour colour) {
    canvas->penWidth = width;
    canvas->pen = colour;
}

void CanvasSetBrush(Canvas* canvas, Colour colour) {
    canvas->brush = colour;
}

void CanvasRestoreObjects(Canvas* canvas) {
    canvas->pen = Rgb(0, 0, 0);
    canvas->penWidth = 1;
    canvas->brush = Rgb(255, 255, 255);
}

CanvasFont CanvasSetFont(Canvas* canvas, CanvasFont font) {
    CanvasFont previous = canvas->font;
    canvas->font = font;
    return previous;
}

Colour CanvasSetTextColour(Canvas* canvas, Colour colour) {
    Colour previous = canvas->text;
    canvas->text = colour;
    return previous;
}

Colour CanvasSetBackColour(Canvas* canvas, Colour colour) {
    Colour previous = canvas->back;
    canvas->back = colour;
    return previous;
}

CanvasAlign CanvasSetTextAlign(Canvas* canvas, CanvasAlign align) {
    CanvasAlign previous = canvas->align;
    canvas->align = align;
    return previous;
}

void CanvasMoveTo(Canvas* canvas, int x, int y) {
    canvas->position = QPoint(x, y);
}

void CanvasLineTo(Canvas* canvas, int x, int y) {
    UsePen(canvas);
    canvas->painter.drawLine(canvas->position, QPoint(x, y));
    canvas->position = QPoint(x, y);
}

void CanvasEllipse(Canvas* canvas, int left, int top, int right, int bottom) {
    UsePen(canvas);
    canvas->painter.setBrush(ToQColor(canvas->brush));
    canvas->painter.drawEllipse(OutlineBox(left, top, right, bottom));
}

void CanvasRectangle(Canvas* canvas, int left, int top, int right, int bottom) {
    UsePen(canvas);
    canvas->painter.setBrush(ToQColor(canvas->brush));
    canvas->painter.drawRect(OutlineBox(left, top, right, bottom));
}

void CanvasArc(Canvas* canvas, int left, int top, int right, int bottom, int startX, int startY,
               int endX, int endY) {
    QRect box = OutlineBox(left, top, right, bottom);
    double start = RayAngle(box, startX, startY);
    double span = RayAngle(box, endX, endY) - start;
    while (span <= 0)
        span += 360.0; // counter-clockwise, and the whole ellipse when the rays coincide
    UsePen(canvas);
    canvas->painter.setBrush(Qt::NoBrush);
    canvas->painter.drawArc(box, static_cast<int>(std::lround(start * 16)),
                            static_cast<int>(std::lround(span * 16)));
}

void CanvasText(Canvas* canvas, int x, int y, std::string_view text) {
    QString shown = ToQString(text);
    const QFont& font = Fonts[static_cast<size_t>(canvas->font)];
    int width = QFontMetrics(font).horizontalAdvance(shown);
    if (canvas->align == ALIGN_CENTRE_TOP)
        x -= width / 2;
    canvas->painter.fillRect(QRect(x, y, width, FontHeights[static_cast<size_t>(canvas->font)]),
                             ToQColor(canvas->back));
    canvas->painter.setFont(font);
    canvas->painter.setPen(ToQColor(canvas->text));
    canvas->painter.drawText(QPoint(x, y + TextAscent(canvas->font)), shown);
}

void CanvasBlockText(Canvas* canvas, int x, int y, std::string_view cells) {
    int width = static_cast<int>(cells.size()) * BLOCK_CELL_WIDTH;
    canvas->painter.fillRect(QRect(x, y, width, BLOCK_CELL_HEIGHT), ToQColor(canvas->back));
    QColor ink = ToQColor(canvas->text);
    // A run of like cells is one rectangle.
    for (size_t i = 0; i < cells.size();) {
        unsigned char cell = static_cast<unsigned char>(cells[i]);
        size_t end = i + 1;
        while (end < cells.size() && static_cast<unsigned char>(cells[end]) == cell)
            ++end;
        if (cell == 0xDB || cell == 0xDF) {
            int height = cell == 0xDB ? BLOCK_CELL_HEIGHT : BLOCK_CELL_HEIGHT / 2;
            canvas->painter.fillRect(QRect(x + static_cast<int>(i) * BLOCK_CELL_WIDTH, y,
                                           static_cast<int>(end - i) * BLOCK_CELL_WIDTH, height),
                                     ink);
        }
        i = end;
    }
}

int CanvasTextWidth(Canvas* canvas, std::string_view text) {
    return QFontMetrics(Fonts[static_cast<size_t>(canvas->font)])
        .horizontalAdvance(ToQString(text));
}

void CanvasTextMetrics(Canvas* canvas, int* height, int* averageWidth) {
    *height = FontHeights[static_cast<size_t>(canvas->font)];
    *averageWidth = FontAverageWidths[static_cast<size_t>(canvas->font)];
}

void CanvasClientSize(Canvas*, int* width, int* height) {
    *width = ClientWidthSet;
    *height = ClientHeightSet;
}
