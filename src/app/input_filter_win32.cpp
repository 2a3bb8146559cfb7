// The digit filter of the number fields and the beep that goes with a refused character.
#include "app/input_filter.h"
#include "app/shell_win32.h"

#include <atomic>

namespace {
std::atomic<int32_t> BeepCount{0};
} // namespace

void FilterNumberEdit(HWND edit) {
    char text[FILTER_TEXT_LIMIT + 1] = {};
    int length = GetWindowTextA(edit, text, sizeof text);
    int refused = FindRefusedNumberChar(std::string_view(text, length > 0 ? length : 0));
    if (refused < 0)
        return;
    // One character per call: the replacement notifies a change, and the call it causes looks at
    // the new text. Going on here would remove by positions of the old text.
    SendMessageA(edit, EM_SETSEL, refused, refused + 1);
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    BeepRefusedInput();
}

void BeepRefusedInput() {
    BeepCount.fetch_add(1, std::memory_order_relaxed);
    MessageBeep(MB_OK);
}

int32_t RefusedInputBeeps() {
    return BeepCount.load(std::memory_order_relaxed);
}
