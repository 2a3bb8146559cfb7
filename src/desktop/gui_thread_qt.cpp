// The main window's widgets and the GUI thread's queue.
#include "desktop/gui_thread_qt.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <atomic>

namespace {
QPointer<QWidget> MainWidget;
QPointer<QWidget> ClientWidget;
std::atomic<bool> WindowAttached{false};
} // namespace

void AttachGuiWindow(QWidget* window, QWidget* client) {
    MainWidget = window;
    ClientWidget = client;
    WindowAttached.store(window != nullptr, std::memory_order_release);
}

QWidget* GuiWindow() {
    return MainWidget;
}

QWidget* GuiClient() {
    return ClientWidget;
}

void RunOnGuiThread(std::function<void()> work, bool wait) {
    if (qApp != nullptr && QThread::currentThread() == qApp->thread()) {
        work();
        return;
    }
    if (qApp == nullptr || !WindowAttached.load(std::memory_order_acquire))
        return;
    QMetaObject::invokeMethod(qApp, std::move(work),
                              wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}
