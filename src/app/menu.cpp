// The menu's states: the shown view's command grayed, and the lock of a running job.
#include "app/menu.h"

#include "app/shell.h"

const MenuCommand* FindMenuCommand(int command) {
    for (const MenuCommand& row : MenuCommands)
        if (row.command == command)
            return &row;
    return nullptr;
}

bool LockedWhileProgramming(int command) {
    const MenuCommand* row = FindMenuCommand(command);
    return row != nullptr && row->lock == LOCKED_WHILE_PROGRAMMING;
}

void GrayShownView(int32_t view) {
    for (const MenuCommand& row : MenuCommands)
        if (row.view != VIEW_NONE)
            SetMenuItemEnabled(row.command, row.view != view);
}

void LockMenus() {
    for (const MenuCommand& row : MenuCommands)
        if (row.lock == LOCKED_WHILE_PROGRAMMING)
            SetMenuItemEnabled(row.command, false);
    SetCloseEnabled(false);
    RedrawMenuBar();
}

void UnlockMenus() {
    for (const MenuCommand& row : MenuCommands)
        if (row.lock == LOCKED_WHILE_PROGRAMMING)
            SetMenuItemEnabled(row.command, true);
    GrayShownView(ViewMode.load(std::memory_order_acquire));
    SetCloseEnabled(true);
    RedrawMenuBar();
}
