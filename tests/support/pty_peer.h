// A scripted unit on a real pseudo-terminal: tests write the unit's replies and read
// the requests the link sent, byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// slaveKeeper keeps the line up while the link closes and reopens.
struct PtyPeer {
    int master = -1, slaveKeeper = -1;
    std::string slavePath;
};

bool OpenPtyPeer(PtyPeer& peer);
void ClosePtyPeer(PtyPeer& peer);
void PeerWrite(PtyPeer& peer, const std::vector<uint8_t>& bytes);
// Reads exactly count bytes, or fewer when wait_ms passes first.
std::vector<uint8_t> PeerRead(PtyPeer& peer, size_t count, int waitMs);
// Everything that arrives within wait_ms of quiet.
std::vector<uint8_t> PeerDrain(PtyPeer& peer, int quietMs);

// Hexadecimal bytes; "20*10" is ten bytes 0x20.
std::vector<uint8_t> Hex(const char* text);
// Frames as the unit sends them: header, type, payload, 16-bit sum high byte first.
std::vector<uint8_t> UnitFrame(uint8_t header, uint8_t type, const std::vector<uint8_t>& payload);

// Polls condition every millisecond up to timeout_ms.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);
// The deadline of a wait for what must come: far above any machine's delay, reached only when
// it never comes.
constexpr int PATIENCE_MS = 60000;

// Starts the tick timer and the comm thread with portName as the fixed port, asked to open it.
void StartLinkTowards(const std::string& portName);
// The same, then waits; true once the port is open.
bool StartLinkOn(const std::string& portName);
void StopLink();
