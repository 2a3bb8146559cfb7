// View switching: the view of a Display menu command with the unit-side steps that go with
// it, the recording that needs a live view, and the once-a-second timer of the live views.
#pragma once

#include <windows.h>

#include <string_view>

// Switches to the view of a Display menu command (IDM_AFR_LAMBDA, IDM_WB_SETUP,
// IDM_FIRMWARE_UPDATE, IDM_LIVE_HISTORY, IDM_RECORDING_VIEW) with the unit-side steps that go with
// it; leaving the live views ends a running recording, its file complete. Returns 0.
int SelectView(HWND window, int command);
// Starts recording to path and, once it runs, shows the AFR and Lambda view unless a live view
// is shown. 0, or -1 after the recording's box, with the view as it was.
int RecordInLiveView(std::string_view path);
// The main window's timer VIEW_TIMER runs while a live view is shown: the recording's rows are
// written out once a second, and in an outage the history chart's gap grows.
constexpr UINT_PTR VIEW_TIMER = 2;
void OnViewTimer();
// Starts or stops the timer for the view shown; the close sequence stops it with no view.
void UpdateViewTimer();
