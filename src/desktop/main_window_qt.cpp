// The main window on Qt: its menu from the resource script's table, the accelerators, the close
// sequence (refused while a job runs, the window closing once it has ended) and the data-error box.
#include "desktop/main_window_qt.h"

#include "app/commands.h"
#include "app/data_error.h"
#include "app/recording.h"
#include "app/view_controls.h"
#include "app/views.h"
#include "desktop/client_area_qt.h"
#include "desktop/menu_qt.h"
#include "desktop/shell_qt.h"
#include "display/display_thread.h"
#include "firmware/job.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "resources/resource.h"
#include "settings/config.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>

const MenuRow MenuTable[MENU_ROWS] = {
    {0, "&File", nullptr},
    {IDM_FIND_UNIT, "Find &MQ-6", nullptr},
    {IDM_COMM_SETUP, "&Comm Setup...", nullptr},
    {IDM_PREFERENCES, "Pre&ferences...", nullptr},
    {IDM_RECORD, "&Record Live Data...", "Ctrl+R"},
    {IDM_MARK, "M&ark", "F9"},
    {IDM_OPEN_RECORDING, "Open Recor&ding...", "Ctrl+L"},
    {IDM_OPEN_SETUP, "&Open Setup...", "Ctrl+O"},
    {IDM_SAVE_SETUP, "&Save Setup As...", "Ctrl+S"},
    {IDM_EXIT, "E&xit", nullptr},
    {0, "&Display", nullptr},
    {IDM_WB_SETUP, "&WB Setup", nullptr},
    {IDM_AFR_LAMBDA, "&Afr && Lambda", nullptr},
    {IDM_LIVE_HISTORY, "Live &History", nullptr},
    {IDM_FIRMWARE_UPDATE, "&Firmware Update", nullptr},
    // Appended once a recording has been opened (string 111).
    {IDM_RECORDING_VIEW, "Re&cording", nullptr},
    {0, "&Help", nullptr},
    {IDM_ABOUT, "&About ...", nullptr},
    // The accelerators without an item of their own: Alt+"?" and Alt+"/" open the About box.
    {IDM_ABOUT, nullptr, "Alt+?;Alt+/"},
};

namespace {

MainWindowQt* TheWindow = nullptr;

// From the reading thread: the box is the window's, on its own thread, so the reader goes on.
void PostDataRead(DeviceDataEvent event) {
    if (event == DEVICE_DATA_UNREADABLE)
        return;
    bool read = event == DEVICE_DATA_READ;
    RunOnGuiThread(
        [read] {
            if (TheWindow != nullptr)
                TheWindow->OnDataRead(read);
        },
        false);
}

// The port indicator's changes are drawn at the next paint.
void RedrawPortStatus(int) {
    RedrawStatusLine();
}

} // namespace

MainWindowQt::MainWindowQt() {
    TheWindow = this;
    setWindowTitle("MQ-6 WB Utility");
    QPalette back = palette();
    back.setColor(QPalette::Window, QColor(220, 220, 220));
    setPalette(back);
    client = new ClientArea(CLIENT_WIDTH, CLIENT_HEIGHT, this);
    setCentralWidget(client);
    BuildMenus();
    // Fixed: the views are laid out in pixels.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    closeCheck.setInterval(CLOSE_WHEN_DONE_CHECK_MS);
    connect(&closeCheck, &QTimer::timeout, this, [this] {
        if (JobRunning.load(std::memory_order_acquire) == 0) {
            closeCheck.stop();
            close();
        }
    });
    AddDeviceDataListener(PostDataRead);
    DataErrorBoxElsewhere.store(1, std::memory_order_release);
    AddPortStatusListener(RedrawPortStatus);
    AttachGuiWindow(this, client);
}

MainWindowQt::~MainWindowQt() {
    RemoveDeviceDataListener(PostDataRead);
    RemovePortStatusListener(RedrawPortStatus);
    AttachGuiWindow(nullptr, nullptr);
    TheWindow = nullptr;
}

