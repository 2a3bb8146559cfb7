// The About box (dialog 103): the program's version and what the build carries, so that a
// sample firmware image or setup key is never taken for the maker's. Closed by OK or Escape.
#include "app/about_box_win32.h"
#include "firmware/build_inputs.h"
#include "mq6_version.h"
#include "resources/resource.h"

#include <array>
#include <cstdio>

namespace {
constexpr size_t FACTS_SIZE = 512;

void ShowFacts(HWND dialog) {
    std::array<char, FACTS_SIZE> facts;
    int length = std::snprintf(facts.data(), facts.size(), "Version %s\n", MQ6_VERSION_TEXT);
    if (length < 0 || static_cast<size_t>(length) >= facts.size() ||
        FormatBuildInputs(facts.data() + length, facts.size() - static_cast<size_t>(length)) != 0)
        return;
    SetDlgItemTextA(dialog, IDC_ABOUT_FACTS, facts.data());
}
} // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ShowFacts(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
