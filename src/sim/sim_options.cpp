// Option parsing for mq6-sim: one table row per option, so the usage text and the parser
// cannot drift apart.
#include "sim/sim_options.h"

#include "firmware/cipher_key.h"
#include "mq6_version.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

SimOptions Options;
std::mt19937 FaultRandom;

namespace {

constexpr double MAX_LAMBDA = 207.0; // top of what a live frame can carry

bool ParseDouble(const char* text, double low, double high, double& value) {
    errno = 0;
    char* end = nullptr;
    double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(parsed) || parsed < low ||
        parsed > high)
        return false;
    value = parsed;
    return true;
}

bool ParseLong(const char* text, long low, long high, long& value) {
    errno = 0;
    char* end = nullptr;
    long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

bool ApplyPath(const char* text, std::string& path) {
    if (*text == '\0')
        return false;
    path = text;
    return true;
}

bool ApplyLink(const char* text) {
    return ApplyPath(text, Options.linkPath);
}

bool ApplyState(const char* text) {
    return ApplyPath(text, Options.statePath);
}

bool ApplyDumpTables(const char* text) {
    return ApplyPath(text, Options.dumpTablesPath);
}

bool ApplyLog(const char* text) {
    return ApplyPath(text, Options.logPath);
}

// The unit reports its version as one digit, a point and two digits.
bool ApplyVersion(const char* text) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (std::strlen(text) != 4 || !digit(text[0]) || text[1] != '.' || !digit(text[2]) ||
        !digit(text[3]))
        return false;
    Options.versionMajor = text[0] - '0';
    Options.versionMinor = (text[2] - '0') * 10 + (text[3] - '0');
    return true;
}

bool ApplyUnitMode(const char* text) {
    long mode = 0;
    if (!ParseLong(text, 0, 255, mode))
        return false;
    Options.unitMode = static_cast<int>(mode);
    return true;
}

bool ApplyOtherFirmware(const char*) {
    Options.otherFirmware = true;
    return true;
}

bool ApplyStartInLoader(const char*) {
    Options.startInLoader = true;
    return true;
}

// A profile is const:L or SHAPE:LO:HI:PERIOD_S with SHAPE one of sweep, sine, step.
bool ApplyKeepMode(const char*) {
    Options.keepMode = true;
    return true;
}

bool ApplyProfile(const char* text) {
    struct ShapeName {
        const char* name;
        ProfileShape shape;
    };
    static constexpr std::array<ShapeName, 3> Shapes{{
        {"sweep", ProfileShape::Sweep},
        {"sine", ProfileShape::Sine},
        {"step", ProfileShape::Step},
    }};
    std::string_view profileText(text);
    size_t colon = profileText.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view shapeName = profileText.substr(0, colon);
    std::string rest(profileText.substr(colon + 1));
    LambdaProfile profile;
    if (shapeName == "const") {
        if (!ParseDouble(rest.c_str(), 0.0, MAX_LAMBDA, profile.low))
            return false;
        profile.shape = ProfileShape::Const;
        profile.high = profile.low;
        Options.profile = profile;
        return true;
    }
    bool known = false;
    for (const ShapeName& row : Shapes) {
        if (shapeName == row.name) {
            profile.shape = row.shape;
            known = true;
        }
    }
    std::array<std::string, 3> fields;
    size_t field = 0;
    for (char c : rest) {
        if (c == ':') {
            if (++field == fields.size())
                return false;
        } else {
            fields[field] += c;
        }
    }
    if (!known || field != 2 || !ParseDouble(fields[0].c_str(), 0.0, MAX_LAMBDA, profile.low) ||
        !ParseDouble(fields[1].c_str(), 0.0, MAX_LAMBDA, profile.high) ||
        !ParseDouble(fields[2].c_str(), 0.001, 1e6, profile.periodSeconds))
        return false;
    Options.profile = profile;
    return true;
}

bool ApplyStoich(const char* text) {
    // The live frame carries the factor in hundredths in 16 bits.
    return ParseDouble(text, 0.01, 655.35, Options.stoich);
}

