// Port discovery: which port the serial link opens. With AutoPort set (settings/config.h)
// FindPort (link/link.h) looks for the unit, an FTDI 0403:6001 adapter named "MQ-6": in the
// FTDI driver's registry entries on Windows, in sysfs on Linux. With AutoPort clear it hands
// out PortName as stored.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// Key names, value names and value data are read into buffers of this size.
constexpr size_t REGISTRY_TEXT_SIZE = 256;

// ---- The FTDI driver's registry entries (over discovery/registry.h) --------------------

// 1 when the key at path has a "LocationInformation" of exactly "MQ-6", 0 when it has another,
// -1 when the key or the value cannot be read.
int MatchUsbLocation(const char* path);
// 0 and the port name from the "FriendlyName" of the driver entry at path (the text from the
// first "COM" up to the first ')'), or -1. path spells the vendor and product id with '&' as
// the USB key does; the driver's key joins them with '+'. A name that does not fit out
// (size bytes with its terminator) is refused, never cut.
int ReadFtdiPortName(const char* path, char* out, size_t size);
// 0 when a value of HARDWARE\DEVICEMAP\SERIALCOMM whose name contains "VCP" holds name.
int IsPortInSerialComm(const char* name);
// Makes the driver parameter "RetryResetCount" at least 200; 0, or -1 when a step failed.
int RaiseFtdiRetryResetCount();
// 1 (the start value): FindPort raises the parameter as above. mq6 doctor, which changes
// nothing in the system it reports on, clears it first.
extern std::atomic<int32_t> DriverTuningAllowed;
// 0 and the "LatencyTimer" (milliseconds) among the device parameters of the FTDI driver's
// entry for the USB instance, or -1 when the entry or the value cannot be read.
int ReadFtdiLatencyTimer(const char* instance, int32_t& milliseconds);
// The registry search: the first USB instance (in enumeration order) that is an MQ-6 whose
// port is present now and whose port name is shorter than capacity. 0 and the name, or -1.
int FindRegistryUnit(char* name, size_t capacity);

// ---- Candidates, as `mq6 ports` lists them ---------------------------------------------

constexpr size_t CANDIDATE_TEXT_SIZE = 256;
constexpr int MAX_PORT_CANDIDATES = 32;

// One FTDI 0403:6001 adapter that could be the unit.
struct PortCandidate {
    std::array<char, CANDIDATE_TEXT_SIZE> location; // USB path ("1-1.2"), or driver instance
    std::array<char, CANDIDATE_TEXT_SIZE> product;  // USB product string / LocationInformation
    std::array<char, CANDIDATE_TEXT_SIZE> serial;   // USB serial number; empty when unknown
    std::array<char, CANDIDATE_TEXT_SIZE> port;     // port to open; empty when none is known
    int32_t attached;                               // the port exists now
    int32_t named;                                  // product is exactly "MQ-6"
};

// The registry's adapters in enumeration order; the number stored (at most capacity).
int ListRegistryCandidates(PortCandidate* list, int capacity);

// ---- Per platform (find_port_win32.cpp, find_port_posix.cpp) ----------------------------

// The platform's search for an attached unit: 0 and its port name (shorter than capacity),
// or -1.
int FindAttachedUnit(char* name, size_t capacity);
// Every adapter that could be the unit, in the order FindAttachedUnit tries them; the number
// stored (at most capacity).
int ListPortCandidates(PortCandidate* list, int capacity);
// How FindAttachedUnit came to the port it gave, in words ("the registry search", ...).
const char* DescribeFoundPort(const char* port);
// 0 and the adapter's latency timer in milliseconds (how long the chip holds received bytes
// back), from sysfs or the driver's registry entries; -1 when the system does not tell.
int ReadAdapterLatencyTimer(const PortCandidate& adapter, int32_t& milliseconds);
