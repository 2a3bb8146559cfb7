// Windows finds the unit in the FTDI driver's registry entries (find_port.cpp).
#include "discovery/discovery.h"

int FindAttachedUnit(char* name, size_t capacity) {
    return FindRegistryUnit(name, capacity);
}

int ListPortCandidates(PortCandidate* list, int capacity) {
    return ListRegistryCandidates(list, capacity);
}

const char* DescribeFoundPort(const char*) {
    return "found by the registry search (the FTDI driver's entries)";
}

int ReadAdapterLatencyTimer(const PortCandidate& adapter, int32_t& milliseconds) {
    return ReadFtdiLatencyTimer(adapter.location.data(), milliseconds);
}
