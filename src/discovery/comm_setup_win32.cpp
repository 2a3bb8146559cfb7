// The Comm Port Setup dialog on Windows, and the ports it offers: COM1 to COM25, each marked when
// the system has it. Its rules are discovery/comm_setup.h's.
#include "discovery/comm_setup_win32.h"

#include "discovery/comm_setup.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int PORT_COUNT = 25;           // COM1 to COM25
constexpr size_t PORT_PREFIX_LENGTH = 3; // "COM"

// The list index of PortName's number: "COM7" is entry 6. Anything else gives an index that
// selects no entry.
int PortIndex() {
    std::array<char, PORT_NAME_SIZE> name = CopyPortName();
    name.back() = '\0';
    if (std::strlen(name.data()) < PORT_PREFIX_LENGTH)
        return -1;
    long number = std::strtol(name.data() + PORT_PREFIX_LENGTH, nullptr, 10);
    if (number < 1 || number > INT_MAX)
        return -1;
    return static_cast<int>(number - 1);
}

// A port the system has is marked in the list, so that the user can tell the unit's from the
// rest. Asked for no access, the port is not taken from whoever has it open: only a port that is
// not there fails as missing.
bool PortExists(const char* name) {
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "\\\\.\\%s", name);
    HANDLE port = CreateFileA(path.data(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        CloseHandle(port);
        return true;
    }
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// The ports offered, kept while the dialog is open.
PortChoices Choices{};
int ChoiceCount = 0;

void EnablePortList(HWND dialog, bool enable) {
    EnableWindow(GetDlgItem(dialog, IDC_PORT_LIST), enable ? TRUE : FALSE);
}

void OpenCommSetup(HWND dialog) {
    bool automatic = AutoPort.load(std::memory_order_acquire) == 1;
    CheckDlgButton(dialog, automatic ? IDC_AUTO_PORT : IDC_FIXED_PORT, BST_CHECKED);
    int current = -1;
    ChoiceCount = ListPortChoices(Choices, &current);
    // Each name goes to the top, from the last up, so the list reads in the choices' order.
    for (int i = ChoiceCount - 1; i >= 0; i--)
        SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_INSERTSTRING, 0,
                            reinterpret_cast<LPARAM>(Choices[static_cast<size_t>(i)].label.data()));
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(current), 0);
    std::string note(CommSetupNote(current));
    if (!note.empty())
        SetDlgItemTextA(dialog, IDC_PORT_NOTE, note.c_str());
    if (automatic)
        EnablePortList(dialog, false);
}

void ConfirmChoice(HWND dialog) {
    LRESULT index = SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
    ConfirmCommSetup(IsDlgButtonChecked(dialog, IDC_AUTO_PORT) == BST_CHECKED,
                     index >= 0 && index < ChoiceCount ? &Choices[static_cast<size_t>(index)]
                                                       : nullptr);
    EndDialog(dialog, IDOK);
}

} // namespace

int ListPortChoices(PortChoices& choices, int* current) {
    for (int number = 1; number <= PORT_COUNT; number++) {
        PortChoice& choice = choices[static_cast<size_t>(number - 1)];
        choice = PortChoice{};
        std::snprintf(choice.name.data(), choice.name.size(), "COM%d", number);
        std::snprintf(choice.label.data(), choice.label.size(),
                      PortExists(choice.name.data()) ? "%s  (present)" : "%s", choice.name.data());
    }
    int index = PortIndex();
    *current = index >= 0 && index < PORT_COUNT ? index : -1;
    return PORT_COUNT;
}

INT_PTR CALLBACK CommSetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        OpenCommSetup(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_AUTO_PORT:
            EnablePortList(dialog, false);
            return TRUE;
        case IDC_FIXED_PORT:
            EnablePortList(dialog, true);
            return TRUE;
        case IDOK:
            ConfirmChoice(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
