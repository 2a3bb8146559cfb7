// Recording of live data from the utility's window. The recorder itself is portable
// (display/live_record.h); this file gives it the menu item, the Save As dialog, the option,
// the timer and the box, all on the main thread.
#include "app/recording.h"

#include "app/main_window.h"
#include "display/canvas_gdi_win32.h"
#include "display/display_thread.h"
#include "display/live_history.h"
#include "display/live_record.h"
#include "display/status_line.h"
#include "link/link.h"
#include "platform/notice.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr UINT VIEW_TIMER_MS = 1000;
constexpr const char* START_TEXT = "&Record Live Data...\tCtrl+R";
constexpr const char* STOP_TEXT = "Stop &Recording\tCtrl+R";
constexpr std::string_view RECORD_CAPTION = "Recording";
constexpr std::string_view RECORD_OPTION = "--record";

bool TimerRunning = false;

void SetRecordItem() {
    HMENU menu = GetMenu(MainWindow);
    const char* text = RecordState() == RECORD_RUNNING ? STOP_TEXT : START_TEXT;
    UINT state = GetMenuState(menu, IDM_RECORD, MF_BYCOMMAND) & MF_GRAYED;
    ModifyMenuA(menu, IDM_RECORD, MF_BYCOMMAND | MF_STRING | state, IDM_RECORD, text);
    DrawMenuBar(MainWindow);
}

void RedrawStatusLine() {
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawStatusLine(canvas);
    CanvasCloseWindow(canvas);
}

void ShowRecordFailure(const char* what) {
    std::string path(RecordPath());
    std::string reason(RecordFailure());
    std::array<char, RECORD_PATH_SIZE + 256> text{};
    std::snprintf(text.data(), text.size(), "%s\n\n%s\n\n%s", what, path.c_str(), reason.c_str());
    ShowNotice(std::string_view(text.data(), strnlen(text.data(), text.size())), RECORD_CAPTION,
               NOTICE_ERROR_ICON);
}

// The recording's folder, kept for the next Save As.
void KeepFolder(std::string_view path) {
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string_view::npos || separator + 1 >= RecordFolder.size())
        return;
    RecordFolder.fill('\0');
    std::memcpy(RecordFolder.data(), path.data(), separator);
    WriteConfig();
}

// The last recording's folder, or the program's own the first time.
void InitialFolder(std::array<char, RECORD_PATH_SIZE>& folder) {
    folder.fill('\0');
    if (RecordFolder[0] != '\0') {
        std::memcpy(folder.data(), RecordFolder.data(),
                    strnlen(RecordFolder.data(), folder.size() - 1));
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

// The Save As dialog, proposing mq6-YYYYMMDD-HHMMSS.csv; false when the user cancels.
bool ChooseRecordFile(std::array<char, RECORD_PATH_SIZE>& path) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    path.fill('\0');
    std::snprintf(path.data(), path.size(), "mq6-%04u%02u%02u-%02u%02u%02u.csv", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    std::array<char, RECORD_PATH_SIZE> folder;
    InitialFolder(folder);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = MainWindow;
    dialog.lpstrFilter = "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = static_cast<DWORD>(path.size());
    dialog.lpstrInitialDir = folder[0] != '\0' ? folder.data() : nullptr;
    dialog.lpstrTitle = "Record Live Data";
    dialog.lpstrDefExt = "csv";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetSaveFileNameA(&dialog) != 0;
}

} // namespace

void OnRecordCommand() {
    if (RecordState() == RECORD_RUNNING) {
        EndRecording();
        return;
    }
    std::array<char, RECORD_PATH_SIZE> path;
    if (ChooseRecordFile(path))
        BeginRecording(std::string_view(path.data(), strnlen(path.data(), path.size())));
}

int BeginRecording(std::string_view path) {
    if (StartRecording(path) != 0) {
        ShowRecordFailure("Can not record live data to");
        StopRecording();
        return -1;
    }
    KeepFolder(path);
    if (!IsLiveView(ViewMode.load(std::memory_order_acquire)))
        SelectView(MainWindow, IDM_AFR_LAMBDA);
    SetRecordItem();
    UpdateViewTimer();
    RedrawStatusLine();
    return 0;
}

void EndRecording() {
    int32_t state = RecordState();
    if (state == RECORD_IDLE)
        return;
    bool failed = StopRecording() != 0 || state == RECORD_FAILED;
    if (MainWindow == nullptr)
        return;
    SetRecordItem();
    UpdateViewTimer();
    RedrawStatusLine();
    if (failed)
        ShowRecordFailure("Recording of live data ended: it could not write to");
}

void OnViewTimer() {
    if (RecordState() != RECORD_IDLE && KeepRecording() == RECORD_FAILED)
        EndRecording();
    else if (RecordState() == RECORD_RUNNING)
        RedrawStatusLine();
    // In an outage no frame redraws the chart: the gap grows from here.
    if (ViewMode.load(std::memory_order_acquire) == VIEW_LIVE_HISTORY) {
        Canvas* canvas = CanvasOpenWindow();
        if (canvas != nullptr) {
            DrawHistoryChart(canvas, HistoryNow());
            CanvasCloseWindow(canvas);
        }
    }
}

void UpdateViewTimer() {
    bool wanted = RecordState() != RECORD_IDLE ||
                  ViewMode.load(std::memory_order_acquire) == VIEW_LIVE_HISTORY;
    if (wanted && !TimerRunning)
        TimerRunning = SetTimer(MainWindow, VIEW_TIMER, VIEW_TIMER_MS, nullptr) != 0;
    else if (!wanted && TimerRunning) {
        KillTimer(MainWindow, VIEW_TIMER);
        TimerRunning = false;
    }
}

void ApplyStartArguments(std::string_view arguments) {
    auto skipBlanks = [&arguments] {
        while (!arguments.empty() && (arguments.front() == ' ' || arguments.front() == '\t'))
            arguments.remove_prefix(1);
    };
    skipBlanks();
    if (arguments.substr(0, RECORD_OPTION.size()) != RECORD_OPTION)
        return;
    arguments.remove_prefix(RECORD_OPTION.size());
    if (arguments.empty() || (arguments.front() != ' ' && arguments.front() != '\t'))
        return;
    skipBlanks();
    std::string_view path = arguments;
    if (!path.empty() && path.front() == '"') {
        path.remove_prefix(1);
        path = path.substr(0, path.find('"'));
    } else {
        path = path.substr(0, path.find_first_of(" \t"));
    }
    if (!path.empty())
        BeginRecording(path);
}
