#include "support/pty_peer.h"

#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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
    peer.slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (peer.slaveKeeper < 0)
        return false;
    termios line{};
    tcgetattr(peer.slaveKeeper, &line);
    cfmakeraw(&line);
    tcsetattr(peer.slaveKeeper, TCSANOW, &line);
    return true;
}

void ClosePtyPeer(PtyPeer& peer) {
    if (peer.slaveKeeper >= 0)
        close(peer.slaveKeeper);
    if (peer.master >= 0)
        close(peer.master);
    peer.slaveKeeper = -1;
    peer.master = -1;
}

void PeerWrite(PtyPeer& peer, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = write(peer.master, bytes.data() + done, bytes.size() - done);
        if (count <= 0)
            return;
        done += static_cast<size_t>(count);
    }
}

std::vector<uint8_t> PeerRead(PtyPeer& peer, size_t count, int waitMs) {
    std::vector<uint8_t> bytes;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (bytes.size() < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            break;
        pollfd entry{peer.master, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left)) <= 0)
            continue;
        uint8_t buffer[512];
        size_t want = std::min(sizeof buffer, count - bytes.size());
        ssize_t got = read(peer.master, buffer, want);
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

std::vector<uint8_t> PeerDrain(PtyPeer& peer, int quietMs) {
    std::vector<uint8_t> bytes;
    for (;;) {
        std::vector<uint8_t> more = PeerRead(peer, 4096, quietMs);
        if (more.empty())
            return bytes;
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
}

std::vector<uint8_t> UnitFrame(uint8_t header, uint8_t type, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> frame;
    frame.reserve(payload.size() + 4);
    frame.push_back(header);
    frame.push_back(type);
    for (uint8_t byte : payload)
        frame.push_back(byte);
    unsigned sum = 0;
    for (uint8_t byte : frame)
        sum += byte;
    frame.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
    frame.push_back(static_cast<uint8_t>(sum & 0xFF));
    return frame;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool StartLinkOn(const std::string& portName) {
    ResetLinkState();
    // The named port stays the port: no search may replace it with a unit on this machine.
    AutoPort.store(0);
    PortName.fill('\0');
    std::strncpy(PortName.data(), portName.c_str(), PortName.size() - 1);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    return WaitFor(
        [] {
            return PortOpen.load() == 1 && PortStatus.load() == 1 && PortRequestPending.load() == 0;
        },
        3000);
}

void StopLink() {
    StopCommThread();
    StopTickTimer();
}
