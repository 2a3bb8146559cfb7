// The Wide Band Setup view's controls: children of the main window without identifiers, told
// apart by their handles. Tab, Enter and Escape move the focus in every one of them through
// one key filter; typed values are checked when a field is left; channel B switches between
// four value fields (linear) and the offset scroll bar (narrowband). Everything here runs on
// the main thread except the setup write's hooks, which run on its worker.
#include "wbsetup/setup_view_win32.h"

#include "app/shell_win32.h"
#include "display/display_thread.h"
#include "display/status_line.h"
#include "firmware/banner.h"
#include "platform/notice.h"
#include "settings/config.h"
#include "wbsetup/setup_file.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_job.h"
#include "wbsetup/setup_plot.h"

#include <commctrl.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD GROUP_BOX_STYLE = 0x50000007;    // child, visible, group box
constexpr DWORD VALUE_FIELD_STYLE = 0x50010002;  // child, visible, tab stop, right-aligned
constexpr DWORD PUSH_BUTTON_STYLE = 0x50010000;  // child, visible, tab stop, push button
constexpr DWORD RESPONSE_BOX_STYLE = 0x50210003; // vertical scroll, tab stop, drop-down list
constexpr DWORD NB_BUTTON_STYLE = 0x50030009;    // group start, tab stop, automatic radio
constexpr DWORD WB_BUTTON_STYLE = 0x50010009;    // tab stop, automatic radio
constexpr DWORD OFFSET_BAR_STYLE = 0x50010000;   // child, visible, tab stop, horizontal
constexpr DWORD WRITE_BAR_STYLE = 0x50008000;

// The offset scroll bar runs from 55 to 201 (208 less a page of 8, plus 1), centred on 128.
constexpr int OFFSET_RANGE_MIN = 55;
constexpr int OFFSET_RANGE_MAX = 208;
constexpr int OFFSET_PAGE = 8;
constexpr int WRITE_STEPS = 256; // one per setup-table block

// Posted to the view's mailbox (its Read button) from any thread, handled on this one: a data
// block has been read, the setup write has ended. The unit's values are then taken in by a
// timer, which comes only once this thread has nothing else to do, as a paint would (a key the
// user pressed meanwhile is handled first); again RETRY_MS later while another thread holds the
// link.
constexpr UINT TAKE_MS = USER_TIMER_MINIMUM;
constexpr UINT RETRY_MS = 50;

constexpr int KEY_TAB = 9;
constexpr int KEY_ENTER = 13;
constexpr int KEY_ESCAPE = 27;
constexpr int KEY_SHIFT = 16;

constexpr RECT CHANNEL_B_LOWER_AREA = {403, 362, 789, 416};
constexpr RECT PLOT_A_AREA = {44, 68, 374, 318};
constexpr RECT PLOT_B_CURVE_AREA = {439, 68, 769, 318};

// The view's controls while it is shown; nullptr when a control does not exist.
HWND ChannelAFrame = nullptr;
HWND ChannelBFrame = nullptr;
HWND StoichField = nullptr;
HWND ReadButton = nullptr;
HWND DefaultsButton = nullptr;
HWND SetButton = nullptr;
std::array<HWND, 2 * FIELD_ROWS_PER_CHANNEL> ChannelFields{}; // FieldLayout rows 0 to 7
std::array<HWND, SETUP_CHANNEL_COUNT> ResponseBoxes{};
HWND NbButton = nullptr;
HWND WbButton = nullptr;
HWND OffsetBar = nullptr;

// 1 while the Shift key is down, as the key filters of all the view's controls saw it.
int ShiftHeld = 0;

// What the setup write's worker disables and enables again: the input controls as they were
// when Set was pressed. Written before the worker starts and left alone until it ends.
constexpr int INPUT_CONTROL_COUNT = 17;
std::array<HWND, INPUT_CONTROL_COUNT> WriteLockedControls{};
// The write's progress bar belongs to this thread, so that each progress message the worker
// sends waits until this thread has handled it. The worker shows and hides it; the write's end,
// handled on this thread, destroys it.
HWND WriteProgressBar = nullptr;
// The control that the data-block hook and the write's worker post to; nullptr while the view
// is not shown.
std::atomic<HWND> SetupMailbox{nullptr};
// The thread timer of a pending look at the unit's values, or 0.
UINT_PTR TakeTimer = 0;

