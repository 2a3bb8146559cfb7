// What the fuzz targets share: the receive ring filled from an input, a scratch directory,
// and a stop that makes a broken promise of the code under test a finding.
#pragma once

#include "discovery/discovery.h"
#include "link/link.h"
#include "wbsetup/setup_values.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The ring position the inputs start at: close to the end, so longer inputs wrap around.
constexpr int32_t FUZZ_RING_START = RX_RING_SIZE - 100;

// Empties the ring at FUZZ_RING_START and stores the bytes as the comm thread would; false
// when they do not fit (at most 16383 unread bytes).
bool LoadRing(const uint8_t* data, size_t size);

// A directory of this process's own, made on first use on a memory file system when there
// is one, and removed at exit.
const std::string& ScratchDir();

// Ends the run with a crash that libFuzzer records, naming the broken promise.
[[noreturn]] void FuzzFail(const char* promise);

// The candidate list and the port search agree: every text is terminated, and the search
// finds the first listed unit that is named and attached (firstPromise names that rule).
void CheckListAgreesWithSearch(const PortCandidate* list, int count, int search, const char* found,
                               const char* firstPromise);

// low <= value <= high.
bool Within(int32_t value, int32_t low, int32_t high);

// The stored fields of two setups agree; which row a Response box shows is not compared.
bool SameSetupFields(const SetupRecord& a, const SetupRecord& b);
