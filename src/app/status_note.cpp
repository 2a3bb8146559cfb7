// The status line's note. The line is drawn by whichever thread changes it, so the message is
// kept under a lock.
#include "app/status_note.h"

#include "app/shell.h"
#include "display/live_record.h"
#include "display/status_line.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"
#include "link/serial.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {
std::mutex MessageLock;
std::array<char, 72> Message{};
// The port's opening that a message of the unit belongs to; NO_OPENING for any other message.
constexpr int64_t NO_OPENING = -1;
int64_t MessageOpening = NO_OPENING;
constexpr size_t NOTE_SIZE = 80;

void SetMessage(std::string_view message, int64_t opening) {
    {
        std::lock_guard<std::mutex> hold(MessageLock);
        Message.fill('\0');
        message.copy(Message.data(), Message.size() - 1);
        MessageOpening = opening;
    }
    RedrawStatusLine();
}

// "what at 23:14:05", the time of day now.
std::array<char, 72> StampedLine(std::string_view what) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (const std::tm* found = std::localtime(&now); found != nullptr)
        local = *found;
    std::array<char, 72> line{};
    std::snprintf(line.data(), line.size(), "%.*s at %02d:%02d:%02d",
                  static_cast<int>(std::min<size_t>(what.size(), 56)), what.data(), local.tm_hour,
                  local.tm_min, local.tm_sec);
    return line;
}
} // namespace

void FormatStatusNote(char* text, size_t size) {
    if (size == 0)
        return;
    text[0] = '\0';
    // A unit left mid-job comes before all else: nothing else it does works until it is finished.
    UnfinishedJob job = FindUnfinishedJob();
    if (job != JOB_NONE) {
        std::string_view status = JobStatusText(job);
        std::snprintf(text, size, " %.*s", static_cast<int>(status.size()), status.data());
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
    if (MessageOpening != NO_OPENING &&
        MessageOpening != PortOpenings.load(std::memory_order_acquire))
        Message.fill('\0');
    if (Message[0] != '\0')
        std::snprintf(text, size, "  %s", Message.data());
}

void DrawStatusNoteLine(Canvas* canvas) {
    std::array<char, NOTE_SIZE> note{};
    FormatStatusNote(note.data(), note.size());
    DrawStatusLine(canvas, std::string_view(note.data(), strnlen(note.data(), note.size())));
}

void ResetStatusNote() {
    std::lock_guard<std::mutex> hold(MessageLock);
    Message.fill('\0');
    MessageOpening = NO_OPENING;
}

void ResetStatusMessage() {
    SetMessage("", NO_OPENING);
}

void ShowStatusMessage(std::string_view message) {
    SetMessage(message, NO_OPENING);
}

void ShowStatusMessageAt(std::string_view what) {
    SetMessage(StampedLine(what).data(), NO_OPENING);
}

void ShowUnitStatusMessageAt(std::string_view what) {
    SetMessage(StampedLine(what).data(), PortOpenings.load(std::memory_order_acquire));
}
