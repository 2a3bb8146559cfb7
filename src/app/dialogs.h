// What each front end supplies to the main menu's commands (app/commands.h): the three dialogs,
// modal over the main window, and the end of the program by E&xit (its close sequence; the lock
// keeps Exit from a running job).
#pragma once

enum AppDialog : int { DIALOG_PREFERENCES, DIALOG_COMM_SETUP, DIALOG_ABOUT };
void ShowAppDialog(AppDialog dialog);
void ExitProgram();
