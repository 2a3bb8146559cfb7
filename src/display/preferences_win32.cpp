// The Preferences dialog on Windows (resource 132) over its rules (display/preferences.h).
#include "display/preferences_dialog_win32.h"

#include "app/shell_win32.h"
#include "display/preferences.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <commctrl.h>

#include <array>
#include <string>

namespace {

constexpr int TARGET_TEXT_SIZE = 32;

// The controls, held while the dialog is open.
HWND RateBar = nullptr;
HWND LowField = nullptr;
HWND HighField = nullptr;

PreferencesTarget TargetOf(int field) {
    return field == IDC_TARGET_LOW ? TARGET_FROM : TARGET_TO;
}

std::string FieldText(HWND dialog, int field) {
    std::array<char, TARGET_TEXT_SIZE> text{};
    GetDlgItemTextA(dialog, field, text.data(), static_cast<int>(text.size()));
    return text.data();
}

void OpenPreferences(HWND dialog) {
    RateBar = GetDlgItem(dialog, IDC_RESPONSE_RATE);
    LowField = GetDlgItem(dialog, IDC_TARGET_LOW);
    HighField = GetDlgItem(dialog, IDC_TARGET_HIGH);
    SendMessageA(RateBar, TBM_SETRANGE, FALSE, MAKELPARAM(RATE_LOWEST, RATE_HIGHEST));
    SendMessageA(RateBar, TBM_SETTICFREQ, RATE_TICK_STEP, 0);
    SendMessageA(RateBar, TBM_SETPOS, TRUE, ResponseRate.load(std::memory_order_acquire));
    for (int field : {IDC_TARGET_LOW, IDC_TARGET_HIGH}) {
        SetDlgItemTextA(dialog, field, TargetFieldText(TargetOf(field)).c_str());
        SendDlgItemMessageA(dialog, field, EM_LIMITTEXT, TARGET_TEXT_LIMIT, 0);
    }
    SetFocus(LowField);
}

void LeaveTarget(HWND dialog, int field) {
    SetDlgItemTextA(dialog, field,
                    LeaveTargetField(TargetOf(field), FieldText(dialog, field)).c_str());
}

// Cleared before the dialog ends: ending it takes the focus from the field that has it, and
// that must not store the field's text after Cancel.
void ClosePreferences(HWND dialog, int result) {
    RateBar = nullptr;
    LowField = nullptr;
    HighField = nullptr;
    EndDialog(dialog, result);
}

void ConfirmChoice(HWND dialog) {
    ConfirmPreferences(static_cast<int>(SendMessageA(RateBar, TBM_GETPOS, 0, 0)),
                       FieldText(dialog, IDC_TARGET_LOW), FieldText(dialog, IDC_TARGET_HIGH));
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
        ConfirmChoice(dialog);
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
