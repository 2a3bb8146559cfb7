// What the Windows front end's view and dialog files use of its main window besides the portable
// shell: the window as the parent of their controls and the owner of their boxes, the instance,
// and the number fields' filter. Only _win32 files include it.
#pragma once

#include "app/shell.h"

#include <windows.h>

extern HINSTANCE AppInstance;
extern HWND MainWindow;

// The messages the utility posts to its own windows, from another thread or for later, each
// handled where it names.
enum PrivateMessage : UINT {
    SETUP_DATA_ARRIVED_MESSAGE = WM_APP + 1, // the setup view's mailbox: a data block was read
    SETUP_WRITE_ENDED_MESSAGE = WM_APP + 2,  // the setup view's mailbox: its write has ended
    DATA_READ_MESSAGE = WM_APP + 10,         // the main window: a data block read, or not
    FOCUS_BACK_MESSAGE = WM_APP + 11,        // the main window: take the focus back
};

inline RECT ToRect(const ViewRect& area) {
    return RECT{area.left, area.top, area.right, area.bottom};
}

// A child control of the main window, placed in client pixels. DestroyViewControl destroys one
// (a null handle does nothing) and clears the handle first, so that no message sent while it
// goes finds it half destroyed.
HWND CreateViewControl(const char* className, const char* caption, DWORD style, int x, int y,
                       int width, int height);
void DestroyViewControl(HWND& control);

// The number fields take digits and one decimal point: removes the first character of the
// edit control's text that a number cannot hold, with the default beep (FindRefusedNumberChar).
// The removal changes the text again, and the control's change notification calls this once
// more for the rest.
void FilterNumberEdit(HWND edit);
