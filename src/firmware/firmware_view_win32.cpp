// The Firmware Update view's controls on Windows: children of the main window without
// identifiers, made from the view's layout table. The update's thread reaches them only through
// blocking sends (the button enabled, the bar's steps).
#include "firmware/firmware_view_win32.h"

#include "app/shell_win32.h"
#include "display/status_line.h"
#include "firmware/firmware_controls.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_view.h"

#include <commctrl.h>

#include <array>
#include <atomic>
#include <string>

namespace {

constexpr std::array<std::pair<const char*, DWORD>, 3> KIND_STYLES = {{
    {"BUTTON", 0x50000007},        // child, visible, group box
    {"BUTTON", 0x50010000},        // child, visible, tab stop, push button
    {PROGRESS_CLASSA, 0x50000000}, // child, visible
}};

std::array<HWND, FIRMWARE_CONTROL_COUNT> Controls{};
// The update's thread enables the button: a handle it reads while the main thread may clear it.
std::atomic<HWND> UpdateButton{nullptr};

// The update button from the keyboard: Enter clicks it (Space does so by itself), Tab and Escape
// move the focus as in the other views, Alt+U clicks it from wherever the focus is.
LRESULT CALLBACK UpdateButtonKeys(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC classProcedure = reinterpret_cast<WNDPROC>(GetClassLongPtrA(button, GCLP_WNDPROC));
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            SendMessageA(button, BM_CLICK, 0, 0);
            return 0;
        }
        if (wParam == VK_TAB || wParam == VK_ESCAPE) {
            PostMessageA(MainWindow, WM_NEXTDLGCTL, GetKeyState(VK_SHIFT) < 0 ? 1 : 0, 0);
            return 0;
        }
        break;
    case WM_SYSCHAR:
        if (FirmwareSysChar(wParam))
            return 0;
        break;
    default:
        break;
    }
    return CallWindowProcA(classProcedure, button, message, wParam, lParam);
}

} // namespace

bool FirmwareSysChar(WPARAM character) {
    HWND button = Controls[FIRMWARE_UPDATE];
    if ((character != 'u' && character != 'U') || button == nullptr)
        return false;
    if (IsWindowEnabled(button))
        SendMessageA(button, BM_CLICK, 0, 0);
    else
        BeepRefusedInput();
    return true;
}

void EnableUpdateButton(bool enabled) {
    HWND button = UpdateButton.load(std::memory_order_acquire);
    if (button != nullptr)
        EnableWindow(button, enabled ? TRUE : FALSE);
}

void StepFirmwareProgress(ProgressMessage message) {
    HWND bar = Controls[FIRMWARE_PROGRESS_BAR];
    if (bar != nullptr)
        SendMessageA(bar, message == PROGRESS_RESET ? PBM_SETPOS : PBM_STEPIT, 0, 0);
}

void CreateFirmwareControls() {
    for (const FirmwareControlRow& row : FirmwareLayout) {
        auto [className, style] = KIND_STYLES[static_cast<size_t>(row.kind)];
        std::string caption(row.caption);
        int width = row.width != 0 ? row.width : ClientWidth - 2 * row.x;
        Controls[static_cast<size_t>(row.control)] =
            CreateViewControl(className, row.caption.empty() ? nullptr : caption.c_str(), style,
                              row.x, row.y, width, row.height);
    }
    HWND bar = Controls[FIRMWARE_PROGRESS_BAR];
    if (bar != nullptr) {
        SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, CODE_RECORD_COUNT));
        SendMessageA(bar, PBM_SETSTEP, 1, 0);
    }
    if (Controls[FIRMWARE_UPDATE] != nullptr)
        SetWindowLongPtrA(Controls[FIRMWARE_UPDATE], GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(UpdateButtonKeys));
    UpdateButton.store(Controls[FIRMWARE_UPDATE], std::memory_order_release);
    EnterFirmwareView();
}

void DestroyFirmwareControls() {
    LeaveFirmwareView();
    UpdateButton.store(nullptr, std::memory_order_release);
    // The button first, the bar, then the two boxes.
    for (FirmwareControl control :
         {FIRMWARE_UPDATE, FIRMWARE_PROGRESS_BAR, FIRMWARE_UNIT_BOX, FIRMWARE_IMAGE_BOX})
        DestroyViewControl(Controls[static_cast<size_t>(control)]);
}

void PaintFirmwareView(Canvas* canvas) {
    PaintFirmwareViewAll(canvas);
}

void StartFirmwareWorker(HWND control) {
    if (control == nullptr || control != Controls[FIRMWARE_UPDATE])
        return;
    SendMessageA(control, WM_KILLFOCUS, 0, 0);
    OnUpdateButton();
}
