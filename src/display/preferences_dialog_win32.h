// The Preferences dialog (resource 132): the target band of the AFR and Lambda dial and the
// response rate of the live display.
#pragma once

#include <windows.h>

INT_PTR CALLBACK PreferencesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
