// The canvas on GDI: each call is the GDI call of the same meaning on the canvas's
// device context.
#include "display/canvas_gdi_win32.h"

#include <array>

namespace {

HWND CanvasWindow = nullptr;
HFONT StatusFont = nullptr;
HFONT CourierFont = nullptr;
HFONT LargeFont = nullptr;

// Contexts taken from the window, per thread: each drawing thread has its own, and a
// drawing routine may open one while its caller holds another.
constexpr size_t WINDOW_CANVAS_SLOTS = 4;
thread_local std::array<Canvas, WINDOW_CANVAS_SLOTS> WindowCanvases;
// Off-screen canvases, per thread as well: a paint may hold one while a drawing opens another.
thread_local std::array<Canvas, WINDOW_CANVAS_SLOTS> OffscreenCanvases;

// The context a thread keeps, given back when the thread ends (on that thread, as the
// system asks).
struct KeptContext {
    Canvas canvas;
    bool open = false;
    void Release() {
        if (canvas.dc != nullptr)
            ReleaseDC(canvas.window, canvas.dc);
        canvas = Canvas{};
    }
    ~KeptContext() {
        Release();
    }
};
thread_local KeptContext Kept;

HFONT FontHandle(CanvasFont font) {
    switch (font) {
    case FONT_OEM_FIXED:
        return static_cast<HFONT>(GetStockObject(OEM_FIXED_FONT));
    case FONT_STATUS:
        return StatusFont;
    case FONT_COURIER:
        return CourierFont;
    case FONT_LARGE:
        return LargeFont;
    case FONT_SYSTEM:
        break;
    }
    return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

CanvasFont FontName(HGDIOBJ handle) {
    for (CanvasFont font : {FONT_OEM_FIXED, FONT_STATUS, FONT_COURIER, FONT_LARGE})
        if (handle != nullptr && handle == FontHandle(font))
            return font;
    return FONT_SYSTEM;
}

HFONT MakeFont(int height, int weight, DWORD charset, DWORD pitchAndFamily, const char* face) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitchAndFamily, face);
}

} // namespace

Canvas CanvasOnDc(HDC dc) {
    Canvas canvas;
    canvas.dc = dc;
    return canvas;
}

void CanvasAttachWindow(HWND window) {
    CanvasWindow = window;
}

void CanvasCreateFonts(bool win98OrMe) {
    constexpr DWORD MODERN_FIXED = FF_MODERN | FIXED_PITCH; // 0x31
    CourierFont = MakeFont(17, FW_NORMAL, ANSI_CHARSET, MODERN_FIXED, "COURIER NEW");
    // The face name is no installed font: with the OEM character set and fixed pitch the
    // font mapper answers with the system's OEM fixed-pitch font.
    StatusFont =
        MakeFont(20, win98OrMe ? FW_NORMAL : FW_BOLD, OEM_CHARSET, MODERN_FIXED, "OEM_FIXED_FONT");
    LargeFont = MakeFont(24, FW_NORMAL, DEFAULT_CHARSET, 0, "");
}

void CanvasDeleteFonts() {
    DeleteObject(CourierFont);
    DeleteObject(LargeFont);
    CourierFont = nullptr;
    LargeFont = nullptr;
}

Canvas* CanvasOpenWindow() {
    if (CanvasWindow == nullptr)
        return nullptr;
    for (Canvas& slot : WindowCanvases) {
        if (slot.dc != nullptr)
            continue;
        HDC dc = GetDC(CanvasWindow);
        if (dc == nullptr)
            return nullptr;
        slot = CanvasOnDc(dc);
        slot.window = CanvasWindow;
        return &slot;
    }
    return nullptr;
}

Canvas* CanvasOpenWindowKept() {
    if (CanvasWindow == nullptr)
        return nullptr;
    if (Kept.open)
        return CanvasOpenWindow();
    if (Kept.canvas.window != CanvasWindow)
        Kept.Release(); // taken for a window that has gone since
    if (Kept.canvas.dc == nullptr) {
        HDC dc = GetDC(CanvasWindow);
        if (dc == nullptr)
            return nullptr;
        Kept.canvas = CanvasOnDc(dc);
        Kept.canvas.window = CanvasWindow;
        Kept.canvas.kept = true;
    }
    Kept.open = true;
    return &Kept.canvas;
}

void CanvasCloseWindow(Canvas* canvas) {
    if (canvas == nullptr || canvas->dc == nullptr)
        return;
    CanvasRestoreObjects(canvas);
    if (canvas->kept) {
        Kept.open = false;
        return;
    }
    ReleaseDC(canvas->window, canvas->dc);
    *canvas = Canvas{};
}

