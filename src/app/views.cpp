// The views' table and the view switch.
#include "app/views.h"

#include "app/menu.h"
#include "app/recording.h"
#include "app/view_controls.h"
#include "display/gauges.h"
#include "display/live_history.h"
#include "display/live_stream.h"
#include "display/recording_view.h"
#include "display/review_bar.h"
#include "display/review_input.h"
#include "firmware/firmware_controls.h"
#include "firmware/firmware_view.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "wbsetup/setup_controls.h"
#include "wbsetup/setup_view.h"

#include <array>
#include <cstring>

namespace {

// A view switch pauses this long with the link claimed before its first exchange. The claim
// itself already waits for a display pass under way; the pause is the utility's as it always was.
constexpr int SWITCH_SETTLE_MS = 10;

void PaintAfrLambda(Canvas* canvas, Canvas*) {
    PaintAfrLambdaView(canvas);
}
void PaintSetup(Canvas* canvas, Canvas* unclipped) {
    PaintSetupViewWithMarks(canvas, unclipped);
}
void PaintFirmware(Canvas* canvas, Canvas*) {
    PaintFirmwareViewAll(canvas);
}
void PaintHistory(Canvas* canvas, Canvas*) {
    PaintHistoryView(canvas, HistoryNow());
}
void PaintReview(Canvas* canvas, Canvas*) {
    PaintReviewView(canvas);
}
ViewRect NoClosingNote() {
    return {};
}

constexpr std::array<ViewRow, 5> ViewTable = {{
    {VIEW_AFR_LAMBDA, true, true, PaintAfrLambda, nullptr, nullptr, nullptr, nullptr, NoClosingNote,
     nullptr, nullptr},
    {VIEW_WB_SETUP, false, true, PaintSetup, nullptr, nullptr, nullptr, nullptr,
     SetupClosingNotePlace, CreateSetupControls, DestroySetupControls},
    {VIEW_FIRMWARE_UPDATE, false, true, PaintFirmware, nullptr, nullptr, nullptr, nullptr,
     FirmwareClosingNotePlace, CreateFirmwareControls, DestroyFirmwareControls},
    {VIEW_LIVE_HISTORY, true, false, PaintHistory, nullptr, nullptr, nullptr, nullptr,
     NoClosingNote, nullptr, nullptr},
    {VIEW_RECORDING, false, false, PaintReview, ReviewKey, ReviewCharacter, ReviewWheel,
     ReviewPointer, NoClosingNote, CreateReviewControls, DestroyReviewControls},
}};

// Leaves the current view; the caller holds the link.
void LeaveView(int32_t current) {
    SleepMs(SWITCH_SETTLE_MS);
    if (IsLiveView(current))
        StopLiveStream(1);
    else if (const ViewRow* row = FindView(current); row != nullptr && row->hideControls != nullptr)
        row->hideControls();
}

void EnterView(int32_t view) {
    if (IsLiveView(view))
        StartLiveStream();
    else if (const ViewRow* row = FindView(view); row != nullptr && row->showControls != nullptr)
        row->showControls();
}

} // namespace

const ViewRow* FindView(int32_t view) {
    for (const ViewRow& row : ViewTable)
        if (row.view == view)
            return &row;
    return nullptr;
}

const ViewRow* ShownView() {
    return FindView(ViewMode.load(std::memory_order_acquire));
}

int SelectView(int command) {
    const MenuCommand* chosen = FindMenuCommand(command);
    if (chosen == nullptr || chosen->view == VIEW_NONE) {
        RedrawMenuBar();
        return 0;
    }
    GrayShownView(chosen->view);
    int32_t current = ViewMode.load(std::memory_order_acquire);
    if (!IsLiveView(chosen->view))
        EndRecording(); // the file is complete before the stream stops
    bool liveToLive = IsLiveView(current) && IsLiveView(chosen->view) && current != chosen->view;
    if (liveToLive) {
        // Between the two live views the stream, and a recording, go on.
        ViewMode.store(chosen->view, std::memory_order_release);
    } else if (current != chosen->view) {
        LinkClaim claim;
        LeaveView(current);
        ViewMode.store(chosen->view, std::memory_order_release);
        EnterView(chosen->view);
    }
    RequestRepaintAll();
    if (PortStatus.load(std::memory_order_acquire) == 0)
        Reconnect();
    if (!liveToLive) // a frame half received belongs to the stream that goes on
        RequestRxReset();
    SetViewTimer(IsLiveView(ViewMode.load(std::memory_order_acquire)));
    RedrawMenuBar();
    return 0;
}

void OnRecordCommand() {
    if (RecordState() == RECORD_RUNNING) {
        EndRecording();
        return;
    }
    std::array<char, RECORD_PATH_SIZE> path;
    if (ChooseRecordFile(path) != 0)
        RecordInLiveView(std::string_view(path.data(), strnlen(path.data(), path.size())));
}

int RecordInLiveView(std::string_view path) {
    if (BeginRecording(path) != 0)
        return -1;
    if (!IsLiveView(ViewMode.load(std::memory_order_acquire)))
        SelectView(IDM_AFR_LAMBDA);
    return 0;
}
