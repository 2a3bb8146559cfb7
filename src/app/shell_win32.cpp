// The shell's services on Windows: the main window and instance, repaints, the status line and
// the focus from any thread, the views' child controls, the system's file boxes and the system
// kept awake.
#include "app/shell_win32.h"

#include "app/system_awake_win32.h"

#include <commdlg.h>

#include <array>
#include <cstring>

HINSTANCE AppInstance = nullptr;
HWND MainWindow = nullptr;

namespace {
// As long as the longest folder the settings keep, with room to spare.
constexpr size_t FOLDER_SIZE = 1024;

// The folder to propose: the one given, or the program's own.
void ProposedFolder(std::string_view given, std::array<char, FOLDER_SIZE>& folder) {
    folder.fill('\0');
    if (!given.empty()) {
        if (given.size() < folder.size())
            std::memcpy(folder.data(), given.data(), given.size());
        return;
    }
    DWORD length = GetModuleFileNameA(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
    if (length == 0 || length >= folder.size()) {
        folder.fill('\0');
        return;
    }
    // The program's path up to its last backslash: its folder.
    size_t separator = std::string_view(folder.data(), length).find_last_of("\\/");
    if (separator == std::string_view::npos)
        separator = 0;
    std::memset(folder.data() + separator, '\0', folder.size() - separator);
}
} // namespace

void RequestRepaint(const ViewRect& area, bool erase) {
    RECT rect = ToRect(area);
    InvalidateRect(MainWindow, &rect, erase ? TRUE : FALSE);
}

void RequestRepaintAll() {
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT);
}

void ReturnFocusToWindow() {
    PostMessageA(MainWindow, FOCUS_BACK_MESSAGE, 0, 0);
}

void KeepSystemAwake() {
    SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

void ReleaseSystemAwake() {
    SetExecutionState(ES_CONTINUOUS);
}

HWND CreateViewControl(const char* className, const char* caption, DWORD style, int x, int y,
                       int width, int height) {
    return CreateWindowExA(0, className, caption, style, x, y, width, height, MainWindow, nullptr,
                           AppInstance, nullptr);
}

void DestroyViewControl(HWND& control) {
    HWND doomed = control;
    control = nullptr;
    if (doomed != nullptr)
        DestroyWindow(doomed);
}

int ChooseFile(const FileBox& box, std::string_view folder, std::string_view name, char* path,
               size_t size) {
    if (size == 0)
        return 0;
    std::memset(path, '\0', size);
    if (name.size() < size)
        std::memcpy(path, name.data(), name.size());
    std::array<char, FOLDER_SIZE> initial;
    ProposedFolder(folder, initial);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFilter = box.filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(size);
    dialog.lpstrInitialDir = initial[0] != '\0' ? initial.data() : nullptr;
    dialog.lpstrTitle = box.title;
    dialog.lpstrDefExt = box.extension;
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
    if (box.kind == FILE_BOX_SAVE) {
        dialog.Flags |= OFN_OVERWRITEPROMPT;
        return GetSaveFileNameA(&dialog) != 0 ? 1 : 0;
    }
    dialog.Flags |= OFN_FILEMUSTEXIST;
    return GetOpenFileNameA(&dialog) != 0 ? 1 : 0;
}
