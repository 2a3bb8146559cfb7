// mq6 doctor's verdicts and words from the facts its probes gathered.
#include "cli/doctor_judge.h"

#include "firmware/verdict.h"
#include "link/serial.h"
#include "wbsetup/setup_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr char ADAPTER_ID[] = "0403:6001";

constexpr char NOISE_MEND[] =
    "usual causes: the cable routed near ignition leads or coils, a poor ground between the unit "
    "and the PC, a USB hub; route the cable away, ground the unit with the PC, plug the adapter "
    "into the PC itself";
constexpr char RESTART_MEND[] =
    "unplug the adapter and plug it in again (the simulated unit: restart mq6-sim)";

std::string Format(const char* format, auto... values) {
    int length = std::snprintf(nullptr, 0, format, values...);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, format, values...);
    return text;
}

double Rounded(double x, int decimals) {
    double scale = std::pow(10.0, decimals);
    return std::round(x * scale) / scale;
}

CheckVerdict Verdict(CheckStatus status, std::string detail, std::string hint = {}) {
    CheckVerdict verdict;
    verdict.status = status;
    verdict.detail = std::move(detail);
    verdict.hint = std::move(hint);
    return verdict;
}

// Finishes a verdict whose figures and lines were gathered before its words.
CheckVerdict Finish(CheckVerdict& verdict, CheckStatus status, std::string detail,
                    std::string hint = {}) {
    verdict.status = status;
    verdict.detail = std::move(detail);
    verdict.hint = std::move(hint);
    return std::move(verdict);
}

const char* OrDash(const std::array<char, CANDIDATE_TEXT_SIZE>& text) {
    return text[0] != '\0' ? text.data() : "-";
}

} // namespace

bool AccessAllowsOpen(const PortAccess& system) {
    return !system.described || (system.error.empty() && system.mayOpen && system.holders.empty());
}

const char* MissingNeed(CheckNeed need, const DoctorFacts& facts) {
    if (need == NEEDS_NOTHING)
        return nullptr;
    if (facts.port.port.empty())
        return "no port to look at";
    if (need == NEEDS_OPEN_PORT && facts.access.openFailure != SERIAL_OPEN_OK)
        return "the port did not open";
    if (need == NEEDS_RUNNING_UNIT && !facts.unit.read)
        return "the unit did not answer";
    if (need == NEEDS_RUNNING_UNIT && !facts.unit.unfinishedJob.empty())
        return "the unit is not running";
    return nullptr;
}

CheckVerdict JudgeCheck(CheckName name, const DoctorFacts& facts) {
    const CheckRow& row = CHECK_TABLE[static_cast<size_t>(name)];
    if (const char* missing = MissingNeed(row.need, facts); missing != nullptr)
        return Verdict(CHECK_SKIPPED, missing);
    return row.judge(facts);
}

CheckVerdict JudgeProgram(const DoctorFacts& facts) {
    const ProgramFacts& program = facts.program;
    CheckVerdict verdict;
    verdict.figures["version"] = program.version;
    verdict.figures["sample_image"] = program.sampleImage;
    verdict.figures["sample_key"] = program.sampleKey;
    std::string detail = Format("mq6 %s, carrying firmware %d.%02d", program.version.c_str(),
                                program.carriedMajor, program.carriedMinor);
    if (!program.sampleImage && !program.sampleKey)
        return Finish(verdict, CHECK_OK,
                      Format("%s, the maker's image and setup key", detail.c_str()));
    const char* which = program.sampleImage && program.sampleKey ? "firmware image and setup key"
                        : program.sampleImage                    ? "firmware image"
                                                                 : "setup key";
    return Finish(verdict, CHECK_WARN, Format("%s; its %s: the SAMPLE", detail.c_str(), which),
                  "this build writes its sample only into a unit that runs the sample firmware "
                  "(the simulated unit): a real unit's firmware update and setup write need a "
                  "build with the maker's files (README.md, \"Samples and real units\")");
}

