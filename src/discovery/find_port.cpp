// The port the link should open. Until the unit is searched for, this is the named port.
#include "link/link.h"

#include <cstring>

int FindPort(char* buffer, size_t size) {
    size_t length = strnlen(PortName.data(), PortName.size());
    if (length == 0 || length >= size)
        return -1;
    std::memcpy(buffer, PortName.data(), length + 1);
    return 0;
}
