// The main menu's commands that show a view or that a running programming sequence locks, in
// one table: the view switch grays the shown view's command, the lock grays the locked ones and
// the window procedure refuses them while a worker programs. Every caption is the menu's own,
// as the resource script gives it; a state change rewrites an item with the caption it has.
#pragma once

#include "display/display_thread.h"
#include "resources/resource.h"

#include <array>
#include <cstdint>

enum MenuLock : int { UNLOCKED = 0, LOCKED_WHILE_PROGRAMMING = 1 };

struct MenuCommand {
    int command;
    int32_t view; // the view the command shows, VIEW_NONE for none
    MenuLock lock;
};

constexpr std::array<MenuCommand, 12> MenuCommands = {{
    // Leaving the program, searching for the port or choosing another one would pull the
    // link from under a running programming sequence; so would switching the view or
    // starting a recording, which start and stop the live stream.
    {IDM_EXIT, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_FIND_UNIT, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_COMM_SETUP, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_RECORD, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    // Both show the Wide Band Setup view, whose values a write is sending.
    {IDM_OPEN_SETUP, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_SAVE_SETUP, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_WB_SETUP, VIEW_WB_SETUP, LOCKED_WHILE_PROGRAMMING},
    {IDM_AFR_LAMBDA, VIEW_AFR_LAMBDA, LOCKED_WHILE_PROGRAMMING},
    {IDM_FIRMWARE_UPDATE, VIEW_FIRMWARE_UPDATE, LOCKED_WHILE_PROGRAMMING},
    {IDM_LIVE_HISTORY, VIEW_LIVE_HISTORY, LOCKED_WHILE_PROGRAMMING},
    // Opening a recording shows its view; that item is in the Display menu once one is open.
    {IDM_OPEN_RECORDING, VIEW_NONE, LOCKED_WHILE_PROGRAMMING},
    {IDM_RECORDING_VIEW, VIEW_RECORDING, LOCKED_WHILE_PROGRAMMING},
}};

// The table's row of command, or nullptr for a command not in it.
const MenuCommand* FindMenuCommand(int command);
// True for a command that the lock grays, which is refused while a job runs however it comes.
bool LockedWhileProgramming(int command);
// Every view command enabled but the one of view, which is grayed.
void GrayShownView(int32_t view);

// What each front end supplies: enables or grays the item of command, rewriting it with the
// caption it has; the same for closing the window (its system menu and close box); and shows
// the menu bar as it now stands. None of them redraws anything else.
void SetMenuItemEnabled(int command, bool enabled);
void SetCloseEnabled(bool enabled);
void RedrawMenuBar();
