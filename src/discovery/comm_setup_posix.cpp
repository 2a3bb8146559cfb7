// The ports the Comm Port Setup dialog offers on Linux: the link the udev rule makes for the unit
// when it is there, every FTDI 0403:6001 adapter's port that the discovery finds (as mq6 ports
// lists them), and the port now named when the system has it and it is none of those.
#include "discovery/comm_setup.h"
#include "discovery/discovery.h"
#include "discovery/sysfs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {
namespace fs = std::filesystem;

bool SamePort(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}
} // namespace

int ListPortChoices(PortChoices& choices, int* current) {
    int count = 0;
    auto add = [&](const std::string& name, const char* product) {
        if (count >= MAX_PORT_CHOICES || name.size() >= PORT_NAME_SIZE)
            return;
        for (int i = 0; i < count; ++i)
            if (name == choices[static_cast<size_t>(i)].name.data())
                return;
        PortChoice& choice = choices[static_cast<size_t>(count++)];
        choice = PortChoice{};
        std::memcpy(choice.name.data(), name.c_str(), name.size());
        if (product != nullptr && product[0] != '\0')
            std::snprintf(choice.label.data(), choice.label.size(), "%.120s  (%.30s)", name.c_str(),
                          product);
        else
            std::snprintf(choice.label.data(), choice.label.size(), "%.150s", name.c_str());
    };
    const char* link = std::getenv("MQ6_UNIT_LINK");
    std::string unitLink = link != nullptr && link[0] != '\0' ? link : UNIT_LINK;
    if (Exists(unitLink))
        add(unitLink, "MQ-6");
    std::array<PortCandidate, MAX_PORT_CANDIDATES> candidates{};
    int found = ListPortCandidates(candidates.data(), MAX_PORT_CANDIDATES);
    for (int i = 0; i < found; ++i)
        if (candidates[static_cast<size_t>(i)].attached != 0)
            add(candidates[static_cast<size_t>(i)].port.data(),
                candidates[static_cast<size_t>(i)].product.data());
    std::string named = CopyPortName().data();
    *current = -1;
    for (int i = 0; i < count && *current < 0; ++i)
        if (SamePort(named, choices[static_cast<size_t>(i)].name.data()))
            *current = i;
    if (*current < 0 && !named.empty() && named[0] == '/' && Exists(named)) {
        int before = count;
        add(named, nullptr);
        if (count > before)
            *current = before;
    }
    return count;
}
