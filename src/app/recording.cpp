// Recording of live data from the utility's window: its words, its folder and its upkeep.
#include "app/recording.h"

#include "app/shell.h"
#include "platform/notice.h"
#include "settings/config.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::string_view RECORD_CAPTION = "Recording";
constexpr FileBox RECORD_BOX = {FILE_BOX_SAVE, "Record Live Data",
                                "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0", "csv"};

void ShowRecordFailure(const char* what) {
    std::string path(RecordPath());
    std::string reason(RecordFailure());
    ShowNotice(std::string(what) + "\n\n" + path + "\n\n" + reason, RECORD_CAPTION,
               NOTICE_ERROR_ICON);
}

} // namespace

int ChooseRecordFile(std::array<char, RECORD_PATH_SIZE>& path) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* found = std::localtime(&now); found != nullptr)
        local = *found;
    std::array<char, 32> name{};
    std::strftime(name.data(), name.size(), "mq6-%Y%m%d-%H%M%S.csv", &local);
    std::string_view folder(RecordFolder.data(), strnlen(RecordFolder.data(), RecordFolder.size()));
    return ChooseFile(RECORD_BOX, folder, name.data(), path.data(), path.size());
}

int BeginRecording(std::string_view path) {
    if (StartRecording(path) != 0) {
        ShowRecordFailure("Can not record live data to");
        StopRecording();
        return -1;
    }
    KeepFolderOf(path, RecordFolder);
    ShowRecordItem(true);
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
    ShowRecordItem(false);
    // Ended by the user or by a view without live data alike: the line names the file.
    ShowStatusMessage("Recording ended: " + path.substr(path.find_last_of("\\/") + 1));
    if (failed)
        ShowRecordFailure("Recording of live data ended: it could not write to");
}

void KeepRecordingUp() {
    if (RecordState() != RECORD_IDLE && KeepRecording() == RECORD_FAILED)
        EndRecording();
    else if (RecordState() == RECORD_RUNNING)
        RedrawStatusLine();
}
