// Connecting mq6 to the unit through the same comm thread the utility uses.
#include "cli/cli.h"
#include "link/link.h"
#include "link/serial.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <cstdio>
#include <cstring>

CliOptions Options;

namespace {
constexpr int OPEN_WAIT_MS = 4000;

// PortName from --port, or from discovery without it. 0, or the exit code.
int ChoosePort() {
    if (!Options.port.empty()) {
        if (StorePortName(Options.port) != 0)
            return ReportUsage("port name too long");
        // A named port stays the port: the comm thread's retries must not search instead.
        AutoPort.store(0, std::memory_order_release);
        return EXIT_OK;
    }
    AutoPort.store(1, std::memory_order_release);
    if (FindPort(nullptr, 0) != 0) {
        std::fprintf(stderr, "mq6: no MQ-6 unit found (mq6 ports lists the adapters); connect "
                             "it or give its port with --port PATH\n");
        return EXIT_USAGE;
    }
    if (Options.verbose)
        std::fprintf(stderr, "mq6: found the unit on %s\n", CopyPortName().data());
    return EXIT_OK;
}

// Failures that waiting does not cure end the wait at once.
bool OpenCannotSucceed() {
    int failure = SerialLastOpenFailure();
    return failure == SERIAL_OPEN_BUSY || failure == SERIAL_OPEN_DENIED;
}

void ReportOpenFailure() {
    switch (SerialLastOpenFailure()) {
    case SERIAL_OPEN_BUSY:
        std::fprintf(stderr, "mq6: %s is in use by another program; close it and try again\n",
                     CopyPortName().data());
        break;
    case SERIAL_OPEN_DENIED:
        std::fprintf(stderr,
                     "mq6: no permission to open %s; add your user to the dialout group "
                     "(sudo usermod -aG dialout $USER) and log in again\n",
                     CopyPortName().data());
        break;
    default:
        std::fprintf(stderr, "mq6: cannot open %s\n", CopyPortName().data());
        break;
    }
}
} // namespace

int ConnectUnit() {
    ResetLinkState();
    int chosen = ChoosePort();
    if (chosen != EXIT_OK)
        return chosen;
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, CopyPortName().data());
    for (int waited = 0; waited < OPEN_WAIT_MS && !OpenCannotSucceed(); waited += 5) {
        if (PortOpen.load() != 0 && PortStatus.load() == 1 && PortRequestPending.load() == 0) {
            if (Options.verbose)
                std::fprintf(stderr, "mq6: opened %s, %s\n", CopyPortName().data(),
                             SerialLowLatency() == 1
                                 ? "adapter in low-latency mode (1 ms latency timer)"
                                 : "no low-latency mode on this port (not a USB-serial adapter)");
            return EXIT_OK;
        }
        SleepMs(5);
    }
    ReportOpenFailure();
    DisconnectUnit();
    return EXIT_FAILED;
}

int FetchDataBlock() {
    int result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    int read = GetDeviceData();
    DisconnectUnit();
    return read == 0 ? EXIT_OK : EXIT_FAILED;
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