void OnMailboxMessage(UINT message);

bool IsMoveKey(WPARAM key) {
    return key == KEY_TAB || key == KEY_ENTER || key == KEY_ESCAPE;
}

LRESULT CALLBACK SetupKeyFilter(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    // Every control of a class shares the class's procedure, so nothing needs keeping.
    WNDPROC classProcedure = reinterpret_cast<WNDPROC>(GetClassLongPtrA(control, GCLP_WNDPROC));
    switch (message) {
    case SETUP_DATA_ARRIVED_MESSAGE:
    case SETUP_WRITE_ENDED_MESSAGE:
        if (control == SetupMailbox.load(std::memory_order_acquire))
            OnMailboxMessage(message);
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

void InstallKeyFilter(HWND control) {
    if (control != nullptr)
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SetupKeyFilter));
}

HWND CreateFilteredControl(const char* className, const char* caption, DWORD style, int x, int y,
                           int width, int height) {
    HWND control = CreateViewControl(className, caption, style, x, y, width, height);
    InstallKeyFilter(control);
    return control;
}

constexpr std::string_view LIMITED_CAPTION = "-WB Setup-";
constexpr std::string_view NOT_READ_TEXT =
    "\nThe MQ-6 setup has not been read from the unit now connected.\n\nPress \"Read MQ-6\" "
    "(or \"Set Defaults\") before \"Set MQ-6\", so that no setting is written that you have "
    "not seen.\n";

// True while the view takes the unit's values in: the focus moves without the user.
bool FillingFromUnit = false;

HWND FieldOfRow(int row) {
    return row == FIELD_ROW_STOICH ? StoichField : ChannelFields[static_cast<size_t>(row)];
}

void ShowFieldValue(HWND field, int row) {
    std::array<char, FIELD_TEXT_LIMIT + 1> text{};
    FormatFormValue(row, text);
    SetWindowTextA(field, text.data());
}

HWND CreateValueField(int row) {
    const FieldPlace& field = FieldLayout[static_cast<size_t>(row)];
    HWND control = CreateViewControl("EDIT", "", VALUE_FIELD_STYLE, field.x, field.y,
                                     field.characters * CharWidth, LineHeight - 4);
    if (control == nullptr)
        return nullptr;
    SendMessageA(control, EM_LIMITTEXT, static_cast<WPARAM>(field.characters), 0);
    ShowFieldValue(control, row);
    InstallKeyFilter(control);
    return control;
}