CheckVerdict JudgePort(const DoctorFacts& facts) {
    const PortFacts& port = facts.port;
    CheckVerdict verdict;
    DoctorJson listed = DoctorJson::array();
    for (size_t i = 0; i < port.candidates.size(); ++i) {
        const PortCandidate& candidate = port.candidates[i];
        bool chosen = static_cast<int>(i) == port.chosen;
        verdict.lines.push_back(FormatCandidate(candidate, chosen));
        DoctorJson& entry = listed.emplace_back(DoctorJson::object());
        entry["usb"] = candidate.location.data();
        entry["product"] = candidate.product.data();
        entry["serial"] = candidate.serial.data();
        entry["port"] = candidate.port.data();
        entry["attached"] = candidate.attached != 0;
        entry["chosen"] = chosen;
    }
    verdict.figures["port"] = port.port;
    verdict.figures["candidates"] = std::move(listed);
    size_t count = port.candidates.size();
    std::string adapters =
        count == 0 ? "no FTDI 0403:6001 adapter"
                   : Format("%zu FTDI 0403:6001 adapter%s", count, count == 1 ? "" : "s");
    if (port.port.empty() || port.nameTooLong)
        return Finish(verdict, CHECK_FAIL,
                      port.port.empty()
                          ? Format("no MQ-6 unit found; %s", adapters.c_str())
                          : Format("the port name is too long: %s", port.port.c_str()),
                      "connect the unit and power it; an adapter whose product string is not "
                      "\"MQ-6\" is used with --port PATH; no adapter at all: the cable, or the "
                      "system's FTDI driver (the kernel log on Linux, Device Manager on Windows)");
    std::string detail =
        Format("%s, %s; %s", port.port.c_str(), port.how.c_str(), adapters.c_str());
    std::vector<int> others = OtherUnits(port.candidates, port.chosen);
    // A port given is the user's choice; a port found is only the first of the units.
    if (port.given || others.empty())
        return Finish(verdict, CHECK_OK, detail);
    return Finish(verdict, CHECK_WARN, detail + "; " + OtherUnitsText(port.candidates, others),
                  "without --port every command takes the port marked *: give --port PATH to "
                  "choose the unit (mq6 ports lists the adapters)");
}

CheckVerdict JudgeAccess(const DoctorFacts& facts) {
    const PortAccess& system = facts.access.system;
    const char* port = facts.port.port.c_str();
    CheckVerdict verdict;
    std::string detail;
    if (system.described) {
        verdict.figures["node"] = system.node;
        verdict.figures["user"] = system.user;
        verdict.figures["may_open"] = system.mayOpen;
        verdict.figures["holders"] = HoldersText(system);
        if (!system.error.empty())
            return Finish(verdict, CHECK_FAIL, Format("%s: %s", port, system.error.c_str()),
                          OpenMend(SERIAL_OPEN_MISSING, system));
        detail = Format("%s, user %s", system.node.c_str(), system.user.c_str());
        if (!system.mayOpen)
            return Finish(verdict, CHECK_FAIL, Format("%s may not open it", detail.c_str()),
                          system.groupPending
                              ? Format("%s is in the group %s but this login began before: log "
                                       "out and in again",
                                       system.user.c_str(), system.group.c_str())
                              : OpenMend(SERIAL_OPEN_DENIED, system));
        if (!system.holders.empty())
            return Finish(verdict, CHECK_FAIL,
                          Format("%s may open it; in use by another program: %s", detail.c_str(),
                                 HoldersText(system).c_str()),
                          OpenMend(SERIAL_OPEN_BUSY, system));
        detail += system.seesAll ? " may open it, no other program holds it; "
                                 : " may open it, no program of this user holds it; ";
    }
    if (facts.access.openFailure != SERIAL_OPEN_OK)
        return Finish(verdict, CHECK_FAIL,
                      Format("%scannot open %s: %s", detail.c_str(), port,
                             OpenFailureText(facts.access.openFailure)),
                      OpenMend(facts.access.openFailure, system));
    return Finish(verdict, CHECK_OK, Format("%sopened %s", detail.c_str(), port));
}

