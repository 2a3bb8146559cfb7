// mq6 ports: every adapter that could be the unit, and the one the other commands use when
// no --port is given.
#include "cli/cli.h"
#include "cli/doctor_judge.h"
#include "discovery/discovery.h"
#include "link/link.h"
#include "settings/config.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {
// Whether an adapter's port is the port found, which may be /dev/mq6, a link to it. (Paths, not
// std::filesystem::equivalent, which refuses two character devices.)
bool SamePort(const char* candidate, const char* found) {
    if (std::strcmp(candidate, found) == 0)
        return true;
    std::error_code candidateError;
    std::error_code foundError;
    std::filesystem::path a = std::filesystem::canonical(candidate, candidateError);
    std::filesystem::path b = std::filesystem::canonical(found, foundError);
    return !candidateError && !foundError && a == b;
}
} // namespace

int FindChosenCandidate(const std::vector<PortCandidate>& candidates, const std::string& port) {
    // An unplugged adapter may have had the same COM name; only an attached one counts.
    for (size_t i = 0; i < candidates.size() && !port.empty(); ++i)
        if (candidates[i].attached != 0 && SamePort(candidates[i].port.data(), port.c_str()))
            return static_cast<int>(i);
    return -1;
}

int RunPorts() {
    std::vector<PortCandidate> candidates(MAX_PORT_CANDIDATES);
    candidates.resize(static_cast<size_t>(
        ListPortCandidates(candidates.data(), static_cast<int>(candidates.size()))));
    AutoPort.store(1, std::memory_order_release);
    std::array<char, PORT_NAME_SIZE> found{};
    bool unitFound = FindPort(found.data(), found.size()) == 0;
    int chosen = unitFound ? FindChosenCandidate(candidates, found.data()) : -1;
    if (candidates.empty()) {
        std::printf("no FTDI 0403:6001 adapter found\n");
    } else {
        std::printf("  %-12s %-9s  %-20s %-16s %s\n", "USB", "ID", "PRODUCT", "SERIAL", "PORT");
        for (size_t i = 0; i < candidates.size(); ++i)
            std::printf("%s\n",
                        FormatCandidate(candidates[i], static_cast<int>(i) == chosen).c_str());
    }
    if (!unitFound) {
        std::fprintf(stderr, "mq6: no MQ-6 unit found\n");
        return EXIT_USAGE;
    }
    std::printf("* the port used without --port: %s\n", found.data());
    if (std::vector<int> others = OtherUnits(candidates, chosen); !others.empty())
        std::printf("%s: give --port PATH to use %s\n", OtherUnitsText(candidates, others).c_str(),
                    others.size() == 1 ? "it" : "one of them");
    return EXIT_OK;
}
