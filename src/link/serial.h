// Serial port seam: one implementation per platform, picked at link time. Only the
// comm thread calls these. Open steps return 1 for success and 0 for failure.
#pragma once

#include <cstddef>
#include <cstdint>

// Builds the device path for a port name ("\\.\COM3" on Windows, the path itself on
// POSIX). Returns -1, leaving path empty, when the result would not fit.
int SerialMakePath(const char* name, char* path, size_t size);

bool SerialIsOpen();
int SerialOpen(const char* path); // exclusive, read/write, existing device
int SerialSetEventMask();         // no events monitored
void SerialSetTimeouts();         // reads return at once with what is there
int SerialConfigureLine();        // 57600 8N1, binary, no flow control, DTR and RTS on
int SerialSetQueues(int in, int out);
void SerialClose();

// Reads up to size bytes that have already arrived: the count (0 when nothing came), or
// -1 on an error. Writes all bytes: 0, or -1 on an error.
int SerialRead(uint8_t* buffer, int size);
int SerialWrite(const uint8_t* bytes, int length);
