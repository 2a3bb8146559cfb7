// The Wide Band Setup view's controls on Qt: children of the client area made from SetupLayout.
// Tab, Enter and Escape move the focus in every one of them (Shift backwards), number fields take
// digits and one point up to their typing limit, and clicks, a field left and the offset bar's
// moves go to the view's rules. The setup write's thread reaches the controls only through work
// handed to the GUI thread.
#include "wbsetup/setup_controls.h"

#include "app/input_filter.h"
#include "desktop/shell_qt.h"
#include "display/status_line.h"
#include "wbsetup/setup_form.h"
#include "wbsetup/setup_view.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <array>

namespace {

constexpr int WRITE_STEPS = 256; // one per setup-table block

std::array<QPointer<QWidget>, SETUP_CONTROL_COUNT> Controls;
// True while the view is shown: the wakes of other threads find it.
bool ViewUp = false;
QTimer* TakeTimer = nullptr;

QWidget* ControlOf(SetupControl control) {
    return Controls[static_cast<size_t>(control)].data();
}

SetupControl FindControl(const QObject* widget) {
    for (size_t i = 0; i < Controls.size(); ++i)
        if (widget != nullptr && Controls[i].data() == widget)
            return static_cast<SetupControl>(i);
    return SETUP_NO_CONTROL;
}

// The key filter of every control but the write's bar and the notes: Enter and Escape move the
// focus as Tab does, so that Enter never triggers a button and Escape never closes anything; a
// field left goes to its check, a field entered has its text selected.
class SetupKeys : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter &&
                key->key() != Qt::Key_Escape)
                return false;
            bool back = (key->modifiers() & Qt::ShiftModifier) != 0;
            QKeyEvent tab(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab, key->modifiers());
            QCoreApplication::sendEvent(watched, &tab);
            return true;
        }
        case QEvent::FocusIn:
            if (auto* field = qobject_cast<QLineEdit*>(watched); field != nullptr)
                QTimer::singleShot(0, field, [field] { field->selectAll(); });
            return false;
        case QEvent::FocusOut:
            // A menu opened over the view leaves the field where it is.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
                qobject_cast<QLineEdit*>(watched) != nullptr)
                OnSetupFieldLeft(FindControl(watched));
            return false;
        default:
            return false;
        }
    }
};

// The number fields' rule (app/input_filter.h) as they are typed into: a refused character is
// removed with a beep; and typing stops at the field's limit, while a longer text set by the view
// (an opened file's 250.00) stays whole. before is the text as it stood.
void FilterField(QLineEdit* field, int limit, QString& before) {
    QString text = field->text();
    bool changed = false;
    for (;;) {
        QByteArray bytes = text.toLatin1();
        int refused = FindRefusedNumberChar(
            std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        if (refused < 0)
            break;
        text.remove(refused, 1);
        BeepRefusedInput();
        changed = true;
    }
    if (text.size() > limit && text.size() > before.size()) {
        text = before;
        changed = true;
    }
    before = text;
    if (changed) {
        int cursor = field->cursorPosition();
        field->setText(text);
        field->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
        field->setModified(true);
    }
}

QWidget* MakeField(SetupControl control, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    int limit = FieldLayout[static_cast<size_t>(control)].characters;
    auto* before = new QString();
    QObject::connect(field, &QObject::destroyed, [before] { delete before; });
    // A text the view sets leaves the field unmodified; the user's typing modifies it.
    QObject::connect(field, &QLineEdit::textChanged, [field, limit, before](const QString& text) {
        if (field->isModified())
            FilterField(field, limit, *before);
        else
            *before = text;
    });
    return field;
}

void OnBarAction(QScrollBar* bar, int action) {
    OffsetRequest request = OFFSET_STAY;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        request = OFFSET_LINE_LESS;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        request = OFFSET_LINE_MORE;
        break;
    case QAbstractSlider::SliderPageStepSub:
        request = OFFSET_PAGE_LESS;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        request = OFFSET_PAGE_MORE;
        break;
    case QAbstractSlider::SliderMove:
        request = OFFSET_TRACK;
        break;
    case QAbstractSlider::SliderToMinimum: // the Home key: the centre
        request = OFFSET_HOME;
        break;
    default:
        break;
    }
    // The bar's value is still the old one: the rule sets the new, which the bar then keeps.
    OnSetupOffsetScroll(request, bar->sliderPosition());
    bar->setSliderPosition(bar->value());
}

