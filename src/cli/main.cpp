// mq6: the command-line tool over the utility's core. Every command, action and option is
// declared here with its range and help; the commands run from their files.
#include "cli/cli.h"
#include "display/lambda_scale.h"
#include "firmware/build_inputs.h"
#include "mq6_version.h"
#include "wbsetup/setup_values.h"

#include <CLI/CLI.hpp>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {
int Result = EXIT_OK;

// The program's version, then what the build carries (sample or the maker's files).
std::string VersionText() {
    std::array<char, 512> inputs{};
    FormatBuildInputs(inputs.data(), inputs.size());
    std::string text = std::string("mq6 ") + MQ6_VERSION_TEXT + "\n" + inputs.data();
    return text.substr(0, text.find_last_not_of('\n') + 1);
}

// ---- Option values: each refusal names what was given and what the option takes ----------

std::string RangeText(double low, double high) {
    std::array<char, 48> range{};
    std::snprintf(range.data(), range.size(), "%.10g to %.10g", low, high);
    return range.data();
}

// Why text is not a number from low to high, or "" when it is one. Only plain decimals are
// taken (an optional minus, digits, at most one point): "0x10" or "1e3" would otherwise be
// read in a base or a form the user may not have meant.
std::string NumberProblem(std::string_view text, double low, double high, bool whole) {
    std::string takes = std::string("; it takes ") + (whole ? "a whole number" : "a number") +
                        " from " + RangeText(low, high);
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    size_t point = digits.find('.');
    bool plain =
        digits.find_first_not_of("0123456789.") == std::string_view::npos &&
        digits.find_first_of("0123456789") != std::string_view::npos &&
        (point == std::string_view::npos || digits.find('.', point + 1) == std::string_view::npos);
    if (!plain)
        return std::string(text) + " is not a number" + takes;
    if (whole && point != std::string_view::npos)
        return std::string(text) + " is not a whole number" + takes;
    double x = std::strtod(std::string(text).c_str(), nullptr);
    if (x < low || x > high)
        return std::string(text) + " is outside " + RangeText(low, high);
    return std::string();
}

// A number from low to high; the help shows the range.
CLI::Validator Between(double low, double high, bool whole = false) {
    return CLI::Validator(
        [low, high, whole](std::string& input) { return NumberProblem(input, low, high, whole); },
        RangeText(low, high));
}

// A channel's point as V,AFR: volts 0 to 5 and an AFR 0 to 210 with one comma between.
const CLI::Validator PointValue(
    [](std::string& input) {
        size_t comma = input.find(',');
        if (comma == 0 || comma == std::string::npos || comma + 1 == input.size() ||
            input.find(',', comma + 1) != std::string::npos)
            return input + " is not V,AFR; it takes volts and AFR with a comma between, as "
                           "0.5,10.5";
        std::string volts =
            NumberProblem(input.substr(0, comma), 0, FieldRules[FIELD_VOLTS].limit, false);
        if (!volts.empty())
            return "volts " + volts;
        std::string afr = NumberProblem(input.substr(comma + 1), FieldRules[FIELD_AFR].lowest,
                                        FieldRules[FIELD_AFR].limit, false);
        return afr.empty() ? afr : "AFR " + afr;
    },
    "");

// One of names in any case; the value becomes the name as written here. The help lists them.
CLI::Validator OneOf(std::vector<std::string> names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return CLI::Validator(
        [names, list](std::string& input) {
            for (const std::string& name : names)
                if (CLI::detail::to_lower(name) == CLI::detail::to_lower(input)) {
                    input = name;
                    return std::string();
                }
            return input + " is not one of " + list;
        },
        list);
}