bool ApplyRate(const char* text) {
    return ParseDouble(text, 0.01, 1000.0, Options.rate);
}

bool ApplyBaud(const char* text) {
    long baud = 0;
    if (!ParseLong(text, 0, 4000000, baud) || (baud != 0 && baud < 300))
        return false;
    Options.baud = static_cast<int>(baud);
    return true;
}

bool ApplySeed(const char* text) {
    long seed = 0;
    if (!ParseLong(text, 0, 0xFFFFFFFFL, seed))
        return false;
    Options.seed = static_cast<uint32_t>(seed);
    return true;
}

bool ApplySilent(const char*) {
    Options.silent = true;
    return true;
}

bool ApplyRefuseLoad(const char*) {
    Options.refuseLoad = true;
    return true;
}

bool ApplySpareBytes(const char* text) {
    return ParseLong(text, 0, 255, Options.spareBytes);
}

bool ApplyFailWrite(const char* text) {
    return ParseLong(text, 1, 1000000000L, Options.failWrite);
}

bool ApplyIgnoreDataReads(const char* text) {
    return ParseLong(text, 1, 1000000000L, Options.ignoreDataReads);
}

bool ApplyCorrupt(const char* text) {
    return ParseDouble(text, 0.0, 1.0, Options.corrupt);
}

bool ApplyNoise(const char* text) {
    return ParseDouble(text, 0.0, 1.0, Options.noise);
}

bool ApplyCutReply(const char* text) {
    return ParseLong(text, 1, 1000000000L, Options.cutReply);
}

bool ApplyVanishAfter(const char* text) {
    return ParseLong(text, 1, 1000000000L, Options.vanishAfter);
}

bool ApplyReappearMs(const char* text) {
    return ParseLong(text, 0, 3600000L, Options.reappearMs);
}

struct OptionRow {
    const char* name;
    const char* valueName; // nullptr for a flag
    const char* help;
    bool (*apply)(const char* value);
};

constexpr auto OptionTable = std::to_array<OptionRow>({
    {"--link", "PATH", "symlink PATH to the pty (replaced if present, removed on exit)", ApplyLink},
    {"--version", "X.YY",
     "firmware version in the banner (default 1.01); without X.YY: print the program's version",
     ApplyVersion},
    {"--unit-mode", "N", "unit mode byte, data block byte 255 (default 0)", ApplyUnitMode},
    {"--other-firmware", nullptr,
     "data block bytes 0x44-0x7F 0xA5, not the sample firmware's: a unit running other firmware",
     ApplyOtherFirmware},
    {"--start-in-loader", nullptr, "start in the loader instead of the application",
     ApplyStartInLoader},
    {"--keep-mode", nullptr,
     "keep the mode byte the loader set after the restart, as a unit may that reads back a "
     "finished write as unfinished",
     ApplyKeepMode},
    {"--spare-bytes", "N",
     "setup block bytes 3 and 4, which the setup write leaves 0, read N after its restart, as a "
     "unit may that keeps its own use for them (default 0)",
     ApplySpareBytes},
    {"--profile", "PROFILE",
     "live lambda: const:L or sweep|sine|step:LO:HI:PERIOD_S (default sweep:0.80:1.20:20)",
     ApplyProfile},
    {"--stoich", "F", "stoichiometric factor in live frames (default 14.70)", ApplyStoich},
    {"--rate", "FPS", "live frames per second while streaming (default 20)", ApplyRate},
    {"--baud", "N", "pace both directions at N baud, 10 bits a byte (default 0, unpaced)",
     ApplyBaud},
    {"--state", "FILE", "keep data block, program memory and tables in FILE across runs",
     ApplyState},
    {"--dump-tables", "FILE", "write the two deciphered setup tables after each setup write",
     ApplyDumpTables},
    {"--log", "FILE", "log every request frame received as a line of hex bytes", ApplyLog},
    {"--seed", "N", "seed of the fault generator (default 1)", ApplySeed},
    {"--silent", nullptr, "answer nothing", ApplySilent},
    {"--refuse-load", nullptr, "refuse EnterLoadMode with type 'N'", ApplyRefuseLoad},
    {"--fail-write", "N", "answer the Nth WriteBlock with type 'N'", ApplyFailWrite},
    {"--ignore-data-reads", "N", "leave the first N ReadDataBlock requests unanswered",
     ApplyIgnoreDataReads},
    {"--corrupt", "P", "chance of a wrong sum on each reply and live frame", ApplyCorrupt},
    {"--noise", "RATE", "chance of a flipped bit in each byte sent", ApplyNoise},
    {"--cut-reply", "N",
     "send only the first N bytes of each reply, as a unit that stops mid-reply", ApplyCutReply},
    {"--vanish-after", "N", "close the pty after N request bytes and exit with status 3",
     ApplyVanishAfter},
    {"--reappear-ms", "MS",
     "after vanishing (--vanish-after, or SIGUSR1 at any time), open a new pty MS ms later "
     "instead of exiting",
     ApplyReappearMs},
    {"--help", nullptr, "show this text", nullptr},
    {"-h", nullptr, "show this text", nullptr},
    {"--", nullptr, "end of options", nullptr},
});