QWidget* MakeBar(QWidget* parent) {
    auto* bar = new QScrollBar(Qt::Horizontal, parent);
    bar->setRange(NB_OFFSET_USER_LOWEST, NB_OFFSET_USER_HIGHEST);
    bar->setPageStep(OFFSET_PAGE);
    bar->setSingleStep(1);
    bar->setValue(NB_OFFSET_CENTRE);
    bar->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(bar, &QAbstractSlider::actionTriggered,
                     [bar](int action) { OnBarAction(bar, action); });
    return bar;
}

void MakeControl(SetupControl control) {
    QWidget* parent = GuiClient();
    if (parent == nullptr)
        return;
    const SetupControlRow& row = SetupLayoutRow(control);
    QString caption =
        QString::fromLatin1(row.caption.data(), static_cast<qsizetype>(row.caption.size()));
    ViewRect place = SetupControlPlace(control);
    int height = place.bottom - place.top;
    QWidget* made = nullptr;
    switch (row.kind) {
    case SETUP_KIND_FRAME:
        made = new QGroupBox(caption, parent);
        break;
    case SETUP_KIND_FIELD:
        made = MakeField(control, parent);
        break;
    case SETUP_KIND_BUTTON: {
        auto* button = new QPushButton(caption, parent);
        QObject::connect(button, &QPushButton::clicked, [control] { OnSetupButton(control); });
        made = button;
        break;
    }
    case SETUP_KIND_CHOICE: {
        auto* box = new QComboBox(parent);
        for (const ResponseChoice& choice : ResponseChoices)
            box->addItem(QString::fromLatin1(choice.name.data(),
                                             static_cast<qsizetype>(choice.name.size())));
        // The layout's height is the open list's; the face is one line.
        height = LineHeight + 4;
        made = box;
        break;
    }
    case SETUP_KIND_RADIO_FIRST:
    case SETUP_KIND_RADIO: {
        // Checked by a click, which unchecks the other, as an automatic radio button; the view's
        // rules set both as they please.
        auto* button = new QRadioButton(caption, parent);
        button->setAutoExclusive(false);
        QObject::connect(button, &QRadioButton::clicked, [control] {
            SetSetupChecked(SETUP_NB, control == SETUP_NB);
            SetSetupChecked(SETUP_WB, control == SETUP_WB);
            OnSetupButton(control);
        });
        made = button;
        break;
    }
    case SETUP_KIND_SCROLL_BAR:
        made = MakeBar(parent);
        break;
    case SETUP_KIND_PROGRESS: {
        auto* bar = new QProgressBar(parent);
        bar->setRange(0, WRITE_STEPS);
        bar->setValue(0);
        bar->setTextVisible(false);
        made = bar;
        break;
    }
    case SETUP_KIND_NOTE:
        made = new QLabel(parent);
        break;
    }
    if (row.kind != SETUP_KIND_PROGRESS && row.kind != SETUP_KIND_NOTE &&
        row.kind != SETUP_KIND_FRAME)
        made->installEventFilter(new SetupKeys(made));
    made->setGeometry(place.left, place.top, place.right - place.left, height);
    made->show();
    Controls[static_cast<size_t>(control)] = made;
}

} // namespace

// ---- The controls as the view's rules use them -------------------------------------------

void ShowSetupControl(SetupControl control, bool shown) {
    QPointer<QWidget>& widget = Controls[static_cast<size_t>(control)];
    if (shown && widget == nullptr) {
        MakeControl(control);
    } else if (!shown && widget != nullptr) {
        // Removed once its own signal, if any, has returned.
        widget->hide();
        widget->deleteLater();
        widget = nullptr;
    }
}

bool SetupControlShown(SetupControl control) {
    return ControlOf(control) != nullptr;
}

void SetSetupText(SetupControl control, std::string_view text) {
    QString whole = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (auto* field = qobject_cast<QLineEdit*>(ControlOf(control)); field != nullptr)
        field->setText(whole);
    else if (auto* note = qobject_cast<QLabel*>(ControlOf(control)); note != nullptr)
        note->setText(whole);
}

std::string SetupText(SetupControl control) {
    QString text;
    if (auto* field = qobject_cast<QLineEdit*>(ControlOf(control)); field != nullptr)
        text = field->text();
    else if (auto* note = qobject_cast<QLabel*>(ControlOf(control)); note != nullptr)
        text = note->text();
    return text.left(FIELD_TEXT_LIMIT).toLatin1().toStdString();
}