// The band of mq6 log as LOW,HIGH: two lambdas on the dial's scale, as the Preferences take
// them, in either order.
const CLI::Validator BandValue(
    [](std::string& input) {
        size_t comma = input.find(',');
        if (comma == 0 || comma == std::string::npos || comma + 1 == input.size() ||
            input.find(',', comma + 1) != std::string::npos)
            return (input.empty() ? "an empty value" : input + " is not LOW,HIGH") +
                   "; it takes two lambdas from " + RangeText(ScaleMin, ScaleMax) +
                   " with a comma between, as 0.85,0.90";
        std::string low = NumberProblem(input.substr(0, comma), ScaleMin, ScaleMax, false);
        return low.empty() ? NumberProblem(input.substr(comma + 1), ScaleMin, ScaleMax, false)
                           : low;
    },
    RangeText(ScaleMin, ScaleMax));

const CLI::Validator NotEmpty(
    [](std::string& input) {
        return input.empty() ? std::string("an empty value; it takes a path") : std::string();
    },
    "");

CLI::App* AddCommand(CLI::App& parent, const char* name, const char* about, const char* example) {
    CLI::App* command = parent.add_subcommand(name, about);
    command->footer(std::string("Example:\n  ") + example);
    // Reached in order, so the last one reached names the command being run.
    std::string path = parent.get_parent() == nullptr ? name : parent.get_name() + " " + name;
    command->preparse_callback([path](size_t) { CommandName = path; });
    return command;
}

void AddSetupStart(CLI::App* action, SetupOptions& setup, const char* defaultsHelp,
                   const char* fromHelp) {
    CLI::Option* defaults = action->add_flag("--defaults", setup.defaults, defaultsHelp);
    action
        ->add_option("--from", setup.from,
                     std::string(fromHelp) + "; - reads standard input; not with --defaults")
        ->type_name("FILE.json")
        ->check(NotEmpty)
        ->excludes(defaults);
}

struct PointOption {
    const char* option;
    const char* volts;
    const char* afr;
    const char* help;
};
constexpr std::array<PointOption, 4> PointOptions = {{
    {"--a1", "a1_volts", "a1_afr", "channel A's first point: volts 0 to 5, AFR 0 to 210"},
    {"--a2", "a2_volts", "a2_afr", "channel A's second point (the points in either order)"},
    {"--b1", "b1_volts", "b1_afr", "channel B's first point (used in WB mode, kept in NB)"},
    {"--b2", "b2_volts", "b2_afr", "channel B's second point"},
}};

void AddSetupWrite(CLI::App& setup, SetupOptions& options) {
    CLI::App* write =
        AddCommand(setup, "write",
                   "Change the setup (from the unit's values, the defaults or a file) and write it "
                   "with both output tables through the unit's loader",
                   "mq6 setup write --a1 0.5,10.5 --a2 4.5,19 --a-response fast --yes");
    write->callback([&options] { Result = RunSetupWrite(options); });
    AddSetupStart(write, options, "start from the defaults instead of the unit's setup",
                  "start from a setup file (as setup read --json prints)");
    write
        ->add_option_function<double>(
            "--stoich",
            [&options](double x) {
                options.numbers.push_back({"stoich_afr", x});
            },
            "stoichiometric AFR, to 0.01")
        ->type_name("AFR")
        ->check(Between(FieldRules[FIELD_STOICH].lowest, FieldRules[FIELD_STOICH].limit));
    for (const PointOption& point : PointOptions)
        write
            ->add_option_function<std::string>(
                point.option,
                [&options, point](const std::string& value) {
                    size_t comma = value.find(',');
                    options.numbers.push_back(
                        {point.volts, std::strtod(value.substr(0, comma).c_str(), nullptr)});
                    options.numbers.push_back(
                        {point.afr, std::strtod(value.substr(comma + 1).c_str(), nullptr)});
                },
                point.help)
            ->type_name("V,AFR")
            ->check(PointValue);
    std::vector<std::string> rates;
    for (const ResponseChoice& choice : ResponseChoices)
        rates.emplace_back(choice.name);
    const std::array<std::pair<const char*, const char*>, 3> named = {
        {{"--b-mode", "b_mode"}, {"--a-response", "a_response"}, {"--b-response", "b_response"}}};
    for (const auto& [option, key] : named)
        write
            ->add_option_function<std::string>(
                option,
                [&options, key = key](const std::string& name) {
                    options.names.push_back({key, name});
                },
                key == std::string("b_mode") ? "channel B linear (wb) or narrowband (nb)"
                                             : "the channel's response rate, in any case")
            ->type_name("NAME")
            ->transform(key == std::string("b_mode") ? OneOf({"wb", "nb"}) : OneOf(rates));
    write
        ->add_option_function<int>(
            "--nb-offset",
            [&options](int n) {
                options.numbers.push_back({"nb_offset", n});
            },
            "narrowband switch point at lambda 1 + (N - 128) x 0.001")
        ->type_name("N")
        ->check(Between(NB_OFFSET_USER_LOWEST, NB_OFFSET_USER_HIGHEST, true));
    write->add_flag("--dry-run", options.dryRun,
                    "show the changes against the unit, write nothing");
    write->add_flag("--yes", options.yes, "write without asking (needed without a terminal)");
    write->add_flag("--no-restore-point", options.noRestorePoint,
                    "keep no restore point of the unit's setup before writing");
    write->add_flag("--force", options.force,
                    "write values beyond what a user may give (a file's, the unit's own)");
}

