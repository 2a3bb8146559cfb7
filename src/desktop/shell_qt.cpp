// The shell's services in the desktop program: repaints, the status line and the focus from any
// thread, the file boxes, the refused-input beep and the sleep inhibitor while a job runs.
#include "desktop/shell_qt.h"

#include "desktop/system_awake_linux.h"
#include "display/status_line.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

std::atomic<int32_t> BeepCount{0};

std::mutex DamageLock;
SurfaceDamage Damage;

// Asks the client area for a paint of rect, from whichever thread.
void UpdateClient(const QRect& rect) {
    RunOnGuiThread(
        [rect] {
            if (GuiClient() != nullptr)
                GuiClient()->update(rect);
        },
        false);
}

// "CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0" as Qt's "CSV files (*.csv);;All files (*)":
// the names of the pairs, where "*.*" is every file, as on Windows.
QString QtFilter(const char* filter) {
    QStringList names;
    for (const char* part = filter; part != nullptr && *part != '\0';) {
        QString name = QString::fromLocal8Bit(part);
        name.replace("(*.*)", "(*)");
        names << name;
        part += std::strlen(part) + 1; // the name
        if (*part != '\0')
            part += std::strlen(part) + 1; // its pattern
    }
    return names.join(";;");
}

} // namespace

void AskSurfaceWork(SurfaceWork work) {
    bool asked = false;
    {
        std::lock_guard<std::mutex> hold(DamageLock);
        asked = (Damage.work & work) != 0;
        Damage.work |= work;
    }
    // A paint already asked for draws this as well.
    if (!asked)
        UpdateClient(SurfaceWorkArea(work));
}

SurfaceDamage TakeSurfaceDamage() {
    std::lock_guard<std::mutex> hold(DamageLock);
    SurfaceDamage taken = Damage;
    Damage = SurfaceDamage{};
    return taken;
}

QRect SurfaceWorkArea(SurfaceWork work) {
    switch (work) {
    case SURFACE_STATUS_LINE:
        return QRect(0, ClientHeight - LineHeight, ClientWidth, LineHeight);
    case SURFACE_LIVE_GAUGES:
        // The dial's box and the activity mark above it, and the readouts below.
        return QRect(0, 20, ClientWidth, 500);
    case SURFACE_LIVE_HISTORY:
    case SURFACE_REVIEW_CHART:
        break;
    }
    return QRect(0, 36, ClientWidth, 404); // the history chart's area
}

// ---- app/shell.h ---------------------------------------------------------------------------

void RequestRepaint(const ViewRect& area, bool erase) {
    QRect rect(area.left, area.top, area.right - area.left, area.bottom - area.top);
    if (rect.isEmpty())
        return;
    {
        std::lock_guard<std::mutex> hold(DamageLock);
        Damage.repaint += rect;
        if (erase)
            Damage.erase += rect;
    }
    UpdateClient(rect);
}

void RequestRepaintAll() {
    RequestRepaint({0, 0, ClientWidth, ClientHeight}, true);
}

void RedrawStatusLine() {
    AskSurfaceWork(SURFACE_STATUS_LINE);
}

void ReturnFocusToWindow() {
    RunOnGuiThread(
        [] {
            if (GuiClient() == nullptr)
                return;
            GuiClient()->setFocus(Qt::OtherFocusReason);
            RedrawStatusLine();
        },
        false);
}

int ChooseFile(const FileBox& box, std::string_view folder, std::string_view name, char* path,
               size_t size) {
    if (size == 0)
        return 0;
    std::memset(path, '\0', size);
    QFileDialog dialog(GuiWindow(), QString::fromLatin1(box.title));
    dialog.setNameFilter(QtFilter(box.filter));
    dialog.setDefaultSuffix(QString::fromLatin1(box.extension));
    // The folder given, or the home folder: the program's own folder is no place for the user's
    // files on Linux.
    dialog.setDirectory(folder.empty() ? QDir::homePath()
                                       : QString::fromLocal8Bit(
                                             folder.data(), static_cast<qsizetype>(folder.size())));
    if (box.kind == FILE_BOX_SAVE) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.selectFile(QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return 0;
    QByteArray chosen = dialog.selectedFiles().first().toLocal8Bit();
    if (static_cast<size_t>(chosen.size()) >= size)
        return 0;
    std::memcpy(path, chosen.constData(), static_cast<size_t>(chosen.size()));
    return 1;
}

void BeepRefusedInput() {
    BeepCount.fetch_add(1, std::memory_order_relaxed);
    RunOnGuiThread([] { QApplication::beep(); }, false);
}

int32_t RefusedInputBeeps() {
    return BeepCount.load(std::memory_order_relaxed);
}

void KeepSystemAwake() {
    InhibitSleep();
}

void ReleaseSystemAwake() {
    EndSleepInhibit();
}
