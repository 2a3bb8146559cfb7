// Notices of the desktop program are message boxes over the main window (unless asked
// otherwise), shown on the GUI thread; a caller on another thread waits until the user has seen
// it, as on Windows.
#include "platform/notice.h"

#include "desktop/gui_thread_qt.h"

#include <QMessageBox>

namespace {

int RunBox(QMessageBox::Icon icon, const QString& text, const QString& caption,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
           unsigned flags) {
    int answer = 0;
    RunOnGuiThread(
        [&] {
            QWidget* owner = (flags & NOTICE_NO_OWNER) != 0 ? nullptr : GuiWindow();
            QMessageBox box(icon, caption, text, buttons, owner);
            box.setDefaultButton(defaultButton);
            if ((flags & NOTICE_TOPMOST) != 0)
                box.setWindowFlag(Qt::WindowStaysOnTopHint);
            answer = box.exec();
        },
        true);
    return answer;
}

QString FromView(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

int ShowNotice(std::string_view text, std::string_view caption, unsigned flags) {
    QMessageBox::Icon icon = (flags & NOTICE_ERROR_ICON) != 0  ? QMessageBox::Critical
                             : (flags & NOTICE_INFO_ICON) != 0 ? QMessageBox::Information
                                                               : QMessageBox::NoIcon;
    return RunBox(icon, FromView(text), FromView(caption), QMessageBox::Ok, QMessageBox::Ok,
                  flags) != 0
               ? 1
               : 0;
}

int AskNotice(std::string_view text, std::string_view caption) {
    return RunBox(QMessageBox::Question, FromView(text), FromView(caption),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No, 0) == QMessageBox::Yes
               ? 1
               : 0;
}
