// Connecting mq6 to the unit through the same comm thread the utility uses.
#include "app/ticks.h"
#include "cli/cli.h"
#include "link/link.h"

#include <cstdio>
#include <cstring>

CliOptions Options;

namespace {
constexpr int OPEN_WAIT_MS = 4000;
}

int ConnectUnit() {
    ResetLinkState();
    if (Options.port.empty())
        return ReportUsage("no port given (use --port PATH)");
    if (Options.port.size() >= PortName.size())
        return ReportUsage("port name too long");
    PortName.fill('\0');
    std::memcpy(PortName.data(), Options.port.data(), Options.port.size());
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    for (int waited = 0; waited < OPEN_WAIT_MS; waited += 5) {
        if (PortOpen.load() != 0 && PortStatus.load() == 1 && PortRequestPending.load() == 0)
            return EXIT_OK;
        SleepMs(5);
    }
    std::fprintf(stderr, "mq6: cannot open %s\n", PortName.data());
    DisconnectUnit();
    return EXIT_FAILED;
}

void DisconnectUnit() {
    StopCommThread();
    StopTickTimer();
}

bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool TakeValue(std::vector<std::string>& args, std::string_view name, std::string& value,
               bool& present) {
    present = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == name) {
            if (i + 1 >= args.size()) {
                ReportUsage(std::string(name) + " needs a value");
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            present = true;
            return true;
        }
        if (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
            arg[name.size()] == '=') {
            value = std::string(arg.substr(name.size() + 1));
            args.erase(args.begin() + static_cast<long>(i));
            present = true;
            return true;
        }
    }
    return true;
}

int ReportUsage(std::string_view message) {
    std::fprintf(stderr, "mq6: %.*s\n", static_cast<int>(message.size()), message.data());
    return EXIT_USAGE;
}