bool IsLinear() {
    return (SetupValues.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
}

void SetChecked(HWND button, bool checked) {
    SendMessageA(button, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void SetOffsetBarPosition(int position) {
    if (OffsetBar == nullptr)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    info.nPos = position;
    SetScrollInfo(OffsetBar, SB_CTL, &info, TRUE);
}

// A code in no row that the user chose (a setup file's) is shown as an eighth item after the
// seven rates, there only while it is the channel's.
void SelectResponseRows() {
    for (int channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        HWND box = ResponseBoxes[static_cast<size_t>(channel)];
        const ChannelSetup& setup = SetupValues.Channel[static_cast<size_t>(channel)];
        SendMessageA(box, CB_DELETESTRING, RESPONSE_CHOICE_COUNT, 0);
        int row = setup.ResponseIndex;
        if (ShowsResponseCode(channel)) {
            std::array<char, 24> code{};
            std::snprintf(code.data(), code.size(), "(code %d)", setup.ResponseValue);
            SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(code.data()));
            row = RESPONSE_CHOICE_COUNT;
        }
        SendMessageA(box, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
}

void ShowChannelTexts(int channel) {
    for (int i = 0; i < FIELD_ROWS_PER_CHANNEL; ++i) {
        int row = channel * FIELD_ROWS_PER_CHANNEL + i;
        if (ChannelFields[static_cast<size_t>(row)] != nullptr)
            ShowFieldValue(ChannelFields[static_cast<size_t>(row)], row);
    }
}

void InvalidateArea(const RECT& area, bool erase) {
    InvalidateRect(MainWindow, &area, erase ? TRUE : FALSE);
}

void ShowNarrowbandControls() {
    for (int row = FIELD_ROWS_PER_CHANNEL; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row)
        DestroyViewControl(ChannelFields[static_cast<size_t>(row)]);
    if (OffsetBar == nullptr) {
        OffsetBar =
            CreateFilteredControl("SCROLLBAR", nullptr, OFFSET_BAR_STYLE, 476, 364, 256, 18);
        if (OffsetBar != nullptr) {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
            info.nMin = OFFSET_RANGE_MIN;
            info.nMax = OFFSET_RANGE_MAX;
            info.nPage = OFFSET_PAGE;
            info.nPos = SetupValues.NbOffset;
            SetScrollInfo(OffsetBar, SB_CTL, &info, TRUE);
        }
    }
    InvalidateArea(CHANNEL_B_LOWER_AREA, true);
    SetFocus(StoichField);
}

void ShowWidebandControls() {
    DestroyViewControl(OffsetBar);
    for (int row = FIELD_ROWS_PER_CHANNEL; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row) {
        HWND& field = ChannelFields[static_cast<size_t>(row)];
        if (field == nullptr)
            field = CreateValueField(row);
        else
            ShowFieldValue(field, row);
    }
    InvalidateArea(CHANNEL_B_LOWER_AREA, true);
    SetFocus(StoichField);
}

// The one step that shows a record in the view, for Read, Set Defaults and the unit's values
// taken after a data block: it becomes SetupValues, and every control shows it.
void ShowSetupRecord(const SetupRecord& values) {
    SetupValues = values;
    SetOffsetBarPosition(SetupValues.NbOffset);
    if (IsLinear()) {
        ShowWidebandControls();
        SetChecked(WbButton, true);
        SetChecked(NbButton, false);
    } else {
        ShowNarrowbandControls();
        SetChecked(NbButton, true);
        SetChecked(WbButton, false);
    }
    ShowChannelTexts(CHANNEL_A);
    if (IsLinear())
        ShowChannelTexts(CHANNEL_B);
    ShowFieldValue(StoichField, FIELD_ROW_STOICH);
    SelectResponseRows();
    ValidateSetupField(StoichField);
    SetFocus(StoichField);
}

void ReadSequence() {
    if (ReadSetup() != 0)
        return;
    NoteSetupRead();
    ShowSetupRecord(SetupValues);
}

// What the controls show, as the view's rule reads it.
SetupFormTexts GatherForm() {
    SetupFormTexts form{};
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row) {
        HWND field = FieldOfRow(row);
        form.FieldShown[static_cast<size_t>(row)] = field != nullptr;
        if (field != nullptr)
            GetWindowTextA(field, form.Text[static_cast<size_t>(row)].data(), FIELD_TEXT_LIMIT + 1);
    }
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        HWND box = ResponseBoxes[channel];
        form.ResponseShown[channel] = box != nullptr;
        form.ResponseRow[channel] = static_cast<int32_t>(SendMessageA(box, CB_GETCURSEL, 0, 0));
        form.ResponseCodeShown[channel] = form.ResponseRow[channel] == RESPONSE_CHOICE_COUNT;
    }
    return form;
}

// ---- The marks of the items that differ from the unit's setup -----------------------------

constexpr Colour MARK_COLOUR = Rgb(200, 0, 200);
constexpr int MARK_SIZE = 6;

// The mark's square right of the item's control, or an empty one while the control is not there.
RECT MarkArea(int item) {
    int x = 0, y = 0;
    HWND control = nullptr;
    if (item < SETUP_FIELD_ROWS) {
        const FieldPlace& place = FieldLayout[static_cast<size_t>(item)];
        control = FieldOfRow(item);
        x = place.x + place.characters * CharWidth;
        y = place.y + (LineHeight - 4) / 2;
    } else if (item < SETUP_FIELD_ROWS + SETUP_CHANNEL_COUNT) {
        int channel = item - SETUP_FIELD_ROWS;
        control = ResponseBoxes[static_cast<size_t>(channel)];
        x = (channel == CHANNEL_A ? 133 : 528) + 10 * CharWidth;
        y = 424 + LineHeight / 2;
    } else if ((1u << item) == ITEM_LAYOUT) {
        control = WbButton;
        x = 713 + 5 * CharWidth;
        y = 424 + LineHeight / 2;
    } else {
        control = OffsetBar;
        x = 476 + 256;
        y = 364 + 9;
    }
    if (control == nullptr)
        return RECT{};
    return RECT{x + 3, y - MARK_SIZE / 2, x + 3 + MARK_SIZE, y + MARK_SIZE / 2};
}

constexpr int MARKED_ITEMS = SETUP_FIELD_ROWS + 4;

void InvalidateMarks() {
    for (int item = 0; item < MARKED_ITEMS; ++item) {
        RECT area = MarkArea(item);
        InvalidateRect(MainWindow, &area, TRUE);
    }
}

void PaintMarks(Canvas* canvas) {
    SetupRecord shown{};
    ReadSetupForm(GatherForm(), shown);
    uint32_t differing = DifferingItems(shown);
    // A change of what the layout hides (channel B's points in NB, the offset in WB) is marked
    // beside the mode buttons, so that each change Set would make has a mark.
    for (int item = 0; item < MARKED_ITEMS; ++item)
        if ((differing & (1u << item)) != 0 && MarkArea(item).right == 0)
            differing |= ITEM_LAYOUT;
    CanvasSetPen(canvas, 1, MARK_COLOUR);
    CanvasSetBrush(canvas, MARK_COLOUR);
    for (int item = 0; item < MARKED_ITEMS; ++item) {
        RECT area = MarkArea(item);
        if ((differing & (1u << item)) != 0 && area.right > area.left)
            CanvasRectangle(canvas, area.left, area.top, area.right, area.bottom);
    }
}

// The unit's values after a data block, as the view's rule lets them in (TakeUnitSetup). Not
// the user's doing: no field is checked on the way (a field would take its old text as typed),
// each edited field keeps the text the user typed, and the focus stays where the user left it,
// if that control is still there. -1 when another thread held the link.
int ShowUnitSetup(bool wait) {
    SetupFormTexts form = GatherForm();
    int taken = TakeUnitSetup(wait, form);
    if (taken <= 0)
        return taken;
    HWND focus = GetFocus();
    FillingFromUnit = true;
    ShowSetupRecord(SetupValues);
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row) {
        HWND field = FieldOfRow(row);
        if (field != nullptr && (EditedItems & (1u << row)) != 0)
            SetWindowTextA(field, form.Text[static_cast<size_t>(row)].data());
    }
    if (focus != nullptr && IsWindow(focus))
        SetFocus(focus);
    FillingFromUnit = false;
    InvalidateRect(MainWindow, nullptr, TRUE);
    return taken;
}

// After every data-block read, on the thread that read it: the block reaches the view on its
// own thread, once this read has let go of the link.
void OnSetupDeviceData(DeviceDataEvent event) {
    HWND mailbox = SetupMailbox.load(std::memory_order_acquire);
    if (event == DEVICE_DATA_READ && mailbox != nullptr &&
        ViewMode.load(std::memory_order_acquire) == VIEW_WB_SETUP)
        PostMessageA(mailbox, SETUP_DATA_ARRIVED_MESSAGE, 0, 0);
}

// Shown from Set Defaults until the next Read or Set: the defaults are only in the view.
HWND DefaultsNote = nullptr;
constexpr char DEFAULTS_NOTE_TEXT[] = "The MQ-6 is unchanged until Set MQ-6";

void DefaultsSequence() {
    LoadDefaultSetup();
    NoteSetupChosen();
    ShowSetupRecord(SetupValues);
    if (DefaultsNote == nullptr)
        DefaultsNote = CreateViewControl("STATIC", DEFAULTS_NOTE_TEXT, WS_CHILD | WS_VISIBLE, 8,
                                         500, 40 * CharWidth, LineHeight);
}

// ---- The setup write, on its worker's thread ---------------------------------------------

void KeepInputControls() {
    WriteLockedControls = {SetButton,        ReadButton,       DefaultsButton,   ChannelFields[0],
                           ChannelFields[1], ChannelFields[2], ChannelFields[3], ChannelFields[4],
                           ChannelFields[5], ChannelFields[6], ChannelFields[7], OffsetBar,
                           StoichField,      ResponseBoxes[0], ResponseBoxes[1], NbButton,
                           WbButton};
}

void EnableInputControls(bool enable) {
    for (HWND control : WriteLockedControls)
        if (control != nullptr)
            EnableWindow(control, enable ? TRUE : FALSE);
}

void BeginSetupWrite() {
    KeepSystemAwake();
    SendMessageA(SetButton, WM_KILLFOCUS, 0, 0);
    EnableInputControls(false);
    LockMenus();
    if (WriteProgressBar != nullptr)
        ShowWindow(WriteProgressBar, SW_SHOWNA);
}

// The bar steps by one block or record; a reset takes it back to the start.
void ShowSetupWriteProgress(ProgressMessage message) {
    if (WriteProgressBar != nullptr)
        SendMessageA(WriteProgressBar, message == PROGRESS_RESET ? PBM_SETPOS : PBM_STEPIT, 0, 0);
}

void EndSetupWrite(const JobOutcome& outcome) {
    ReleaseSystemAwake();
    if (outcome.result == JOB_VERIFIED)
        ShowStatusMessageAt("Setup written to the MQ-6");
    else
        ShowNotice(FormatJobBox(outcome), SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    if (WriteProgressBar != nullptr)
        ShowWindow(WriteProgressBar, SW_HIDE);
    // The menus before the controls that could start the next write, whose lock this unlock
    // must not undo.
    UnlockMenus();
    EnableInputControls(true);
    HWND mailbox = SetupMailbox.load(std::memory_order_acquire);
    if (mailbox != nullptr)
        PostMessageA(mailbox, SETUP_WRITE_ENDED_MESSAGE, 0, 0);
    InvalidateRect(MainWindow, nullptr, FALSE);
}

constexpr std::string_view SETUP_FILE_CAPTION = "-WB Setup File-";

void NoteSetupWrite(SetupJobNote note, const std::string& detail) {
    if (note == SETUP_NOTE_NO_RESTORE_POINT)
        ShowNotice("\n" + detail + "\n", LIMITED_CAPTION, NOTICE_INFO_ICON);
    else if (note != SETUP_NOTE_RESTORE_POINT)
        ShowNotice("\n" + detail + "\n", SETUP_ERROR_CAPTION, NOTICE_ERROR_ICON);
}

void SetSequence() {
    std::string limited;
    if (DescribeLimitedFields(limited) != 0) {
        ShowNotice(limited, LIMITED_CAPTION, NOTICE_INFO_ICON);
        return;
    }
    ShowUnitSetup(true);
    NoteEditedItems(GatherForm());
    if (SetupUnseen()) {
        ShowNotice(NOT_READ_TEXT, SETUP_ERROR_CAPTION, NOTICE_ERROR_ICON);
        return;
    }
    SetupRecord values{};
    ReadSetupForm(GatherForm(), values);

    KeepInputControls();
    DestroyViewControl(WriteProgressBar);
    WriteProgressBar = CreateViewControl(PROGRESS_CLASSA, nullptr, WRITE_BAR_STYLE & ~WS_VISIBLE, 8,
                                         476, ClientWidth - 16, 12);
    if (WriteProgressBar != nullptr) {
        SendMessageA(WriteProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, WRITE_STEPS));
        SendMessageA(WriteProgressBar, PBM_SETSTEP, 1, 0);
    }
    if (StartSetupWrite(values, SetupJobOptions{},
                        {NoteSetupWrite, BeginSetupWrite, ShowSetupWriteProgress, EndSetupWrite}) !=
        0) {
        DestroyViewControl(WriteProgressBar);
        return;
    }
    // What the worker writes is now the unit's setup.
    NoteSetupWritten();
}

int FindFieldRow(HWND control) {
    if (control == nullptr)
        return -1;
    if (control == StoichField)
        return FIELD_ROW_STOICH;
    for (int row = 0; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row)
        if (ChannelFields[static_cast<size_t>(row)] == control)
            return row;
    return -1;
}

void StopTakeTimer() {
    if (TakeTimer != 0)
        KillTimer(nullptr, TakeTimer);
    TakeTimer = 0;
}

void CALLBACK TakeUnitSetupLater(HWND, UINT, UINT_PTR, DWORD);

void StartTakeTimer(UINT delayMs) {
    StopTakeTimer();
    TakeTimer = SetTimer(nullptr, 0, delayMs, TakeUnitSetupLater);
}

void CALLBACK TakeUnitSetupLater(HWND, UINT, UINT_PTR, DWORD) {
    StopTakeTimer();
    HWND mailbox = SetupMailbox.load(std::memory_order_acquire);
    if (mailbox != nullptr && IsWindow(mailbox) && ShowUnitSetup(false) < 0)
        StartTakeTimer(RETRY_MS);
}

// On this thread, from the mailbox: the setup write has ended (its bar goes, the focus comes
// back), or a data block has come; either may bring the unit's values.
void OnMailboxMessage(UINT message) {
    if (message == SETUP_WRITE_ENDED_MESSAGE) {
        DestroyViewControl(WriteProgressBar);
        SetFocus(StoichField);
        // A cut write's values stay in the view, the user's, for the unit it was cut on.
        if (LastSetupOutcome().result != JOB_VERIFIED) {
            NoteSetupCut();
            InvalidateMarks();
        }
    }
    StartTakeTimer(TAKE_MS);
}

} // namespace

