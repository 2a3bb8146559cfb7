// Serial port on Windows through the file interface: the device "\\.\COMn" opened for
// overlapped I/O, line settings in the DCB, driver queues. While the port is open the comm
// thread keeps a one-byte read pending and waits on its event and on the wake event, so it
// runs only when a byte has come or another thread has work for it.
#include "link/serial_win32.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {
HANDLE PortHandle = INVALID_HANDLE_VALUE;
// The waiting read: one byte, so that it completes on the first byte on Windows and under Wine
// alike (Wine 8 completes a longer overlapped read only when its buffer is full, whatever the
// time-outs say). The rest of what has come is then read as the driver's queue reports it.
OVERLAPPED PendingRead{};
uint8_t PendingByte = 0;
bool ReadPending = false;
// The waiting read could not start: the next SerialRead reports the error.
bool ReadFailed = false;
// The last SerialRead took all that the driver held: the next one, which the comm thread makes
// before it waits, returns 0 without asking the driver again; SerialWait asks.
bool Drained = false;
// A read that finds a byte waiting returns it; one that finds none waits at most this long on
// Windows (Wine lets it wait until a byte comes; the comm thread's own wait is bounded anyway).
constexpr DWORD READ_WAIT_MS = 100;

HANDLE WakeEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}
// Overlapped requests want manual-reset events; ReadFile and WriteFile reset them.
HANDLE ReadEvent() {
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}
HANDLE TransferEvent() {
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Exists for scripts/bench only: MQ6WB_BENCH_POLLING set at start-up brings back reads that
// return at once and a look at the port every millisecond, for comparison with the waits.
bool Polling() {
    static const bool polling = std::getenv("MQ6WB_BENCH_POLLING") != nullptr;
    return polling;
}
constexpr char DEVICE_PREFIX[] = "\\\\.\\";
} // namespace

int SerialMakePath(const char* name, char* path, size_t size) {
    // "\\.\" and a name of at most 15 characters fill the 20-character device path.
    constexpr size_t WINDOWS_PATH_SIZE = 20;
    size_t limit = size < WINDOWS_PATH_SIZE ? size : WINDOWS_PATH_SIZE;
    size_t prefix = sizeof DEVICE_PREFIX - 1;
    size_t length = strnlen(name, limit);
    if (length == 0 || prefix + length >= limit) {
        if (size > 0)
            path[0] = '\0';
        return -1;
    }
    std::memcpy(path, DEVICE_PREFIX, prefix);
    std::memcpy(path + prefix, name, length + 1);
    return 0;
}

bool SerialIsOpen() {
    return PortHandle != INVALID_HANDLE_VALUE;
}

namespace {
std::atomic<int32_t> LastOpenFailure{SERIAL_OPEN_OK};

// A COM port that another program holds answers "access denied".
int32_t OpenFailureOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return SERIAL_OPEN_BUSY;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return SERIAL_OPEN_MISSING;
    default:
        return SERIAL_OPEN_OTHER;
    }
}
} // namespace

int SerialOpen(const char* path) {
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                Polling() ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        LastOpenFailure.store(OpenFailureOf(GetLastError()), std::memory_order_release);
        return 0;
    }
    PortHandle = handle;
    LastOpenFailure.store(SERIAL_OPEN_OK, std::memory_order_release);
    return 1;
}

int SerialLastOpenFailure() {
    return LastOpenFailure.load(std::memory_order_acquire);
}

// The latency timer of an FTDI adapter is a driver setting on Windows (Device Manager,
// Port Settings, Advanced); the program does not change it.
int SerialLowLatency() {
    return 0;
}

int SerialSetEventMask() {
    return SetCommMask(PortHandle, 0) ? 1 : 0;
}

int SerialSetTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = Polling() ? 0 : MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = Polling() ? 0 : READ_WAIT_MS;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(PortHandle, &timeouts) ? 1 : 0;
}

int SerialConfigureLine() {
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(PortHandle, &line))
        return 0;
    line.BaudRate = 57600;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.fParity = FALSE;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fTXContinueOnXoff = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    line.XonLim = 0;
    line.XoffLim = 0;
    line.XonChar = 0;
    line.XoffChar = 0;
    line.EvtChar = 0;
    return SetCommState(PortHandle, &line) ? 1 : 0;
}

int SerialSetQueues(int in, int out) {
    return SetupComm(PortHandle, static_cast<DWORD>(in), static_cast<DWORD>(out)) ? 1 : 0;
}

HANDLE SerialHandle() {
    return PortHandle;
}

namespace {
// One overlapped transfer carried to its end; false on an error.
bool Transfer(BOOL started, OVERLAPPED& overlapped, DWORD& count) {
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(PortHandle, &overlapped, &count, TRUE) != 0;
}

// Reads what the driver holds already, so that the read completes at once.
bool ReadQueued(uint8_t* buffer, DWORD size, DWORD& count) {
    count = 0;
    if (Polling())
        return ReadFile(PortHandle, buffer, size, &count, nullptr) != 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(PortHandle, &errors, &status))
        return false;
    DWORD want = status.cbInQue < size ? status.cbInQue : size;
    if (want == 0)
        return true;
    OVERLAPPED overlapped{};
    overlapped.hEvent = TransferEvent();
    return Transfer(ReadFile(PortHandle, buffer, want, nullptr, &overlapped), overlapped, count);
}

