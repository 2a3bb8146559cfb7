// What the status line says after the port's state: a unit left mid-job and what finishes it,
// the port being searched for or missing, the running recording, or the last job's end. The
// line is drawn by whichever thread changes it, so the note is kept under a lock.
#include "app/shell.h"

#include "display/canvas_gdi_win32.h"
#include "display/live_record.h"
#include "display/status_line.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"
#include "link/serial.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>

namespace {
std::mutex MessageLock;
std::array<char, 72> Message{};
} // namespace

void FormatStatusNote(char* text, size_t size) {
    if (size == 0)
        return;
    text[0] = '\0';
    // A unit left mid-job comes before all else: nothing else it does works until it is finished.
    UnfinishedJob job = FindUnfinishedJob();
    if (job != JOB_NONE && size > 1) {
        text[0] = ' ';
        FormatJobGuidance(job, text + 1, size - 1);
        return;
    }
    if (PortStatus.load(std::memory_order_acquire) == 0) {
        if (AutoPort.load(std::memory_order_acquire) != 0) {
            std::snprintf(text, size, " Searching for the MQ-6...");
            return;
        }
        if (SerialLastOpenFailure() == SERIAL_OPEN_MISSING) {
            std::array<char, PORT_NAME_SIZE> name = CopyPortName();
            std::snprintf(text, size, " %.40s does not exist", name.data());
            return;
        }
    }
    if (RecordState() == RECORD_RUNNING) {
        FormatRecordingNote(text, size);
        return;
    }
    std::lock_guard<std::mutex> hold(MessageLock);
    if (Message[0] != '\0')
        std::snprintf(text, size, "  %s", Message.data());
}

void ResetStatusNote() {
    std::lock_guard<std::mutex> hold(MessageLock);
    Message.fill('\0');
}

void RedrawStatusLine() {
    Canvas* canvas = CanvasOpenWindow();
    if (canvas == nullptr)
        return;
    DrawStatusLine(canvas);
    CanvasCloseWindow(canvas);
    RECT line = {0, ClientHeight - LineHeight, ClientWidth, ClientHeight};
    InvalidateRect(MainWindow, &line, FALSE);
}

void ShowStatusMessage(std::string_view message) {
    {
        std::lock_guard<std::mutex> hold(MessageLock);
        Message.fill('\0');
        message.copy(Message.data(), Message.size() - 1);
    }
    RedrawStatusLine();
}

void ShowStatusMessageAt(std::string_view what) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::array<char, 72> line{};
    std::snprintf(line.data(), line.size(), "%.*s at %02u:%02u:%02u",
                  static_cast<int>(std::min<size_t>(what.size(), 56)), what.data(), now.wHour,
                  now.wMinute, now.wSecond);
    ShowStatusMessage(line.data());
}
