// The main window: creation and placement, the window procedure and its handlers, the paint
// sequence and the close sequence. Each message goes to a short handler; the views' own
// drawing and input are reached through the views' table (app/views.h).
#include "app/main_window.h"

#include "app/commands.h"
#include "app/data_error.h"
#include "app/menu.h"
#include "app/recording.h"
#include "app/status_note.h"
#include "app/view_controls.h"
#include "app/view_switch.h"
#include "app/views.h"
#include "display/canvas_gdi_win32.h"
#include "display/review_bar_win32.h"
#include "display/status_line.h"
#include "firmware/job.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_view.h"
#include "wbsetup/setup_view_win32.h"

#include <windowsx.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>

std::array<char, RESOURCE_TEXT_SIZE> WindowTitle{};
std::array<char, RESOURCE_TEXT_SIZE> WindowClassName{};

namespace {

constexpr int WINDOW_WIDTH = 800;
constexpr int WINDOW_HEIGHT = 600;
// A caption with a system menu and a minimize box, and no sizing border: the views are laid
// out in fixed pixels.
constexpr DWORD MAIN_WINDOW_STYLE =
    WS_POPUP | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr COLORREF EDIT_BACK_COLOUR = RGB(250, 250, 250);
// Command notification that an accelerator sends.
constexpr int ACCELERATOR_NOTIFICATION = 1;

// Created when first needed and kept for the life of the process.
HBRUSH EditBrush = nullptr;
HBRUSH StaticBrush = nullptr;

HBRUSH KeptBrush(HBRUSH& brush, COLORREF colour) {
    if (brush == nullptr)
        brush = CreateSolidBrush(colour);
    return brush;
}

int32_t CurrentView() {
    return ViewMode.load(std::memory_order_acquire);
}

// While a firmware update or a setup write runs, the program must not end and the port must
// not be reopened under it: the unit would be left in its loader half-programmed.
bool ProgrammingRunning() {
    return JobRunning.load(std::memory_order_acquire) != 0;
}

// A close asked for while programming runs is kept (app/views.h): a timer closes the window once
// the work has ended.
constexpr UINT_PTR CLOSE_WHEN_DONE_TIMER = 1;
HWND CloseWhenDoneNote = nullptr;

void CloseWhenDone(HWND window) {
    if (CloseWhenDoneNote != nullptr && IsWindow(CloseWhenDoneNote))
        return;
    // Where the view shows the job's progress.
    const ViewRow* shown = ShownView();
    ViewRect place = shown != nullptr ? shown->closingNote() : ViewRect{};
    if (place.right > place.left)
        CloseWhenDoneNote = CreateViewControl("STATIC", CLOSE_WHEN_DONE_TEXT.data(),
                                              WS_CHILD | WS_VISIBLE, place.left, place.top,
                                              place.right - place.left, place.bottom - place.top);
    SetTimer(window, CLOSE_WHEN_DONE_TIMER, static_cast<UINT>(CLOSE_WHEN_DONE_CHECK_MS), nullptr);
}

// The data-error box (app/data_error.h), shown on this thread from a message that the reading
// thread posts.
bool DataErrorBoxUp = false;

void PostDataRead(DeviceDataEvent event) {
    if (event != DEVICE_DATA_UNREADABLE)
        PostMessageA(MainWindow, DATA_READ_MESSAGE, event == DEVICE_DATA_READ ? 1 : 0, 0);
}

BOOL CALLBACK CloseDataErrorBox(HWND box, LPARAM) {
    char caption[16] = {};
    GetWindowTextA(box, caption, sizeof caption);
    if (GetWindow(box, GW_OWNER) == MainWindow && DATA_ERROR_CAPTION == caption)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void OnDataRead(HWND window, WPARAM read) {
    RedrawStatusLine(); // what the unit is left in may have changed
    DataErrorAction action = DataErrorAfterRead(read != 0, DataErrorBoxUp);
    if (action == DATA_ERROR_CLOSE)
        EnumThreadWindows(GetCurrentThreadId(), CloseDataErrorBox, 0);
    if (action != DATA_ERROR_SHOW)
        return;
    DataErrorBoxUp = true;
    std::string text(DATA_ERROR_TEXT);
    std::string caption(DATA_ERROR_CAPTION);
    MessageBoxA(window, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TOPMOST);
    DataErrorBoxUp = false;
}

void PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr)
        return;
    Canvas canvas = CanvasOnDc(dc);
    DrawStatusNoteLine(&canvas);
    if (const ViewRow* shown = ShownView(); shown != nullptr) {
        // A context of the window's own, which the paint's clipping does not limit.
        Canvas* unclipped = CanvasOpenWindow();
        shown->paint(&canvas, unclipped != nullptr ? unclipped : &canvas);
        CanvasCloseWindow(unclipped);
    }
    CanvasRestoreObjects(&canvas);
    EndPaint(window, &paint);
}