void AddSetup(CLI::App& app, SetupOptions& options) {
    CLI::App* setup = AddCommand(
        app, "setup",
        "The unit's analogue-output setup, as the Wide Band Setup view reads and writes it",
        "mq6 setup read --json --output setup.json");
    setup->require_subcommand(1);
    CLI::App* read = AddCommand(*setup, "read",
                                "Print the unit's stoichiometric AFR, both channels' points and "
                                "response, channel B's mode and offset, and the flag byte",
                                "mq6 --port /dev/ttyUSB0 setup read --json --output setup.json");
    read->add_flag("--json", options.json, "one flat object, which write --from reads back");
    read->add_option("--output", options.output,
                     "into FILE instead of standard output, written only once the unit's setup "
                     "is read whole; - is standard output")
        ->type_name("FILE")
        ->check(NotEmpty);
    // - is standard output, as --from - and --csv - mean the standard streams.
    read->callback([&options] {
        Result = RunSetupRead(options.json, options.output == "-" ? "" : options.output);
    });
    AddSetupWrite(*setup, options);
    CLI::App* tables = AddCommand(*setup, "tables",
                                  "Print the 512 output-table entries a setup gives; needs no unit",
                                  "mq6 setup tables --from setup.json --channel b --csv");
    AddSetupStart(tables, options, "the defaults' tables (as without --from)",
                  "the tables of a setup file (as setup read --json prints)");
    tables->add_option("--channel", options.channel, "the channel's table, a or b in any case")
        ->type_name("NAME")
        ->transform(OneOf({"a", "b"}));
    tables->add_flag("--csv", options.csv, "comma-separated rows");
    tables->callback([&options] { Result = RunSetupTables(options); });
}

// mq6, or mq6 and the command and action that the arguments reached.
std::string CommandPath(const CLI::App& app) {
    std::string path = app.get_name();
    for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
        command = command->get_subcommands().front();
        path += " " + command->get_name();
    }
    return path;
}
// What an option takes, as its help shows it: "N (1 to 1000000000)".
std::string TakesText(const CLI::Option* option) {
    std::string type = option->get_type_name();
    size_t colon = type.find(':');
    return colon == std::string::npos ? type
                                      : type.substr(0, colon) + " (" + type.substr(colon + 1) + ")";
}

// A word that starts with a minus and then a digit or a point is a (negative) number.
bool IsOption(std::string_view word) {
    return word.size() > 1 && word.front() == '-' &&
           std::string_view("0123456789.").find(word[1]) == std::string_view::npos;
}