void CreateSetupControls() {
    AddDeviceDataListener(OnSetupDeviceData);
    // The controls of an earlier main window went with it.
    ChannelFields.fill(nullptr);
    OffsetBar = nullptr;
    DefaultsNote = nullptr;
    WriteProgressBar = nullptr;
    const int buttonWidth = 10 * CharWidth;
    const int buttonHeight = LineHeight + 10;
    ChannelAFrame = CreateViewControl("BUTTON", "Channel A", GROUP_BOX_STYLE, 8, 44, 386, 420);
    ChannelBFrame = CreateViewControl("BUTTON", "Channel B", GROUP_BOX_STYLE, 403, 44, 386, 420);
    StoichField = CreateValueField(FIELD_ROW_STOICH);
    ReadButton = CreateFilteredControl("BUTTON", "Read MQ-6", PUSH_BUTTON_STYLE, 340, 496,
                                       buttonWidth, buttonHeight);
    DefaultsButton = CreateFilteredControl("BUTTON", "Set Defaults", PUSH_BUTTON_STYLE, 480, 496,
                                           buttonWidth, buttonHeight);
    SetButton = CreateFilteredControl("BUTTON", "Set MQ-6", PUSH_BUTTON_STYLE, 620, 496,
                                      buttonWidth, buttonHeight);
    for (int row = 0; row < FIELD_ROWS_PER_CHANNEL; ++row)
        ChannelFields[static_cast<size_t>(row)] = CreateValueField(row);
    ResponseBoxes[CHANNEL_A] = CreateFilteredControl("COMBOBOX", "", RESPONSE_BOX_STYLE, 133, 424,
                                                     buttonWidth, 6 * LineHeight);
    ResponseBoxes[CHANNEL_B] = CreateFilteredControl("COMBOBOX", "", RESPONSE_BOX_STYLE, 528, 424,
                                                     buttonWidth, 6 * LineHeight);
    NbButton =
        CreateFilteredControl("BUTTON", "NB", NB_BUTTON_STYLE, 663, 424, 5 * CharWidth, LineHeight);
    WbButton =
        CreateFilteredControl("BUTTON", "WB", WB_BUTTON_STYLE, 713, 424, 5 * CharWidth, LineHeight);

    for (HWND box : ResponseBoxes)
        for (const ResponseChoice& choice : ResponseChoices) {
            char name[16] = {};
            choice.name.copy(name, sizeof name - 1);
            SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
    SelectResponseRows();

    if (IsLinear()) {
        SetChecked(WbButton, true);
        ShowWidebandControls();
    } else {
        SetChecked(NbButton, true);
        ShowNarrowbandControls();
    }
    SetFocus(StoichField);
    SetupMailbox.store(ReadButton, std::memory_order_release);
    StopTakeTimer();
    if (ShowUnitSetup(false) < 0)
        StartTakeTimer(RETRY_MS);
    InvalidateRect(MainWindow, nullptr, FALSE);
}

void DestroySetupControls() {
    RemoveDeviceDataListener(OnSetupDeviceData);
    SetupMailbox.store(nullptr, std::memory_order_release);
    StopTakeTimer();
    DestroyViewControl(ChannelAFrame);
    DestroyViewControl(ChannelBFrame);
    for (HWND& field : ChannelFields)
        DestroyViewControl(field);
    DestroyViewControl(OffsetBar);
    DestroyViewControl(StoichField);
    for (HWND& box : ResponseBoxes)
        DestroyViewControl(box);
    DestroyViewControl(NbButton);
    DestroyViewControl(WbButton);
    DestroyViewControl(ReadButton);
    DestroyViewControl(DefaultsButton);
    DestroyViewControl(SetButton);
    DestroyViewControl(WriteProgressBar);
    DestroyViewControl(DefaultsNote);
}

void PaintSetupView(Canvas* canvas) {
    // The plots on a context of their own, which the paint's clipping does not limit.
    Canvas* plots = CanvasOpenWindow();
    PaintSetupView(canvas, plots != nullptr ? plots : canvas, SetupValues);
    CanvasCloseWindow(plots);
    PaintMarks(canvas);
}

void OnSetupFileCommand(SetupFileCommand command) {
    constexpr FileBox OPEN_BOX = {FILE_BOX_OPEN, "Open Setup", "MQ-6 setup (*.json)\0*.json\0",
                                  "json"};
    constexpr FileBox SAVE_BOX = {FILE_BOX_SAVE, "Save Setup As", "MQ-6 setup (*.json)\0*.json\0",
                                  "json"};
    std::array<char, CONFIG_PATH_SIZE> path{};
    std::string_view folder(SetupFolder.data(), strnlen(SetupFolder.data(), SetupFolder.size()));
    bool open = command == SETUP_FILE_OPEN;
    if (ChooseFile(open ? OPEN_BOX : SAVE_BOX, folder, open ? "" : "mq6-setup.json", path.data(),
                   path.size()) == 0)
        return;
    if (open)
        OpenSetupFile(path.data());
    else
        SaveSetupFile(path.data());
}

namespace {
// The setup file's folder, kept for the next box.
void KeepSetupFolder(const std::string& path) {
    size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos || separator + 1 >= SetupFolder.size())
        return;
    SetupFolder.fill('\0');
    path.copy(SetupFolder.data(), separator);
    WriteConfig();
}
} // namespace

