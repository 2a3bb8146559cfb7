// View switching and the menu states that follow it: the Display menu grays the shown view's
// command, and the menu lock of the programming workers. Every state change rewrites the item
// with its resource text.
#include "app/main_window.h"

#include "app/recording.h"

#include "display/canvas_gdi_win32.h"
#include "display/display_thread.h"
#include "display/live_stream.h"
#include "display/status_line.h"
#include "firmware/firmware_view_win32.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "wbsetup/setup_view_win32.h"

#include <array>

namespace {

struct MenuItemText {
    int command;
    const char* text;
};

// The view commands, and the view each one shows.
struct ViewItem {
    int command;
    int32_t view;
    const char* text;
};
constexpr std::array<ViewItem, 4> ViewItems = {{
    {IDM_WB_SETUP, VIEW_WB_SETUP, "&WB Setup"},
    {IDM_AFR_LAMBDA, VIEW_AFR_LAMBDA, "&Afr && Lambda"},
    {IDM_FIRMWARE_UPDATE, VIEW_FIRMWARE_UPDATE, "&Firmware Update"},
    {IDM_LIVE_HISTORY, VIEW_LIVE_HISTORY, "Live &History"},
}};

// What the menu lock grays: leaving the program, searching for the port, choosing another one
// or switching the view would pull the link from under a running programming sequence.
constexpr std::array<MenuItemText, 8> LockedItems = {{
    {IDM_EXIT, "E&xit"},
    {IDM_FIND_UNIT, "Find &MQ-6"},
    {IDM_COMM_SETUP, "&Comm Setup..."},
    {IDM_WB_SETUP, "&WB Setup"},
    {IDM_AFR_LAMBDA, "&Afr && Lambda"},
    {IDM_FIRMWARE_UPDATE, "&Firmware Update"},
    {IDM_LIVE_HISTORY, "Live &History"},
    {IDM_RECORD, "&Record Live Data...\tCtrl+R"},
}};

// A view switch pauses this long with the link claimed before its first exchange. The claim
// itself already waits for a display pass under way; the pause is the utility's as it always was.
constexpr int SWITCH_SETTLE_MS = 10;

void SetItemState(HMENU menu, int command, const char* text, UINT state) {
    ModifyMenuA(menu, static_cast<UINT>(command), MF_BYCOMMAND | MF_STRING | state,
                static_cast<UINT_PTR>(command), text);
}

void GrayCurrentView(HMENU menu) {
    int32_t view = ViewMode.load(std::memory_order_acquire);
    for (const ViewItem& item : ViewItems)
        if (item.view == view)
            SetItemState(menu, item.command, item.text, MF_GRAYED);
}

// Leaves the current view; the caller holds the link.
void LeaveView(int32_t current) {
    Sleep(SWITCH_SETTLE_MS);
    switch (current) {
    case VIEW_AFR_LAMBDA:
    case VIEW_LIVE_HISTORY:
        StopLiveStream(1);
        break;
    case VIEW_WB_SETUP:
        DestroySetupControls();
        break;
    case VIEW_FIRMWARE_UPDATE:
        DestroyFirmwareControls();
        break;
    default:
        break;
    }
}

// The system menu's Close item also stands for the caption's close box.
void SetCloseState(UINT state) {
    EnableMenuItem(GetSystemMenu(MainWindow, FALSE), SC_CLOSE, MF_BYCOMMAND | state);
}

const ViewItem* FindViewItem(int command) {
    for (const ViewItem& item : ViewItems)
        if (item.command == command)
            return &item;
    return nullptr;
}

} // namespace

int SelectView(HWND window, int command) {
    HMENU menu = GetMenu(MainWindow);
    for (const ViewItem& item : ViewItems)
        SetItemState(menu, item.command, item.text, MF_ENABLED);
    const ViewItem* chosen = FindViewItem(command);
    if (chosen != nullptr) {
        SetItemState(menu, chosen->command, chosen->text, MF_GRAYED);
        int32_t current = ViewMode.load(std::memory_order_acquire);
        if (!IsLiveView(chosen->view))
            EndRecording(); // the file is complete before the stream stops
        bool liveToLive =
            IsLiveView(current) && IsLiveView(chosen->view) && current != chosen->view;
        if (liveToLive) {
            // Between the two live views the stream, and a recording, go on.
            ViewMode.store(chosen->view, std::memory_order_release);
        } else if (current != chosen->view) {
            LinkClaim claim;
            LeaveView(current);
            ViewMode.store(chosen->view, std::memory_order_release);
            switch (chosen->view) {
            case VIEW_AFR_LAMBDA:
            case VIEW_LIVE_HISTORY:
                StartLiveStream();
                break;
            case VIEW_WB_SETUP:
                CreateSetupControls();
                break;
            case VIEW_FIRMWARE_UPDATE:
                CreateFirmwareControls();
                break;
            default:
                break;
            }
        }
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_INTERNALPAINT);
        if (PortStatus.load(std::memory_order_acquire) == 0)
            Reconnect();
        if (!liveToLive) // a frame half received belongs to the stream that goes on
            RequestRxReset();
        UpdateViewTimer();
    }
    DrawMenuBar(MainWindow);
    return 0;
}

int Reconnect() {
    PortStatus.store(0, std::memory_order_release);
    Canvas* canvas = CanvasOpenWindow();
    if (canvas != nullptr) {
        DrawStatusLine(canvas);
        CanvasCloseWindow(canvas);
    }
    RequestPort(PORT_REOPEN, CopyPortName().data());
    WriteConfig();
    return 0;
}

void LockMenus() {
    HMENU menu = GetMenu(MainWindow);
    for (const MenuItemText& item : LockedItems)
        SetItemState(menu, item.command, item.text, MF_GRAYED);
    SetCloseState(MF_GRAYED);
    DrawMenuBar(MainWindow);
}

void UnlockMenus() {
    HMENU menu = GetMenu(MainWindow);
    for (const MenuItemText& item : LockedItems)
        SetItemState(menu, item.command, item.text, MF_ENABLED);
    GrayCurrentView(menu);
    SetCloseState(MF_ENABLED);
    DrawMenuBar(MainWindow);
}
