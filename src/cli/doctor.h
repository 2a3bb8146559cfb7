// What the system tells mq6 doctor about the port beyond the link's own open: the node's
// rights and the programs holding it, and udev (doctor_posix.cpp); Windows tells none of it
// (doctor_win32.cpp), and the open alone answers there.
#pragma once

#include <string>

struct PortAccess {
    bool described = false;    // the system has a node to describe
    std::string error;         // why the node cannot be looked at; empty when it can
    std::string node;          // type, mode, owner and group: "crw-rw---- root:dialout"
    std::string group;         // the node's group
    bool groupMayUse = false;  // its members may read and write it
    std::string user;          // this user
    bool mayOpen = false;      // this user may read and write it
    bool groupPending = false; // the user is listed in the group, but this login is older
    std::string holders;       // other programs holding it: "minicom (pid 812)", ...
    bool seesAll = false;      // this user may look at every program's open files
};
void InspectPortAccess(const char* port, PortAccess& facts);
// What mends a port that did not open (failure, from link/serial.h), for mq6 doctor and for
// every command that opens the port.
std::string OpenMend(int failure, const PortAccess& facts);

// Where the udev rule of the Debian package is installed; empty when it is not, or where
// there is no udev.
std::string FindUdevRule();
// The mend for a latency timer of more than a few milliseconds on this system.
const char* LatencyTimerMend();