int OpenSetupFile(const std::string& path) {
    SetupRecord values = DEFAULT_SETUP;
    std::string error;
    if (!ReadSetupFile(path, values, error)) {
        ShowNotice("\nThe setup file was not opened; the view is as it was.\n\n" + error + "\n",
                   SETUP_FILE_CAPTION, NOTICE_ERROR_ICON);
        return -1;
    }
    KeepSetupFolder(path);
    NoteSetupOpened();
    ShowSetupRecord(values);
    InvalidateRect(MainWindow, nullptr, TRUE);
    return 0;
}

int SaveSetupFile(const std::string& path) {
    HWND focus = GetFocus();
    if (FindFieldRow(focus) >= 0)
        ValidateSetupField(focus);
    SetupRecord values{};
    ReadSetupForm(GatherForm(), values);
    std::string error;
    if (!WriteSetupText(path, SetupToJson(values), error)) {
        ShowNotice("\nThe setup was not saved; a file of that name is as it was.\n\n" + error +
                       "\n",
                   SETUP_FILE_CAPTION, NOTICE_ERROR_ICON);
        return -1;
    }
    KeepSetupFolder(path);
    std::string limited = LimitedFieldsText();
    if (!limited.empty())
        ShowNotice("\nThe setup was saved to\n\n" + path + "\n\nas the view shows it:\n" + limited,
                   SETUP_FILE_CAPTION, NOTICE_INFO_ICON);
    return 0;
}

