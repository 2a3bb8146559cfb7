// The Windows serial port's reads, waits and writes: the port is opened for overlapped I/O,
// and while it is open the comm thread keeps a one-byte read pending and waits on its event
// and on the wake event, so it runs only when a byte has come or another thread has work
// for it.
#include "link/serial_win32.h"

namespace {
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

// Overlapped requests want manual-reset events; ReadFile and WriteFile reset them.
HANDLE ReadEvent() {
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}
HANDLE TransferEvent() {
    static const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// One overlapped transfer carried to its end; false on an error.
bool Transfer(BOOL started, OVERLAPPED& overlapped, DWORD& count) {
    if (!started && GetLastError() != ERROR_IO_PENDING)
        return false;
    return GetOverlappedResult(SerialHandle(), &overlapped, &count, TRUE) != 0;
}

// Reads what the driver holds already, so that the read completes at once.
bool ReadQueued(uint8_t* buffer, DWORD size, DWORD& count) {
    count = 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(SerialHandle(), &errors, &status))
        return false;
    DWORD want = status.cbInQue < size ? status.cbInQue : size;
    if (want == 0)
        return true;
    OVERLAPPED overlapped{};
    overlapped.hEvent = TransferEvent();
    return Transfer(ReadFile(SerialHandle(), buffer, want, nullptr, &overlapped), overlapped,
                    count);
}

// Starts the waiting read unless one is pending; false on an error.
bool StartPendingRead() {
    if (ReadPending)
        return true;
    PendingRead = OVERLAPPED{};
    PendingRead.hEvent = ReadEvent();
    if (!ReadFile(SerialHandle(), &PendingByte, 1, nullptr, &PendingRead) &&
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
    CancelIoEx(SerialHandle(), &PendingRead);
    GetOverlappedResult(SerialHandle(), &PendingRead, &count, TRUE);
    ReadPending = false;
}
} // namespace

int SerialOpen(const char* path) {
    return SerialOpenHandle(path, FILE_FLAG_OVERLAPPED);
}

int SerialSetTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = READ_WAIT_MS;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(SerialHandle(), &timeouts) ? 1 : 0;
}

void SerialClose() {
    if (SerialIsOpen()) {
        EndPendingRead();
        ReadFailed = false;
        Drained = false;
    }
    SerialCloseHandle();
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
        if (!GetOverlappedResult(SerialHandle(), &PendingRead, &count, FALSE))
            return GetLastError() == ERROR_IO_INCOMPLETE ? 0 : -1;
        ReadPending = false;
        if (count == 1)
            buffer[0] = PendingByte;
    }
    DWORD more = 0;
    DWORD wanted = static_cast<DWORD>(size) - count;
    if (!ReadQueued(buffer + count, wanted, more))
        return -1;
    Drained = count + more > 0 && more < wanted;
    return static_cast<int>(count + more);
}

int SerialWriteOverlapped(const uint8_t* bytes, int length) {
    DWORD done = 0;
    while (done < static_cast<DWORD>(length)) {
        DWORD count = 0;
        DWORD left = static_cast<DWORD>(length) - done;
        OVERLAPPED overlapped{};
        overlapped.hEvent = TransferEvent();
        if (!Transfer(WriteFile(SerialHandle(), bytes + done, left, nullptr, &overlapped),
                      overlapped, count) ||
            count == 0)
            return -1;
        done += count;
    }
    return 0;
}

void SerialWait(int timeoutMs) {
    DWORD wait = static_cast<DWORD>(timeoutMs);
    if (!SerialIsOpen()) {
        WaitForSingleObject(SerialWakeEvent(), wait);
        return;
    }
    if (!ReadPending) {
        // Bytes that came since the last read are read at once. Wine completes a one-byte
        // read started on bytes already queued through the same wake-up as one that waits for
        // a byte: 0.2 to 0.7 ms later, under load once 12 ms.
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(SerialHandle(), &errors, &status)) {
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
    const HANDLE events[2] = {ReadEvent(), SerialWakeEvent()};
    WaitForMultipleObjects(2, events, FALSE, wait);
}
