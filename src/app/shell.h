// What the utility's portable rules (the views, the jobs, the recording) use of the front end that
// shows them, and nothing more: repaints of the client area, the status line, the focus, the file
// boxes, the refused-input beep, the system kept awake while a job programs the unit, and the
// reconnection after a change of port. Each front end implements it (the Windows utility in
// app/shell_win32.cpp; the native tests record it), so it names no type of any platform: the
// views are laid out in client pixels of the 800 by 600 main window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A part of the main window's client area, right and bottom excluded.
struct ViewRect {
    int left;
    int top;
    int right;
    int bottom;
};

// Asks the front end to paint part of the client area again (erase: to the background first), or
// all of it; from any thread. The paint draws what the rules hold then.
void RequestRepaint(const ViewRect& area, bool erase);
void RequestRepaintAll();
// The status line's message after the port's state (app/status_note.h), from any thread: the end
// of a job or of a recording. ShowStatusMessageAt adds the time of day ("... at 23:14:05").
// ShowUnitStatusMessageAt says what was done to the unit on the port: it stands until the port is
// opened again (another unit, perhaps, or another port) or ResetStatusMessage (a new job).
void ShowStatusMessage(std::string_view message);
void ShowStatusMessageAt(std::string_view what);
void ShowUnitStatusMessageAt(std::string_view what);
void ResetStatusMessage();
// Draws the status line again, from any thread, with the note that stands then.
void RedrawStatusLine();

// While a job programs the unit: gray every command that would pull the link from under it and
// the window's close, then bring them back with the current view's command grayed (app/menu.h).
void LockMenus();
void UnlockMenus();
// The keyboard focus back to the main window, from any thread: a worker that took it from its
// button gives it back, so that the menus and accelerators work again without a click.
void ReturnFocusToWindow();

// Marks the port closed, asks the comm thread to reopen PortName and saves the settings.
int Reconnect();

// The system's Save As (FILE_BOX_SAVE, asking before it overwrites) or Open (FILE_BOX_OPEN,
// the file must exist) box over the main window. It proposes name in folder, or in the
// program's own folder while folder is empty; path (size bytes) gets the chosen file. 1, or 0
// when the user cancelled. filter is the box's list of pairs, each part ending in a NUL.
enum FileBoxKind : int { FILE_BOX_SAVE = 0, FILE_BOX_OPEN = 1 };
struct FileBox {
    FileBoxKind kind;
    const char* title;
    const char* filter;
    const char* extension; // added to a name typed without one
};
int ChooseFile(const FileBox& box, std::string_view folder, std::string_view name, char* path,
               size_t size);

// The default beep for input that was refused, counted so that tests can see it.
void BeepRefusedInput();
int32_t RefusedInputBeeps();

// While a job programs the unit the system must not go to sleep: a laptop that suspends in the
// middle of a firmware update or a setup write leaves the unit waiting in its loader. Both calls
// come from the job's own thread (Windows keeps the request per thread).
void KeepSystemAwake();
void ReleaseSystemAwake();
// For a job with more than one way out: released however it ends.
struct SystemAwake {
    SystemAwake() {
        KeepSystemAwake();
    }
    ~SystemAwake() {
        ReleaseSystemAwake();
    }
    SystemAwake(const SystemAwake&) = delete;
    SystemAwake& operator=(const SystemAwake&) = delete;
};
