// The Comm Port Setup dialog. OK stores the choice in the settings file at once and has the
// comm thread reopen the port (searching first when automatic search is on); Cancel changes
// nothing.
#include "discovery/comm_setup_win32.h"

#include "app/shell_win32.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int PORT_COUNT = 25;           // COM1 to COM25
constexpr size_t PORT_PREFIX_LENGTH = 3; // "COM"
constexpr char NO_UNIT_FOUND_TEXT[] = "No MQ-6 unit was found. Connect it, or choose its port.";

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

void EnablePortList(HWND dialog, bool enable) {
    EnableWindow(GetDlgItem(dialog, IDC_PORT_LIST), enable ? TRUE : FALSE);
}

void OpenCommSetup(HWND dialog) {
    bool automatic = AutoPort.load(std::memory_order_acquire) == 1;
    CheckDlgButton(dialog, automatic ? IDC_AUTO_PORT : IDC_FIXED_PORT, BST_CHECKED);
    // Each name goes to the top, from COM25 down, so the list reads COM1 to COM25.
    for (int number = PORT_COUNT; number >= 1; number--) {
        std::array<char, 32> text{};
        std::snprintf(text.data(), text.size(), "COM%d", number);
        if (PortExists(text.data()))
            std::snprintf(text.data(), text.size(), "COM%d  (present)", number);
        SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_INSERTSTRING, 0,
                            reinterpret_cast<LPARAM>(text.data()));
    }
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(PortIndex()), 0);
    // Until a search finds the unit or a port is chosen, the port name is no port at all.
    if (PortIndex() < 0 || PortIndex() >= PORT_COUNT)
        SetDlgItemTextA(dialog, IDC_PORT_NOTE, NO_UNIT_FOUND_TEXT);
    if (automatic)
        EnablePortList(dialog, false);
}

void ConfirmCommSetup(HWND dialog) {
    AutoPort.store(IsDlgButtonChecked(dialog, IDC_AUTO_PORT) == BST_CHECKED ? 1 : 0,
                   std::memory_order_release);
    // With no entry selected (a name typed into the field, or a port beyond the list) the port
    // stays as it was: the list's "no selection" would name COM0, which no system has.
    LRESULT index = SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
    if (index >= 0 && index < PORT_COUNT) {
        std::array<char, 16> name{};
        std::snprintf(name.data(), name.size(), "COM%d", static_cast<int>(index) + 1);
        StorePortName(name.data());
    }
    ErrorShown.store(0, std::memory_order_release);
    Reconnect();
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
    EndDialog(dialog, IDOK);
}

} // namespace

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
            ConfirmCommSetup(dialog);
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
