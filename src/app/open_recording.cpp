// Opening a recording: the box, the reader's verdict, the Display menu's item and the switch to
// the view (which ends a running recording, as every view without live data does).
#include "app/open_recording.h"

#include "app/shell.h"
#include "app/view_controls.h"
#include "app/views.h"
#include "display/recording_view.h"
#include "platform/notice.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <array>
#include <cstring>

namespace {
constexpr FileBox OPEN_BOX = {FILE_BOX_OPEN, "Open Recording",
                              "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0", "csv"};
} // namespace

void OnOpenRecording() {
    std::array<char, 1024> path{};
    std::string_view folder(RecordFolder.data(), strnlen(RecordFolder.data(), RecordFolder.size()));
    if (ChooseFile(OPEN_BOX, folder, "", path.data(), path.size()) != 0)
        OpenRecordingFile(path.data());
}

int OpenRecordingFile(const char* path) {
    RecordingFault fault;
    if (OpenReview(path, fault) != 0) {
        std::array<char, 1400> text{};
        FormatRecordingFault(path, fault, text.data(), text.size());
        std::string_view shown(text.data(), strnlen(text.data(), text.size()));
        ShowNotice(shown, "Open Recording", NOTICE_ERROR_ICON);
        return -1;
    }
    ShowRecordingViewItem();
    SelectView(IDM_RECORDING_VIEW);
    // The view may have been shown already: its new file is drawn all the same.
    RedrawReviewView();
    RequestRepaintAll();
    return 0;
}
