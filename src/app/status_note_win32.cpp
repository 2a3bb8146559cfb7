// The status line drawn on Windows from whichever thread changes it, as the link's threads do.
#include "app/shell_win32.h"
#include "app/status_note.h"
#include "display/canvas_gdi_win32.h"
#include "display/status_line.h"

void RedrawStatusLine() {
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawStatusNoteLine(canvas);
    CanvasCloseWindow(canvas);
    // Drawn from another thread, the line may reach the screen only when the main thread next
    // flushes the window (under Wine, not before its next input), and the main thread may
    // meanwhile draw an older state over it. Its own paint, asked for here, draws the state there
    // is then.
    RECT line = {0, ClientHeight - LineHeight, ClientWidth, ClientHeight};
    InvalidateRect(MainWindow, &line, FALSE);
}
