// The main menu's items in the desktop program, by command: the main window makes them and
// registers each here; the menu's rules (app/menu.h) enable and gray them from any thread.
#pragma once

class QAction;

void RegisterMenuAction(int command, QAction* action);
QAction* MenuAction(int command);
