// The Display menu's item of the Recording view on Windows (string 111).
#include "app/open_recording.h"

#include "app/shell_win32.h"
#include "resources/resource.h"

#include <array>

namespace {
constexpr int DISPLAY_MENU = 1; // the main menu's second popup
constexpr int CAPTION_SIZE = 64;
} // namespace

void ShowRecordingViewItem() {
    HMENU display = GetSubMenu(GetMenu(MainWindow), DISPLAY_MENU);
    if (display == nullptr || GetMenuState(display, IDM_RECORDING_VIEW, MF_BYCOMMAND) != 0xFFFFFFFF)
        return;
    std::array<char, CAPTION_SIZE> caption{};
    LoadStringA(AppInstance, IDS_RECORDING_VIEW, caption.data(), CAPTION_SIZE);
    AppendMenuA(display, MF_STRING, IDM_RECORDING_VIEW, caption.data());
}
