// The Recording view's window side: its scroll bar, which counts the file's time, and the chart
// drawn again after each move of the view (display/review_input.h decides the moves).
#pragma once

#include <windows.h>

// The bar set to the time on screen, and the chart drawn again at once.
void RedrawReview();
// The whole wheel steps in delta as WM_MOUSEWHEEL gives it; a fine wheel's turns short of a
// notch wait for the next.
int ReviewWheelSteps(int delta);
// WM_HSCROLL's request code from the view's scroll bar.
void OnReviewScroll(int code);
