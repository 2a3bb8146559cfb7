// The benchmark's utility that serves the port as shipped, waiting on events: the shipped
// write, noted first.
#include "bench_win32.h"
#include "link/serial_win32.h"

bool BenchPolling() {
    return false;
}

int SerialWrite(const uint8_t* bytes, int length) {
    if (length >= 2)
        BenchNote('S', bytes[0], bytes[1]);
    return SerialWriteOverlapped(bytes, length);
}