// The command table: menu items and accelerators (app/commands.h), and the id-less push buttons
// of the views.
LRESULT RunCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    int command = LOWORD(wParam);
    if (command == IDC_VIEW_BUTTON) {
        OnViewButton(reinterpret_cast<HWND>(lParam));
        return 0;
    }
    if (RunMenuCommand(command) == 0)
        return 0;
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    switch (HIWORD(wParam)) {
    case 0: // a menu item or a button
        return RunCommand(window, wParam, lParam);
    case ACCELERATOR_NOTIFICATION:
        return control == nullptr ? RunCommand(window, wParam, lParam) : 0;
    case EN_SETFOCUS:
        SendMessageA(control, EM_SETSEL, 0, -1);
        return 0;
    case EN_KILLFOCUS:
        if (CurrentView() == VIEW_WB_SETUP)
            ValidateSetupField(control);
        return 0;
    case EN_CHANGE:
        FilterNumberEdit(control);
        return 0;
    default:
        return 0;
    }
}

// The close sequence. The display and comm threads are ended after the message loop
// (FinishApplication), once nothing on this thread can wait for them any more.
void CloseMainWindow(HWND window) {
    ViewMode.store(VIEW_NONE, std::memory_order_release);
    RemoveDeviceDataListener(PostDataRead);
    DataErrorBoxElsewhere.store(0, std::memory_order_release);
    EndRecording();
    SetViewTimer(false);
    // A minimized window's rectangle is the icon's: the position saved last stays.
    RECT frame;
    if (!IsIconic(window) && GetWindowRect(window, &frame)) {
        WindowX.store(frame.left, std::memory_order_release);
        WindowY.store(frame.top, std::memory_order_release);
    }
    WriteConfig();
    RequestPort(PORT_CLOSE, nullptr);
    Sleep(20); // the comm thread closes the port meanwhile
    CanvasDeleteFonts();
    PostQuitMessage(0);
}

// A key that the main window itself gets (none of the view's controls has the focus): Tab moves
// into the controls of a view that has them; the rest goes to a view that takes keys.
void OnViewKey(WPARAM key) {
    const ViewRow* shown = ShownView();
    if (shown == nullptr)
        return;
    if (key == VK_TAB && shown->tabStops) {
        MoveTabFocus(GetKeyState(VK_SHIFT) < 0 ? 1 : 0);
        return;
    }
    int viewKey = ToViewKey(key);
    if (viewKey >= 0 && shown->key != nullptr)
        ActOnViewInput(shown->key(static_cast<ViewKey>(viewKey)));
}

} // namespace