Canvas* CanvasOpenOffscreen(Canvas* target, int left, int top, int right, int bottom) {
    for (Canvas& slot : OffscreenCanvases) {
        if (slot.dc != nullptr)
            continue;
        HDC dc = CreateCompatibleDC(target->dc);
        HBITMAP bitmap = dc == nullptr
                             ? nullptr
                             : CreateCompatibleBitmap(target->dc, right - left, bottom - top);
        if (bitmap == nullptr) {
            if (dc != nullptr)
                DeleteDC(dc);
            return nullptr;
        }
        slot = CanvasOnDc(dc);
        slot.target = target;
        slot.area = RECT{left, top, right, bottom};
        slot.bitmap = bitmap;
        slot.originalBitmap = SelectObject(dc, bitmap);
        // The bitmap's top-left pixel is the target's point (left, top).
        SetViewportOrgEx(dc, -left, -top, nullptr);
        HBRUSH back = CreateSolidBrush(BackColour);
        if (back != nullptr) {
            FillRect(dc, &slot.area, back);
            DeleteObject(back);
        }
        SelectObject(dc, GetCurrentObject(target->dc, OBJ_FONT));
        SetTextColor(dc, GetTextColor(target->dc));
        SetBkColor(dc, GetBkColor(target->dc));
        SetTextAlign(dc, GetTextAlign(target->dc));
        return &slot;
    }
    return nullptr;
}

void CanvasCloseOffscreen(Canvas* offscreen) {
    if (offscreen == nullptr || offscreen->dc == nullptr)
        return;
    CanvasRestoreObjects(offscreen);
    const RECT& area = offscreen->area;
    BitBlt(offscreen->target->dc, area.left, area.top, area.right - area.left,
           area.bottom - area.top, offscreen->dc, area.left, area.top, SRCCOPY);
    SelectObject(offscreen->dc, offscreen->originalBitmap);
    DeleteObject(offscreen->bitmap);
    DeleteDC(offscreen->dc);
    *offscreen = Canvas{};
}

namespace {
// The kept layers, each with the part of the window it stands for; a layer's user serialises its
// use, so they are not per thread.
struct KeptLayer {
    Canvas canvas;
    RECT area{};
};
std::array<KeptLayer, CANVAS_LAYER_COUNT> Layers;

void DropLayer(KeptLayer& layer) {
    if (layer.canvas.dc != nullptr) {
        SelectObject(layer.canvas.dc, layer.canvas.originalBitmap);
        DeleteObject(layer.canvas.bitmap);
        DeleteDC(layer.canvas.dc);
    }
    layer = KeptLayer{};
}

bool SameArea(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
} // namespace

Canvas* CanvasOpenLayer(CanvasLayer which, Canvas* target, int left, int top, int right, int bottom,
                        bool* blank) {
    KeptLayer& layer = Layers[which];
    RECT area{left, top, right, bottom};
    *blank = layer.canvas.dc == nullptr || !SameArea(layer.area, area);
    if (!*blank)
        return &layer.canvas;
    DropLayer(layer);
    HDC dc = CreateCompatibleDC(target->dc);
    HBITMAP bitmap =
        dc == nullptr ? nullptr : CreateCompatibleBitmap(target->dc, right - left, bottom - top);
    if (bitmap == nullptr) {
        if (dc != nullptr)
            DeleteDC(dc);
        return nullptr;
    }
    layer.canvas = CanvasOnDc(dc);
    layer.canvas.bitmap = bitmap;
    layer.canvas.originalBitmap = SelectObject(dc, bitmap);
    layer.area = area;
    // The bitmap's top-left pixel is the window's point (left, top).
    SetViewportOrgEx(dc, -left, -top, nullptr);
    HBRUSH back = CreateSolidBrush(BackColour);
    if (back != nullptr) {
        FillRect(dc, &area, back);
        DeleteObject(back);
    }
    return &layer.canvas;
}

void CanvasCloseLayer(Canvas* layer) {
    if (layer == nullptr || layer->dc == nullptr)
        return;
    CanvasRestoreObjects(layer);
}

void CanvasCopy(Canvas* from, Canvas* to, int left, int top, int right, int bottom) {
    BitBlt(to->dc, left, top, right - left, bottom - top, from->dc, left, top, SRCCOPY);
}

bool CanvasPartVisible(Canvas* canvas, int left, int top, int right, int bottom) {
    RECT part{left, top, right, bottom};
    return RectVisible(canvas->dc, &part) != FALSE;
}

void CanvasSetPen(Canvas* canvas, int width, Colour colour) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    if (pen == nullptr)
        return;
    HGDIOBJ previous = SelectObject(canvas->dc, pen);
    // Only the pen this canvas made before may be deleted; the first one found is the
    // context's own and comes back at CanvasRestoreObjects.
    if (canvas->createdPen != nullptr)
        DeleteObject(canvas->createdPen);
    else
        canvas->originalPen = static_cast<HPEN>(previous);
    canvas->createdPen = pen;
}

void CanvasSetBrush(Canvas* canvas, Colour colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    if (brush == nullptr)
        return;
    HGDIOBJ previous = SelectObject(canvas->dc, brush);
    if (canvas->createdBrush != nullptr)
        DeleteObject(canvas->createdBrush);
    else
        canvas->originalBrush = static_cast<HBRUSH>(previous);
    canvas->createdBrush = brush;
}

