// The main menu's dialogs in the desktop program, modal over the main window, and Exit.
#include "app/dialogs.h"
#include "desktop/about_box_qt.h"
#include "desktop/comm_setup_qt.h"
#include "desktop/gui_thread_qt.h"
#include "desktop/preferences_qt.h"

#include <QWidget>

void ShowAppDialog(AppDialog dialog) {
    switch (dialog) {
    case DIALOG_PREFERENCES:
        RunPreferencesDialog(GuiWindow());
        break;
    case DIALOG_COMM_SETUP:
        RunCommSetupDialog(GuiWindow());
        break;
    case DIALOG_ABOUT:
        RunAboutBox(GuiWindow());
        break;
    }
}

// The window's close sequence; Exit is grayed while a job runs.
void ExitProgram() {
    if (QWidget* window = GuiWindow(); window != nullptr)
        window->close();
}
