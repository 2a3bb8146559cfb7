// mq6 doctor: one report on this program, the port, the adapter, the unit and the link, a line
// per check, for a user whose link misbehaves. It changes nothing: the unit gets only the
// requests of mq6 info and mq6 live, and the adapter, the registry and the files are only read.
#include "cli/cli.h"
#include "cli/doctor.h"
#include "discovery/discovery.h"
#include "display/live_stream.h"
#include "firmware/banner.h"
#include "firmware/cipher_key.h"
#include "firmware/firmware_image.h"
#include "firmware/sample_rule.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "link/serial.h"
#include "mq6_version.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "wbsetup/setup_fields.h"
#include "wbsetup/setup_values.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// Keys in the order they are set: name, status, detail and hint lead each check.
using Json = nlohmann::ordered_json;

enum CheckStatus : int { CHECK_OK, CHECK_WARN, CHECK_FAIL, CHECK_SKIPPED };
constexpr std::array<const char*, 4> STATUS_NAMES = {"ok", "warn", "fail", "skipped"};

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
constexpr std::array<const char*, CHECK_COUNT> CHECK_NAMES = {
    "program", "port", "access", "latency", "unit", "live", "setup"};

// Latency timers up to this are short enough for the unit's replies.
constexpr int32_t LATENCY_OK_MS = 4;
// Live data: a larger share of damaged frames, or a longer gap between good ones, is a warn.
constexpr double BAD_SHARE_LIMIT = 0.001;
constexpr double GAP_LIMIT_S = 0.5;
constexpr int32_t LIVE_RESPONSE_RATE = 50;
constexpr int STOP_ATTEMPTS = 3;
// Intervals between good frames kept without allocating as they come (a minute at 1000 a second).
constexpr size_t LIVE_INTERVALS_KEPT = 65536;

constexpr char NOISE_MEND[] =
    "usual causes: the cable routed near ignition leads or coils, a poor ground between the unit "
    "and the PC, a USB hub; route the cable away, ground the unit with the PC, plug the adapter "
    "into the PC itself";

struct Check {
    CheckStatus status = CHECK_SKIPPED;
    std::string detail;
    std::string hint;
    std::vector<std::string> lines; // shown under the detail
    Json figures = Json::object();
};

struct DoctorRun {
    std::array<Check, CHECK_COUNT> checks;
    bool json = false;
    std::string port;
    bool adapterKnown = false;
    PortCandidate adapter{};
    int32_t latencyMs = -1; // -1: not read
    bool opened = false;
    bool unitRead = false;
    bool unitMidJob = false;
};
DoctorRun Run;

// What the live stream gave while the doctor listened.
struct LiveTally {
    long frames = 0;
    std::vector<double> intervals; // between good frames, in seconds
    Clock::time_point first, last;
    double longestGap = 0.0;
    double lowest = 0.0, highest = 0.0, sum = 0.0;
};
LiveTally Tally;

volatile std::sig_atomic_t Interrupted = 0;

void OnInterrupt(int) {
    Interrupted = 1;
}

std::string Format(const char* format, auto... values) {
    std::array<char, 1024> text{};
    std::snprintf(text.data(), text.size(), format, values...);
    return text.data();
}

double Rounded(double x, int decimals) {
    double scale = std::pow(10.0, decimals);
    return std::round(x * scale) / scale;
}

void Finish(CheckName name, CheckStatus status, std::string detail, std::string hint = {}) {
    Check& check = Run.checks[name];
    check.status = status;
    check.detail = std::move(detail);
    check.hint = std::move(hint);
    if (Run.json)
        return;
    std::printf("%-8s %-7s %s\n", CHECK_NAMES[name], STATUS_NAMES[status], check.detail.c_str());
    for (const std::string& line : check.lines)
        std::printf("%17s%s\n", "", line.c_str());
    if (!check.hint.empty())
        std::printf("%17s-> %s\n", "", check.hint.c_str());
    std::fflush(stdout);
}

// One figure of the JSON report, after those the check set before.
void Figure(CheckName name, const char* key, Json value) {
    Run.checks[name].figures[key] = std::move(value);
}

void Skip(CheckName name, const char* reason) {
    Finish(name, CHECK_SKIPPED, reason);
}

