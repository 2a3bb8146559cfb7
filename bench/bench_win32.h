// The Windows benchmark's utility: mq6wb.exe with a log of its own, in two builds that serve
// the port differently (bench/serial_waits_win32.cpp, bench/serial_polling_win32.cpp).
#pragma once

// With MQ6WB_BENCH_LOG naming a file, appends one line per event, "<kind> <nanoseconds since
// 1970 by the system clock> <a> <b>": each frame the comm thread starts to write ('S', class
// and subcommand) and each change of the live readouts on the window ('D', lambda and AFR).
// Without the variable it does nothing.
bool BenchLogging();
void BenchNote(char kind, int a, int b);

// True in the build that polls: reads that return at once, a look at the port every
// millisecond and a message loop that sleeps 1 ms per pass, as the utility once did.
bool BenchPolling();
