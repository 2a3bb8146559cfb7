// The Firmware Update view's controls and its update worker. The controls are children of the
// main window without identifiers; the worker talks to the main thread only through blocking
// sends to the controls, UpdateAllowed, ProgramPhase and invalidated rectangles.
#include "firmware/firmware_view_win32.h"

#include "app/shell_win32.h"
#include "display/display_thread.h"
#include "display/status_line.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_paint.h"
#include "firmware/firmware_update.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string_view>

namespace {

constexpr DWORD GROUP_BOX_STYLE = 0x50000007;     // child, visible, group box
constexpr DWORD UPDATE_BUTTON_STYLE = 0x50010000; // child, visible, tab stop, push button
constexpr DWORD PROGRESS_BAR_STYLE = 0x50000000;  // child, visible
constexpr int PROGRESS_BAR_Y = 500;
constexpr int PHASE_TEXT_BOTTOM = 496; // the phase text stands on the line above the bar

constexpr RECT UNIT_TEXT_AREA = {62, 70, 716, 246};
constexpr RECT FIRMWARE_TEXT_AREA = {62, 290, 716, 366};

HWND UnitBox = nullptr;
HWND FirmwareBox = nullptr;
HWND ProgressBar = nullptr;
// Read by the data-block hook on whichever thread reads the block.
std::atomic<HWND> UpdateButton{nullptr};

// After every data-block read: an unreadable unit cannot be updated; a read one shows its new
// text and verdict at the next paint.
void OnDeviceData(DeviceDataEvent event) {
    if (event == DEVICE_DATA_ERROR_DUE)
        return;
    if (event == DEVICE_DATA_UNREADABLE) {
        HWND button = UpdateButton.load(std::memory_order_acquire);
        if (button != nullptr)
            EnableWindow(button, FALSE);
        return;
    }
    if (ViewMode.load(std::memory_order_acquire) == VIEW_FIRMWARE_UPDATE) {
        InvalidateRect(MainWindow, &UNIT_TEXT_AREA, TRUE);
        InvalidateRect(MainWindow, &FIRMWARE_TEXT_AREA, TRUE);
    }
}

void OnProgramPhase(int) {
    // Wide enough for 14 average characters: "Programming...".
    RECT area = {22, PHASE_TEXT_BOTTOM - LineHeight, 20 + 14 * CharWidth, PHASE_TEXT_BOTTOM};
    InvalidateRect(MainWindow, &area, TRUE);
}

// The bar steps by one record; a reset takes it back to the start.
void ShowProgramProgress(ProgressMessage message) {
    if (ProgressBar != nullptr)
        SendMessageA(ProgressBar, message == PROGRESS_RESET ? PBM_SETPOS : PBM_STEPIT, 0, 0);
}

// UpdateAllowed as the click found it, put back when the update is refused.
int32_t AllowedAtClick = 0;

// On the job's thread once the checks have passed.
void BeginUpdate() {
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
        ShowStatusMessageAt(written);
    } else {
        ShowNotice(FormatJobBox(outcome), UPDATE_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
        // A unit left in its loader is offered the update again.
        if (outcome.left != JOB_NONE)
            UpdateAllowed.store(1, std::memory_order_release);
    }
    // The menus before the button: a second update started once the button is back would lock
    // them, and this one's unlock must not come after that.
    UnlockMenus();
}

// Once another job may start: a paint from here on may enable the button too.
void UpdateEnded() {
    HWND button = UpdateButton.load(std::memory_order_acquire);
    if (button != nullptr && UpdateAllowed.load(std::memory_order_acquire) != 0 &&
        DeviceDataValid.load(std::memory_order_acquire) != 0)
        EnableWindow(button, TRUE);
    ReturnFocusToWindow();
}

} // namespace

void CreateFirmwareControls() {
    AddDeviceDataListener(OnDeviceData);
    AddProgramPhaseListener(OnProgramPhase);
    UnitBox = CreateViewControl("BUTTON", "MQ-6 Information", GROUP_BOX_STYLE, 60, 60, 660, 200);
    FirmwareBox =
        CreateViewControl("BUTTON", "New Firmware Information", GROUP_BOX_STYLE, 60, 280, 660, 100);
    HWND button =
        CreateViewControl("BUTTON", "Update Firmware", UPDATE_BUTTON_STYLE, 300, 420, 200, 40);
    ProgressBar = CreateViewControl(PROGRESS_CLASSA, nullptr, PROGRESS_BAR_STYLE, 20,
                                    PROGRESS_BAR_Y, ClientWidth - 40, 16);
    if (ProgressBar != nullptr) {
        SendMessageA(ProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, CODE_RECORD_COUNT));
        SendMessageA(ProgressBar, PBM_SETSTEP, 1, 0);
    }
    if (button != nullptr)
        EnableWindow(button, UpdateAllowed.load(std::memory_order_acquire) != 0 &&
                                 JobRunning.load(std::memory_order_acquire) == 0);
    UpdateButton.store(button, std::memory_order_release);
}

void DestroyFirmwareControls() {
    RemoveDeviceDataListener(OnDeviceData);
    RemoveProgramPhaseListener(OnProgramPhase);
    HWND button = UpdateButton.exchange(nullptr, std::memory_order_acq_rel);
    if (button != nullptr)
        DestroyWindow(button);
    DestroyViewControl(ProgressBar);
    DestroyViewControl(UnitBox);
    DestroyViewControl(FirmwareBox);
}

void PaintFirmwareView(Canvas* canvas) {
    int allowed = PaintFirmwareView(canvas, DeviceDataValid.load(std::memory_order_acquire),
                                    DeviceInfo, ProgramPhase.load(std::memory_order_acquire));
    HWND button = UpdateButton.load(std::memory_order_acquire);
    if (button != nullptr)
        EnableWindow(button, allowed != 0 && JobRunning.load(std::memory_order_acquire) == 0);
}

void StartFirmwareWorker(HWND control) {
    HWND button = UpdateButton.load(std::memory_order_acquire);
    if (control == nullptr || control != button || JobRunning.load(std::memory_order_acquire) != 0)
        return;
    SendMessageA(button, WM_KILLFOCUS, 0, 0);
    AllowedAtClick = UpdateAllowed.exchange(0, std::memory_order_acq_rel);
    EnableWindow(button, FALSE);
    if (StartFirmwareUpdate({BeginUpdate, ShowProgramProgress, EndUpdate, UpdateEnded}) != 0)
        UpdateAllowed.store(AllowedAtClick, std::memory_order_release);
}
