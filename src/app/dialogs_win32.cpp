// The main menu's dialogs on Windows, modal over the main window, and Exit.
#include "app/about_box_win32.h"
#include "app/dialogs.h"
#include "app/shell_win32.h"
#include "discovery/comm_setup_win32.h"
#include "display/preferences_dialog_win32.h"
#include "resources/resource.h"

void ShowAppDialog(AppDialog dialog) {
    switch (dialog) {
    case DIALOG_PREFERENCES:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PREFERENCES), MainWindow,
                        PreferencesDlgProc, 0);
        break;
    case DIALOG_COMM_SETUP:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_COMM_SETUP), MainWindow, CommSetupDlgProc,
                        0);
        break;
    case DIALOG_ABOUT:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), MainWindow, AboutDlgProc, 0);
        break;
    }
}

void ExitProgram() {
    DestroyWindow(MainWindow);
}
