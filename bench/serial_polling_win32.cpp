// The benchmark's utility that polls the port, as the utility once did: reads that return at
// once with what has come, a look at the port every millisecond, synchronous writes. These
// take the place of the shipped reads, waits and writes (src/link/serial_wait_win32.cpp).
#include "bench_win32.h"
#include "link/serial_win32.h"

bool BenchPolling() {
    return true;
}

int SerialOpen(const char* path) {
    return SerialOpenHandle(path, FILE_ATTRIBUTE_NORMAL);
}

int SerialSetTimeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return SetCommTimeouts(SerialHandle(), &timeouts) ? 1 : 0;
}

void SerialClose() {
    SerialCloseHandle();
}

int SerialRead(uint8_t* buffer, int size) {
    DWORD count = 0;
    if (size <= 0)
        return 0;
    return ReadFile(SerialHandle(), buffer, static_cast<DWORD>(size), &count, nullptr)
               ? static_cast<int>(count)
               : -1;
}

int SerialWrite(const uint8_t* bytes, int length) {
    if (length >= 2)
        BenchNote('S', bytes[0], bytes[1]);
    DWORD done = 0;
    while (done < static_cast<DWORD>(length)) {
        DWORD count = 0;
        if (!WriteFile(SerialHandle(), bytes + done, static_cast<DWORD>(length) - done, &count,
                       nullptr) ||
            count == 0)
            return -1;
        done += count;
    }
    return 0;
}

void SerialWait(int timeoutMs) {
    constexpr DWORD POLL_MS = 1;
    DWORD wait = static_cast<DWORD>(timeoutMs);
    if (SerialIsOpen() && wait > POLL_MS)
        wait = POLL_MS;
    WaitForSingleObject(SerialWakeEvent(), wait);
}
