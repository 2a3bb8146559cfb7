// The canvas on Windows: a device context and the GDI objects that the canvas created
// on it. For the Windows front end only; portable code sees Canvas as opaque.
#pragma once

#include "display/canvas.h"

#include <windows.h>

struct Canvas {
    HDC dc = nullptr;
    HWND window = nullptr; // set when the context came from CanvasOpenWindow
    bool kept = false;     // from CanvasOpenWindowKept: a close keeps the context
    HPEN createdPen = nullptr;
    HPEN originalPen = nullptr;
    HBRUSH createdBrush = nullptr;
    HBRUSH originalBrush = nullptr;
    // From CanvasOpenOffscreen: the canvas the bitmap goes to, the part it stands for, the bitmap.
    Canvas* target = nullptr;
    RECT area{};
    HBITMAP bitmap = nullptr;
    HGDIOBJ originalBitmap = nullptr;
};

// A canvas on a device context that the caller owns (a paint or memory context).
Canvas CanvasOnDc(HDC dc);

// The window that CanvasOpenWindow draws into: the main window, once it exists.
void CanvasAttachWindow(HWND window);

// StatusFont, CourierFont and LargeFont, created once at start-up. StatusFont has weight
// 400 on Windows 98 and Me and 700 everywhere else.
void CanvasCreateFonts(bool win98OrMe);
// Deletes CourierFont and LargeFont at shutdown. StatusFont stays: the comm thread may
// still draw the status line until the process ends.
void CanvasDeleteFonts();
