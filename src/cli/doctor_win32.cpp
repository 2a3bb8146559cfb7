// mq6 doctor on Windows: no node to describe and no udev; the port's open answers whether it
// may be used, and the latency timer is the FTDI driver's setting.
#include "cli/doctor.h"

void InspectPortAccess(const char*, PortAccess& facts) {
    facts = PortAccess{};
}

void LookForExclusiveMode(const char*, PortAccess& facts) {
    facts.exclusive = false;
}

std::string FindUdevRule() {
    return {};
}

const char* LatencyTimerMend() {
    return "set it once: Device Manager, Ports (COM & LPT), the COM port, Properties, Port "
           "Settings, Advanced, Latency Timer (msec) = 1, then unplug and replug the unit";
}
