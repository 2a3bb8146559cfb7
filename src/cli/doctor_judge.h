// mq6 doctor's judgments. The probes (cmd_doctor.cpp) fill DoctorFacts with what they saw; each
// Judge function turns the facts of its check into a verdict, its words and its figures, and
// the check table gives the order of the checks and what each needs. Nothing here probes the
// system or prints. The words for a port that did not open serve every command.
#pragma once

#include "cli/doctor.h"
#include "cli/live_loop.h"
#include "discovery/discovery.h"
#include "wbsetup/setup_values.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Keys in the order they are set: name, status, detail and hint lead each check.
using DoctorJson = nlohmann::ordered_json;

enum CheckStatus : int { CHECK_OK, CHECK_WARN, CHECK_FAIL, CHECK_SKIPPED, CHECK_STATUS_COUNT };
constexpr std::array<const char*, CHECK_STATUS_COUNT> STATUS_NAMES = {"ok", "warn", "fail",
                                                                      "skipped"};

// The checks in the order they run and are printed.
enum CheckName : int {
    CHECK_PROGRAM,
    CHECK_PORT,
    CHECK_ACCESS,
    CHECK_LATENCY,
    CHECK_UNIT,
    CHECK_LIVE,
    CHECK_SETUP,
    CHECK_COUNT
};

// Latency timers from 1 up to this are short enough for the unit's replies.
constexpr int32_t LATENCY_OK_MS = 4;
// Live data: a larger share of damaged frames, or a gap longer than LIVE_LOST_GAP_S
// (cli/live_loop.h), is a warn.
constexpr double BAD_SHARE_LIMIT = 0.001;

struct ProgramFacts {
    std::string version; // the program's
    int carriedMajor = 0;
    int carriedMinor = 0;
    bool sampleImage = false;
    bool sampleKey = false;
};

struct PortFacts {
    std::string port;                      // the port chosen; empty when none was found
    std::string how;                       // how it was chosen: "given with --port", ...
    bool given = false;                    // with --port
    bool nameTooLong = false;              // the name does not fit PortName
    std::vector<PortCandidate> candidates; // as mq6 ports lists them
    int chosen = -1;                       // the candidate whose port is the port; -1: none
    int32_t latencyMs = -1; // the chosen adapter's latency timer, read before the open
};

struct AccessFacts {
    PortAccess system;
    int openFailure = 0; // SERIAL_OPEN_OK, or why the link's open failed (link/serial.h)
};

struct LatencyFacts {
    bool lowLatency = false; // the open put the adapter in its low-latency mode
    std::string udevRule;    // where the Debian package's udev rule is installed; empty: nowhere
    std::string mend;        // this system's way to set the timer
};

struct UnitFacts {
    bool read = false;     // the data block came whole
    bool answered = false; // any byte came back
    double readMs = 0.0;
    std::string banner; // the banner's description, trailing blanks and dots cut
    bool versionKnown = false;
    int major = 0;
    int minor = 0;
    int mode = 0; // the data block's last byte
    bool sampleFirmware = false;
    std::string unfinishedJob; // what the job policy says of a unit left in mode; empty: none
};

struct LiveFacts {
    double seconds = 0.0; // listened, until the end or an interrupt
    bool interrupted = false;
    uint64_t good = 0, badSum = 0, cutShort = 0; // frames, from the link's counters
    uint64_t reconnections = 0;
    long frames = 0;               // heard by the doctor's listener
    bool portGone = false;         // the port was closed at the end, not open again
    std::vector<double> intervals; // between good frames, in seconds
    double longestGap = 0.0;       // the time after the last frame up to the end included
    double lowest = 0.0, highest = 0.0, sum = 0.0; // of the frames' own lambda
};

struct DoctorFacts {
    ProgramFacts program;
    PortFacts port;
    AccessFacts access;
    LatencyFacts latency;
    UnitFacts unit;
    LiveFacts live;
    SetupRecord setup{};
};

