// The desktop program's main window: the Windows utility's window on Qt, with its title, its menu
// and accelerators, one of the views in its client area with the status line along the bottom,
// its data-error box and its close sequence. Its client area is as large as the Windows
// utility's, 794 by 556 pixels; the frame around it is the window manager's.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class ClientArea;
class QLabel;
class QMessageBox;

constexpr int CLIENT_WIDTH = 794;
constexpr int CLIENT_HEIGHT = 556;

// The menu as the Windows utility's resource script gives it (src/resources/mq6wb.rc): a row per
// popup (command 0) and per item, the items' keys as the accelerator table gives them.
struct MenuRow {
    int command;
    const char* caption;
    const char* keys; // nullptr: none
};
constexpr int MENU_ROWS = 19;
extern const MenuRow MenuTable[MENU_ROWS];

class MainWindowQt : public QMainWindow {
  public:
    MainWindowQt();
    ~MainWindowQt() override;
    ClientArea* Client() const {
        return client;
    }
    // After a read of the unit's data block (read or not): the status line, and the data-error
    // box shown or closed (app/data_error.h).
    void OnDataRead(bool read);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void CloseWhenDone();
    ClientArea* client = nullptr;
    QPointer<QLabel> closingNote;
    QTimer closeCheck;
    QPointer<QMessageBox> dataErrorBox;
};

// Places the window where the settings say (centred for -1) and shows it.
void ShowMainWindow(MainWindowQt* window);
