// The Wide Band Setup view's rules over its controls (wbsetup/setup_controls.h). SetupValues and
// the form's rule (wbsetup/setup_form.h) hold what the view shows; the write runs through the
// setup job (wbsetup/setup_job.h), whose front-end calls on its own thread only disable and enable
// the inputs, move the bar and wake the view.
#include "wbsetup/setup_view.h"

#include "app/shell.h"
#include "display/status_line.h"
#include "firmware/banner.h"
#include "link/link.h"
#include "platform/notice.h"
#include "settings/config.h"
#include "wbsetup/setup_fields.h"
#include "wbsetup/setup_file.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_job.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::string_view LIMITED_CAPTION = "-WB Setup-";
constexpr std::string_view SETUP_FILE_CAPTION = "-WB Setup File-";
constexpr std::string_view NOT_READ_TEXT =
    "\nThe MQ-6 setup has not been read from the unit now connected.\n\nPress \"Read MQ-6\" "
    "(or \"Set Defaults\") before \"Set MQ-6\", so that no setting is written that you have "
    "not seen.\n";
constexpr std::string_view MIX_TEXT =
    "\nThe MQ-6 holds part of a setup from a write that did not finish, and the setup that was "
    "being written was not kept.\n\nOpen a setup file or a restore point (File, Open Setup...), "
    "or press \"Set Defaults\", then \"Set MQ-6\".\n";
constexpr std::string_view BEYOND_CAPTION = "-WB Setup-";

// The notes under channel A's Response box.
constexpr std::string_view DEFAULTS_NOTE = "The MQ-6 is unchanged until Set MQ-6";
constexpr std::string_view PENDING_NOTE = "Set MQ-6 finishes the cut write with these";
constexpr std::string_view MIX_NOTE = "The MQ-6 holds part of a cut write";
constexpr std::string_view MARK_KEY = "Set MQ-6 changes what is marked";
constexpr Colour MARK_COLOUR = Rgb(200, 0, 200);

// The unit's values are taken in once this thread has nothing else to do, as a paint would be
// (a key the user pressed meanwhile is handled first); again RETRY_MS later while another thread
// holds the link.
constexpr int TAKE_MS = 10;
constexpr int RETRY_MS = 50;

// Areas a change redraws: channel B's lower half (its fields or the offset bar and caption),
// both plots with their scales, and the figures under them that the Stoich AFR moves.
constexpr ViewRect CHANNEL_B_LOWER_AREA = {403, 362, 789, 416};
constexpr ViewRect PLOT_A_AREA = {44, 68, 374, 318};

// The write's phases, named in the note while it runs: the bar starts again for each.
constexpr std::array<std::string_view, 3> WRITE_PHASES = {
    "Writing the output tables...", "Verifying the output tables...", "Writing the setup block..."};
// Steps of the bar: one per table block, then one per setup record after the blocks verified.
constexpr int TABLE_BLOCK_STEPS = 256;

// True while the view takes the unit's values in: the focus moves without the user.
bool FillingFromUnit = false;
// The view is shown: the data-block listener wakes it.
std::atomic<bool> ViewShown{false};
// The write's steps since its last reset, and its phase; its own thread alone counts them.
int WriteSteps = 0;
size_t WritePhase = 0;
// The note that stands under channel A's Response box, empty for none.
std::string_view NoteShown;

