// The Comm Port Setup dialog (resource 133): automatic search for the unit's port, or a fixed
// port from COM1 to COM25.
#pragma once

#include <windows.h>

INT_PTR CALLBACK CommSetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
