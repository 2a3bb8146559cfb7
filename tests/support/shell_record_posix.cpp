// The recording front end of the native tests.
#include "support/shell_record.h"

#include "app/menu.h"
#include "app/open_recording.h"
#include "app/recording.h"
#include "app/view_controls.h"
#include "display/review_bar.h"
#include "firmware/firmware_controls.h"
#include "wbsetup/setup_controls.h"

#include <atomic>
#include <mutex>

std::vector<ViewRect> RequestedRepaints;

namespace {
// Workers call some of these on their own threads.
std::mutex RecordLock;
std::atomic<int32_t> Beeps{0};
} // namespace

void ClearShellRecord() {
    std::lock_guard<std::mutex> hold(RecordLock);
    RequestedRepaints.clear();
}

void RequestRepaint(const ViewRect& area, bool) {
    std::lock_guard<std::mutex> hold(RecordLock);
    RequestedRepaints.push_back(area);
}

void RequestRepaintAll() {
    RequestRepaint(ViewRect{0, 0, 0, 0}, true);
}

int ChooseFile(const FileBox&, std::string_view, std::string_view, char*, size_t) {
    return 0;
}

void BeepRefusedInput() {
    Beeps.fetch_add(1);
}

int32_t RefusedInputBeeps() {
    return Beeps.load();
}

void RedrawStatusLine() {}
void ReturnFocusToWindow() {}
void KeepSystemAwake() {}
void ReleaseSystemAwake() {}
void SetMenuItemEnabled(int, bool) {}
void SetCloseEnabled(bool) {}
void RedrawMenuBar() {}
void CreateSetupControls() {}
void DestroySetupControls() {}
void CreateFirmwareControls() {}
void DestroyFirmwareControls() {}
void CreateReviewControls() {}
void DestroyReviewControls() {}
void SetViewTimer(bool) {}
void RedrawReviewView() {}
void ShowRecordingViewItem() {}
void ShowRecordItem(bool) {}
void EnableUpdateButton(bool) {}
void StepFirmwareProgress(ProgressMessage) {}
