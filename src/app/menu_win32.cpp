// The menu's states: the shown view's command grayed, and the lock of the programming workers.
#include "app/menu.h"

#include "app/shell.h"

namespace {
// Long enough for every caption of the resource script and its accelerator text.
constexpr int CAPTION_SIZE = 64;

// The system menu's Close item also stands for the caption's close box.
void SetCloseState(UINT state) {
    EnableMenuItem(GetSystemMenu(MainWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | state);
}
} // namespace

const MenuCommand* FindMenuCommand(int command) {
    for (const MenuCommand& row : MenuCommands)
        if (row.command == command)
            return &row;
    return nullptr;
}

void SetMenuItemState(int command, UINT state) {
    HMENU menu = GetMenu(MainWindow);
    char caption[CAPTION_SIZE] = {};
    GetMenuStringA(menu, static_cast<UINT>(command), caption, CAPTION_SIZE, MF_BYCOMMAND);
    ModifyMenuA(menu, static_cast<UINT>(command), MF_BYCOMMAND | MF_STRING | state,
                static_cast<UINT_PTR>(command), caption);
}

void GrayShownView(int32_t view) {
    for (const MenuCommand& row : MenuCommands)
        if (row.view != VIEW_NONE)
            SetMenuItemState(row.command, row.view == view ? MF_GRAYED : MF_ENABLED);
}

void LockMenus() {
    for (const MenuCommand& row : MenuCommands)
        if (row.lock == LOCKED_WHILE_PROGRAMMING)
            SetMenuItemState(row.command, MF_GRAYED);
    SetCloseState(MF_GRAYED);
    DrawMenuBar(MainWindow);
}

void UnlockMenus() {
    for (const MenuCommand& row : MenuCommands)
        if (row.lock == LOCKED_WHILE_PROGRAMMING)
            SetMenuItemState(row.command, MF_ENABLED);
    GrayShownView(ViewMode.load(std::memory_order_acquire));
    SetCloseState(MF_ENABLED);
    DrawMenuBar(MainWindow);
}
