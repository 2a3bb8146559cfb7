// The Windows serial backend's own additions to the seam.
#pragma once

#include "link/serial.h"

#include <windows.h>

// The open port's handle (INVALID_HANDLE_VALUE when closed): a test reads back the settings.
HANDLE SerialHandle();

// Exists for scripts/bench only: with MQ6WB_BENCH_LOG naming a file, appends one line per
// event, "<kind> <nanoseconds since 1970 by the system clock> <a> <b>". The comm thread notes
// each frame it starts to write ('S', class and subcommand); the front end notes each change
// of the live readouts ('D'). Without the variable it does nothing.
bool SerialBenchLogging();
void SerialBenchNote(char kind, int a, int b);
