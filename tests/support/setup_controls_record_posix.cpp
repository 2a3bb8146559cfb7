// The recording controls of the Wide Band Setup view.
#include "support/setup_controls_record.h"

#include "wbsetup/setup_view.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

std::array<RecordedControl, SETUP_CONTROL_COUNT> RecordedControls;

namespace {
SetupControl RecordedFocus = SETUP_NO_CONTROL;
int RecordedBar = NB_OFFSET_CENTRE;
std::mutex WakeLock; // the write's thread wakes the view
std::vector<SetupWake> Wakes;
bool TakeDue = false;

RecordedControl& Control(SetupControl control) {
    return RecordedControls[static_cast<size_t>(control)];
}

// What change returns, done holding WakeLock.
template <typename Change> auto Locked(Change change) {
    std::lock_guard<std::mutex> hold(WakeLock);
    return change();
}
} // namespace

void ClearSetupControls() {
    RecordedControls.fill(RecordedControl{});
    RecordedFocus = SETUP_NO_CONTROL;
    RecordedBar = NB_OFFSET_CENTRE;
    Locked([] { Wakes.clear(); });
    CancelUnitSetupTake();
}

void MakeAlwaysControls() {
    for (const SetupControlRow& row : SetupLayout)
        if (row.presence == SETUP_ALWAYS)
            Control(row.control).shown = true;
}

void DeliverSetupWakes() {
    for (SetupWake wake : Locked([] { return std::exchange(Wakes, {}); }))
        OnSetupViewWake(wake);
    if (Locked([] { return std::exchange(TakeDue, false); }))
        OnUnitSetupTakeDue();
}

void ShowSetupControl(SetupControl control, bool shown) {
    RecordedControl& recorded = Control(control);
    if (shown && !recorded.shown)
        recorded = RecordedControl{};
    recorded.shown = shown;
    if (control == SETUP_OFFSET_BAR && shown)
        RecordedBar = NB_OFFSET_CENTRE;
}

bool SetupControlShown(SetupControl control) {
    return Control(control).shown;
}

void SetSetupText(SetupControl control, std::string_view text) {
    Control(control).text = text;
}

std::string SetupText(SetupControl control) {
    return Control(control).text.substr(0, FIELD_TEXT_LIMIT);
}

void SetSetupChoice(SetupControl box, int row, std::string_view) {
    Control(box).choice = row;
}

int SetupChoice(SetupControl box) {
    return Control(box).choice;
}

void SetSetupChecked(SetupControl button, bool checked) {
    Control(button).checked = checked;
}

bool SetupChecked(SetupControl button) {
    return Control(button).checked;
}

void SetSetupBarPosition(int position) {
    RecordedBar = std::clamp(position, NB_OFFSET_USER_LOWEST, NB_OFFSET_USER_HIGHEST);
}

int SetupBarPosition() {
    return RecordedBar;
}

void FocusSetupControl(SetupControl control) {
    if (Control(control).shown)
        RecordedFocus = control;
}

SetupControl FocusedSetupControl() {
    return RecordedFocus;
}

void EnableSetupInputs(bool) {}

void StepSetupProgress(ProgressMessage, std::string_view phase) {
    std::lock_guard<std::mutex> hold(WakeLock);
    if (!phase.empty())
        Control(SETUP_PHASE).text = phase;
}

void WakeSetupView(SetupWake wake) {
    Locked([wake] { Wakes.push_back(wake); });
}

void TakeUnitSetupLater(int) {
    Locked([] { TakeDue = true; });
}

void CancelUnitSetupTake() {
    Locked([] { TakeDue = false; });
}
