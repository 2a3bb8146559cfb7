// Serial port on Windows through the file interface: the device "\\.\COMn", its line settings
// in the DCB, the driver queues, and the wake event. How the port is read, written and waited
// on is serial_wait_win32.cpp (the waits on events) and serial_write_win32.cpp.
#include "link/serial_win32.h"

#include <atomic>
#include <cstring>

namespace {
HANDLE PortHandle = INVALID_HANDLE_VALUE;
constexpr char DEVICE_PREFIX[] = "\\\\.\\";
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

HANDLE SerialWakeEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

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

int SerialOpenHandle(const char* path, DWORD flags) {
    HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        LastOpenFailure.store(OpenFailureOf(GetLastError()), std::memory_order_release);
        return 0;
    }
    PortHandle = handle;
    LastOpenFailure.store(SERIAL_OPEN_OK, std::memory_order_release);
    return 1;
}

// A handle's exclusive access ends with the handle, and the system closes it with the process.
void SerialReleaseExclusive() {}

void SerialCloseHandle() {
    if (PortHandle != INVALID_HANDLE_VALUE)
        CloseHandle(PortHandle);
    PortHandle = INVALID_HANDLE_VALUE;
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

void SerialWake() {
    SetEvent(SerialWakeEvent());
}
