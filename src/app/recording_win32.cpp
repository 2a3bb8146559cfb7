// Recording of live data from the utility's window. The recorder itself is portable
// (display/live_record.h); this file gives it the Save As box, the record item's caption, the
// status line and the box, all on the main thread.
#include "app/recording.h"

#include "app/shell_win32.h"
#include "app/status_note.h"
#include "platform/notice.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::string_view RECORD_CAPTION = "Recording";
constexpr FileBox RECORD_BOX = {FILE_BOX_SAVE, "Record Live Data",
                                "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0", "csv"};
constexpr int CAPTION_SIZE = 64;

// The record item's caption from the menu, kept while the item says how to stop.
std::array<char, CAPTION_SIZE> StartCaption{};

void SetRecordItem() {
    HMENU menu = GetMenu(MainWindow);
    UINT state = GetMenuState(menu, IDM_RECORD, MF_BYCOMMAND) & MF_GRAYED;
    std::array<char, CAPTION_SIZE> caption{};
    if (RecordState() == RECORD_RUNNING) {
        if (StartCaption[0] == '\0')
            GetMenuStringA(menu, IDM_RECORD, StartCaption.data(), CAPTION_SIZE, MF_BYCOMMAND);
        LoadStringA(AppInstance, IDS_STOP_RECORDING, caption.data(), CAPTION_SIZE);
    } else if (StartCaption[0] != '\0') {
        caption = StartCaption;
        StartCaption.fill('\0');
    } else {
        return;
    }
    ModifyMenuA(menu, IDM_RECORD, MF_BYCOMMAND | MF_STRING | state, IDM_RECORD, caption.data());
    DrawMenuBar(MainWindow);
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

} // namespace

int ChooseRecordFile(std::array<char, RECORD_PATH_SIZE>& path) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::array<char, 32> name{};
    std::snprintf(name.data(), name.size(), "mq6-%04u%02u%02u-%02u%02u%02u.csv", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    std::string_view folder(RecordFolder.data(), strnlen(RecordFolder.data(), RecordFolder.size()));
    return ChooseFile(RECORD_BOX, folder, name.data(), path.data(), path.size());
}

int BeginRecording(std::string_view path) {
    if (StartRecording(path) != 0) {
        ShowRecordFailure("Can not record live data to");
        StopRecording();
        return -1;
    }
    KeepFolder(path);
    SetRecordItem();
    RedrawStatusLine();
    return 0;
}

void MarkRecording() {
    if (AddRecordMark() < 0) {
        BeepRefusedInput();
        return;
    }
    RedrawStatusLine();
}

void EndRecording() {
    int32_t state = RecordState();
    if (state == RECORD_IDLE)
        return;
    std::string path(RecordPath());
    bool failed = StopRecording() != 0 || state == RECORD_FAILED;
    if (MainWindow == nullptr)
        return;
    SetRecordItem();
    // Ended by the user or by a view without live data alike: the line names the file.
    std::string line = "Recording ended: " + path.substr(path.find_last_of("\\/") + 1);
    ShowStatusMessage(line);
    if (failed)
        ShowRecordFailure("Recording of live data ended: it could not write to");
}

void KeepRecordingUp() {
    if (RecordState() != RECORD_IDLE && KeepRecording() == RECORD_FAILED)
        EndRecording();
    else if (RecordState() == RECORD_RUNNING)
        RedrawStatusLine();
}
