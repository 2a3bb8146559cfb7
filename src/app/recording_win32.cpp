// The record item of the Windows utility's File menu: while a recording runs it says how to stop
// it (string 110), else again what the menu gave it.
#include "app/recording.h"
#include "app/shell_win32.h"
#include "resources/resource.h"

#include <array>

namespace {
constexpr int CAPTION_SIZE = 64;
// The record item's caption from the menu, kept while the item says how to stop.
std::array<char, CAPTION_SIZE> StartCaption{};
} // namespace

void ShowRecordItem(bool running) {
    if (MainWindow == nullptr)
        return;
    HMENU menu = GetMenu(MainWindow);
    UINT state = GetMenuState(menu, IDM_RECORD, MF_BYCOMMAND) & MF_GRAYED;
    std::array<char, CAPTION_SIZE> caption{};
    if (running) {
        if (StartCaption[0] == '\0')
            GetMenuStringA(menu, IDM_RECORD, StartCaption.data(), CAPTION_SIZE, MF_BYCOMMAND);
        LoadStringA(AppInstance, IDS_STOP_RECORDING, caption.data(), CAPTION_SIZE);
    } else if (StartCaption[0] != '\0') {
        caption = StartCaption;
        StartCaption.fill('\0');
    } else {
        return;
    }
    ModifyMenuA(menu, IDM_RECORD, MF_BYCOMMAND | MF_STRING | state, IDM_RECORD, caption.data());
    DrawMenuBar(MainWindow);
}
