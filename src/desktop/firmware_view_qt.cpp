// The Firmware Update view's controls on Qt. The update's thread reaches them only through work
// handed to the GUI thread, waited for as a blocking send to a window is.
#include "desktop/firmware_view_qt.h"

#include "desktop/shell_qt.h"
#include "display/status_line.h"
#include "firmware/firmware_controls.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <array>

namespace {

std::array<QPointer<QWidget>, FIRMWARE_CONTROL_COUNT> Controls;

QPushButton* UpdateButton() {
    return qobject_cast<QPushButton*>(Controls[FIRMWARE_UPDATE].data());
}

// The update button from the keyboard: Enter clicks it (Space does so by itself), Escape moves
// the focus as Tab does.
class ButtonKeys : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            static_cast<QPushButton*>(watched)->click();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            bool back = (key->modifiers() & Qt::ShiftModifier) != 0;
            QKeyEvent tab(QEvent::KeyPress, back ? Qt::Key_Backtab : Qt::Key_Tab, key->modifiers());
            QCoreApplication::sendEvent(watched, &tab);
            return true;
        }
        return false;
    }
};

} // namespace

bool FirmwareAltKey(int key) {
    QPushButton* button = UpdateButton();
    if (key != Qt::Key_U || button == nullptr)
        return false;
    if (button->isEnabled())
        button->click();
    else
        BeepRefusedInput();
    return true;
}

void EnableUpdateButton(bool enabled) {
    RunOnGuiThread(
        [enabled] {
            if (QPushButton* button = UpdateButton(); button != nullptr)
                button->setEnabled(enabled);
        },
        true);
}

void StepFirmwareProgress(ProgressMessage message) {
    RunOnGuiThread(
        [message] {
            auto* bar = qobject_cast<QProgressBar*>(Controls[FIRMWARE_PROGRESS_BAR].data());
            if (bar != nullptr)
                bar->setValue(message == PROGRESS_RESET ? 0 : bar->value() + 1);
        },
        true);
}

void CreateFirmwareControls() {
    QWidget* parent = GuiClient();
    for (const FirmwareControlRow& row : FirmwareLayout) {
        QString caption =
            QString::fromLatin1(row.caption.data(), static_cast<qsizetype>(row.caption.size()));
        QWidget* made = nullptr;
        switch (row.kind) {
        case FIRMWARE_KIND_FRAME:
            made = new QGroupBox(caption, parent);
            break;
        case FIRMWARE_KIND_BUTTON: {
            auto* button = new QPushButton(caption, parent);
            button->installEventFilter(new ButtonKeys(button));
            QObject::connect(button, &QPushButton::clicked, [] { OnUpdateButton(); });
            made = button;
            break;
        }
        case FIRMWARE_KIND_PROGRESS: {
            auto* bar = new QProgressBar(parent);
            bar->setRange(0, CODE_RECORD_COUNT);
            bar->setValue(0);
            bar->setTextVisible(false);
            made = bar;
            break;
        }
        }
        int width = row.width != 0 ? row.width : ClientWidth - 2 * row.x;
        made->setGeometry(row.x, row.y, width, row.height);
        made->show();
        Controls[static_cast<size_t>(row.control)] = made;
    }
    EnterFirmwareView();
}

void DestroyFirmwareControls() {
    LeaveFirmwareView();
    // The button first, the bar, then the two boxes.
    for (FirmwareControl control :
         {FIRMWARE_UPDATE, FIRMWARE_PROGRESS_BAR, FIRMWARE_UNIT_BOX, FIRMWARE_IMAGE_BOX}) {
        QPointer<QWidget>& widget = Controls[static_cast<size_t>(control)];
        if (widget != nullptr) {
            widget->hide();
            widget->deleteLater();
        }
        widget = nullptr;
    }
}
