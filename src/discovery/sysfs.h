// Finding the unit on Linux: the FTDI adapters among the USB devices in sysfs, and the
// stable names udev gives their terminals. The roots are parameters so that tests can point
// the search at trees of their own.
#pragma once

#include "discovery/discovery.h"

#include <cstddef>

constexpr char SYSFS_ROOT[] = "/sys";
constexpr char SERIAL_BY_ID_DIR[] = "/dev/serial/by-id";
// The link that the package's udev rule makes to the unit's terminal; when it is there, it
// is the unit's port.
constexpr char UNIT_LINK[] = "/dev/mq6";

// The USB devices 0403:6001 under sysfsRoot/bus/usb/devices in USB path order ("1-1.2"
// before "1-1.10"); the number stored (at most capacity). A device's port is the by-id link
// to its terminal when there is one, else /dev/ and the terminal's name.
int ListSysfsCandidates(const char* sysfsRoot, const char* byIdDir, PortCandidate* list,
                        int capacity);
// The first of them whose product string is exactly "MQ-6", that has a terminal, and whose
// port name is shorter than capacity: 0 and the name, or -1.
int FindSysfsUnit(const char* sysfsRoot, const char* byIdDir, char* name, size_t capacity);
