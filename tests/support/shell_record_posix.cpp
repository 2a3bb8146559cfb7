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
#include <cstring>
#include <mutex>

std::vector<ViewRect> RequestedRepaints;
int StatusLineRedraws = 0;
int FocusReturns = 0;
std::string SystemAwakeCalls;
std::map<int, bool> MenuItemsEnabled;
bool CloseEnabled = true;
std::deque<std::string> FileBoxAnswers;
std::vector<std::string> FileBoxesShown;
std::string ViewControlCalls;

namespace {
// Workers call some of these on their own threads.
std::mutex RecordLock;
std::atomic<int32_t> Beeps{0};
} // namespace

void ClearShellRecord() {
    std::lock_guard<std::mutex> hold(RecordLock);
    RequestedRepaints.clear();
    StatusLineRedraws = 0;
    FocusReturns = 0;
    SystemAwakeCalls.clear();
    MenuItemsEnabled.clear();
    CloseEnabled = true;
    FileBoxAnswers.clear();
    FileBoxesShown.clear();
    ViewControlCalls.clear();
}

void RequestRepaint(const ViewRect& area, bool) {
    std::lock_guard<std::mutex> hold(RecordLock);
    RequestedRepaints.push_back(area);
}

void RequestRepaintAll() {
    RequestRepaint(ViewRect{0, 0, 0, 0}, true);
}

void RedrawStatusLine() {
    std::lock_guard<std::mutex> hold(RecordLock);
    ++StatusLineRedraws;
}

void ReturnFocusToWindow() {
    std::lock_guard<std::mutex> hold(RecordLock);
    ++FocusReturns;
}

int ChooseFile(const FileBox& box, std::string_view folder, std::string_view name, char* path,
               size_t size) {
    std::lock_guard<std::mutex> hold(RecordLock);
    FileBoxesShown.push_back(std::string(box.kind == FILE_BOX_SAVE ? "save " : "open ") +
                             box.title + " in " + std::string(folder) +
                             (box.kind == FILE_BOX_SAVE ? " as " + std::string(name) : ""));
    if (FileBoxAnswers.empty() || size == 0)
        return 0;
    std::string answer = FileBoxAnswers.front();
    FileBoxAnswers.pop_front();
    if (answer.empty() || answer.size() >= size)
        return 0;
    std::memcpy(path, answer.c_str(), answer.size() + 1);
    return 1;
}

void BeepRefusedInput() {
    Beeps.fetch_add(1);
}

int32_t RefusedInputBeeps() {
    return Beeps.load();
}

void KeepSystemAwake() {
    std::lock_guard<std::mutex> hold(RecordLock);
    SystemAwakeCalls += "keep ";
}

void ReleaseSystemAwake() {
    std::lock_guard<std::mutex> hold(RecordLock);
    SystemAwakeCalls += "release ";
}

void SetMenuItemEnabled(int command, bool enabled) {
    std::lock_guard<std::mutex> hold(RecordLock);
    MenuItemsEnabled[command] = enabled;
}

void SetCloseEnabled(bool enabled) {
    std::lock_guard<std::mutex> hold(RecordLock);
    CloseEnabled = enabled;
}

void RedrawMenuBar() {}

// The controls of each view as "show VIEW" and "hide VIEW".
void CreateSetupControls() {
    ViewControlCalls += "show " + std::to_string(VIEW_WB_SETUP) + " ";
}
void DestroySetupControls() {
    ViewControlCalls += "hide " + std::to_string(VIEW_WB_SETUP) + " ";
}
void CreateFirmwareControls() {
    ViewControlCalls += "show " + std::to_string(VIEW_FIRMWARE_UPDATE) + " ";
}
void DestroyFirmwareControls() {
    ViewControlCalls += "hide " + std::to_string(VIEW_FIRMWARE_UPDATE) + " ";
}
void CreateReviewControls() {
    ViewControlCalls += "show " + std::to_string(VIEW_RECORDING) + " ";
}
void DestroyReviewControls() {
    ViewControlCalls += "hide " + std::to_string(VIEW_RECORDING) + " ";
}

void SetViewTimer(bool running) {
    ViewControlCalls += std::string("timer ") + (running ? "1 " : "0 ");
}

void RedrawReviewView() {
    ViewControlCalls += "review ";
}

void ShowRecordingViewItem() {
    ViewControlCalls += "recording item ";
}

void ShowRecordItem(bool running) {
    ViewControlCalls += std::string("record item ") + (running ? "1 " : "0 ");
}

void EnableUpdateButton(bool enabled) {
    std::lock_guard<std::mutex> hold(RecordLock);
    ViewControlCalls += std::string("update button ") + (enabled ? "1 " : "0 ");
}

void StepFirmwareProgress(ProgressMessage) {}
