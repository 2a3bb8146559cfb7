// The menu's items on Qt. A job's thread locks and unlocks them: the change is handed to the GUI
// thread in the order it was made.
#include "desktop/menu_qt.h"

#include "app/menu.h"
#include "desktop/shell_qt.h"

#include <QAction>
#include <QPointer>

#include <map>

namespace {
std::map<int, QPointer<QAction>> Actions;
} // namespace

void RegisterMenuAction(int command, QAction* action) {
    Actions[command] = action;
}

QAction* MenuAction(int command) {
    auto found = Actions.find(command);
    return found != Actions.end() ? found->second.data() : nullptr;
}

void SetMenuItemEnabled(int command, bool enabled) {
    RunOnGuiThread(
        [command, enabled] {
            if (QAction* action = MenuAction(command); action != nullptr)
                action->setEnabled(enabled);
        },
        false);
}

// A window manager's close box cannot be grayed from the program: the close it asks for is
// refused while a job runs (the main window's close event), as the Windows utility refuses it.
void SetCloseEnabled(bool) {}

void RedrawMenuBar() {}
