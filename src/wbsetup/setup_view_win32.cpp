// The Wide Band Setup view's controls on Windows: children of the main window without
// identifiers, made from the view's layout table and told apart by their handles. Tab, Enter and
// Escape move the focus in every one of them through one key filter; clicks, a field left and the
// offset bar's scrolls go to the view's rules. The setup write's thread reaches the controls only
// through blocking sends (enabling them, the bar's steps) and the view's mailbox.
#include "wbsetup/setup_view_win32.h"

#include "app/shell_win32.h"
#include "display/canvas_gdi_win32.h"
#include "display/status_line.h"
#include "wbsetup/setup_controls.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_view.h"

#include <commctrl.h>

#include <array>
#include <atomic>

namespace {

constexpr int KEY_TAB = 9;
constexpr int KEY_ENTER = 13;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_SHIFT = 16;
constexpr int OFFSET_RANGE_MAX = NB_OFFSET_USER_HIGHEST + OFFSET_PAGE - 1; // the page's far end
constexpr int WRITE_STEPS = 256; // one per setup-table block

struct KindStyle {
    const char* className;
    DWORD style;
};
// By SetupControlKind.
constexpr std::array<KindStyle, 9> KIND_STYLES = {{
    {"BUTTON", 0x50000007},        // child, visible, group box
    {"EDIT", 0x50010002},          // child, visible, tab stop, right-aligned
    {"BUTTON", 0x50010000},        // child, visible, tab stop, push button
    {"COMBOBOX", 0x50210003},      // vertical scroll, tab stop, drop-down list
    {"BUTTON", 0x50030009},        // group start, tab stop, automatic radio
    {"BUTTON", 0x50010009},        // tab stop, automatic radio
    {"SCROLLBAR", 0x50010000},     // child, visible, tab stop, horizontal
    {PROGRESS_CLASSA, 0x50000000}, // child, visible
    {"STATIC", WS_CHILD | WS_VISIBLE},
}};

// The view's controls while it is shown; nullptr when a control is not there.
std::array<HWND, SETUP_CONTROL_COUNT> Controls{};
// 1 while the Shift key is down, as the key filters of all the view's controls saw it.
int ShiftHeld = 0;
// The control that the data-block listener and the write's thread post to; nullptr while the view
// is not shown.
std::atomic<HWND> Mailbox{nullptr};
// The thread timer of a pending look at the unit's values, or 0.
UINT_PTR TakeTimer = 0;

HWND& ControlOf(SetupControl control) {
    return Controls[static_cast<size_t>(control)];
}

SetupControl FindControl(HWND window) {
    for (size_t i = 0; i < Controls.size(); ++i)
        if (window != nullptr && Controls[i] == window)
            return static_cast<SetupControl>(i);
    return SETUP_NO_CONTROL;
}

bool IsMoveKey(WPARAM key) {
    return key == KEY_TAB || key == KEY_ENTER || key == KEY_ESCAPE;
}

LRESULT CALLBACK SetupKeyFilter(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    // Every control of a class shares the class's procedure, so nothing needs keeping.
    WNDPROC classProcedure = reinterpret_cast<WNDPROC>(GetClassLongPtrA(control, GCLP_WNDPROC));
    switch (message) {
    case SETUP_DATA_ARRIVED_MESSAGE:
    case SETUP_WRITE_ENDED_MESSAGE:
        if (control == Mailbox.load(std::memory_order_acquire))
            OnSetupViewWake(message == SETUP_DATA_ARRIVED_MESSAGE ? SETUP_WAKE_DATA
                                                                  : SETUP_WAKE_WRITE_ENDED);
        return 0;
    case WM_KEYDOWN:
        if (IsMoveKey(wParam)) {
            PostMessageA(MainWindow, WM_NEXTDLGCTL, ShiftHeld != 0 ? 1 : 0, 0);
            // Not the class procedure: a button would take Enter as a click.
            return DefWindowProcA(control, message, wParam, lParam);
        }
        if (wParam == KEY_SHIFT)
            ShiftHeld = 1;
        break;
    case WM_KEYUP:
    case WM_CHAR:
        if (IsMoveKey(wParam))
            return 0;
        if (wParam == KEY_SHIFT)
            ShiftHeld = 0;
        break;
    default:
        break;
    }
    return CallWindowProcA(classProcedure, control, message, wParam, lParam);
}

void MakeControl(SetupControl control) {
    const SetupControlRow& row = SetupLayoutRow(control);
    const KindStyle& kind = KIND_STYLES[static_cast<size_t>(row.kind)];
    ViewRect place = SetupControlPlace(control);
    std::string caption(row.caption);
    HWND made = CreateViewControl(kind.className, caption.c_str(), kind.style, place.left,
                                  place.top, place.right - place.left, place.bottom - place.top);
    ControlOf(control) = made;
    if (made == nullptr)
        return;
    // Every control but the write's bar and the note passes its keys through the filter.
    if (row.kind != SETUP_KIND_PROGRESS && row.kind != SETUP_KIND_NOTE)
        SetWindowLongPtrA(made, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SetupKeyFilter));
    if (row.kind == SETUP_KIND_FIELD)
        SendMessageA(made, EM_LIMITTEXT, FieldLayout[static_cast<size_t>(control)].characters, 0);
    if (row.kind == SETUP_KIND_CHOICE)
        for (const ResponseChoice& choice : ResponseChoices) {
            std::string name(choice.name);
            SendMessageA(made, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
    if (row.kind == SETUP_KIND_SCROLL_BAR) {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        info.nMin = NB_OFFSET_USER_LOWEST;
        info.nMax = OFFSET_RANGE_MAX;
        info.nPage = OFFSET_PAGE;
        info.nPos = NB_OFFSET_CENTRE;
        SetScrollInfo(made, SB_CTL, &info, TRUE);
    }
    if (row.kind == SETUP_KIND_PROGRESS) {
        SendMessageA(made, PBM_SETRANGE, 0, MAKELPARAM(0, WRITE_STEPS));
        SendMessageA(made, PBM_SETSTEP, 1, 0);
    }
}

void StopTakeTimer() {
    if (TakeTimer != 0)
        KillTimer(nullptr, TakeTimer);
    TakeTimer = 0;
}

void CALLBACK TakeDue(HWND, UINT, UINT_PTR, DWORD) {
    StopTakeTimer();
    HWND mailbox = Mailbox.load(std::memory_order_acquire);
    if (mailbox != nullptr && IsWindow(mailbox))
        OnUnitSetupTakeDue();
}

} // namespace

// ---- The controls as the view's rules use them -------------------------------------------

void ShowSetupControl(SetupControl control, bool shown) {
    HWND& window = ControlOf(control);
    if (shown && window == nullptr)
        MakeControl(control);
    else if (!shown)
        DestroyViewControl(window);
}

bool SetupControlShown(SetupControl control) {
    return ControlOf(control) != nullptr;
}

void SetSetupText(SetupControl control, std::string_view text) {
    HWND window = ControlOf(control);
    if (window == nullptr)
        return;
    // Whole: a field's typing limit does not cut a value set here (an opened file's 250.00).
    std::string whole(text);
    SetWindowTextA(window, whole.c_str());
}

std::string SetupText(SetupControl control) {
    std::array<char, FIELD_TEXT_LIMIT + 1> text{};
    HWND window = ControlOf(control);
    int length = window == nullptr ? 0 : GetWindowTextA(window, text.data(), text.size());
    return std::string(text.data(), static_cast<size_t>(length > 0 ? length : 0));
}

void SetSetupChoice(SetupControl box, int row, std::string_view extra) {
    HWND window = ControlOf(box);
    SendMessageA(window, CB_DELETESTRING, RESPONSE_CHOICE_COUNT, 0);
    if (!extra.empty()) {
        std::string item(extra);
        SendMessageA(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

int SetupChoice(SetupControl box) {
    return static_cast<int>(SendMessageA(ControlOf(box), CB_GETCURSEL, 0, 0));
}

void SetSetupChecked(SetupControl button, bool checked) {
    SendMessageA(ControlOf(button), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool SetupChecked(SetupControl button) {
    return SendMessageA(ControlOf(button), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetSetupBarPosition(int position) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = position;
    SetScrollInfo(ControlOf(SETUP_OFFSET_BAR), SB_CTL, &info, TRUE);
}

int SetupBarPosition() {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    GetScrollInfo(ControlOf(SETUP_OFFSET_BAR), SB_CTL, &info);
    return info.nPos;
}

void FocusSetupControl(SetupControl control) {
    if (ControlOf(control) != nullptr)
        SetFocus(ControlOf(control));
}

SetupControl FocusedSetupControl() {
    // The focus may sit in a part of a control (the edit field of a combo box).
    HWND focus = GetFocus();
    while (focus != nullptr && GetParent(focus) != MainWindow)
        focus = GetParent(focus);
    return FindControl(focus);
}

void EnableSetupInputs(bool enabled) {
    if (!enabled)
        SendMessageA(ControlOf(SETUP_SET), WM_KILLFOCUS, 0, 0);
    for (const SetupControlRow& row : SetupLayout) {
        HWND window = ControlOf(row.control);
        if (window != nullptr && row.kind != SETUP_KIND_FRAME && row.kind != SETUP_KIND_PROGRESS &&
            row.kind != SETUP_KIND_NOTE)
            EnableWindow(window, enabled ? TRUE : FALSE);
    }
}

void StepSetupProgress(ProgressMessage message, std::string_view phase) {
    HWND bar = ControlOf(SETUP_WRITE_BAR);
    if (bar != nullptr)
        SendMessageA(bar, message == PROGRESS_RESET ? PBM_SETPOS : PBM_STEPIT, 0, 0);
    if (!phase.empty())
        SetSetupText(SETUP_PHASE, phase);
}

void WakeSetupView(SetupWake wake) {
    HWND mailbox = Mailbox.load(std::memory_order_acquire);
    if (mailbox != nullptr)
        PostMessageA(
            mailbox,
            wake == SETUP_WAKE_DATA ? SETUP_DATA_ARRIVED_MESSAGE : SETUP_WRITE_ENDED_MESSAGE, 0, 0);
}

void TakeUnitSetupLater(int delayMs) {
    StopTakeTimer();
    TakeTimer = SetTimer(nullptr, 0, static_cast<UINT>(delayMs), TakeDue);
}

void CancelUnitSetupTake() {
    StopTakeTimer();
}

// ---- The view as the main window reaches it ------------------------------------------------

void CreateSetupControls() {
    // The controls of an earlier main window went with it.
    Controls.fill(nullptr);
    for (const SetupControlRow& row : SetupLayout)
        if (row.presence == SETUP_ALWAYS)
            MakeControl(row.control);
    Mailbox.store(ControlOf(SETUP_READ), std::memory_order_release);
    EnterSetupView();
}

void DestroySetupControls() {
    LeaveSetupView();
    Mailbox.store(nullptr, std::memory_order_release);
    for (HWND& control : Controls)
        DestroyViewControl(control);
}

void PaintSetupView(Canvas* canvas) {
    // The plots on a context of their own, which the paint's clipping does not limit.
    Canvas* plots = CanvasOpenWindow();
    PaintSetupViewWithMarks(canvas, plots != nullptr ? plots : canvas);
    CanvasCloseWindow(plots);
}

void OnSetupCommand(HWND control) {
    OnSetupButton(FindControl(control));
}

void OnOffsetScroll(int request) {
    constexpr std::array<std::pair<int, OffsetRequest>, 6> REQUESTS = {{
        {SB_LINELEFT, OFFSET_LINE_LESS},
        {SB_LINERIGHT, OFFSET_LINE_MORE},
        {SB_PAGELEFT, OFFSET_PAGE_LESS},
        {SB_PAGERIGHT, OFFSET_PAGE_MORE},
        {SB_THUMBTRACK, OFFSET_TRACK},
        {SB_LEFT, OFFSET_HOME}, // the Home key
    }};
    OffsetRequest chosen = OFFSET_STAY;
    for (auto [code, offset] : REQUESTS)
        if (code == request)
            chosen = offset;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    GetScrollInfo(ControlOf(SETUP_OFFSET_BAR), SB_CTL, &info);
    OnSetupOffsetScroll(chosen, info.nTrackPos);
}

void ValidateSetupField(HWND control) {
    OnSetupFieldLeft(FindControl(control));
}