struct CheckVerdict {
    CheckStatus status = CHECK_SKIPPED;
    std::string detail;
    std::string hint;
    std::vector<std::string> lines; // shown under the detail
    DoctorJson figures = DoctorJson::object();
};

// What a check needs of the ones before it.
enum CheckNeed : int {
    NEEDS_NOTHING,
    NEEDS_PORT,         // a port was chosen
    NEEDS_OPEN_PORT,    // and opened
    NEEDS_RUNNING_UNIT, // and the unit's data block read, the unit running its application
};
struct CheckRow {
    const char* name;
    CheckNeed need;
    CheckVerdict (*judge)(const DoctorFacts& facts);
};

CheckVerdict JudgeProgram(const DoctorFacts& facts);
CheckVerdict JudgePort(const DoctorFacts& facts);
CheckVerdict JudgeAccess(const DoctorFacts& facts);
CheckVerdict JudgeLatency(const DoctorFacts& facts);
CheckVerdict JudgeUnit(const DoctorFacts& facts);
CheckVerdict JudgeLive(const DoctorFacts& facts);
CheckVerdict JudgeSetup(const DoctorFacts& facts);

constexpr std::array<CheckRow, CHECK_COUNT> CHECK_TABLE = {{
    {"program", NEEDS_NOTHING, JudgeProgram},
    {"port", NEEDS_NOTHING, JudgePort},
    {"access", NEEDS_PORT, JudgeAccess},
    {"latency", NEEDS_PORT, JudgeLatency},
    {"unit", NEEDS_OPEN_PORT, JudgeUnit},
    {"live", NEEDS_RUNNING_UNIT, JudgeLive},
    {"setup", NEEDS_RUNNING_UNIT, JudgeSetup},
}};

// Why a check with that need cannot run on the facts so far; nullptr when it can.
const char* MissingNeed(CheckNeed need, const DoctorFacts& facts);
// The check's verdict: skipped with the reason when its need is missing, else its judge's.
CheckVerdict JudgeCheck(CheckName name, const DoctorFacts& facts);

// The unit's own frame rate from the intervals between good frames: the mean of those near
// the median one, which neither a frame lost on the way (twice the interval) nor a unit held
// up (a gap, then a burst) moves; 0 without intervals.
double UnitFrameRate(std::vector<double> intervals);

// The check's lines as the report prints them, each with its line end.
std::string CheckText(CheckName name, const CheckVerdict& verdict);
// The last line, counting the verdicts ("7 checks: 6 ok, 1 warn"), with its line end.
std::string SummaryText(const std::array<CheckVerdict, CHECK_COUNT>& verdicts);
// The report as one JSON object: the checks with their figures, then the counts.
DoctorJson ReportJson(const std::array<CheckVerdict, CHECK_COUNT>& verdicts);

// Whether the access probe opens the port: nothing seen of the node refuses it.
bool AccessAllowsOpen(const PortAccess& system);
// Why a port did not open (failure, from link/serial.h), in the system's words.
const char* OpenFailureText(int failure);
// What mends a port that did not open, for mq6 doctor and for every command that opens it.
std::string OpenMend(int failure, const PortAccess& facts);
// The holders as the report names them: "minicom (pid 812), mq6 (pid 900)".
std::string HoldersText(const PortAccess& facts);
// Whether a holder is an mq6 writing into the unit (a setup write or a firmware update), which
// must be let finish.
bool HolderWritesUnit(const PortHolder& holder);

// The adapter list as mq6 ports and mq6 doctor show it. The MQ-6 units attached besides the
// chosen candidate (FindChosenCandidate, cli.h; -1 for none).
std::vector<int> OtherUnits(const std::vector<PortCandidate>& candidates, int chosen);
// A candidate's line, * marking the one used, without its line end.
std::string FormatCandidate(const PortCandidate& candidate, bool chosen);
// "another MQ-6 unit is attached (1-2)", "2 other MQ-6 units are attached (1-2, 1-3)".
std::string OtherUnitsText(const std::vector<PortCandidate>& candidates,
                           const std::vector<int>& others);