void CanvasRestoreObjects(Canvas* canvas) {
    if (canvas->createdPen != nullptr) {
        SelectObject(canvas->dc, canvas->originalPen);
        DeleteObject(canvas->createdPen);
        canvas->createdPen = nullptr;
    }
    if (canvas->createdBrush != nullptr) {
        SelectObject(canvas->dc, canvas->originalBrush);
        DeleteObject(canvas->createdBrush);
        canvas->createdBrush = nullptr;
    }
}

CanvasFont CanvasSetFont(Canvas* canvas, CanvasFont font) {
    HFONT handle = FontHandle(font);
    HGDIOBJ current = GetCurrentObject(canvas->dc, OBJ_FONT);
    // Not created yet: the selection stays. Already selected (a kept context keeps its font
    // from frame to frame): selecting it again changes nothing on the screen, but Wine's X11
    // driver looks up the X resources and rereads their files on every font selection.
    if (handle == nullptr || handle == current)
        return FontName(current);
    return FontName(SelectObject(canvas->dc, handle));
}

Colour CanvasSetTextColour(Canvas* canvas, Colour colour) {
    return SetTextColor(canvas->dc, colour);
}

Colour CanvasSetBackColour(Canvas* canvas, Colour colour) {
    return SetBkColor(canvas->dc, colour);
}

CanvasAlign CanvasSetTextAlign(Canvas* canvas, CanvasAlign align) {
    UINT previous =
        SetTextAlign(canvas->dc, align == ALIGN_CENTRE_TOP ? TA_CENTER | TA_TOP : TA_LEFT | TA_TOP);
    return (previous & (TA_CENTER | TA_RIGHT)) == TA_CENTER ? ALIGN_CENTRE_TOP : ALIGN_LEFT_TOP;
}

void CanvasMoveTo(Canvas* canvas, int x, int y) {
    MoveToEx(canvas->dc, x, y, nullptr);
}

void CanvasLineTo(Canvas* canvas, int x, int y) {
    LineTo(canvas->dc, x, y);
}

void CanvasEllipse(Canvas* canvas, int left, int top, int right, int bottom) {
    Ellipse(canvas->dc, left, top, right, bottom);
}

void CanvasRectangle(Canvas* canvas, int left, int top, int right, int bottom) {
    Rectangle(canvas->dc, left, top, right, bottom);
}

void CanvasArc(Canvas* canvas, int left, int top, int right, int bottom, int startX, int startY,
               int endX, int endY) {
    Arc(canvas->dc, left, top, right, bottom, startX, startY, endX, endY);
}

void CanvasText(Canvas* canvas, int x, int y, std::string_view text) {
    TextOutA(canvas->dc, x, y, text.data(), static_cast<int>(text.size()));
}

void CanvasBlockText(Canvas* canvas, int x, int y, std::string_view cells) {
    // Filled cells instead of OEM font glyphs: the same pixels as the 8 by 12 OEM font
    // on Windows, and independent of the font that Wine or a foreign code page supplies.
    HDC dc = canvas->dc;
    int width = static_cast<int>(cells.size()) * BLOCK_CELL_WIDTH;
    if (GetBkMode(dc) == OPAQUE) {
        RECT row{x, y, x + width, y + BLOCK_CELL_HEIGHT};
        ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &row, "", 0, nullptr);
    }
    HBRUSH ink = CreateSolidBrush(GetTextColor(dc));
    if (ink == nullptr)
        return;
    // A run of like cells is one rectangle: a digit's row is one to three fills instead of up
    // to seven, each a request to the display server.
    for (size_t i = 0; i < cells.size();) {
        unsigned char cell = static_cast<unsigned char>(cells[i]);
        size_t end = i + 1;
        while (end < cells.size() && static_cast<unsigned char>(cells[end]) == cell)
            ++end;
        if (cell == 0xDB || cell == 0xDF) {
            int height = cell == 0xDB ? BLOCK_CELL_HEIGHT : BLOCK_CELL_HEIGHT / 2;
            RECT block{x + static_cast<int>(i) * BLOCK_CELL_WIDTH, y,
                       x + static_cast<int>(end) * BLOCK_CELL_WIDTH, y + height};
            FillRect(dc, &block, ink);
        }
        i = end;
    }
    DeleteObject(ink);
}

int CanvasTextWidth(Canvas* canvas, std::string_view text) {
    SIZE size{};
    if (!GetTextExtentPoint32A(canvas->dc, text.data(), static_cast<int>(text.size()), &size))
        return 0;
    return size.cx;
}

void CanvasTextMetrics(Canvas* canvas, int* height, int* averageWidth) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(canvas->dc, &metrics);
    *height = metrics.tmHeight;
    *averageWidth = metrics.tmAveCharWidth;
}

void CanvasClientSize(Canvas* canvas, int* width, int* height) {
    RECT client{};
    GetClientRect(WindowFromDC(canvas->dc), &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}