void PrintUsage() {
    std::printf("Usage: mq6-sim [options]\n"
                "Simulated MQ-6 unit on a pseudo-terminal. Prints the pty path on the first\n"
                "line of stdout (and each new path after --reappear-ms), then serves the unit's\n"
                "side of the link until SIGTERM or SIGINT.\n\nOptions:\n");
    for (const OptionRow& row : OptionTable) {
        if (row.apply == nullptr)
            continue;
        std::string left = std::string(row.name) + (row.valueName ? " " : "") +
                           (row.valueName ? row.valueName : "");
        std::printf("  %-22s %s\n", left.c_str(), row.help);
    }
    std::printf("  %-22s %s\n", "--help", "show this text");
    std::fflush(stdout);
}

// The program's version and the setup key it deciphers with.
void PrintVersion() {
    std::printf("mq6-sim %s\nSetup key: %s, %s\n", MQ6_VERSION_TEXT, SETUP_KEY_FILE,
                SETUP_KEY_IS_SAMPLE ? "the SAMPLE, not the unit's key" : "given at build time");
    std::fflush(stdout);
}

const OptionRow* FindOption(std::string_view name) {
    for (const OptionRow& row : OptionTable) {
        if (name == row.name)
            return &row;
    }
    return nullptr;
}

} // namespace

ParseResult ParseOptions(int argc, char** argv) {
    Options = SimOptions{};
    for (int i = 1; i < argc; ++i) {
        std::string_view argument(argv[i]);
        std::string_view name = argument;
        std::string inlineValue;
        bool hasInlineValue = false;
        size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            inlineValue = std::string(argument.substr(equals + 1));
            hasInlineValue = true;
        }
        const OptionRow* row = FindOption(name);
        if (row == nullptr) {
            std::fprintf(stderr, "mq6-sim: unknown option '%s' (see --help)\n", argv[i]);
            return PARSE_ERROR;
        }
        if (row->apply == nullptr) {
            if (name == "--")
                break;
            PrintUsage();
            return PARSE_HELP;
        }
        // "--version" with no value after it asks for the program's version, as tools
        // such as help2man expect; with a value it sets the version the unit reports.
        if (name == "--version" && !hasInlineValue && (i + 1 == argc || argv[i + 1][0] == '-')) {
            PrintVersion();
            return PARSE_HELP;
        }
        const char* value = nullptr;
        if (row->valueName != nullptr) {
            if (hasInlineValue) {
                value = inlineValue.c_str();
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                std::fprintf(stderr, "mq6-sim: %s needs a value %s\n", row->name, row->valueName);
                return PARSE_ERROR;
            }
        } else if (hasInlineValue) {
            std::fprintf(stderr, "mq6-sim: %s takes no value\n", row->name);
            return PARSE_ERROR;
        }
        if (!row->apply(value)) {
            std::fprintf(stderr, "mq6-sim: bad value '%s' for %s %s\n", value ? value : "",
                         row->name, row->valueName ? row->valueName : "");
            return PARSE_ERROR;
        }
    }
    return PARSE_OK;
}