bool IsLinear() {
    return (SetupValues.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
}

void ShowNote(std::string_view text) {
    bool shown = !text.empty();
    ShowSetupControl(SETUP_NOTE, shown);
    if (shown)
        SetSetupText(SETUP_NOTE, text);
    NoteShown = text;
}

void ShowFieldValue(int row) {
    std::array<char, FIELD_TEXT_LIMIT + 1> text{};
    FormatFormValue(row, text);
    SetSetupText(static_cast<SetupControl>(row), text.data());
}

// A code in no row that the user chose (a setup file's) is shown as an eighth item after the
// seven rates, there only while it is the channel's; short, as the box is ten cells wide.
void SelectResponseRows() {
    for (int channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        const ChannelSetup& setup = SetupValues.Channel[static_cast<size_t>(channel)];
        SetupControl box = channel == CHANNEL_A ? SETUP_RESPONSE_A : SETUP_RESPONSE_B;
        std::array<char, 24> code{};
        if (ShowsResponseCode(channel))
            std::snprintf(code.data(), code.size(), "(code %d)", setup.ResponseValue);
        SetSetupChoice(box, code[0] != '\0' ? RESPONSE_CHOICE_COUNT : setup.ResponseIndex,
                       code.data());
    }
}

void ShowChannelTexts(int channel) {
    for (int i = 0; i < FIELD_ROWS_PER_CHANNEL; ++i) {
        int row = channel * FIELD_ROWS_PER_CHANNEL + i;
        if (SetupControlShown(static_cast<SetupControl>(row)))
            ShowFieldValue(row);
    }
}

void RepaintMarks() {
    for (int item = 0; item < SETUP_MARKED_ITEMS; ++item)
        RequestRepaint(SetupMarkArea(item), true);
    RequestRepaint(SetupMarkKeyArea(), true);
}

// Channel B's controls of its layout: four fields (linear) or the offset bar (narrowband).
void ShowChannelBLayout() {
    bool linear = IsLinear();
    for (int row = FIELD_ROWS_PER_CHANNEL; row < 2 * FIELD_ROWS_PER_CHANNEL; ++row) {
        SetupControl field = static_cast<SetupControl>(row);
        bool made = !SetupControlShown(field);
        ShowSetupControl(field, linear);
        if (linear && !made)
            ShowFieldValue(row);
    }
    ShowSetupControl(SETUP_OFFSET_BAR, !linear);
    if (!linear)
        SetSetupBarPosition(SetupValues.NbOffset);
    RequestRepaint(CHANNEL_B_LOWER_AREA, true);
    FocusSetupControl(SETUP_STOICH_FIELD);
}

// The one step that shows a record in the view, for Read, Set Defaults, a file and the unit's
// values taken after a data block: it becomes SetupValues, and every control shows it.
void ShowSetupRecord(const SetupRecord& values) {
    SetupValues = values;
    ShowChannelBLayout();
    SetSetupChecked(SETUP_WB, IsLinear());
    SetSetupChecked(SETUP_NB, !IsLinear());
    ShowChannelTexts(CHANNEL_A);
    ShowChannelTexts(CHANNEL_B);
    ShowFieldValue(FIELD_ROW_STOICH);
    SelectResponseRows();
    OnSetupFieldLeft(SETUP_STOICH_FIELD);
    FocusSetupControl(SETUP_STOICH_FIELD);
}

// What the controls show, as the view's rule reads it.
SetupFormTexts GatherForm() {
    SetupFormTexts form{};
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row) {
        SetupControl field = static_cast<SetupControl>(row);
        form.FieldShown[static_cast<size_t>(row)] = SetupControlShown(field);
        if (form.FieldShown[static_cast<size_t>(row)]) {
            std::string text = SetupText(field);
            std::strncpy(form.Text[static_cast<size_t>(row)].data(), text.c_str(),
                         FIELD_TEXT_LIMIT);
        }
    }
    for (size_t channel = 0; channel < SETUP_CHANNEL_COUNT; ++channel) {
        SetupControl box = channel == CHANNEL_A ? SETUP_RESPONSE_A : SETUP_RESPONSE_B;
        form.ResponseShown[channel] = SetupControlShown(box);
        form.ResponseRow[channel] = SetupChoice(box);
        form.ResponseCodeShown[channel] = form.ResponseRow[channel] == RESPONSE_CHOICE_COUNT;
    }
    return form;
}

// The unit's values after a data block, as the view's rule lets them in (TakeUnitSetup). Not
// the user's doing: no field is checked on the way (a field would take its old text as typed),
// each edited field keeps the text the user typed, and the focus stays where the user left it,
// if that control is still there. -1 when another thread held the link.
int ShowUnitSetup(bool wait) {
    SetupFormTexts form = GatherForm();
    SetupRecord pending = DEFAULT_SETUP;
    bool midWrite = DeviceDataValid.load(std::memory_order_acquire) != 0 &&
                    DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_SETUP;
    int taken =
        TakeUnitSetup(wait, form, midWrite && ReadPendingSetup(pending) ? &pending : nullptr);
    if (taken <= 0)
        return taken;
    SetupControl focus = FocusedSetupControl();
    FillingFromUnit = true;
    ShowSetupRecord(SetupValues);
    for (int row = 0; row < SETUP_FIELD_ROWS; ++row) {
        SetupControl field = static_cast<SetupControl>(row);
        if (SetupControlShown(field) && (EditedItems & (1u << row)) != 0 && !SetupPendingShown())
            SetSetupText(field, form.Text[static_cast<size_t>(row)].data());
    }
    if (focus != SETUP_NO_CONTROL && SetupControlShown(focus))
        FocusSetupControl(focus);
    FillingFromUnit = false;
    // What the unit holds now decides the notes of a cut write; another note stays.
    if (SetupPendingShown())
        ShowNote(PENDING_NOTE);
    else if (SetupMixUnchosen())
        ShowNote(MIX_NOTE);
    else if (NoteShown == PENDING_NOTE || NoteShown == MIX_NOTE)
        ShowNote("");
    RequestRepaintAll();
    return taken;
}

