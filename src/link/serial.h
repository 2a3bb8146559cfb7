// Serial port seam: one implementation per platform, picked at link time. Only the
// comm thread calls these, but for SerialReleaseExclusive. Open steps return 1 for success and 0
// for failure.
#pragma once

#include <cstddef>
#include <cstdint>

// Builds the device path for a port name ("\\.\COM3" on Windows, the path itself on
// POSIX). Returns -1, leaving path empty, when the result would not fit.
int SerialMakePath(const char* name, char* path, size_t size);

bool SerialIsOpen();
int SerialOpen(const char* path); // exclusive, read/write, existing device
int SerialSetEventMask();         // no events monitored
int SerialSetTimeouts();          // reads return at once with what is there
int SerialConfigureLine();        // 57600 8N1, binary, no flow control, DTR and RTS on
int SerialSetQueues(int in, int out);
void SerialClose();
// Gives up the port's exclusive mode where this program set it: on a terminal it outlives the
// process, and would keep every later program of a normal user out. SerialClose does it; a
// program ended by a signal or by exit calls it itself, so it is safe in a signal handler.
void SerialReleaseExclusive();

// Reads up to size bytes that have already arrived: the count (0 when nothing came), or
// -1 on an error. Writes all bytes: 0, or -1 on an error.
int SerialRead(uint8_t* buffer, int size);
int SerialWrite(const uint8_t* bytes, int length);

// Blocks the comm thread until bytes may have arrived on the open port, SerialWake is
// called, or timeoutMs passes; with the port closed only a wake or the time-out ends it.
void SerialWait(int timeoutMs);
// Ends a SerialWait from another thread: a frame to send, a port request, a stop.
// Touches no port state, so any thread may call it.
void SerialWake();

// Why the latest SerialOpen failed, so that a tool can say more than "cannot open";
// SERIAL_OPEN_OK after a success. Any thread may ask.
enum SerialOpenFailure : int32_t {
    SERIAL_OPEN_OK = 0,
    SERIAL_OPEN_MISSING = 1, // no such port
    SERIAL_OPEN_BUSY = 2,    // another program has it open
    SERIAL_OPEN_DENIED = 3,  // no permission to open it
    SERIAL_OPEN_OTHER = 4,
    SERIAL_OPEN_NOT_TERMINAL = 5, // opened, but not a serial terminal (a file, /dev/null)
    SERIAL_OPEN_DIRECTORY = 6,    // a folder, not a port
};
int SerialLastOpenFailure();

// 1 when the adapter was switched to low-latency mode on open (an FTDI chip otherwise holds
// received bytes up to 16 ms before passing them on), else 0.
int SerialLowLatency();