// The reason in the form of every other usage error, "--option: what was wrong; what it
// takes", where CLI11's own words would name neither the option nor what to do.
std::string UsageText(const CLI::App& app, const CLI::ParseError& e) {
    const CLI::App* command = &app;
    while (!command->get_subcommands().empty())
        command = command->get_subcommands().front();
    std::string path = CommandPath(app);
    std::vector<std::string> rest = app.remaining();
    if (!rest.empty() && !command->get_subcommands({}).empty() && !IsOption(rest.front()))
        return (command == &app ? "unknown command '" : "unknown action '") + rest.front() + "'";
    std::string text = e.what();
    std::string name = text.substr(0, text.find(':'));
    // The option may be the command's or one before it (--port, given after the command).
    const CLI::Option* option = nullptr;
    for (const CLI::App* owner = command; owner != nullptr && option == nullptr;
         owner = owner->get_parent())
        option = owner->get_option_no_throw(name);
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr && option != nullptr) {
        // CLI11 counts the values of an option given twice, which names neither.
        if (text.find(": At Most ") != std::string::npos)
            return name + " is given more than once; give it once";
        return name + ": no value given; it takes " + TakesText(option);
    }
    // A value that is the next option: the option's own value was left out.
    size_t given = text.find(": ");
    if (dynamic_cast<const CLI::ValidationError*>(&e) != nullptr && option != nullptr &&
        given != std::string::npos && IsOption(text.substr(given + 2, 2)))
        return name + ": no value given; it takes " + TakesText(option);
    for (const std::string& word : rest)
        if (IsOption(word))
            return word + " is not an option of " + path;
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr && !rest.empty())
        return rest.front() + " is not expected after " + path;
    if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr &&
        !command->get_subcommands({}).empty()) {
        std::string names;
        for (const CLI::App* sub : command->get_subcommands({}))
            names += (names.empty() ? "" : ", ") + sub->get_name();
        return std::string(command == &app ? "a command" : "an action") + " is needed: " + names;
    }
    return text;
}

// Option values in the help as "NAME (what it takes)": CLI11's own "NAME:range" and its
// "Excludes:" lists read badly, and the help texts say which options go together.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* option) const override {
        return option->get_type_size() == 0 ? std::string() : " " + TakesText(option);
    }
};
} // namespace

