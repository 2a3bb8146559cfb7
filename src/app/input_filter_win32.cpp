// The digit filter of the number fields and the beep that goes with a refused character.
#include "app/shell.h"

#include <atomic>

namespace {
constexpr int FILTER_TEXT_SIZE = 32; // at most 31 characters are looked at
std::atomic<int32_t> BeepCount{0};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
} // namespace

void FilterNumberEdit(HWND edit) {
    char text[FILTER_TEXT_SIZE] = {};
    int length = GetWindowTextA(edit, text, FILTER_TEXT_SIZE);
    bool pointSeen = false;
    for (int i = 0; i < length; i++) {
        if (IsDigit(text[i]))
            continue;
        if (text[i] == '.' && !pointSeen) {
            pointSeen = true;
            continue;
        }
        // One character per call: the replacement notifies a change, and the call it causes
        // looks at the new text. Going on here would remove by positions of the old text.
        SendMessageA(edit, EM_SETSEL, i, i + 1);
        SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        BeepRefusedInput();
        return;
    }
}

void BeepRefusedInput() {
    BeepCount.fetch_add(1, std::memory_order_relaxed);
    MessageBeep(MB_OK);
}

int32_t RefusedInputBeeps() {
    return BeepCount.load(std::memory_order_relaxed);
}
