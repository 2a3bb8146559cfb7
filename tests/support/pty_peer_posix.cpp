#include "support/pty_peer.h"

#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <numeric>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

bool OpenPtyPeer(PtyPeer& peer) {
    peer.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (peer.master < 0 || grantpt(peer.master) != 0 || unlockpt(peer.master) != 0)
        return false;
    const char* name = ptsname(peer.master);
    if (name == nullptr)
        return false;
    peer.slavePath = name;
    peer.slaveKeeper = open(peer.slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line{};
    tcgetattr(peer.slaveKeeper, &line);
    cfmakeraw(&line);
    return peer.slaveKeeper >= 0 && tcsetattr(peer.slaveKeeper, TCSANOW, &line) == 0;
}

void ClosePtyPeer(PtyPeer& peer) {
    for (int* fd : {&peer.slaveKeeper, &peer.master})
        if (*fd >= 0 && close(*fd) == 0)
            *fd = -1;
}

void PeerWrite(PtyPeer& peer, const std::vector<uint8_t>& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t count = write(peer.master, bytes.data() + done, bytes.size() - done);
        if (count <= 0)
            return;
        done += static_cast<size_t>(count);
    }
}

std::vector<uint8_t> PeerRead(PtyPeer& peer, size_t count, int waitMs) {
    using namespace std::chrono;
    std::vector<uint8_t> bytes;
    uint8_t buffer[512];
    for (auto deadline = steady_clock::now() + milliseconds(waitMs);
         bytes.size() < count && steady_clock::now() < deadline;) {
        pollfd entry{peer.master, POLLIN, 0};
        auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
        if (poll(&entry, 1, static_cast<int>(left) + 1) <= 0)
            continue;
        ssize_t got = read(peer.master, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

std::vector<uint8_t> PeerDrain(PtyPeer& peer, int quietMs) {
    std::vector<uint8_t> bytes, more;
    while (!(more = PeerRead(peer, 4096, quietMs)).empty())
        bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

std::vector<uint8_t> Hex(const char* text) {
    std::vector<uint8_t> bytes;
    for (char* end = nullptr; *text != '\0'; text = end) {
        auto byte = static_cast<uint8_t>(std::strtoul(text, &end, 16));
        bytes.insert(bytes.end(), *end == '*' ? std::strtoul(end + 1, &end, 10) : 1, byte);
    }
    return bytes;
}

std::vector<uint8_t> UnitFrame(uint8_t header, uint8_t type, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> frame{header, type};
    for (uint8_t byte : payload)
        frame.push_back(byte);
    unsigned sum = std::accumulate(frame.begin(), frame.end(), 0u);
    frame.insert(frame.end(), {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum)});
    return frame;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; !condition(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

void StartLinkTowards(const std::string& portName) {
    // A request made while the comm thread serves another is absorbed by it: one still being
    // served (a close, say) is let finish first.
    WaitFor([] { return PortRequestPending.load() == 0; }, PATIENCE_MS);
    ResetLinkState();
    // The named port stays the port: no search may replace it with a unit on this machine.
    AutoPort.store(0);
    StorePortName(portName);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, portName.c_str());
}

bool StartLinkOn(const std::string& portName) {
    StartLinkTowards(portName);
    auto up = [] { return PortOpen.load() + PortStatus.load() == 2 && !PortRequestPending.load(); };
    return WaitFor(up, PATIENCE_MS);
}

void StopLink() {
    StopCommThread();
    StopTickTimer();
}