// Starts the waiting read unless one is pending; false on an error.
bool StartPendingRead() {
    if (ReadPending)
        return true;
    PendingRead = OVERLAPPED{};
    PendingRead.hEvent = ReadEvent();
    if (!ReadFile(PortHandle, &PendingByte, 1, nullptr, &PendingRead) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    ReadPending = true;
    return true;
}

// Ends the waiting read before its byte or the handle goes.
void EndPendingRead() {
    if (!ReadPending)
        return;
    DWORD count = 0;
    CancelIoEx(PortHandle, &PendingRead);
    GetOverlappedResult(PortHandle, &PendingRead, &count, TRUE);
    ReadPending = false;
}
} // namespace

void SerialClose() {
    if (PortHandle != INVALID_HANDLE_VALUE) {
        EndPendingRead();
        CloseHandle(PortHandle);
        ReadFailed = false;
        Drained = false;
    }
    PortHandle = INVALID_HANDLE_VALUE;
}

int SerialRead(uint8_t* buffer, int size) {
    if (ReadFailed) {
        ReadFailed = false;
        return -1;
    }
    if (size <= 0)
        return 0;
    DWORD count = 0;
    if (!ReadPending && Drained) {
        Drained = false;
        return 0;
    }
    if (ReadPending) {
        // Nothing may be read past the waiting read: its byte comes first.
        if (!GetOverlappedResult(PortHandle, &PendingRead, &count, FALSE))
            return GetLastError() == ERROR_IO_INCOMPLETE ? 0 : -1;
        ReadPending = false;
        if (count == 1)
            buffer[0] = PendingByte;
    }
    DWORD more = 0;
    DWORD wanted = static_cast<DWORD>(size) - count;
    if (!ReadQueued(buffer + count, wanted, more))
        return -1;
    Drained = !Polling() && count + more > 0 && more < wanted;
    return static_cast<int>(count + more);
}

int SerialWrite(const uint8_t* bytes, int length) {
    if (length >= 2 && SerialBenchLogging())
        SerialBenchNote('S', bytes[0], bytes[1]);
    DWORD done = 0;
    while (done < static_cast<DWORD>(length)) {
        DWORD count = 0;
        DWORD left = static_cast<DWORD>(length) - done;
        bool written;
        if (Polling()) {
            written = WriteFile(PortHandle, bytes + done, left, &count, nullptr) != 0;
        } else {
            OVERLAPPED overlapped{};
            overlapped.hEvent = TransferEvent();
            written = Transfer(WriteFile(PortHandle, bytes + done, left, nullptr, &overlapped),
                               overlapped, count);
        }
        if (!written || count == 0)
            return -1;
        done += count;
    }
    return 0;
}

void SerialWait(int timeoutMs) {
    DWORD wait = static_cast<DWORD>(timeoutMs);
    if (PortHandle == INVALID_HANDLE_VALUE || Polling()) {
        constexpr DWORD POLL_MS = 1;
        if (PortHandle != INVALID_HANDLE_VALUE && wait > POLL_MS)
            wait = POLL_MS;
        WaitForSingleObject(WakeEvent(), wait);
        return;
    }
    if (!ReadPending) {
        // Bytes that came since the last read are read at once. Wine completes a one-byte
        // read started on bytes already queued through the same wake-up as one that waits for
        // a byte: 0.2 to 0.7 ms later, under load once 12 ms.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(PortHandle, &errors, &status)) {
            ReadFailed = true;
            return;
        }
        if (status.cbInQue > 0)
            return;
    }
    if (!StartPendingRead()) {
        ReadFailed = true;
        return;
    }
    const HANDLE events[2] = {ReadEvent(), WakeEvent()};
    WaitForMultipleObjects(2, events, FALSE, wait);
}

void SerialWake() {
    SetEvent(WakeEvent());
}

namespace {
HANDLE BenchLog() {
    static const HANDLE log = [] {
        const char* path = std::getenv("MQ6WB_BENCH_LOG");
        if (path == nullptr)
            return INVALID_HANDLE_VALUE;
        return CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }();
    return log;
}
std::mutex BenchLogLock;
} // namespace

bool SerialBenchLogging() {
    return BenchLog() != INVALID_HANDLE_VALUE;
}

void SerialBenchNote(char kind, int a, int b) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
    constexpr unsigned long long EPOCH_1970 = 116444736000000000ULL;
    unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    std::array<char, 64> line;
    int length = std::snprintf(line.data(), line.size(), "%c %llu %d %d\n", kind,
                               (ticks - EPOCH_1970) * 100, a, b);
    if (length <= 0 || !SerialBenchLogging())
        return;
    std::lock_guard<std::mutex> hold(BenchLogLock);
    DWORD written = 0;
    WriteFile(BenchLog(), line.data(), static_cast<DWORD>(length), &written, nullptr);
}
