// The menu's items on Windows: each state change rewrites the item with the caption it has.
#include "app/menu.h"
#include "app/shell_win32.h"

namespace {
// Long enough for every caption of the resource script and its accelerator text.
constexpr int CAPTION_SIZE = 64;
} // namespace

void SetMenuItemEnabled(int command, bool enabled) {
    HMENU menu = GetMenu(MainWindow);
    char caption[CAPTION_SIZE] = {};
    GetMenuStringA(menu, static_cast<UINT>(command), caption, CAPTION_SIZE, MF_BYCOMMAND);
    ModifyMenuA(menu, static_cast<UINT>(command),
                MF_BYCOMMAND | MF_STRING | (enabled ? MF_ENABLED : MF_GRAYED),
                static_cast<UINT_PTR>(command), caption);
}

// The system menu's Close item also stands for the caption's close box.
void SetCloseEnabled(bool enabled) {
    EnableMenuItem(GetSystemMenu(MainWindow, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void RedrawMenuBar() {
    DrawMenuBar(MainWindow);
}
