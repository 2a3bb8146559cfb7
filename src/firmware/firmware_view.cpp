// The Firmware Update view's rules over its controls. The update's front-end calls come on the
// job's thread; they reach the controls only through the seam's calls that say so.
#include "firmware/firmware_view.h"

#include "display/display_thread.h"
#include "display/status_line.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_paint.h"
#include "firmware/firmware_update.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"

#include <atomic>
#include <cstdio>

const std::array<FirmwareControlRow, FIRMWARE_CONTROL_COUNT> FirmwareLayout = {{
    {FIRMWARE_UNIT_BOX, FIRMWARE_KIND_FRAME, "MQ-6 Information", 60, 60, 660, 200},
    {FIRMWARE_IMAGE_BOX, FIRMWARE_KIND_FRAME, "New Firmware Information", 60, 280, 660, 100},
    {FIRMWARE_UPDATE, FIRMWARE_KIND_BUTTON, "Update Firmware", 300, 420, 200, 40},
    {FIRMWARE_PROGRESS_BAR, FIRMWARE_KIND_PROGRESS, "", 20, 500, 0, 16},
}};

namespace {

constexpr ViewRect UNIT_TEXT_AREA = {62, 70, 716, 246};
constexpr ViewRect FIRMWARE_TEXT_AREA = {62, 290, 716, 366};
constexpr int PHASE_TEXT_BOTTOM = 496; // the phase text stands on the line above the bar

std::atomic<bool> ViewShown{false};
// UpdateAllowed as the click found it, put back when the update is refused.
int32_t AllowedAtClick = 0;

// After every data-block read: an unreadable unit cannot be updated; a read one shows its new
// text and verdict at the next paint.
void OnFirmwareDeviceData(DeviceDataEvent event) {
    if (!ViewShown.load(std::memory_order_acquire) || event == DEVICE_DATA_ERROR_DUE)
        return;
    if (event == DEVICE_DATA_UNREADABLE) {
        EnableUpdateButton(false);
        return;
    }
    RequestRepaint(UNIT_TEXT_AREA, true);
    RequestRepaint(FIRMWARE_TEXT_AREA, true);
}

void OnFirmwarePhase(int) {
    // Wide enough for 14 average characters: "Programming...".
    RequestRepaint({22, PHASE_TEXT_BOTTOM - LineHeight, 20 + 14 * CharWidth, PHASE_TEXT_BOTTOM},
                   true);
}

// On the job's thread once the checks have passed.
void BeginUpdate() {
    ResetStatusMessage();
    KeepSystemAwake();
    LockMenus();
}

void EndUpdate(const JobOutcome& outcome) {
    if (outcome.result == JOB_REFUSED) {
        // A unit in its setup mode leaves the button disabled until a paint finds the versions
        // again; a refused sample leaves the view as it was.
        if (DeviceInfo[UNIT_MODE_OFFSET] != UNIT_MODE_SETUP)
            UpdateAllowed.store(AllowedAtClick, std::memory_order_release);
        return;
    }
    ReleaseSystemAwake();
    if (outcome.result == JOB_VERIFIED) {
        char written[48];
        std::snprintf(written, sizeof written, "Firmware %d.%02d written to the MQ-6",
                      CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
        ShowUnitStatusMessageAt(written);
    } else {
        ShowNotice(FormatJobBox(outcome), UPDATE_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
        // A unit left in its loader is offered the update again.
        if (outcome.left != JOB_NONE)
            UpdateAllowed.store(1, std::memory_order_release);
    }
    // The menus before the button: a second update started once the button is back would lock
    // them, and this one's unlock must not come after that.
    UnlockMenus();
    RequestRepaint(UNIT_TEXT_AREA, true);
}

// Once another job may start: a paint from here on may enable the button too.
void UpdateEnded() {
    EnableUpdateButton(UpdateAllowed.load(std::memory_order_acquire) != 0 &&
                       DeviceDataValid.load(std::memory_order_acquire) != 0);
    ReturnFocusToWindow();
}

} // namespace

void EnterFirmwareView() {
    ViewShown.store(true, std::memory_order_release);
    AddDeviceDataListener(OnFirmwareDeviceData);
    AddProgramPhaseListener(OnFirmwarePhase);
    EnableUpdateButton(UpdateAllowed.load(std::memory_order_acquire) != 0 &&
                       JobRunning.load(std::memory_order_acquire) == 0);
}

void LeaveFirmwareView() {
    ViewShown.store(false, std::memory_order_release);
    RemoveDeviceDataListener(OnFirmwareDeviceData);
    RemoveProgramPhaseListener(OnFirmwarePhase);
}

void PaintFirmwareViewAll(Canvas* canvas) {
    int allowed = PaintFirmwareView(canvas, DeviceDataValid.load(std::memory_order_acquire),
                                    DeviceInfo, ProgramPhase.load(std::memory_order_acquire));
    EnableUpdateButton(allowed != 0 && JobRunning.load(std::memory_order_acquire) == 0);
}

void OnUpdateButton() {
    if (JobRunning.load(std::memory_order_acquire) != 0)
        return;
    AllowedAtClick = UpdateAllowed.exchange(0, std::memory_order_acq_rel);
    EnableUpdateButton(false);
    if (StartFirmwareUpdate({BeginUpdate, StepFirmwareProgress, EndUpdate, UpdateEnded}) != 0)
        UpdateAllowed.store(AllowedAtClick, std::memory_order_release);
}

ViewRect FirmwareClosingNotePlace() {
    return {20 + 16 * CharWidth, PHASE_TEXT_BOTTOM - LineHeight, 20 + 56 * CharWidth,
            PHASE_TEXT_BOTTOM - 4};
}