void SetSetupChoice(SetupControl box, int row, std::string_view extra) {
    auto* combo = qobject_cast<QComboBox*>(ControlOf(box));
    if (combo == nullptr)
        return;
    while (combo->count() > RESPONSE_CHOICE_COUNT)
        combo->removeItem(RESPONSE_CHOICE_COUNT);
    if (!extra.empty())
        combo->addItem(QString::fromLatin1(extra.data(), static_cast<qsizetype>(extra.size())));
    combo->setCurrentIndex(row);
}

int SetupChoice(SetupControl box) {
    auto* combo = qobject_cast<QComboBox*>(ControlOf(box));
    return combo != nullptr ? combo->currentIndex() : NO_SELECTION;
}

void SetSetupChecked(SetupControl button, bool checked) {
    if (auto* radio = qobject_cast<QRadioButton*>(ControlOf(button)); radio != nullptr)
        radio->setChecked(checked);
}

bool SetupChecked(SetupControl button) {
    auto* radio = qobject_cast<QRadioButton*>(ControlOf(button));
    return radio != nullptr && radio->isChecked();
}

void SetSetupBarPosition(int position) {
    if (auto* bar = qobject_cast<QScrollBar*>(ControlOf(SETUP_OFFSET_BAR)); bar != nullptr)
        bar->setValue(position);
}

int SetupBarPosition() {
    auto* bar = qobject_cast<QScrollBar*>(ControlOf(SETUP_OFFSET_BAR));
    return bar != nullptr ? bar->value() : NB_OFFSET_CENTRE;
}

void FocusSetupControl(SetupControl control) {
    if (QWidget* widget = ControlOf(control); widget != nullptr)
        widget->setFocus(Qt::OtherFocusReason);
}

SetupControl FocusedSetupControl() {
    for (QWidget* focus = QApplication::focusWidget(); focus != nullptr;
         focus = focus->parentWidget())
        if (SetupControl control = FindControl(focus); control != SETUP_NO_CONTROL)
            return control;
    return SETUP_NO_CONTROL;
}

void EnableSetupInputs(bool enabled) {
    RunOnGuiThread(
        [enabled] {
            // The focus goes to the window first: a disabled control would hand it to the next
            // field, which would take it as the user's.
            if (!enabled && GuiClient() != nullptr)
                GuiClient()->setFocus(Qt::OtherFocusReason);
            for (const SetupControlRow& row : SetupLayout)
                if (QWidget* widget = ControlOf(row.control);
                    widget != nullptr && row.kind != SETUP_KIND_FRAME &&
                    row.kind != SETUP_KIND_PROGRESS && row.kind != SETUP_KIND_NOTE)
                    widget->setEnabled(enabled);
        },
        true);
}

void StepSetupProgress(ProgressMessage message, std::string_view phase) {
    std::string text(phase);
    RunOnGuiThread(
        [message, text] {
            auto* bar = qobject_cast<QProgressBar*>(ControlOf(SETUP_WRITE_BAR));
            if (bar != nullptr)
                bar->setValue(message == PROGRESS_RESET ? 0 : bar->value() + 1);
            if (!text.empty())
                SetSetupText(SETUP_PHASE, text);
        },
        true);
}

void WakeSetupView(SetupWake wake) {
    RunOnGuiThread(
        [wake] {
            if (ViewUp)
                OnSetupViewWake(wake);
        },
        false);
}

void TakeUnitSetupLater(int delayMs) {
    if (TakeTimer == nullptr) {
        TakeTimer = new QTimer(qApp);
        TakeTimer->setSingleShot(true);
        QObject::connect(TakeTimer, &QTimer::timeout, [] {
            if (ViewUp)
                OnUnitSetupTakeDue();
        });
    }
    TakeTimer->start(delayMs);
}

void CancelUnitSetupTake() {
    if (TakeTimer != nullptr)
        TakeTimer->stop();
}

// ---- The view as the main window reaches it ------------------------------------------------

void CreateSetupControls() {
    for (const SetupControlRow& row : SetupLayout)
        if (row.presence == SETUP_ALWAYS)
            MakeControl(row.control);
    ViewUp = true;
    EnterSetupView();
}

void DestroySetupControls() {
    LeaveSetupView();
    ViewUp = false;
    CancelUnitSetupTake();
    for (size_t i = 0; i < Controls.size(); ++i)
        ShowSetupControl(static_cast<SetupControl>(i), false);
}
