// The main menu's commands.
#include "app/commands.h"

#include "app/dialogs.h"
#include "app/menu.h"
#include "app/open_recording.h"
#include "app/recording.h"
#include "app/shell.h"
#include "app/views.h"
#include "firmware/job.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "wbsetup/setup_view.h"

int RunMenuCommand(int command) {
    // While a firmware update or a setup write runs, the program must not end and the port must
    // not be reopened under it: the unit would be left in its loader half-programmed. The
    // commands that the lock grays are refused here too, so that a command sent by other means
    // than the menu cannot reach them either.
    if (LockedWhileProgramming(command) && JobRunning.load(std::memory_order_acquire) != 0) {
        BeepRefusedInput();
        return 0;
    }
    switch (command) {
    case IDM_AFR_LAMBDA:
    case IDM_WB_SETUP:
    case IDM_FIRMWARE_UPDATE:
    case IDM_LIVE_HISTORY:
    case IDM_RECORDING_VIEW:
        SelectView(command);
        return 0;
    case IDM_OPEN_RECORDING:
        OnOpenRecording();
        return 0;
    case IDM_MARK:
        MarkRecording();
        return 0;
    case IDM_RECORD:
        OnRecordCommand();
        return 0;
    case IDM_OPEN_SETUP:
    case IDM_SAVE_SETUP:
        // Both belong to the Wide Band Setup view, which shows what is opened and what is saved.
        if (ViewMode.load(std::memory_order_acquire) != VIEW_WB_SETUP)
            SelectView(IDM_WB_SETUP);
        if (ViewMode.load(std::memory_order_acquire) == VIEW_WB_SETUP)
            OnSetupFileCommand(command == IDM_OPEN_SETUP ? SETUP_FILE_OPEN : SETUP_FILE_SAVE);
        return 0;
    case IDM_PREFERENCES:
        ShowAppDialog(DIALOG_PREFERENCES);
        return 0;
    case IDM_FIND_UNIT:
        AutoPort.store(1, std::memory_order_release);
        Reconnect();
        return 0;
    case IDM_COMM_SETUP:
        ShowAppDialog(DIALOG_COMM_SETUP);
        return 0;
    case IDM_ABOUT:
        ShowAppDialog(DIALOG_ABOUT);
        return 0;
    case IDM_EXIT:
        ExitProgram();
        return 0;
    default:
        return -1;
    }
}
