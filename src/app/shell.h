// What the views and dialogs of the utility use of its shell, and nothing more: the main window
// as the parent of their controls and the owner of their boxes, the instance, the menu lock of
// the programming workers, the reconnection after a change of port, the number fields' filter,
// the file boxes, and the system kept awake while a worker programs the unit.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

extern HINSTANCE AppInstance;
extern HWND MainWindow;

// While a programming worker runs: gray every command that would pull the link from under it,
// then bring them back with the current view's command grayed.
void LockMenus();
void UnlockMenus();

// Posted by a worker that took the focus from its button: the main window takes it back, so that
// the keyboard (menus, accelerators) works again without a click.
constexpr UINT FOCUS_BACK_MESSAGE = WM_APP + 11;

// Marks the port closed, asks the comm thread to reopen PortName and saves the settings.
int Reconnect();

// The status line's note (FormatStatusNote, which the shell hands the line at start): a unit
// left mid-job, the port searched for or missing, the running recording, else the last message
// shown, which ShowStatusMessage sets and draws from any thread; ShowStatusMessageAt adds the
// time of day ("... at 23:14:05").
// ResetStatusNote forgets the message (a new main window has shown none).
void FormatStatusNote(char* text, size_t size);
void ResetStatusNote();
void ShowStatusMessage(std::string_view message);
void ShowStatusMessageAt(std::string_view what);
// Draws the status line now, from any thread, and asks the window's own paint of it too: drawn
// from another thread the line may reach the screen only when the main thread next flushes the
// window (under Wine, not before its next input), and the main thread may meanwhile draw an
// older state over it. Its own paint draws the state there is then.
void RedrawStatusLine();

// A child control of the main window, placed in client pixels. DestroyViewControl destroys one
// (a null handle does nothing) and clears the handle first, so that no message sent while it
// goes finds it half destroyed.
HWND CreateViewControl(const char* className, const char* caption, DWORD style, int x, int y,
                       int width, int height);
void DestroyViewControl(HWND& control);

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

// The number fields take digits and one decimal point: removes the first character of the
// edit control's text that a number cannot hold, with the default beep. The removal changes
// the text again, and the control's change notification calls this once more for the rest.
// Reads at most 31 characters.
void FilterNumberEdit(HWND edit);
// The default beep for input that was refused, counted so that tests can see it.
void BeepRefusedInput();
int32_t RefusedInputBeeps();

// While a worker programs the unit the system must not go to sleep: a laptop that suspends in
// the middle of a firmware update or a setup write leaves the unit waiting in its loader.
// Windows keeps the request per thread, so both calls come from the worker's own thread.
// SetExecutionState is SetThreadExecutionState in the utility; the Windows tests link a file
// that records the calls instead.
EXECUTION_STATE SetExecutionState(EXECUTION_STATE state);
inline void KeepSystemAwake() {
    SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}
inline void ReleaseSystemAwake() {
    SetExecutionState(ES_CONTINUOUS);
}
// For a worker with more than one way out: released however it ends.
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
