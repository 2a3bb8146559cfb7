// The Windows serial backend's own additions to the seam, shared by its files.
#pragma once

#include "link/serial.h"

#include <windows.h>

// The open port's handle (INVALID_HANDLE_VALUE when closed): a test reads back the settings.
HANDLE SerialHandle();

// Opens the port with the given attributes (exclusive, read/write, existing device) and keeps
// why it failed for SerialLastOpenFailure: 1 or 0. Closing makes the handle invalid.
int SerialOpenHandle(const char* path, DWORD flags);
void SerialCloseHandle();
// Set by SerialWake; every wait of the comm thread includes it.
HANDLE SerialWakeEvent();
// Writes all bytes through overlapped writes on a port opened for them: 0, or -1.
int SerialWriteOverlapped(const uint8_t* bytes, int length);