CheckVerdict JudgeLatency(const DoctorFacts& facts) {
    const LatencyFacts& latency = facts.latency;
    int32_t ms = facts.port.latencyMs;
    CheckVerdict verdict;
    verdict.figures["latency_timer_ms"] = ms >= 0 ? DoctorJson(ms) : DoctorJson(nullptr);
    verdict.figures["low_latency_mode"] = latency.lowLatency;
    verdict.figures["udev_rule"] =
        latency.udevRule.empty() ? DoctorJson(nullptr) : DoctorJson(latency.udevRule);
    std::string rule = latency.udevRule.empty() ? "" : "; udev rule " + latency.udevRule;
    const char* mode =
        latency.lowLatency ? "; mq6 put the port in low-latency mode (1 ms while it has it)" : "";
    if (facts.port.chosen < 0)
        return Finish(verdict, CHECK_OK,
                      Format("no FTDI adapter leads to %s: no latency timer%s",
                             facts.port.port.c_str(), rule.c_str()));
    if (ms < 0)
        return Finish(
            verdict, CHECK_WARN,
            Format("the system does not show the adapter's latency timer%s%s", mode, rule.c_str()),
            latency.mend);
    std::string detail = Format("latency timer %d ms%s%s", ms, mode, rule.c_str());
    if (ms >= 1 && ms <= LATENCY_OK_MS)
        return Finish(verdict, CHECK_OK, detail);
    return Finish(verdict, CHECK_WARN,
                  Format("%s; the adapter holds each reply back up to %d ms", detail.c_str(), ms),
                  latency.mend);
}

CheckVerdict JudgeUnit(const DoctorFacts& facts) {
    const UnitFacts& unit = facts.unit;
    CheckVerdict verdict;
    verdict.figures["read_ms"] = std::round(unit.readMs);
    if (!unit.read && unit.answered)
        return Finish(verdict, CHECK_FAIL,
                      Format("the unit answered, but no data block came through whole (%.0f ms)",
                             unit.readMs),
                      NOISE_MEND);
    if (!unit.read)
        return Finish(verdict, CHECK_FAIL,
                      Format("no answer to the data block read (%.0f ms)", unit.readMs),
                      "the unit's power (and its ground), the cable to it, and whether this is "
                      "its port: mq6 ports lists the adapters");
    verdict.figures["banner"] = unit.banner;
    verdict.figures["version"] = unit.versionKnown
                                     ? DoctorJson(Format("%d.%02d", unit.major, unit.minor))
                                     : DoctorJson(nullptr);
    verdict.figures["unit_mode"] = unit.mode;
    verdict.figures["sample_firmware"] = unit.sampleFirmware;
    std::string detail = Format("data block in %.0f ms; \"%s\"", unit.readMs, unit.banner.c_str());
    CheckStatus status = CHECK_OK;
    std::string hint;
    if (unit.versionKnown) {
        FirmwareVerdict firmware = CompareFirmware(unit.major, unit.minor);
        std::string_view text = VerdictText(firmware);
        detail += Format("; version %d.%02d: %.*s", unit.major, unit.minor,
                         static_cast<int>(text.size()), text.data());
        if (firmware == VERDICT_UPDATE) {
            status = CHECK_WARN;
            hint = "mq6 firmware update";
        }
    } else {
        detail += "; no version in its banner";
        status = CHECK_WARN;
        hint = "mq6 firmware update installs the carried firmware";
    }
    if (!unit.unfinishedJob.empty()) {
        status = CHECK_FAIL;
        detail += Format("; unit mode %d", unit.mode);
        hint = unit.unfinishedJob;
    } else {
        detail += "; running";
    }
    if (unit.sampleFirmware)
        detail += "; the sample firmware";
    else if (facts.program.sampleImage || facts.program.sampleKey)
        detail += "; not the sample firmware, so this build's samples are not written to it";
    return Finish(verdict, status, detail, hint);
}