void TakeOrRetry() {
    if (ShowUnitSetup(false) < 0)
        TakeUnitSetupLater(RETRY_MS);
}

// After every data-block read, on the thread that read it: the block reaches the view on its
// own thread, once this read has let go of the link.
void OnSetupDeviceData(DeviceDataEvent event) {
    if (event == DEVICE_DATA_READ && ViewShown.load(std::memory_order_acquire))
        WakeSetupView(SETUP_WAKE_DATA);
}

void ReadSequence() {
    if (ReadSetup() != 0)
        return;
    NoteSetupRead();
    ShowSetupRecord(SetupValues);
}

void DefaultsSequence() {
    LoadDefaultSetup();
    NoteSetupChosen();
    ShowSetupRecord(SetupValues);
    ShowNote(DEFAULTS_NOTE);
}

// ---- The setup write ------------------------------------------------------------------------

void NoteSetupWrite(SetupJobNote note, const std::string& detail) {
    if (note == SETUP_NOTE_NO_RESTORE_POINT)
        ShowNotice("\n" + detail + "\n", LIMITED_CAPTION, NOTICE_INFO_ICON);
    else if (note != SETUP_NOTE_RESTORE_POINT)
        ShowNotice("\n" + detail + "\n", SETUP_ERROR_CAPTION, NOTICE_ERROR_ICON);
}

// On the write's thread, from here to the end.
void BeginSetupWrite() {
    ResetStatusMessage();
    KeepSystemAwake();
    EnableSetupInputs(false);
    LockMenus();
    WriteSteps = 0;
    WritePhase = 0;
}

// The bar starts again when the blocks are read back and is full while the setup records go, so
// the note beside it names each phase.
void ShowSetupWriteProgress(ProgressMessage message) {
    WriteSteps = message == PROGRESS_RESET ? 0 : WriteSteps + 1;
    size_t phase = message == PROGRESS_RESET                           ? 1
                   : WritePhase == 1 && WriteSteps > TABLE_BLOCK_STEPS ? 2
                                                                       : WritePhase;
    StepSetupProgress(message, phase != WritePhase ? WRITE_PHASES[phase] : std::string_view());
    WritePhase = phase;
}

void EndSetupWrite(const JobOutcome& outcome) {
    ReleaseSystemAwake();
    if (outcome.result == JOB_VERIFIED)
        ShowUnitStatusMessageAt("Setup written to the MQ-6");
    else
        ShowNotice(FormatJobBox(outcome), SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    // The menus before the controls that could start the next write, whose lock this unlock
    // must not undo.
    UnlockMenus();
    EnableSetupInputs(true);
    WakeSetupView(SETUP_WAKE_WRITE_ENDED);
    RequestRepaintAll();
}

// Values beyond what a user may type (a backup of an unusual unit) are written only when the user
// says so, as mq6 writes them only with --force.
bool BeyondRangesAllowed(const SetupRecord& values) {
    std::string beyond = OutsideUserRangeWords(values);
    if (beyond.empty())
        return true;
    return AskNotice("\nThese values lie beyond what the fields let you type:\n\n" + beyond +
                         "\n\nWrite them to the MQ-6 as they are?\n",
                     BEYOND_CAPTION) != 0;
}

void SetSequence() {
    // The field being typed in is checked first, as its leaving would check it.
    if (SetupControl focus = FocusedSetupControl(); focus >= 0 && focus < SETUP_FIELD_ROWS)
        OnSetupFieldLeft(focus);
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
    if (SetupMixUnchosen()) {
        ShowNotice(MIX_TEXT, SETUP_ERROR_CAPTION, NOTICE_ERROR_ICON);
        return;
    }
    SetupRecord values{};
    ReadSetupForm(GatherForm(), values);
    if (!BeyondRangesAllowed(values))
        return;
    ShowSetupControl(SETUP_WRITE_BAR, true);
    ShowSetupControl(SETUP_PHASE, true);
    SetSetupText(SETUP_PHASE, WRITE_PHASES[0]);
    if (StartSetupWrite(values, SetupJobOptions{},
                        {NoteSetupWrite, BeginSetupWrite, ShowSetupWriteProgress, EndSetupWrite}) !=
        0) {
        ShowSetupControl(SETUP_WRITE_BAR, false);
        ShowSetupControl(SETUP_PHASE, false);
        return;
    }
    // What the worker writes is now the unit's setup.
    NoteSetupWritten();
}

} // namespace