int main(int argc, char** argv) {
    CLI::App app("The command-line tool of the MQ-6 WB Utility.", "mq6");
    app.fallthrough();
    app.formatter(std::make_shared<HelpFormatter>());
    app.require_subcommand(1);
    app.footer("Exit status: 0 success, 1 the unit did not answer or refused, 2 usage "
               "errors.\nmq6 COMMAND --help explains a command.\n\nExample:\n  mq6 live --count 20 "
               "--csv -");
    app.set_version_flag("--version", VersionText, "the program's version and its build inputs");
    app.add_option("--port", Options.port, "the unit's serial port (default: found)")
        ->type_name("PATH")
        ->check(NotEmpty);
    app.add_flag("-v", Options.verbose, "say which port was found and opened");

    bool json = false;
    CLI::App* info = AddCommand(app, "info",
                                "Read the unit's data block: banner, version, unit mode and the 64 "
                                "setup bytes",
                                "mq6 --port /dev/ttyUSB0 info --json");
    info->add_flag("--json", json, "as one JSON object");
    info->callback([&json] { Result = RunInfo(json); });

    LiveOptions live;
    CLI::App* liveCommand = AddCommand(
        app, "live", "Stream the unit's live lambda and AFR: CSV rows or one updating line",
        "mq6 --port /dev/ttyUSB0 live --count 20 --csv -");
    liveCommand->add_option("--count", live.count, "stop after N frames")
        ->type_name("N")
        ->check(Between(1, 1e9, true));
    liveCommand->add_option("--seconds", live.seconds, "stop after S seconds")
        ->type_name("S")
        ->check(Between(0.001, 1e9));
    liveCommand->add_option("--csv", live.csvPath, "CSV rows to FILE, or to standard output (-)")
        ->type_name("FILE|-")
        ->check(NotEmpty);
    liveCommand
        ->add_option("--response-rate", live.responseRate,
                     "smoothing as in Preferences (default 50); each run starts from its first "
                     "frame, and 0 keeps that value")
        ->type_name("R")
        ->check(Between(0, 100, true));
    liveCommand->callback([&live] { Result = RunLive(live); });

    CLI::App* firmware =
        AddCommand(app, "firmware", "The unit's firmware against the one the program carries",
                   "mq6 --port /dev/ttyUSB0 firmware status");
    firmware->require_subcommand(1);
    AddCommand(*firmware, "status", "Print the unit's version, the carried version and the verdict",
               "mq6 --port /dev/ttyUSB0 firmware status")
        ->callback([] { Result = RunFirmwareStatus(); });
    bool yes = false;
    bool force = false;
    CLI::App* update = AddCommand(*firmware, "update",
                                  "Program the carried firmware through the unit's loader, if the "
                                  "unit's is older or cannot be read",
                                  "mq6 --port /dev/ttyUSB0 firmware update --yes");
    update->add_flag("--yes", yes, "update without asking (needed without a terminal)");
    update->add_flag("--force", force, "update a unit with the same or a newer version too");
    update->callback([&yes, &force] { Result = RunFirmwareUpdate(yes, force); });

    AddCommand(app, "ports",
               "List the FTDI 0403:6001 adapters that could be the unit; * marks the one used "
               "without --port",
               "mq6 ports")
        ->callback([] { Result = RunPorts(); });

    SetupOptions setup;
    AddSetup(app, setup);

    DoctorOptions doctor;
    CLI::App* doctorCommand = AddCommand(
        app, "doctor",
        "Report on this program, the port, the adapter, the unit and its live data, one line a "
        "check with what to do about each warn and fail; changes nothing",
        "mq6 doctor --seconds 10 > report.txt");
    doctorCommand->add_flag("--json", doctor.json, "as one JSON object, with the measured figures");
    doctorCommand->add_option("--seconds", doctor.seconds, "seconds of live data (default 5)")
        ->type_name("S")
        ->check(Between(0.5, 3600));
    doctorCommand->callback([&doctor] { Result = RunDoctor(doctor); });

    LogOptions log;
    CLI::App* logCommand = AddCommand(
        app, "log",
        "The figures of a recording of live data: rows, length, gaps, lambda lowest, highest and "
        "mean, the shares in, leaner and richer than the band, the markers; exit 2 for a file "
        "that is not a recording",
        "mq6 log pull.csv --band 0.85,0.90");
    logCommand->add_option("FILE", log.path, "a CSV file of the utility or of mq6 live --csv")
        ->type_name("")
        ->required();
    logCommand->add_flag("--json", log.json, "as one JSON object");
    logCommand
        ->add_option("--band", log.band,
                     "the target band, in either order (default the Preferences' 0.86,0.88)")
        ->type_name("LOW,HIGH")
        ->check(BandValue);
    logCommand->callback([&log] { Result = RunLog(log); });

    ReleasePortOnEveryWayOut();
#ifdef SIGPIPE
    // A reader that closes the pipe ends the output; writes then fail instead of killing mq6.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForVersion& e) {
        // Printed here, so that an output that fails says why (CLI11's own flushes first).
        if (argc != 2) {
            std::fprintf(stderr, "mq6: --version stands alone: mq6 --version\nrun mq6 --help\n");
            return EXIT_USAGE;
        }
        std::printf("%s\n", e.what());
        return FinishOutput(EXIT_OK);
    } catch (const CLI::Success& e) {
        app.exit(e);
        return FinishOutput(EXIT_OK); // help or version into a full disk fails like any output
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "mq6: %s\nrun %s --help\n", UsageText(app, e).c_str(),
                     CommandPath(app).c_str());
        return EXIT_USAGE;
    }
    int status = FinishOutput(Result);
    EndIfInterrupted();
    return status;
}