void CheckProgram() {
    std::string detail = Format("mq6 %s, carrying firmware %d.%02d", MQ6_VERSION_TEXT,
                                CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
    Figure(CHECK_PROGRAM, "version", MQ6_VERSION_TEXT);
    Figure(CHECK_PROGRAM, "sample_image", FIRMWARE_IMAGE_IS_SAMPLE);
    Figure(CHECK_PROGRAM, "sample_key", SETUP_KEY_IS_SAMPLE);
    if (!FIRMWARE_IMAGE_IS_SAMPLE && !SETUP_KEY_IS_SAMPLE)
        return Finish(CHECK_PROGRAM, CHECK_OK,
                      Format("%s, the maker's image and setup key", detail.c_str()));
    const char* which = FIRMWARE_IMAGE_IS_SAMPLE && SETUP_KEY_IS_SAMPLE
                            ? "firmware image and setup key"
                            : (FIRMWARE_IMAGE_IS_SAMPLE ? "firmware image" : "setup key");
    Finish(CHECK_PROGRAM, CHECK_WARN, Format("%s; its %s: the SAMPLE", detail.c_str(), which),
           "this build writes its sample only into a unit that runs the sample firmware (the "
           "simulated unit): a real unit's firmware update and setup write need a build with the "
           "maker's files (README.md, \"Samples and real units\")");
}

void CheckPort() {
    Check& check = Run.checks[CHECK_PORT];
    std::array<PortCandidate, MAX_PORT_CANDIDATES> candidates;
    int count = ListPortCandidates(candidates.data(), static_cast<int>(candidates.size()));
    std::string how = "given with --port";
    if (!Options.port.empty()) {
        Run.port = Options.port;
        AutoPort.store(0, std::memory_order_release);
    } else {
        std::array<char, PORT_NAME_SIZE> found{};
        if (FindAttachedUnit(found.data(), found.size()) == 0) {
            Run.port = found.data();
            how = DescribeFoundPort(found.data());
        }
        AutoPort.store(1, std::memory_order_release);
    }
    Json listed = Json::array();
    for (int i = 0; i < count; ++i) {
        const PortCandidate& candidate = candidates[static_cast<size_t>(i)];
        bool chosen = !Run.port.empty() && candidate.attached != 0 &&
                      SamePort(candidate.port.data(), Run.port.c_str());
        if (chosen && !Run.adapterKnown) {
            Run.adapterKnown = true;
            Run.adapter = candidate;
        }
        check.lines.push_back(FormatCandidate(candidate, chosen));
        Json& entry = listed.emplace_back(Json::object());
        entry["usb"] = candidate.location.data();
        entry["product"] = candidate.product.data();
        entry["serial"] = candidate.serial.data();
        entry["port"] = candidate.port.data();
        entry["attached"] = candidate.attached != 0;
        entry["chosen"] = chosen;
    }
    Figure(CHECK_PORT, "port", Run.port);
    Figure(CHECK_PORT, "candidates", std::move(listed));
    std::string adapters =
        count == 0 ? "no FTDI 0403:6001 adapter"
                   : Format("%d FTDI 0403:6001 adapter%s", count, count == 1 ? "" : "s");
    if (Run.port.empty() || StorePortName(Run.port) != 0)
        return Finish(CHECK_PORT, CHECK_FAIL,
                      Run.port.empty() ? Format("no MQ-6 unit found; %s", adapters.c_str())
                                       : Format("the port name is too long: %s", Run.port.c_str()),
                      "connect the unit and power it; an adapter whose product string is not "
                      "\"MQ-6\" is used with --port PATH; no adapter at all: the cable, or the "
                      "system's FTDI driver (the kernel log on Linux, Device Manager on Windows)");
    Finish(CHECK_PORT, CHECK_OK,
           Format("%s, %s; %s", Run.port.c_str(), how.c_str(), adapters.c_str()));
}

void CheckAccess() {
    PortAccess facts;
    InspectPortAccess(Run.port.c_str(), facts);
    std::string detail;
    if (facts.described) {
        Figure(CHECK_ACCESS, "node", facts.node);
        Figure(CHECK_ACCESS, "user", facts.user);
        Figure(CHECK_ACCESS, "may_open", facts.mayOpen);
        Figure(CHECK_ACCESS, "holders", facts.holders);
        if (!facts.error.empty())
            return Finish(CHECK_ACCESS, CHECK_FAIL,
                          Format("%s: %s", Run.port.c_str(), facts.error.c_str()),
                          OpenMend(SERIAL_OPEN_MISSING, facts));
        detail = Format("%s, user %s", facts.node.c_str(), facts.user.c_str());
        if (!facts.mayOpen)
            return Finish(CHECK_ACCESS, CHECK_FAIL, Format("%s may not open it", detail.c_str()),
                          facts.groupPending
                              ? Format("%s is in the group %s but this login began before: log "
                                       "out and in again",
                                       facts.user.c_str(), facts.group.c_str())
                              : OpenMend(SERIAL_OPEN_DENIED, facts));
        if (!facts.holders.empty())
            return Finish(CHECK_ACCESS, CHECK_FAIL,
                          Format("%s may open it; in use by another program: %s", detail.c_str(),
                                 facts.holders.c_str()),
                          OpenMend(SERIAL_OPEN_BUSY, facts));
        detail += facts.seesAll ? " may open it, no other program holds it; "
                                : " may open it, no program of this user holds it; ";
    }
    int failure = OpenChosenPort();
    if (failure != SERIAL_OPEN_OK)
        return Finish(CHECK_ACCESS, CHECK_FAIL,
                      Format("%scannot open %s: %s", detail.c_str(), Run.port.c_str(),
                             OpenFailureText(failure)),
                      OpenMend(failure, facts));
    Run.opened = true;
    Finish(CHECK_ACCESS, CHECK_OK, Format("%sopened %s", detail.c_str(), Run.port.c_str()));
}

// Read before the port is opened: the low-latency mode of the open shows as 1 ms meanwhile.
void ReadLatencyTimer() {
    int32_t ms = 0;
    if (Run.adapterKnown && ReadAdapterLatencyTimer(Run.adapter, ms) == 0)
        Run.latencyMs = ms;
}

void CheckLatency() {
    std::string rule = FindUdevRule();
    bool lowLatency = Run.opened && SerialLowLatency() == 1;
    Figure(CHECK_LATENCY, "latency_timer_ms", Run.latencyMs >= 0 ? Json(Run.latencyMs) : nullptr);
    Figure(CHECK_LATENCY, "low_latency_mode", lowLatency);
    Figure(CHECK_LATENCY, "udev_rule", rule.empty() ? Json(nullptr) : Json(rule));
    const char* ruleLead = rule.empty() ? "" : "; udev rule ";
    const char* mode =
        lowLatency ? "; mq6 put the port in low-latency mode (1 ms while it has it)" : "";
    if (!Run.adapterKnown)
        return Finish(CHECK_LATENCY, CHECK_OK,
                      Format("no FTDI adapter leads to %s: no latency timer%s%s", Run.port.c_str(),
                             ruleLead, rule.c_str()));
    if (Run.latencyMs < 0)
        return Finish(CHECK_LATENCY, CHECK_WARN,
                      Format("the system does not show the adapter's latency timer%s%s%s", mode,
                             ruleLead, rule.c_str()),
                      LatencyTimerMend());
    std::string detail =
        Format("latency timer %d ms%s%s%s", Run.latencyMs, mode, ruleLead, rule.c_str());
    if (Run.latencyMs >= 1 && Run.latencyMs <= LATENCY_OK_MS)
        return Finish(CHECK_LATENCY, CHECK_OK, detail);
    Finish(
        CHECK_LATENCY, CHECK_WARN,
        Format("%s; the adapter holds each reply back up to %d ms", detail.c_str(), Run.latencyMs),
        LatencyTimerMend());
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.remove_suffix(1);
    return text;
}

void CheckUnit() {
    if (!Run.opened)
        return Skip(CHECK_UNIT, "the port did not open");
    ErrorShown.store(1, std::memory_order_release); // the tool reports it here, not in a box
    Clock::time_point start = Clock::now();
    uint64_t received = LinkBytesReceived.load();
    int read = GetDeviceData();
    bool answered = LinkBytesReceived.load() != received;
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    Figure(CHECK_UNIT, "read_ms", std::round(ms));
    if (read != 0 && answered)
        return Finish(
            CHECK_UNIT, CHECK_FAIL,
            Format("the unit answered, but no data block came through whole (%.0f ms)", ms),
            NOISE_MEND);
    if (read != 0)
        return Finish(CHECK_UNIT, CHECK_FAIL,
                      Format("no answer to the data block read (%.0f ms)", ms),
                      "the unit's power (and its ground), the cable to it, and whether this is "
                      "its port: mq6 ports lists the adapters");
    Run.unitRead = true;
    std::string banner(TrimRight(SplitBanner(DeviceInfo)[BANNER_DESCRIPTION]));
    int major = 0;
    int minor = 0;
    bool known = ReadUnitVersion(DeviceInfo, major, minor) == 0;
    int mode = DeviceInfo[UNIT_MODE_OFFSET];
    Figure(CHECK_UNIT, "banner", banner);
    Figure(CHECK_UNIT, "version", known ? Json(Format("%d.%02d", major, minor)) : nullptr);
    Figure(CHECK_UNIT, "unit_mode", mode);
    bool sample = UnitRunsSampleFirmware();
    Figure(CHECK_UNIT, "sample_firmware", sample);
    std::string detail = Format("data block in %.0f ms; \"%s\"", ms, banner.c_str());
    CheckStatus status = CHECK_OK;
    std::string hint;
    if (known) {
        FirmwareVerdict verdict = CompareFirmware(major, minor);
        std::string_view text = VerdictText(verdict);
        detail += Format("; version %d.%02d: %.*s", major, minor, static_cast<int>(text.size()),
                         text.data());
        if (verdict == VERDICT_UPDATE) {
            status = CHECK_WARN;
            hint = "mq6 firmware update";
        }
    } else {
        detail += "; no version in its banner";
        status = CHECK_WARN;
        hint = "mq6 firmware update installs the carried firmware";
    }
    if (std::string job = UnfinishedJobText(mode); !job.empty()) {
        Run.unitMidJob = true;
        status = CHECK_FAIL;
        detail += Format("; unit mode %d", mode);
        hint = job;
    } else {
        detail += "; running";
    }
    if (sample)
        detail += "; the sample firmware";
    else if (FIRMWARE_IMAGE_IS_SAMPLE || SETUP_KEY_IS_SAMPLE)
        detail += "; not the sample firmware, so this build's samples are not written to it";
    Finish(CHECK_UNIT, status, detail, hint);
}

void OnLiveSample(const LiveSample& sample) {
    Clock::time_point now = Clock::now();
    if (Tally.frames == 0) {
        Tally.first = now;
        Tally.lowest = Tally.highest = sample.lambdaRaw;
    } else {
        double interval = std::chrono::duration<double>(now - Tally.last).count();
        Tally.longestGap = std::max(Tally.longestGap, interval);
        Tally.intervals.push_back(interval);
    }
    Tally.last = now;
    ++Tally.frames;
    Tally.lowest = std::min(Tally.lowest, sample.lambdaRaw);
    Tally.highest = std::max(Tally.highest, sample.lambdaRaw);
    Tally.sum += sample.lambdaRaw;
}

void CheckLive(double seconds) {
    if (!Run.unitRead)
        return Skip(CHECK_LIVE, "the unit did not answer");
    if (Run.unitMidJob)
        return Skip(CHECK_LIVE, "the unit is not running");
    Tally = LiveTally{};
    Tally.intervals.reserve(LIVE_INTERVALS_KEPT);
    uint64_t good = LiveFramesGood.load(), bad = LiveFramesBadSum.load();
    uint64_t cut = LiveFramesCutShort.load(), breaks = LinkReconnections.load();
    StartToolLiveStream(LIVE_RESPONSE_RATE);
    AddLiveListener(OnLiveSample);
    Clock::time_point start = Clock::now();
    double elapsed = 0.0;
    while (Interrupted == 0 && elapsed < seconds) {
        int32_t seen = RxWriteIndex.load(std::memory_order_acquire);
        LiveStreamPass();
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        WaitForLiveFrame(seen, seconds - elapsed);
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    RemoveLiveListener(OnLiveSample);
    // The time since the last frame is a gap too, however the run ended.
    Tally.longestGap = std::max(
        Tally.longestGap,
        std::chrono::duration<double>(Clock::now() - (Tally.frames > 0 ? Tally.last : start))
            .count());
    // A port that broke and is not open again by now went away: it did not reconnect.
    bool portGone = PortOpen.load(std::memory_order_acquire) == 0;
    StopLiveStream(STOP_ATTEMPTS);
    good = LiveFramesGood.load() - good;
    bad = LiveFramesBadSum.load() - bad;
    cut = LiveFramesCutShort.load() - cut;
    breaks = LinkReconnections.load() - breaks;
    if (portGone && breaks > 0)
        --breaks;
    double rate = elapsed > 0.0 ? static_cast<double>(good) / elapsed : 0.0;
    // The unit's own rate: the mean of the intervals near the median one, which neither a frame
    // lost on the way (twice the interval) nor a unit held up (a gap, then a burst) moves.
    double unitRate = 0.0;
    if (!Tally.intervals.empty()) {
        auto middle = Tally.intervals.begin() + static_cast<long>(Tally.intervals.size() / 2);
        std::nth_element(Tally.intervals.begin(), middle, Tally.intervals.end());
        double median = *middle, sum = 0.0;
        long usual = 0;
        for (double interval : Tally.intervals)
            if (interval >= median * 0.5 && interval <= median * 1.5) {
                sum += interval;
                ++usual;
            }
        unitRate = sum > 0.0 ? usual / sum : 0.0;
    }
    uint64_t seen = good + bad + cut;
    double share = seen > 0 ? static_cast<double>(bad + cut) / static_cast<double>(seen) : 0.0;
    double mean = Tally.frames > 0 ? Tally.sum / static_cast<double>(Tally.frames) : 0.0;
    Figure(CHECK_LIVE, "seconds", Rounded(elapsed, 3));
    Figure(CHECK_LIVE, "frames", good);
    Figure(CHECK_LIVE, "frames_per_second", Rounded(rate, 2));
    Figure(CHECK_LIVE, "unit_frames_per_second", Rounded(unitRate, 2));
    Figure(CHECK_LIVE, "bad_sum", bad);
    Figure(CHECK_LIVE, "cut_short", cut);
    Figure(CHECK_LIVE, "bad_share", Rounded(share, 6));
    Figure(CHECK_LIVE, "longest_gap_s", Rounded(Tally.longestGap, 3));
    Figure(CHECK_LIVE, "reconnections", breaks);
    Figure(CHECK_LIVE, "port_gone", portGone);
    Figure(CHECK_LIVE, "lambda_min", Rounded(Tally.lowest, 4));
    Figure(CHECK_LIVE, "lambda_max", Rounded(Tally.highest, 4));
    Figure(CHECK_LIVE, "lambda_mean", Rounded(mean, 4));
    std::string detail =
        Format("%s%.1f s: %llu frames, %.1f a second of the unit's %.1f; %llu bad sum, %llu cut "
               "short (%.2f %%); longest gap %.2f s; %llu reconnections",
               Interrupted != 0 ? "interrupted after " : "", elapsed,
               static_cast<unsigned long long>(good), rate, unitRate,
               static_cast<unsigned long long>(bad), static_cast<unsigned long long>(cut),
               share * 100.0, Tally.longestGap, static_cast<unsigned long long>(breaks));
    if (portGone)
        return Finish(CHECK_LIVE, CHECK_FAIL, detail + "; the port went away and did not come back",
                      "the cable or the USB adapter: a loose plug, a hub that drops the adapter, "
                      "a failing adapter; plug it in again and run mq6 doctor again");
    if (Tally.frames == 0)
        return Finish(CHECK_LIVE, CHECK_FAIL, detail,
                      Format("the unit answers requests but sent no good live frame: %s",
                             seen > 0 ? NOISE_MEND : "power it off and on"));
    detail += Format("; lambda %.3f to %.3f, mean %.3f", Tally.lowest, Tally.highest, mean);
    if (share > BAD_SHARE_LIMIT || Tally.longestGap > GAP_LIMIT_S || breaks > 0)
        return Finish(CHECK_LIVE, CHECK_WARN, detail, NOISE_MEND);
    Finish(CHECK_LIVE, CHECK_OK, detail);
}

// A value outside the range that the Wide Band Setup view's field lets through.
void NoteOutOfRange(std::string& found, const SetupFieldRow& row, int32_t value) {
    const FieldRule& rule = FieldRules[static_cast<size_t>(row.kind)];
    if (value >= std::lround(row.lowest * rule.scale) &&
        value <= std::lround(row.limit * rule.scale))
        return;
    std::array<char, 32> text{};
    FormatFieldValue(value, static_cast<FieldKind>(row.kind), text.data(), text.size());
    found += Format("%s%s %s (%g to %g)", found.empty() ? "" : ", ", std::string(row.key).c_str(),
                    text.data(), row.lowest, row.limit);
}

void CheckSetup() {
    if (!Run.unitRead)
        return Skip(CHECK_SETUP, "the unit did not answer");
    if (Run.unitMidJob)
        return Skip(CHECK_SETUP, "the unit is not running");
    SetupRecord values = DEFAULT_SETUP;
    UnpackSetupBlock(DeviceInfo, values);
    std::string found;
    for (const SetupFieldRow& row : FieldTable) {
        int32_t value = FieldSlot(row, values);
        if (row.kind == SETTING_VOLTS || row.kind == SETTING_AFR || row.kind == SETTING_STOICH)
            NoteOutOfRange(found, row, value);
        else if (row.kind == SETTING_RESPONSE && FindResponseChoice(value) < 0)
            found += Format("%s%s code %d (none of the seven rates)", found.empty() ? "" : ", ",
                            std::string(row.key).c_str(), value);
    }
    bool linear = (values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0;
    std::string channelB = linear ? "channel B: WB, linear"
                                  : Format("channel B: NB, narrowband, switching at lambda %.3f",
                                           NbSwitchLambda(values.NbOffset));
    Figure(CHECK_SETUP, "stoich_afr", Rounded(StoichAfrOf(values), 2));
    Figure(CHECK_SETUP, "b_mode", linear ? "wb" : "nb");
    Figure(CHECK_SETUP, "nb_offset", values.NbOffset);
    if (!found.empty())
        return Finish(CHECK_SETUP, CHECK_WARN,
                      Format("outside the view's ranges: %s; %s", found.c_str(), channelB.c_str()),
                      "the Wide Band Setup view corrects such a value when its field is left; a "
                      "backup writes it back as it is: set it anew (mq6 setup write --help)");
    Finish(CHECK_SETUP, CHECK_OK,
           Format("every value inside the view's ranges; %s", channelB.c_str()));
}

int PrintSummary() {
    std::array<int, 4> counts{};
    for (const Check& check : Run.checks)
        ++counts[check.status];
    if (Run.json) {
        Json report = Json::object();
        report["checks"] = Json::array();
        for (int name = 0; name < CHECK_COUNT; ++name) {
            const Check& check = Run.checks[static_cast<size_t>(name)];
            Json& entry = report["checks"].emplace_back(Json::object());
            entry["name"] = CHECK_NAMES[static_cast<size_t>(name)];
            entry["status"] = STATUS_NAMES[check.status];
            entry["detail"] = check.detail;
            entry["hint"] = check.hint.empty() ? Json(nullptr) : Json(check.hint);
            entry.update(check.figures);
        }
        for (int status = 0; status < 4; ++status)
            report[STATUS_NAMES[static_cast<size_t>(status)]] = counts[static_cast<size_t>(status)];
        std::printf("%s\n", report.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    } else {
        std::string line = Format("%d checks: %d ok", CHECK_COUNT, counts[CHECK_OK]);
        for (int status = CHECK_WARN; status <= CHECK_SKIPPED; ++status)
            if (counts[static_cast<size_t>(status)] > 0)
                line += Format(", %d %s", counts[static_cast<size_t>(status)],
                               STATUS_NAMES[static_cast<size_t>(status)]);
        std::printf("%s\n", line.c_str());
    }
    return counts[CHECK_FAIL] > 0 ? EXIT_FAILED : EXIT_OK;
}
} // namespace

int RunDoctor(const DoctorOptions& options) {
    Run = DoctorRun{};
    Run.json = options.json;
    ResetLinkState();
    // The report changes nothing: the driver's retry count is not raised on the way.
    DriverTuningAllowed.store(0, std::memory_order_release);
    Interrupted = 0;
    auto previousInt = std::signal(SIGINT, OnInterrupt);
    auto previousTerm = std::signal(SIGTERM, OnInterrupt);
    CheckProgram();
    CheckPort();
    if (Run.port.empty()) {
        for (CheckName name : {CHECK_ACCESS, CHECK_LATENCY, CHECK_UNIT, CHECK_LIVE, CHECK_SETUP})
            Skip(name, "no port to look at");
    } else {
        ReadLatencyTimer();
        CheckAccess();
        CheckLatency();
        CheckUnit();
        CheckLive(options.seconds);
        CheckSetup();
        DisconnectUnit();
    }
    std::signal(SIGTERM, previousTerm);
    std::signal(SIGINT, previousInt);
    return FinishOutput(PrintSummary());
}
