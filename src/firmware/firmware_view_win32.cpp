// The Firmware Update view's controls and its update worker. The controls are children of the
// main window without identifiers; the worker talks to the main thread only through blocking
// sends to the controls, UpdateAllowed, ProgramPhase and invalidated rectangles.
#include "firmware/firmware_view_win32.h"

#include "app/shell_win32.h"
#include "display/display_thread.h"
#include "display/status_line.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_paint.h"
#include "firmware/firmware_update.h"
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

constexpr std::string_view THREAD_FAILED_TEXT = "CreateThread failed";
constexpr std::string_view THREAD_FAILED_CAPTION = "firmware";

HWND UnitBox = nullptr;
HWND FirmwareBox = nullptr;
HWND ProgressBar = nullptr;
// Read by the data-block hook on whichever thread reads the block.
std::atomic<HWND> UpdateButton{nullptr};

HANDLE WorkerHandle = nullptr;
// 1 from the click that starts a worker until the worker ends: the paint then leaves the button
// disabled, so that no second update can start while one runs.
std::atomic<int32_t> WorkerRunning{0};

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

DWORD WINAPI FirmwareWorker(void*) {
    SystemAwake awake;
    HWND button = UpdateButton.load(std::memory_order_acquire);
    SendMessageA(button, WM_KILLFOCUS, 0, 0);
    int32_t allowed = UpdateAllowed.exchange(0, std::memory_order_acq_rel);
    EnableWindow(button, FALSE);
    FirmwareUpdateResult result = UpdateFirmware(ShowProgramProgress, LockMenus);
    if (result == UPDATE_DONE) {
        char written[48];
        std::snprintf(written, sizeof written, "Firmware %d.%02d written to the MQ-6",
                      CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
        ShowStatusMessageAt(written);
    }
    // A unit in its setup mode leaves the button disabled until a paint finds the versions
    // again; a refused sample leaves the view as it was; a failed run offers the update again.
    if (result == UPDATE_REFUSED_SAMPLE)
        UpdateAllowed.store(allowed, std::memory_order_release);
    if (result == UPDATE_FAILED)
        UpdateAllowed.store(1, std::memory_order_release);
    // The menus first: a second worker started once the button is back would lock them, and
    // this one's unlock must not come after that.
    if (result != UPDATE_REFUSED_SETUP_MODE && result != UPDATE_REFUSED_SAMPLE)
        UnlockMenus();
    // Cleared before the button is decided on: a paint from here on may enable it too.
    WorkerRunning.store(0, std::memory_order_release);
    if (UpdateAllowed.load(std::memory_order_acquire) != 0 &&
        DeviceDataValid.load(std::memory_order_acquire) != 0)
        EnableWindow(button, TRUE);
    ReturnFocusToWindow();
    return 0;
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
                                 WorkerRunning.load(std::memory_order_acquire) == 0);
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
    if (WorkerHandle != nullptr) {
        DWORD exitCode = STILL_ACTIVE;
        if (GetExitCodeThread(WorkerHandle, &exitCode) && exitCode == 0) {
            CloseHandle(WorkerHandle);
            WorkerHandle = nullptr;
        }
    }
    int allowed = PaintFirmwareView(canvas, DeviceDataValid.load(std::memory_order_acquire),
                                    DeviceInfo, ProgramPhase.load(std::memory_order_acquire));
    HWND button = UpdateButton.load(std::memory_order_acquire);
    if (button != nullptr)
        EnableWindow(button, allowed != 0 && WorkerRunning.load(std::memory_order_acquire) == 0);
}

bool FirmwareWorkerRunning() {
    return WorkerRunning.load(std::memory_order_acquire) != 0;
}

void StartFirmwareWorker(HWND control) {
    if (control == nullptr || control != UpdateButton.load(std::memory_order_acquire))
        return;
    if (WorkerRunning.load(std::memory_order_acquire) != 0)
        return;
    if (WorkerHandle != nullptr) {
        CloseHandle(WorkerHandle);
        WorkerHandle = nullptr;
    }
    WorkerRunning.store(1, std::memory_order_release);
    WorkerHandle = CreateThread(nullptr, 0, FirmwareWorker, nullptr, 0, nullptr);
    if (WorkerHandle == nullptr) {
        WorkerRunning.store(0, std::memory_order_release);
        ShowNotice(THREAD_FAILED_TEXT, THREAD_FAILED_CAPTION, NOTICE_NO_OWNER);
    }
}