int CreateMainWindow(HINSTANCE instance, int showCommand) {
    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    int x = WindowX.load(std::memory_order_acquire);
    int y = WindowY.load(std::memory_order_acquire);
    if (x == -1) {
        x = desktop.right / 2 - WINDOW_WIDTH / 2;
        y = desktop.bottom / 2 - WINDOW_HEIGHT / 2;
    }
    HWND window =
        CreateWindowExA(0, WindowClassName.data(), WindowTitle.data(), MAIN_WINDOW_STYLE, x, y,
                        WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
        return 0;
    AppInstance = instance;
    MainWindow = window;
    // A new main window has shown nothing of any unit yet; a handle can be the last window's.
    ResetSetupForm();
    AddDeviceDataListener(PostDataRead);
    DataErrorBoxElsewhere.store(1, std::memory_order_release);
    CanvasAttachWindow(window);
    if (Canvas* canvas = CanvasOpenWindow(); canvas != nullptr) {
        MeasureLayout(canvas);
        DrawStatusNoteLine(canvas);
        CanvasCloseWindow(canvas);
    }
    SelectView(IDM_WB_SETUP);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // The close box, Alt+F4, the system menu and other programs all come here.
        if (ProgrammingRunning()) {
            BeepRefusedInput();
            CloseWhenDone(window);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
        if (wParam == CLOSE_WHEN_DONE_TIMER && !ProgrammingRunning()) {
            KillTimer(window, CLOSE_WHEN_DONE_TIMER);
            DestroyWindow(CloseWhenDoneNote);
            CloseWhenDoneNote = nullptr;
            DestroyWindow(window);
        } else if (wParam == VIEW_TIMER) {
            OnViewTimer();
        }
        return 0;
    case DATA_READ_MESSAGE:
        OnDataRead(window, wParam);
        return 0;
    case FOCUS_BACK_MESSAGE:
        SetFocus(window);
        RedrawStatusLine();
        return 0;
    case WM_QUERYENDSESSION:
        return ProgrammingRunning() ? FALSE : TRUE;
    case WM_DESTROY:
        CloseMainWindow(window);
        return 0;
    case WM_KEYDOWN:
        OnViewKey(wParam);
        return 0;
    case WM_CHAR:
        if (const ViewRow* shown = ShownView(); shown != nullptr && shown->character != nullptr)
            ActOnViewInput(shown->character(static_cast<char>(wParam)));
        return 0;
    case WM_MOUSEWHEEL:
        if (const ViewRow* shown = ShownView(); shown != nullptr && shown->wheel != nullptr) {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(window, &point);
            int steps = ReviewWheelSteps(GET_WHEEL_DELTA_WPARAM(wParam));
            ActOnViewInput(shown->wheel(steps, point.x));
        }
        return 0;
    case WM_MOUSEMOVE:
        if (const ViewRow* shown = ShownView(); shown != nullptr && shown->pointer != nullptr)
            ActOnViewInput(shown->pointer(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        return 0;
    case WM_SYSCHAR:
        // Alt and a letter of the view's own (Alt+U: Update Firmware); the menu's otherwise.
        if (ViewSysChar(wParam))
            return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_KEYUP:
    case WM_ENTERIDLE:
        return 0;
    case WM_PAINT:
        PaintMainWindow(window);
        return 0;
    case WM_NEXTDLGCTL:
        if (const ViewRow* shown = ShownView(); shown != nullptr && shown->tabStops)
            MoveTabFocus(static_cast<int>(wParam));
        return 0;
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_HSCROLL:
        if (CurrentView() == VIEW_WB_SETUP)
            OnOffsetScroll(LOWORD(wParam));
        else if (CurrentView() == VIEW_RECORDING)
            OnReviewScroll(LOWORD(wParam));
        return 0;
    case WM_CTLCOLOREDIT:
        SetBkColor(reinterpret_cast<HDC>(wParam), EDIT_BACK_COLOUR);
        return reinterpret_cast<LRESULT>(KeptBrush(EditBrush, EDIT_BACK_COLOUR));
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wParam), BackColour);
        return reinterpret_cast<LRESULT>(KeptBrush(StaticBrush, BackColour));
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int MoveTabFocus(int backwards) {
    // The focus may sit in a part of a control (the edit field of a combo box): step from the
    // child of the main window that holds it.
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(MainWindow, focus))
        focus = nullptr;
    while (focus != nullptr && GetParent(focus) != MainWindow)
        focus = GetParent(focus);
    HWND next = GetNextDlgTabItem(MainWindow, focus, backwards != 0);
    if (next != nullptr)
        SetFocus(next);
    return 0;
}
