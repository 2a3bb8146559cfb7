// SerialWrite of the Windows utility, alone in its file: the benchmark links one of its own
// that notes each frame before it writes it (bench/).
#include "link/serial_win32.h"

int SerialWrite(const uint8_t* bytes, int length) {
    return SerialWriteOverlapped(bytes, length);
}