double UnitFrameRate(std::vector<double> intervals) {
    if (intervals.empty())
        return 0.0;
    auto middle = intervals.begin() + static_cast<long>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    double median = *middle;
    double sum = 0.0;
    long usual = 0;
    for (double interval : intervals)
        if (interval >= median * 0.5 && interval <= median * 1.5) {
            sum += interval;
            ++usual;
        }
    return sum > 0.0 ? static_cast<double>(usual) / sum : 0.0;
}

CheckVerdict JudgeLive(const DoctorFacts& facts) {
    const LiveFacts& live = facts.live;
    // A port that broke and is not open again by the end went away: it did not reconnect.
    uint64_t breaks = live.reconnections;
    if (live.portGone && breaks > 0)
        --breaks;
    double rate = live.seconds > 0.0 ? static_cast<double>(live.good) / live.seconds : 0.0;
    double unitRate = UnitFrameRate(live.intervals);
    uint64_t seen = live.good + live.badSum + live.cutShort;
    double share =
        seen > 0 ? static_cast<double>(live.badSum + live.cutShort) / static_cast<double>(seen)
                 : 0.0;
    double mean = live.frames > 0 ? live.sum / static_cast<double>(live.frames) : 0.0;
    CheckVerdict verdict;
    DoctorJson& figures = verdict.figures;
    figures["seconds"] = Rounded(live.seconds, 3);
    figures["frames"] = live.good;
    figures["frames_per_second"] = Rounded(rate, 2);
    figures["unit_frames_per_second"] = Rounded(unitRate, 2);
    figures["bad_sum"] = live.badSum;
    figures["cut_short"] = live.cutShort;
    figures["bad_share"] = Rounded(share, 6);
    figures["longest_gap_s"] = Rounded(live.longestGap, 3);
    figures["reconnections"] = breaks;
    figures["port_gone"] = live.portGone;
    figures["lambda_min"] = Rounded(live.lowest, 4);
    figures["lambda_max"] = Rounded(live.highest, 4);
    figures["lambda_mean"] = Rounded(mean, 4);
    std::string detail = Format(
        "%s%.1f s: %llu frames, %.1f a second of the unit's %.1f; %llu bad sum, %llu cut short "
        "(%.2f %%); longest gap %.2f s; %llu reconnections",
        live.interrupted ? "interrupted after " : "", live.seconds,
        static_cast<unsigned long long>(live.good), rate, unitRate,
        static_cast<unsigned long long>(live.badSum),
        static_cast<unsigned long long>(live.cutShort), share * 100.0, live.longestGap,
        static_cast<unsigned long long>(breaks));
    if (live.portGone)
        return Finish(verdict, CHECK_FAIL, detail + "; the port went away and did not come back",
                      "the cable or the USB adapter: a loose plug, a hub that drops the adapter, "
                      "a failing adapter; plug it in again and run mq6 doctor again");
    if (live.frames == 0)
        return Finish(verdict, CHECK_FAIL, detail,
                      Format("the unit answers requests but sent no good live frame: %s",
                             seen > 0 ? NOISE_MEND : "power it off and on"));
    detail += Format("; lambda %.3f to %.3f, mean %.3f", live.lowest, live.highest, mean);
    if (share > BAD_SHARE_LIMIT || live.longestGap > LIVE_LOST_GAP_S || breaks > 0)
        return Finish(verdict, CHECK_WARN, detail, NOISE_MEND);
    return Finish(verdict, CHECK_OK, detail);
}