void MainWindowQt::BuildMenus() {
    QMenu* popup = nullptr;
    for (const MenuRow& row : MenuTable) {
        if (row.command == 0) {
            popup = menuBar()->addMenu(row.caption);
            continue;
        }
        int command = row.command;
        auto run = [command] { RunMenuCommand(command); };
        if (row.caption == nullptr) {
            for (const QString& keys : QString(row.keys).split(';')) {
                auto* shortcut = new QShortcut(QKeySequence(keys), this);
                connect(shortcut, &QShortcut::activated, this, run);
            }
            continue;
        }
        QAction* action = popup->addAction(row.caption);
        if (row.keys != nullptr)
            action->setShortcut(QKeySequence(row.keys));
        action->setVisible(command != IDM_RECORDING_VIEW);
        connect(action, &QAction::triggered, this, run);
        RegisterMenuAction(command, action);
    }
}

void MainWindowQt::OnDataRead(bool read) {
    RedrawStatusLine(); // what the unit is left in may have changed
    DataErrorAction action = DataErrorAfterRead(read, dataErrorBox != nullptr);
    if (action == DATA_ERROR_CLOSE && dataErrorBox != nullptr)
        dataErrorBox->done(QMessageBox::Ok);
    if (action != DATA_ERROR_SHOW)
        return;
    QMessageBox box(
        QMessageBox::Critical,
        QString::fromLatin1(DATA_ERROR_CAPTION.data(),
                            static_cast<qsizetype>(DATA_ERROR_CAPTION.size())),
        QString::fromLatin1(DATA_ERROR_TEXT.data(), static_cast<qsizetype>(DATA_ERROR_TEXT.size())),
        QMessageBox::Ok, this);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    dataErrorBox = &box;
    box.exec();
    dataErrorBox = nullptr;
}

// Where the view shows the job's progress, the note that the window closes when it has ended.
void MainWindowQt::CloseWhenDone() {
    if (closingNote == nullptr) {
        const ViewRow* shown = ShownView();
        ViewRect place = shown != nullptr ? shown->closingNote() : ViewRect{};
        if (place.right > place.left) {
            closingNote = new QLabel(
                QString::fromLatin1(CLOSE_WHEN_DONE_TEXT.data(), CLOSE_WHEN_DONE_TEXT.size()),
                client);
            closingNote->setGeometry(place.left, place.top, place.right - place.left,
                                     place.bottom - place.top);
            closingNote->show();
        }
    }
    closeCheck.start();
}

// The close sequence: the close box, Alt+F4, Exit and the window manager all come here. The
// display and comm threads are ended after the event loop, once nothing on this thread can wait
// for them any more.
void MainWindowQt::closeEvent(QCloseEvent* event) {
    if (JobRunning.load(std::memory_order_acquire) != 0) {
        BeepRefusedInput();
        CloseWhenDone();
        event->ignore();
        return;
    }
    ViewMode.store(VIEW_NONE, std::memory_order_release);
    RemoveDeviceDataListener(PostDataRead);
    DataErrorBoxElsewhere.store(0, std::memory_order_release);
    EndRecording();
    SetViewTimer(false);
    // A minimized window's place is the icon's: the position saved last stays.
    if (!isMinimized()) {
        WindowX.store(frameGeometry().x(), std::memory_order_release);
        WindowY.store(frameGeometry().y(), std::memory_order_release);
    }
    WriteConfig();
    RequestPort(PORT_CLOSE, nullptr);
    SleepMs(20); // the comm thread closes the port meanwhile
    event->accept();
}

void ShowMainWindow(MainWindowQt* window) {
    window->adjustSize();
    int x = WindowX.load(std::memory_order_acquire);
    int y = WindowY.load(std::memory_order_acquire);
    if (x == -1) {
        QRect desktop = QGuiApplication::primaryScreen() != nullptr
                            ? QGuiApplication::primaryScreen()->availableGeometry()
                            : QRect();
        x = desktop.center().x() - window->width() / 2;
        y = desktop.center().y() - window->height() / 2;
    }
    window->move(x, y);
    window->show();
}