void EnterSetupView() {
    ViewShown.store(true, std::memory_order_release);
    AddDeviceDataListener(OnSetupDeviceData);
    ShowChannelBLayout();
    SetSetupChecked(SETUP_WB, IsLinear());
    SetSetupChecked(SETUP_NB, !IsLinear());
    ShowChannelTexts(CHANNEL_A);
    ShowChannelTexts(CHANNEL_B);
    ShowFieldValue(FIELD_ROW_STOICH);
    SelectResponseRows();
    FocusSetupControl(SETUP_STOICH_FIELD);
    CancelUnitSetupTake();
    TakeOrRetry();
    RequestRepaintAll();
}

void LeaveSetupView() {
    ViewShown.store(false, std::memory_order_release);
    RemoveDeviceDataListener(OnSetupDeviceData);
    CancelUnitSetupTake();
}

void OnSetupButton(SetupControl control) {
    switch (control) {
    case SETUP_NB:
    case SETUP_WB:
        if (SetupChecked(control) && IsLinear() != (control == SETUP_WB)) {
            SetupValues.SetupFlags ^= SETUP_FLAG_B_LINEAR;
            EditedItems |= ITEM_LAYOUT;
            ShowChannelBLayout();
            ShowChannelTexts(CHANNEL_B);
            OnSetupFieldLeft(SETUP_STOICH_FIELD);
        }
        break;
    case SETUP_SET:
        ShowNote("");
        SetSequence();
        FocusSetupControl(SETUP_SET);
        break;
    case SETUP_DEFAULTS:
        DefaultsSequence();
        break;
    case SETUP_READ:
        ErrorShown.store(0, std::memory_order_release);
        ShowNote("");
        ReadSequence();
        FocusSetupControl(SETUP_READ);
        break;
    default:
        return;
    }
    RepaintMarks();
}

void OnSetupFieldLeft(SetupControl control) {
    if (FillingFromUnit)
        return;
    if (control >= 0 && control < SETUP_FIELD_ROWS && SetupControlShown(control)) {
        int row = control;
        std::string text = SetupText(control);
        int checked = CheckFormField(row, text);
        if (checked > 0) {
            BeepRefusedInput();
            FocusSetupControl(control);
        }
        // The text is replaced only within what a user may type: an opened file's stays whole.
        if (checked >= 0)
            ShowFieldValue(row);
        if (row == FIELD_ROW_STOICH) {
            RequestRepaint({8, 320, 394, 320 + LineHeight}, true);
            RequestRepaint({403, 320, 789, 320 + LineHeight}, true);
        }
    }
    RequestRepaint(PLOT_A_AREA, true);
    RequestRepaint({439 - 3 * CharWidth, 68 - LineHeight / 2, 769, 318 + LineHeight / 2}, true);
    RepaintMarks();
}

int OffsetBarStep(OffsetRequest request, int position, int track) {
    int moved = position;
    switch (request) {
    case OFFSET_LINE_LESS:
        moved = position - 1;
        break;
    case OFFSET_LINE_MORE:
        moved = position + 1;
        break;
    case OFFSET_PAGE_LESS:
        moved = position - OFFSET_PAGE;
        break;
    case OFFSET_PAGE_MORE:
        moved = position + OFFSET_PAGE;
        break;
    case OFFSET_TRACK:
        moved = track;
        break;
    case OFFSET_HOME:
        moved = NB_OFFSET_CENTRE;
        break;
    case OFFSET_STAY:
        break;
    }
    return std::clamp(moved, NB_OFFSET_USER_LOWEST, NB_OFFSET_USER_HIGHEST);
}

void OnSetupOffsetScroll(OffsetRequest request, int track) {
    if (!SetupControlShown(SETUP_OFFSET_BAR))
        return;
    int old = SetupBarPosition();
    int position = OffsetBarStep(request, old, track);
    SetSetupBarPosition(position);
    // The offset moves by what the bar moved: an opened file's offset beyond the bar's range
    // moves from where it is.
    SetupValues.NbOffset += position - old;
    if (position != old)
        EditedItems |= ITEM_OFFSET;
    RequestRepaint({439, 68, 769, 318}, true);
    RepaintMarks();
}

