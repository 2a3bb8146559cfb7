// Windows finds the unit in the FTDI driver's registry entries (find_port.cpp).
#include "discovery/discovery.h"

int FindAttachedUnit(char* name, size_t capacity) {
    return FindRegistryUnit(name, capacity);
}

int ListPortCandidates(PortCandidate* list, int capacity) {
    return ListRegistryCandidates(list, capacity);
}
