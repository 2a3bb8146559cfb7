// mq6 ports: every adapter that could be the unit, and the one the other commands use when
// no --port is given.
#include "cli/cli.h"
#include "discovery/discovery.h"
#include "link/link.h"
#include "settings/config.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {
constexpr char ADAPTER_ID[] = "0403:6001";

const char* OrDash(const std::array<char, CANDIDATE_TEXT_SIZE>& text) {
    return text[0] != '\0' ? text.data() : "-";
}
} // namespace

// (Paths, not std::filesystem::equivalent, which refuses two character devices.)
bool SamePort(const char* candidate, const char* found) {
    if (std::strcmp(candidate, found) == 0)
        return true;
    std::error_code candidateError;
    std::error_code foundError;
    std::filesystem::path a = std::filesystem::canonical(candidate, candidateError);
    std::filesystem::path b = std::filesystem::canonical(found, foundError);
    return !candidateError && !foundError && a == b;
}

std::string FormatCandidate(const PortCandidate& candidate, bool chosen) {
    std::array<char, CANDIDATE_TEXT_SIZE + 2> product;
    std::snprintf(product.data(), product.size(), "\"%s\"", candidate.product.data());
    std::array<char, 5 * CANDIDATE_TEXT_SIZE> line;
    std::snprintf(line.data(), line.size(), "%c %-12s %s  %-20s %-16s %s%s", chosen ? '*' : ' ',
                  candidate.location.data(), ADAPTER_ID, product.data(), OrDash(candidate.serial),
                  OrDash(candidate.port),
                  candidate.port[0] != '\0' && candidate.attached == 0 ? " (not attached)" : "");
    return line.data();
}

int RunPorts() {
    std::array<PortCandidate, MAX_PORT_CANDIDATES> candidates;
    int count = ListPortCandidates(candidates.data(), static_cast<int>(candidates.size()));
    AutoPort.store(1, std::memory_order_release);
    std::array<char, PORT_NAME_SIZE> found{};
    bool unitFound = FindPort(found.data(), found.size()) == 0;
    if (count == 0) {
        std::printf("no FTDI %s adapter found\n", ADAPTER_ID);
    } else {
        std::printf("  %-12s %-9s  %-20s %-16s %s\n", "USB", "ID", "PRODUCT", "SERIAL", "PORT");
        for (int i = 0; i < count; ++i) {
            const PortCandidate& candidate = candidates[static_cast<size_t>(i)];
            // An unplugged adapter may have had the same COM name; only an attached one counts.
            bool chosen = unitFound && candidate.attached != 0 && candidate.named != 0 &&
                          SamePort(candidate.port.data(), found.data());
            std::printf("%s\n", FormatCandidate(candidate, chosen).c_str());
        }
    }
    if (!unitFound) {
        std::fprintf(stderr, "mq6: no MQ-6 unit found\n");
        return EXIT_USAGE;
    }
    std::printf("* the port used without --port: %s\n", found.data());
    return EXIT_OK;
}
