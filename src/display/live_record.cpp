// The recorder: a live stream listener that formats each row with the stream's row writer into
// a fixed buffer and writes the buffer out in one unbuffered write when a second has passed or
// the next row would not fit. A lock keeps the decoding thread and the front end's timer and
// stop from writing at once; it is held for at most one write.
#include "display/live_record.h"

#include "display/live_stream.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
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
constexpr size_t REASON_SIZE = 160;

std::mutex RecordLock;
std::FILE* RecordFile = nullptr;
std::array<char, RECORD_BUFFER_SIZE> RecordBuffer;
size_t RecordLength = 0;
Clock::time_point RecordStart;
Clock::time_point LastWrite;
std::atomic<int32_t> State{RECORD_IDLE};
std::atomic<long> Rows{0};
std::atomic<int64_t> StartNanoseconds{0};
std::array<char, RECORD_PATH_SIZE> Path{};
std::array<char, REASON_SIZE> Reason{};

void KeepReason(int error) {
    Reason.fill('\0');
    std::snprintf(Reason.data(), Reason.size(), "%s",
                  error != 0 ? std::strerror(error) : "the file could not be written");
}

// Ends the recording after a failed write or close; the lock is held.
void FailRecording(int error) {
    KeepReason(error);
    if (RecordFile != nullptr)
        std::fclose(RecordFile);
    RecordFile = nullptr;
    RecordLength = 0;
    State.store(RECORD_FAILED, std::memory_order_release);
}

// One write of the buffer; the lock is held. 0, or -1 after the recording has ended.
int WriteOut(Clock::time_point now) {
    LastWrite = now;
    if (RecordLength == 0)
        return 0;
    errno = 0;
    size_t written = std::fwrite(RecordBuffer.data(), 1, RecordLength, RecordFile);
    if (written != RecordLength) {
        FailRecording(errno);
        return -1;
    }
    RecordLength = 0;
    return 0;
}

void RecordLiveSample(const LiveSample& sample) {
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile == nullptr)
        return; // stopped while this frame was being handed out
    Clock::time_point now = Clock::now();
    LiveCsvRow row;
    size_t length =
        FormatLiveCsvRow(row, std::chrono::duration<double>(now - RecordStart).count(), sample);
    bool full = RecordLength + length > RecordBuffer.size();
    if (full && WriteOut(now) != 0)
        return;
    std::memcpy(RecordBuffer.data() + RecordLength, row.data(), length);
    RecordLength += length;
    Rows.store(Rows.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    if (!full && now - LastWrite >= WRITE_INTERVAL)
        WriteOut(now);
}

} // namespace

int StartRecording(std::string_view path) {
    StopRecording();
    std::lock_guard<std::mutex> hold(RecordLock);
    Path.fill('\0');
    std::memcpy(Path.data(), path.data(), std::min(path.size(), Path.size() - 1));
    errno = 0;
    std::FILE* file = std::fopen(Path.data(), "w");
    // Unbuffered: each write out is the one write of the whole buffer, and nothing waits in
    // the library's own buffer when the process is killed.
    if (file == nullptr || std::setvbuf(file, nullptr, _IONBF, 0) != 0 ||
        std::fwrite(LIVE_CSV_HEADER.data(), 1, LIVE_CSV_HEADER.size(), file) !=
            LIVE_CSV_HEADER.size()) {
        int error = errno;
        if (file != nullptr)
            std::fclose(file);
        KeepReason(error);
        State.store(RECORD_FAILED, std::memory_order_release);
        return -1;
    }
    RecordFile = file;
    RecordLength = 0;
    RecordStart = Clock::now();
    LastWrite = RecordStart;
    StartNanoseconds.store(
        std::chrono::duration_cast<std::chrono::nanoseconds>(RecordStart.time_since_epoch())
            .count(),
        std::memory_order_release);
    Rows.store(0, std::memory_order_release);
    Reason.fill('\0');
    State.store(RECORD_RUNNING, std::memory_order_release);
    AddLiveListener(RecordLiveSample);
    return 0;
}

int StopRecording() {
    RemoveLiveListener(RecordLiveSample);
    std::lock_guard<std::mutex> hold(RecordLock);
    if (RecordFile == nullptr) {
        // A failure has been seen by whoever stops: the reason stays for it to show.
        State.store(RECORD_IDLE, std::memory_order_release);
        return 0;
    }
    if (WriteOut(Clock::now()) != 0)
        return -1;
    errno = 0;
    if (std::fclose(RecordFile) != 0) {
        RecordFile = nullptr;
        FailRecording(errno);
        return -1;
    }
    RecordFile = nullptr;
    State.store(RECORD_IDLE, std::memory_order_release);
    return 0;
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

std::string_view RecordPath() {
    return std::string_view(Path.data(), strnlen(Path.data(), Path.size()));
}

std::string_view RecordFailure() {
    return std::string_view(Reason.data(), strnlen(Reason.data(), Reason.size()));
}
