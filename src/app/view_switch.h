// The Windows utility's side of the views (app/views.h): each view's controls made and removed,
// the once-a-second timer of the live views, the views' input passed on, and a view drawn again
// after an input that moved it.
#pragma once

#include "display/review_input.h"

#include <windows.h>

// The main window's timer VIEW_TIMER runs while a live view is shown: the recording's rows are
// written out once a second, and in an outage the history chart's gap grows.
constexpr UINT_PTR VIEW_TIMER = 2;
void OnViewTimer();
// A click on an id-less push button or radio button of the shown view.
void OnViewButton(HWND control);
// The shown view's answer to an input: drawn again, or a beep.
void ActOnViewInput(ViewInput input);
// A virtual key as the views know it, -1 for another.
int ToViewKey(WPARAM key);
// Alt and a character that the shown view takes: true when it did.
bool ViewSysChar(WPARAM character);
