// The Recording view's window side: its scroll bar and its input. The keys: Left and Right
// scroll a tenth of the screen, Page Up and Page Down a screen, Home and End to the ends, + and
// - zoom about the middle, N and P go to the next and previous marker; the wheel zooms about
// the pointer and the pointer moves the cursor. Each redraws the chart at once.
#pragma once

#include <windows.h>

void CreateReviewControls();
void DestroyReviewControls();
// The bar set to the time on screen (a file opened while the view is shown).
void UpdateReviewScrollBar();

void OnReviewKey(WPARAM key);
void OnReviewChar(WPARAM character);
// delta as WM_MOUSEWHEEL gives it, at a point in screen coordinates.
void OnReviewWheel(int delta, POINT screen);
// The pointer at client pixels x, y; outside the chart the cursor goes.
void OnReviewPointer(int x, int y);
// WM_HSCROLL's request code from the view's scroll bar.
void OnReviewScroll(int code);