void OnSetupViewWake(SetupWake wake) {
    if (!ViewShown.load(std::memory_order_acquire))
        return;
    if (wake == SETUP_WAKE_WRITE_ENDED) {
        ShowSetupControl(SETUP_WRITE_BAR, false);
        ShowSetupControl(SETUP_PHASE, false);
        FocusSetupControl(SETUP_STOICH_FIELD);
        // A cut write's values stay in the view, the user's, for the unit it was cut on.
        if (LastSetupOutcome().result != JOB_VERIFIED)
            NoteSetupCut();
        RepaintMarks();
    }
    TakeUnitSetupLater(TAKE_MS);
}

void OnUnitSetupTakeDue() {
    if (ViewShown.load(std::memory_order_acquire))
        TakeOrRetry();
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

int OpenSetupFile(const std::string& path) {
    SetupRecord values = DEFAULT_SETUP;
    std::string error;
    if (!ReadSetupFile(path, values, error)) {
        ShowNotice("\nThe setup file was not opened; the view is as it was.\n\n" + error + "\n",
                   SETUP_FILE_CAPTION, NOTICE_ERROR_ICON);
        return -1;
    }
    KeepFolderOf(path, SetupFolder);
    NoteSetupOpened();
    ShowSetupRecord(values);
    ShowNote("");
    RequestRepaintAll();
    return 0;
}

int SaveSetupFile(const std::string& path) {
    SetupControl focus = FocusedSetupControl();
    if (focus >= 0 && focus < SETUP_FIELD_ROWS)
        OnSetupFieldLeft(focus);
    SetupRecord values{};
    ReadSetupForm(GatherForm(), values);
    std::string error;
    if (!WriteSetupText(path, SetupToJson(values), error)) {
        ShowNotice("\nThe setup was not saved; a file of that name is as it was.\n\n" + error +
                       "\n",
                   SETUP_FILE_CAPTION, NOTICE_ERROR_ICON);
        return -1;
    }
    KeepFolderOf(path, SetupFolder);
    std::string limited = LimitedFieldsText();
    if (!limited.empty())
        ShowNotice("\nThe setup was saved to\n\n" + path + "\n\nas the view shows it:\n" + limited,
                   SETUP_FILE_CAPTION, NOTICE_INFO_ICON);
    return 0;
}

uint32_t MarkedItems() {
    SetupRecord shown{};
    ReadSetupForm(GatherForm(), shown);
    uint32_t differing = DifferingItems(shown);
    // A change of what the layout hides (channel B's points in NB, the offset in WB) is marked
    // beside the mode buttons, so that each change Set would make has a mark.
    for (int item = 0; item < SETUP_MARKED_ITEMS; ++item)
        if ((differing & (1u << item)) != 0 && !SetupControlShown(SetupMarkedControl(item)))
            differing = (differing & ~(1u << item)) | ITEM_LAYOUT;
    return differing;
}

void PaintSetupViewWithMarks(Canvas* canvas, Canvas* plots) {
    PaintSetupView(canvas, plots, SetupValues);
    uint32_t marked = MarkedItems();
    if (marked == 0)
        return;
    CanvasSetPen(canvas, 1, MARK_COLOUR);
    CanvasSetBrush(canvas, MARK_COLOUR);
    for (int item = 0; item < SETUP_MARKED_ITEMS; ++item)
        if ((marked & (1u << item)) != 0) {
            ViewRect area = SetupMarkArea(item);
            CanvasRectangle(canvas, area.left, area.top, area.right, area.bottom);
        }
    // The key, once: a mark and what it means.
    ViewRect key = SetupMarkKeyArea();
    int middle = (key.top + key.bottom) / 2;
    CanvasRectangle(canvas, key.left + 2, middle - 3, key.left + 8, middle + 3);
    CanvasRestoreObjects(canvas);
    CanvasFont previousFont = CanvasSetFont(canvas, FONT_COURIER);
    Colour previousText = CanvasSetTextColour(canvas, TextColour);
    Colour previousBack = CanvasSetBackColour(canvas, BackColour);
    CanvasText(canvas, key.left + 14, key.top, MARK_KEY);
    CanvasSetBackColour(canvas, previousBack);
    CanvasSetTextColour(canvas, previousText);
    CanvasSetFont(canvas, previousFont);
}

ViewRect SetupClosingNotePlace() {
    return SetupMarkKeyArea();
}
