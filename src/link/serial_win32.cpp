// Serial port on Windows through the file interface: the device "\\.\COMn", line
// settings in the DCB, time-outs that make a read return at once, driver queues.
#include "link/serial.h"

#include <atomic>
#include <cstring>
#include <windows.h>

namespace {
HANDLE PortHandle = INVALID_HANDLE_VALUE;
// Reads return at once, so an open port is looked at again every millisecond; the wake
// event cuts that short for frames to send and port requests.
constexpr DWORD OPEN_PORT_WAIT_MS = 1;

HANDLE WakeEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
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
                                FILE_ATTRIBUTE_NORMAL, nullptr);
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
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
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

void SerialClose() {
    if (PortHandle != INVALID_HANDLE_VALUE)
        CloseHandle(PortHandle);
    PortHandle = INVALID_HANDLE_VALUE;
}

int SerialRead(uint8_t* buffer, int size) {
    DWORD count = 0;
    if (!ReadFile(PortHandle, buffer, static_cast<DWORD>(size), &count, nullptr))
        return -1;
    return static_cast<int>(count);
}

int SerialWrite(const uint8_t* bytes, int length) {
    DWORD done = 0;
    while (done < static_cast<DWORD>(length)) {
        DWORD count = 0;
        if (!WriteFile(PortHandle, bytes + done, static_cast<DWORD>(length) - done, &count,
                       nullptr))
            return -1;
        if (count == 0)
            return -1;
        done += count;
    }
    return 0;
}

void SerialWait(int timeoutMs) {
    DWORD wait = static_cast<DWORD>(timeoutMs);
    if (PortHandle != INVALID_HANDLE_VALUE && wait > OPEN_PORT_WAIT_MS)
        wait = OPEN_PORT_WAIT_MS;
    WaitForSingleObject(WakeEvent(), wait);
}

void SerialWake() {
    SetEvent(WakeEvent());
}