void OnSetupCommand(HWND control) {
    if (control == nullptr)
        return;
    bool checked = SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (control == NbButton) {
        if (checked && IsLinear()) {
            SetupValues.SetupFlags &= ~SETUP_FLAG_B_LINEAR;
            EditedItems |= ITEM_LAYOUT;
            ShowNarrowbandControls();
            ValidateSetupField(StoichField);
        }
    } else if (control == WbButton) {
        if (checked && !IsLinear()) {
            SetupValues.SetupFlags |= SETUP_FLAG_B_LINEAR;
            EditedItems |= ITEM_LAYOUT;
            ShowWidebandControls();
            ValidateSetupField(StoichField);
        }
    } else if (control == SetButton) {
        DestroyViewControl(DefaultsNote);
        SetSequence();
        SetFocus(SetButton);
    } else if (control == DefaultsButton) {
        DefaultsSequence();
    } else if (control == ReadButton) {
        ErrorShown.store(0, std::memory_order_release);
        DestroyViewControl(DefaultsNote);
        ReadSequence();
        SetFocus(ReadButton);
    }
    InvalidateMarks();
}

void OnOffsetScroll(int request) {
    if (OffsetBar == nullptr)
        return;
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(OffsetBar, SB_CTL, &info);
    const int old = info.nPos;
    int position = old;
    switch (request) {
    case SB_LINELEFT:
        position = old - 1;
        break;
    case SB_LINERIGHT:
        position = old + 1;
        break;
    case SB_PAGELEFT:
        position = old - static_cast<int>(info.nPage);
        break;
    case SB_PAGERIGHT:
        position = old + static_cast<int>(info.nPage);
        break;
    case SB_THUMBTRACK:
        position = info.nTrackPos;
        break;
    case SB_LEFT: // the Home key
        position = NB_OFFSET_CENTRE;
        break;
    default: // thumb released, right end (the End key), end of scrolling
        break;
    }
    SetOffsetBarPosition(position);
    // The bar limits the position; the offset moves by what the bar actually moved.
    info.fMask = SIF_POS;
    GetScrollInfo(OffsetBar, SB_CTL, &info);
    SetupValues.NbOffset += info.nPos - old;
    if (info.nPos != old)
        EditedItems |= ITEM_OFFSET;
    InvalidateArea(PLOT_B_CURVE_AREA, true);
    InvalidateMarks();
}

void ValidateSetupField(HWND control) {
    if (FillingFromUnit)
        return;
    int row = FindFieldRow(control);
    if (row >= 0) {
        char text[FIELD_TEXT_LIMIT + 1] = {};
        int length = GetWindowTextA(control, text, sizeof text);
        int checked = CheckFormField(row, std::string_view(text, static_cast<size_t>(length)));
        if (checked > 0) {
            BeepRefusedInput();
            SetFocus(control);
        }
        std::array<char, FIELD_TEXT_LIMIT + 1> shown{};
        FormatFormValue(row, shown);
        // Replacing the text keeps no more than a user may type: an opened file's is left whole.
        if (checked >= 0) {
            SendMessageA(control, EM_SETSEL, 0, -1);
            SendMessageA(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.data()));
        }
        if (row == FIELD_ROW_STOICH) {
            InvalidateArea(RECT{8, 320, 394, 320 + LineHeight}, true);
            InvalidateArea(RECT{403, 320, 789, 320 + LineHeight}, true);
        }
    }
    InvalidateArea(PLOT_A_AREA, true);
    InvalidateArea(RECT{439 - 3 * CharWidth, 68 - LineHeight / 2, 769, 318 + LineHeight / 2}, true);
    InvalidateMarks();
}
