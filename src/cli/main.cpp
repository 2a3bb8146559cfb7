// mq6: the command-line tool over the utility's core.
#include "cli/cli.h"
#include "firmware/build_inputs.h"
#include "mq6_version.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr char USAGE[] =
    "Usage: mq6 [--port PATH] [-v] COMMAND [options]\n"
    "  or:  mq6 --version\n"
    "\n"
    "Commands:\n"
    "  info [--json]   the unit's banner, version, mode and setup bytes\n"
    "  live [--count N] [--seconds S] [--csv FILE|-] [--response-rate R]\n"
    "                  live lambda and AFR: CSV rows or one updating line\n"
    "  firmware status | update [--yes]\n"
    "                  the unit's firmware against the carried one; update it\n"
    "  ports           the adapters that could be the unit; * marks the one\n"
    "                  used when no --port is given\n"
    "  setup read [--json]\n"
    "                  the unit's output setup: stoich AFR, both channels'\n"
    "                  points and response, channel B's mode and offset\n"
    "  setup write [--defaults|--from FILE.json] [--stoich AFR] [--a1 V,AFR]\n"
    "              [--a2 V,AFR] [--b1 V,AFR] [--b2 V,AFR] [--b-mode wb|nb]\n"
    "              [--nb-offset N] [--a-response NAME] [--b-response NAME]\n"
    "              [--dry-run] [--yes]\n"
    "                  change the setup and write it with its output tables\n"
    "  setup tables [--defaults|--from FILE.json] [--channel a|b] [--csv]\n"
    "                  the 512 output-table entries a setup gives; no unit\n";

// The program's version, then what the build carries (sample or the maker's files).
int PrintVersion() {
    std::array<char, 512> inputs;
    if (FormatBuildInputs(inputs.data(), inputs.size()) != 0)
        return EXIT_FAILED;
    std::printf("mq6 %s\n%s", MQ6_VERSION_TEXT, inputs.data());
    return EXIT_OK;
}
} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args.front() == "--help" || args.front() == "-h") {
        std::fputs(USAGE, args.empty() ? stderr : stdout);
        return args.empty() ? EXIT_USAGE : EXIT_OK;
    }
    if (args.front() == "--version")
        return PrintVersion();
    Options.verbose = TakeFlag(args, "-v");
    bool hasPort = false;
    std::string command;
    size_t first = 0;
    // Global options stand before the command.
    while (first < args.size() && args[first].rfind("-", 0) == 0) {
        if (args[first] == "--port" && first + 1 < args.size()) {
            Options.port = args[first + 1];
            hasPort = true;
            first += 2;
        } else if (args[first].rfind("--port=", 0) == 0) {
            Options.port = args[first].substr(7);
            hasPort = true;
            first += 1;
        } else {
            return ReportUsage("unknown option " + args[first]);
        }
    }
    if (hasPort && Options.port.empty())
        return ReportUsage("--port needs a path");
    if (first >= args.size())
        return ReportUsage("no command given");
    command = args[first];
    std::vector<std::string> rest(args.begin() + static_cast<long>(first) + 1, args.end());
    if (command == "info")
        return RunInfo(rest);
    if (command == "firmware")
        return RunFirmware(rest);
    if (command == "live")
        return RunLive(rest);
    if (command == "ports")
        return RunPorts(rest);
    if (command == "setup")
        return RunSetup(rest);
    return ReportUsage("unknown command " + command);
}
