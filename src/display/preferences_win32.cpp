// The Preferences dialog. The target fields take digits and one point as they are typed, and
// are clamped into the dial's scale when they are left; OK stores the response rate and both
// targets and saves the settings, Cancel keeps what leaving a field has already stored.
#include "display/preferences_dialog_win32.h"

#include "app/shell_win32.h"
#include "display/gauges.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <commctrl.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int RATE_LOWEST = 10;  // left end of the trackbar, "Slow"
constexpr int RATE_HIGHEST = 90; // right end, "Fast"
constexpr int RATE_TICK_STEP = 8;
constexpr int TARGET_TEXT_LIMIT = 4; // "0.86", ".875", "1.1"
constexpr int TARGET_TEXT_SIZE = 32;

// The controls, held while the dialog is open.
HWND RateBar = nullptr;
HWND LowField = nullptr;
HWND HighField = nullptr;

std::atomic<double>& TargetOf(int field) {
    return field == IDC_TARGET_LOW ? TargetLow : TargetHigh;
}

void ShowTarget(HWND dialog, int field, double value) {
    std::array<char, TARGET_TEXT_SIZE> text{};
    std::snprintf(text.data(), text.size(), "%.2f", value);
    SetDlgItemTextA(dialog, field, text.data());
}

// The field's number; text that is no number counts as 0.
double ReadTarget(HWND dialog, int field) {
    std::array<char, TARGET_TEXT_SIZE> text{};
    GetDlgItemTextA(dialog, field, text.data(), static_cast<int>(text.size()));
    return std::atof(text.data());
}

void OpenPreferences(HWND dialog) {
    RateBar = GetDlgItem(dialog, IDC_RESPONSE_RATE);
    LowField = GetDlgItem(dialog, IDC_TARGET_LOW);
    HighField = GetDlgItem(dialog, IDC_TARGET_HIGH);
    SendMessageA(RateBar, TBM_SETRANGE, FALSE, MAKELPARAM(RATE_LOWEST, RATE_HIGHEST));
    SendMessageA(RateBar, TBM_SETTICFREQ, RATE_TICK_STEP, 0);
    SendMessageA(RateBar, TBM_SETPOS, TRUE, ResponseRate.load(std::memory_order_acquire));
    for (int field : {IDC_TARGET_LOW, IDC_TARGET_HIGH}) {
        ShowTarget(dialog, field, TargetOf(field).load(std::memory_order_acquire));
        SendDlgItemMessageA(dialog, field, EM_LIMITTEXT, TARGET_TEXT_LIMIT, 0);
    }
    SetFocus(LowField);
}

void LeaveTarget(HWND dialog, int field) {
    double value = ClampToScale(ReadTarget(dialog, field));
    TargetOf(field).store(value, std::memory_order_release);
    ShowTarget(dialog, field, value);
}

// Cleared before the dialog ends: ending it takes the focus from the field that has it, and
// that must not store the field's text after Cancel.
void ClosePreferences(HWND dialog, int result) {
    RateBar = nullptr;
    LowField = nullptr;
    HighField = nullptr;
    EndDialog(dialog, result);
}

void ConfirmPreferences(HWND dialog) {
    ResponseRate.store(static_cast<int32_t>(SendMessageA(RateBar, TBM_GETPOS, 0, 0)),
                       std::memory_order_release);
    // The band runs from the lower value to the higher, whichever field holds which.
    TargetBand band =
        OrderTargets(ReadTarget(dialog, IDC_TARGET_LOW), ReadTarget(dialog, IDC_TARGET_HIGH));
    TargetLow.store(band.low, std::memory_order_release);
    TargetHigh.store(band.high, std::memory_order_release);
    WriteConfig();
    InvalidateRect(MainWindow, nullptr, TRUE);
    ClosePreferences(dialog, IDOK);
}

INT_PTR OnPreferencesCommand(HWND dialog, WPARAM wParam) {
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    if (id == IDC_TARGET_LOW || id == IDC_TARGET_HIGH) {
        if (code == EN_CHANGE)
            FilterNumberEdit(GetDlgItem(dialog, id));
        else if (code == EN_KILLFOCUS && LowField != nullptr)
            LeaveTarget(dialog, id);
        return 0;
    }
    if (id == IDOK)
        ConfirmPreferences(dialog);
    else if (id == IDCANCEL)
        ClosePreferences(dialog, IDCANCEL);
    return 0;
}

} // namespace

INT_PTR CALLBACK PreferencesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OpenPreferences(dialog);
        return FALSE; // the focus is set: the system must not move it to the first tab stop
    case WM_COMMAND:
        return OnPreferencesCommand(dialog, wParam);
    default:
        return 0;
    }
}