CheckVerdict JudgeSetup(const DoctorFacts& facts) {
    const SetupRecord& values = facts.setup;
    std::string outside = OutsideUserRangeWords(values);
    bool linear = (values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
    std::string channelB = linear ? "channel B: WB, linear"
                                  : Format("channel B: NB, narrowband, switching at lambda %.3f",
                                           NbSwitchLambda(values.NbOffset));
    CheckVerdict verdict;
    verdict.figures["stoich_afr"] = Rounded(StoichAfrOf(values), 2);
    verdict.figures["b_mode"] = linear ? "wb" : "nb";
    verdict.figures["nb_offset"] = values.NbOffset;
    if (!outside.empty())
        return Finish(
            verdict, CHECK_WARN,
            Format("outside the view's ranges: %s; %s", outside.c_str(), channelB.c_str()),
            "the Wide Band Setup view corrects such a value when its field is left; a backup "
            "writes it back as it is: set it anew (mq6 setup write --help)");
    return Finish(verdict, CHECK_OK,
                  Format("every value inside the view's ranges; %s", channelB.c_str()));
}

std::string CheckText(CheckName name, const CheckVerdict& verdict) {
    std::string text = Format("%-8s %-7s %s\n", CHECK_TABLE[static_cast<size_t>(name)].name,
                              STATUS_NAMES[verdict.status], verdict.detail.c_str());
    for (const std::string& line : verdict.lines)
        text += Format("%17s%s\n", "", line.c_str());
    if (!verdict.hint.empty())
        text += Format("%17s-> %s\n", "", verdict.hint.c_str());
    return text;
}

namespace {
std::array<int, CHECK_STATUS_COUNT>
CountVerdicts(const std::array<CheckVerdict, CHECK_COUNT>& verdicts) {
    std::array<int, CHECK_STATUS_COUNT> counts{};
    for (const CheckVerdict& verdict : verdicts)
        ++counts[verdict.status];
    return counts;
}
} // namespace

std::string SummaryText(const std::array<CheckVerdict, CHECK_COUNT>& verdicts) {
    std::array<int, CHECK_STATUS_COUNT> counts = CountVerdicts(verdicts);
    std::string line = Format("%d checks: %d ok", CHECK_COUNT, counts[CHECK_OK]);
    for (int status = CHECK_WARN; status <= CHECK_SKIPPED; ++status)
        if (counts[static_cast<size_t>(status)] > 0)
            line += Format(", %d %s", counts[static_cast<size_t>(status)],
                           STATUS_NAMES[static_cast<size_t>(status)]);
    return line + "\n";
}

DoctorJson ReportJson(const std::array<CheckVerdict, CHECK_COUNT>& verdicts) {
    DoctorJson report = DoctorJson::object();
    report["checks"] = DoctorJson::array();
    for (size_t name = 0; name < CHECK_COUNT; ++name) {
        const CheckVerdict& verdict = verdicts[name];
        DoctorJson& entry = report["checks"].emplace_back(DoctorJson::object());
        entry["name"] = CHECK_TABLE[name].name;
        entry["status"] = STATUS_NAMES[verdict.status];
        entry["detail"] = verdict.detail;
        entry["hint"] = verdict.hint.empty() ? DoctorJson(nullptr) : DoctorJson(verdict.hint);
        entry.update(verdict.figures);
    }
    std::array<int, CHECK_STATUS_COUNT> counts = CountVerdicts(verdicts);
    for (size_t status = 0; status < CHECK_STATUS_COUNT; ++status)
        report[STATUS_NAMES[status]] = counts[status];
    return report;
}

const char* OpenFailureText(int failure) {
    switch (failure) {
    case SERIAL_OPEN_MISSING:
        return "no such file or device";
    case SERIAL_OPEN_BUSY:
        return "in use by another program";
    case SERIAL_OPEN_DENIED:
        return "permission denied";
    case SERIAL_OPEN_NOT_TERMINAL:
        return "not a serial terminal";
    case SERIAL_OPEN_DIRECTORY:
        return "it is a directory, not a port";
    default:
        return "the system refused to open it";
    }
}

bool HolderWritesUnit(const PortHolder& holder) {
    const std::vector<std::string>& words = holder.arguments;
    if (words.empty())
        return false;
    std::string_view program = words[0];
    program.remove_prefix(std::min(program.size(), program.find_last_of("/\\") + 1));
    if (program != "mq6" && program != "mq6.exe")
        return false;
    // The command and its action stand in this order among the options.
    auto has = [&](std::string_view word) {
        return std::find(words.begin() + 1, words.end(), word) != words.end();
    };
    auto after = [&](std::string_view first, std::string_view second) {
        auto at = std::find(words.begin() + 1, words.end(), first);
        return at != words.end() && std::find(at + 1, words.end(), second) != words.end();
    };
    return (after("setup", "write") && !has("--dry-run")) || after("firmware", "update");
}

std::string HoldersText(const PortAccess& facts) {
    std::string text;
    for (const PortHolder& holder : facts.holders)
        text +=
            (text.empty() ? "" : ", ") + holder.name + " (pid " + std::to_string(holder.pid) + ")";
    return text;
}

std::string OpenMend(int failure, const PortAccess& facts) {
    switch (failure) {
    case SERIAL_OPEN_BUSY:
        for (const PortHolder& holder : facts.holders)
            if (HolderWritesUnit(holder))
                return Format("wait for it: %s (pid %d) is writing into the unit, which takes 10 s "
                              "at most as a rule, and a cut would leave the unit half-programmed; "
                              "then try again",
                              holder.name.c_str(), holder.pid);
        if (facts.holders.empty() && facts.exclusive)
            return std::string(facts.seesAll ? "" : "another user's program holds it, or ") +
                   "a program killed before it could give the port up (kill -9) left it in "
                   "exclusive mode; " +
                   (facts.seesAll ? "" : "if no program uses it, ") + RESTART_MEND;
        return "close the program that holds it (a terminal program, a logger, ModemManager) "
               "and try again";
    case SERIAL_OPEN_DENIED:
        if (!facts.groupMayUse && !facts.udevRule.empty())
            return "only the node's owner may use it: give the unit's port, /dev/mq6 while the "
                   "unit is plugged in (the udev rule " +
                   facts.udevRule + " names it)";
        if (!facts.groupMayUse)
            return "only the node's owner may use it: give the unit's port, or install the "
                   "Debian package, whose udev rule names the unit's port /dev/mq6";
        return "join the group " + facts.group + " (sudo usermod -aG " + facts.group + " " +
               facts.user + "); the change takes effect at a new login";
    case SERIAL_OPEN_NOT_TERMINAL:
    case SERIAL_OPEN_DIRECTORY:
        return "give the unit's port: mq6 ports lists the adapters";
    default:
        return "is the unit plugged in? mq6 ports lists the adapters";
    }
}

std::vector<int> OtherUnits(const std::vector<PortCandidate>& candidates, int chosen) {
    std::vector<int> others;
    for (size_t i = 0; i < candidates.size(); ++i)
        if (static_cast<int>(i) != chosen && candidates[i].named != 0 &&
            candidates[i].attached != 0)
            others.push_back(static_cast<int>(i));
    return others;
}

std::string OtherUnitsText(const std::vector<PortCandidate>& candidates,
                           const std::vector<int>& others) {
    std::string where;
    for (int index : others)
        where += (where.empty() ? "" : ", ") +
                 std::string(candidates[static_cast<size_t>(index)].location.data());
    if (others.size() == 1)
        return "another MQ-6 unit is attached (" + where + ")";
    return Format("%zu other MQ-6 units are attached (%s)", others.size(), where.c_str());
}

std::string FormatCandidate(const PortCandidate& candidate, bool chosen) {
    std::string product = "\"" + std::string(candidate.product.data()) + "\"";
    return Format("%c %-12s %s  %-20s %-16s %s%s", chosen ? '*' : ' ', candidate.location.data(),
                  ADAPTER_ID, product.c_str(), OrDash(candidate.serial), OrDash(candidate.port),
                  candidate.port[0] != '\0' && candidate.attached == 0 ? " (not attached)" : "");
}
