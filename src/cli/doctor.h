// What the system tells mq6 doctor about the port beyond the link's own open: the node's
// rights and the programs holding it, and udev (doctor_posix.cpp); Windows tells none of it
// (doctor_win32.cpp), and the open alone answers there.
#pragma once

#include <string>
#include <vector>

// A program with the port open, as far as this user may look.
struct PortHolder {
    std::string name; // the kernel's name of the process: "minicom"
    int pid = 0;
    std::vector<std::string> arguments; // its command line, the program first
};

struct PortAccess {
    bool described = false;          // the system has a node to describe
    std::string error;               // why the node cannot be looked at; empty when it can
    std::string node;                // type, mode, owner and group: "crw-rw---- root:dialout"
    std::string group;               // the node's group
    bool groupMayUse = false;        // its members may read and write it
    std::string user;                // this user
    bool mayOpen = false;            // this user may read and write it
    bool groupPending = false;       // the user is listed in the group, but this login is older
    std::vector<PortHolder> holders; // other programs holding it
    bool seesAll = false;            // this user may look at every program's open files
    // The terminal refuses every opener but root (its exclusive mode is on); looked at only
    // once an open met "in use" (LookForExclusiveMode).
    bool exclusive = false;
    std::string udevRule; // where the Debian package's udev rule is installed; empty: nowhere
};
void InspectPortAccess(const char* port, PortAccess& facts);
// Sets facts.exclusive: whether the terminal refuses this user's open for its exclusive mode,
// which outlives a program killed before it could give the mode up.
void LookForExclusiveMode(const char* port, PortAccess& facts);

// Where the udev rule of the Debian package is installed; empty when it is not, or where
// there is no udev.
std::string FindUdevRule();
// The mend for a latency timer of more than a few milliseconds on this system.
const char* LatencyTimerMend();
