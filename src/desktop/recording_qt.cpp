// The record item of the desktop program's File menu: while a recording runs it says how to stop
// it, else again what the menu gave it (the Windows utility's string 110 and menu item).
#include "app/recording.h"

#include "desktop/menu_qt.h"
#include "resources/resource.h"

#include <QAction>

void ShowRecordItem(bool running) {
    if (QAction* item = MenuAction(IDM_RECORD); item != nullptr)
        item->setText(running ? "Stop &Recording" : "&Record Live Data...");
}
