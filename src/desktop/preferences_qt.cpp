// The Preferences dialog on Qt, placed as resource 132 places it.
#include "desktop/preferences_qt.h"

#include "app/input_filter.h"
#include "app/shell.h"
#include "desktop/dialog_units_qt.h"
#include "display/preferences.h"
#include "settings/config.h"

#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

namespace {

void AddLabel(QDialog& dialog, const char* text, QRect place, Qt::Alignment align) {
    auto* label = new QLabel(text, &dialog);
    label->setGeometry(place);
    label->setAlignment(align | Qt::AlignVCenter);
}

// A target field: digits and one point as typed, at most TARGET_TEXT_LIMIT characters, and the
// clamp when it is left, unless the dialog is closing.
class TargetField : public QLineEdit {
  public:
    TargetField(PreferencesTarget which, const bool& closingFlag, QWidget* parent)
        : QLineEdit(parent), target(which), closing(closingFlag) {
        setMaxLength(TARGET_TEXT_LIMIT);
        setText(QString::fromLatin1(TargetFieldText(which).c_str()));
        connect(this, &QLineEdit::textEdited, [this] { Filter(); });
    }

  protected:
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        if (!closing && event->reason() != Qt::PopupFocusReason)
            setText(QString::fromLatin1(
                LeaveTargetField(target, text().toLatin1().toStdString()).c_str()));
    }

  private:
    void Filter() {
        QString typed = text();
        for (;;) {
            QByteArray bytes = typed.toLatin1();
            int refused = FindRefusedNumberChar(
                std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
            if (refused < 0)
                break;
            typed.remove(refused, 1);
            BeepRefusedInput();
        }
        if (typed != text())
            setText(typed);
    }
    PreferencesTarget target;
    const bool& closing;
};

} // namespace

void RunPreferencesDialog(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Preferences");
    dialog.setFixedSize(DialogRect(0, 0, 183, 218).size());
    bool closing = false;
    auto* frame = new QGroupBox("AFR && Lambda Display", &dialog);
    frame->setGeometry(DialogRect(7, 8, 169, 152));
    AddLabel(dialog, "-Target Area-", DialogRect(56, 26, 72, 8), Qt::AlignHCenter);
    AddLabel(dialog, "From:", DialogRect(37, 48, 20, 8), Qt::AlignRight);
    auto* from = new TargetField(TARGET_FROM, closing, &dialog);
    from->setGeometry(DialogRect(71, 45, 40, 14));
    AddLabel(dialog, "Lambda", DialogRect(119, 48, 28, 9), Qt::AlignLeft);
    AddLabel(dialog, "To:", DialogRect(37, 77, 20, 8), Qt::AlignRight);
    auto* to = new TargetField(TARGET_TO, closing, &dialog);
    to->setGeometry(DialogRect(71, 74, 40, 14));
    AddLabel(dialog, "Lambda", DialogRect(119, 77, 28, 9), Qt::AlignLeft);
    AddLabel(dialog, "-Response Rate-", DialogRect(56, 104, 72, 8), Qt::AlignHCenter);
    auto* rate = new QSlider(Qt::Horizontal, &dialog);
    rate->setGeometry(DialogRect(42, 116, 100, 20));
    rate->setRange(RATE_LOWEST, RATE_HIGHEST);
    rate->setTickInterval(RATE_TICK_STEP);
    rate->setTickPosition(QSlider::TicksBelow);
    rate->setValue(ResponseRate.load(std::memory_order_acquire));
    AddLabel(dialog, "Slow", DialogRect(41, 143, 15, 8), Qt::AlignLeft);
    AddLabel(dialog, "Fast", DialogRect(125, 143, 15, 8), Qt::AlignLeft);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setGeometry(DialogRect(67, 197, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", &dialog);
    cancel->setGeometry(DialogRect(126, 197, 50, 14));
    QObject::connect(ok, &QPushButton::clicked, [&] {
        closing = true;
        ConfirmPreferences(rate->value(), from->text().toLatin1().toStdString(),
                           to->text().toLatin1().toStdString());
        dialog.accept();
    });
    // Leaving a field has already stored its value, which stays; Cancel stores nothing more.
    QObject::connect(cancel, &QPushButton::clicked, [&] {
        closing = true;
        dialog.reject();
    });
    QObject::connect(&dialog, &QDialog::rejected, [&] { closing = true; });
    from->setFocus();
    from->selectAll();
    dialog.exec();
    closing = true;
}
