// The recorder: a live stream listener that formats each row with the stream's row writer into
// the file's buffer, a fixed one of its own, and writes the buffer out in one flush when a
// second has passed (the library writes it out by itself when the next row would not fit). A
// lock keeps the decoding thread and the front end's timer and stop from writing at once; it
// is held for at most one write.
#include "display/live_record.h"

#include "display/csv_file.h"
#include "display/live_stream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto WRITE_INTERVAL = std::chrono::seconds(1);
// Room for more than a second of rows at the fastest the link can carry frames (57600 baud,
// 9 bytes a frame: 640 rows of up to 40 characters).
constexpr size_t RECORD_BUFFER_SIZE = 32768;

std::mutex RecordLock;
std::FILE* RecordFile = nullptr;
std::array<char, RECORD_BUFFER_SIZE> RecordBuffer;
Clock::time_point RecordStart;
Clock::time_point LastWrite;
std::atomic<int32_t> State{RECORD_IDLE};
std::atomic<long> Rows{0};
std::atomic<int64_t> StartNanoseconds{0};
std::atomic<int> LastMark{0};
std::atomic<int> PendingMark{0}; // the marker the next row carries
std::array<char, RECORD_PATH_SIZE> Path{};
FileReason Reason{};

// A failure the system gave no reason for still has one.
void KeepReason(const FileReason& reason) {
    Reason = reason;
    if (Reason[0] == '\0')
        std::snprintf(Reason.data(), Reason.size(), "%s", "the file could not be written");
}

// Ends the recording after a failed write or close; the lock is held.
void FailRecording(const FileReason& reason) {
    KeepReason(reason);
    FileReason ignored;
    if (RecordFile != nullptr)
        CloseCsvFile(RecordFile, ignored);
    RecordFile = nullptr;
    State.store(RECORD_FAILED, std::memory_order_release);
}

// One write of the buffered rows; the lock is held. 0, or -1 after the recording has ended.
int WriteOut(Clock::time_point now) {
    LastWrite = now;
    FileReason reason;
    if (FlushCsvFile(RecordFile, reason) != 0) {
        FailRecording(reason);
        return -1;
    }
    return 0;
}

void RecordLiveSample(const LiveSample& sample) {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile == nullptr)
        return; // stopped while this frame was being handed out
    Clock::time_point now = Clock::now();
    LiveCsvRow row;
    size_t length = FormatLiveCsvRow(row, std::chrono::duration<double>(now - RecordStart).count(),
                                     sample, PendingMark.exchange(0, std::memory_order_acq_rel));
    FileReason reason;
    if (WriteCsvFile(RecordFile, std::string_view(row.data(), length), reason) != 0) {
        FailRecording(reason);
        return;
    }
    Rows.store(Rows.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    if (now - LastWrite >= WRITE_INTERVAL)
        WriteOut(now);
}

} // namespace

int StartRecording(std::string_view path) {
    StopRecording();
    std::lock_guard<std::mutex> hold(RecordLock);
    Path.fill('\0');
    std::memcpy(Path.data(), path.data(), std::min(path.size(), Path.size() - 1));
    // A name cut to fit would name another file.
    FileReason reason;
    std::FILE* file = nullptr;
    if (path.size() >= Path.size())
        KeepNameTooLong(reason);
    else
        file = CreateCsvFile(Path.data(), RecordBuffer.data(), RecordBuffer.size(), reason);
    // The header goes out at once: the file is a CSV file from the start.
    if (file == nullptr || WriteCsvFile(file, LIVE_CSV_HEADER, reason) != 0 ||
        FlushCsvFile(file, reason) != 0) {
        FileReason ignored;
        if (file != nullptr)
            CloseCsvFile(file, ignored);
        KeepReason(reason);
        State.store(RECORD_FAILED, std::memory_order_release);
        return -1;
    }
    RecordFile = file;
    RecordStart = Clock::now();
    LastWrite = RecordStart;
    StartNanoseconds.store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(RecordStart.time_since_epoch())
            .count(),
        std::memory_order_release);
    Rows.store(0, std::memory_order_release);
    LastMark.store(0, std::memory_order_release);
    PendingMark.store(0, std::memory_order_release);
    Reason.fill('\0');
    State.store(RECORD_RUNNING, std::memory_order_release);
    AddLiveListener(RecordLiveSample);
    return 0;
}

int StopRecording() {
    RemoveLiveListener(RecordLiveSample);
    std::lock_guard<std::mutex> hold(RecordLock);
    // A failure seen before, or here, leaves its reason for the caller to show.
    int result = 0;
    if (RecordFile != nullptr && WriteOut(Clock::now()) != 0) {
        result = -1;
    } else if (RecordFile != nullptr) {
        FileReason reason;
        if (CloseCsvFile(RecordFile, reason) != 0) {
            RecordFile = nullptr;
            FailRecording(reason);
            result = -1;
        }
    }
    RecordFile = nullptr;
    State.store(RECORD_IDLE, std::memory_order_release);
    return result;
}

int32_t KeepRecording() {
    std::lock_guard<std::mutex> hold(RecordLock);
    Clock::time_point now = Clock::now();
    if (RecordFile != nullptr && now - LastWrite >= WRITE_INTERVAL)
        WriteOut(now);
    return State.load(std::memory_order_acquire);
}

int32_t RecordState() {
    return State.load(std::memory_order_acquire);
}

int AddRecordMark() {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile == nullptr)
        return -1;
    // A second mark before the next frame is the same marker.
    int mark = PendingMark.load(std::memory_order_acquire);
    if (mark != 0)
        return mark;
    mark = LastMark.load(std::memory_order_acquire) + 1;
    LastMark.store(mark, std::memory_order_release);
    PendingMark.store(mark, std::memory_order_release);
    return mark;
}

int LastRecordMark() {
    return LastMark.load(std::memory_order_acquire);
}

long RecordedRows() {
    return Rows.load(std::memory_order_acquire);
}

double RecordedSeconds() {
    int64_t start = StartNanoseconds.load(std::memory_order_acquire);
    int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count();
    return static_cast<double>(now - start) * 1e-9;
}

void FormatRecordingNote(char* text, size_t size) {
    if (size == 0)
        return;
    text[0] = '\0';
    if (RecordState() != RECORD_RUNNING)
        return;
    long seconds = static_cast<long>(RecordedSeconds());
    int length = std::snprintf(text, size, "  Recording %ld:%02ld:%02ld, %ld rows", seconds / 3600,
                               seconds / 60 % 60, seconds % 60, RecordedRows());
    int mark = LastRecordMark();
    if (mark > 0 && length > 0 && static_cast<size_t>(length) < size)
        std::snprintf(text + length, size - static_cast<size_t>(length), ", marker %d", mark);
}

std::string_view RecordPath() {
    return std::string_view(Path.data(), strnlen(Path.data(), Path.size()));
}

std::string_view RecordFailure() {
    return std::string_view(Reason.data(), strnlen(Reason.data(), Reason.size()));
}
