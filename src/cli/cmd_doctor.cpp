// mq6 doctor: one report on this program, the port, the adapter, the unit and the link, a line
// per check, for a user whose link misbehaves. It changes nothing: the unit gets only the
// requests of mq6 info and mq6 live, and the adapter, the registry and the files are only read.
// The probes here gather the facts in the order of the check table; the verdicts and their
// words are the judge's (doctor_judge.h).
#include "cli/cli.h"
#include "cli/doctor.h"
#include "cli/doctor_judge.h"
#include "cli/live_loop.h"
#include "discovery/discovery.h"
#include "firmware/banner.h"
#include "firmware/cipher_key.h"
#include "firmware/firmware_image.h"
#include "firmware/sample_rule.h"
#include "link/link.h"
#include "link/serial.h"
#include "mq6_version.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int32_t LIVE_RESPONSE_RATE = 50;
// Intervals between good frames kept without allocating as they come (a minute at 1000 a second).
constexpr size_t LIVE_INTERVALS_KEPT = 65536;

DoctorFacts Facts;

// The time of the last good frame the doctor heard, and of the live run's start.
Clock::time_point LastFrame;
Clock::time_point LiveStart;

void ProbeProgram(double) {
    Facts.program = {MQ6_VERSION_TEXT, CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR,
                     FIRMWARE_IMAGE_IS_SAMPLE, SETUP_KEY_IS_SAMPLE};
}

// The port as every command chooses it, and every candidate; the chosen adapter's latency timer
// is read here, before the port is opened: the open's low-latency mode shows as 1 ms meanwhile.
void ProbePort(double) {
    PortFacts& port = Facts.port;
    port.candidates.resize(MAX_PORT_CANDIDATES);
    port.candidates.resize(static_cast<size_t>(
        ListPortCandidates(port.candidates.data(), static_cast<int>(port.candidates.size()))));
    port.given = !Options.port.empty();
    port.how = "given with --port";
    if (port.given) {
        port.port = Options.port;
        AutoPort.store(0, std::memory_order_release);
    } else {
        std::array<char, PORT_NAME_SIZE> found{};
        if (FindAttachedUnit(found.data(), found.size()) == 0) {
            port.port = found.data();
            port.how = DescribeFoundPort(found.data());
        }
        AutoPort.store(1, std::memory_order_release);
    }
    port.nameTooLong = !port.port.empty() && StorePortName(port.port) != 0;
    port.chosen = FindChosenCandidate(port.candidates, port.port);
    int32_t ms = 0;
    if (port.chosen >= 0 &&
        ReadAdapterLatencyTimer(port.candidates[static_cast<size_t>(port.chosen)], ms) == 0)
        port.latencyMs = ms;
}

// The node's rights and holders, then the link's own open where nothing refuses it.
void ProbeAccess(double) {
    AccessFacts& access = Facts.access;
    const char* port = Facts.port.port.c_str();
    InspectPortAccess(port, access.system);
    if (!AccessAllowsOpen(access.system)) {
        access.openFailure = SERIAL_OPEN_OTHER; // not tried
        return;
    }
    access.openFailure = OpenChosenPort();
    if (access.openFailure == SERIAL_OPEN_BUSY)
        LookForExclusiveMode(port, access.system);
}

void ProbeLatency(double) {
    Facts.latency.lowLatency =
        Facts.access.openFailure == SERIAL_OPEN_OK && SerialLowLatency() == 1;
    Facts.latency.udevRule = FindUdevRule();
    Facts.latency.mend = LatencyTimerMend();
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '.'))
        text.remove_suffix(1);
    return text;
}

void ProbeUnit(double) {
    UnitFacts& unit = Facts.unit;
    ErrorShown.store(1, std::memory_order_release); // the tool reports it here, not in a box
    Clock::time_point start = Clock::now();
    uint64_t received = LinkBytesReceived.load();
    unit.read = GetDeviceData() == 0;
    unit.answered = LinkBytesReceived.load() != received;
    unit.readMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!unit.read)
        return;
    unit.banner = TrimRight(SplitBanner(DeviceInfo)[BANNER_DESCRIPTION]);
    unit.versionKnown = ReadUnitVersion(DeviceInfo, unit.major, unit.minor) == 0;
    unit.mode = DeviceInfo[UNIT_MODE_OFFSET];
    unit.sampleFirmware = UnitRunsSampleFirmware();
    unit.unfinishedJob = UnfinishedJobText(unit.mode);
}

void OnLiveSample(const LiveSample& sample) {
    LiveFacts& live = Facts.live;
    Clock::time_point now = Clock::now();
    if (live.frames == 0) {
        live.lowest = live.highest = sample.lambdaRaw;
    } else {
        double interval = std::chrono::duration<double>(now - LastFrame).count();
        live.longestGap = std::max(live.longestGap, interval);
        live.intervals.push_back(interval);
    }
    LastFrame = now;
    ++live.frames;
    live.lowest = std::min(live.lowest, sample.lambdaRaw);
    live.highest = std::max(live.highest, sample.lambdaRaw);
    live.sum += sample.lambdaRaw;
}

// Once the passes have stopped: the gap up to the end, and whether the port went for good.
void OnLiveEnd() {
    LiveFacts& live = Facts.live;
    // The time since the last frame is a gap too, however the run ended.
    live.longestGap = std::max(
        live.longestGap,
        std::chrono::duration<double>(Clock::now() - (live.frames > 0 ? LastFrame : LiveStart))
            .count());
    // A port that broke and is not open again by now went away.
    live.portGone = PortOpen.load(std::memory_order_acquire) == 0;
}

void ProbeLive(double seconds) {
    LiveFacts& live = Facts.live;
    live = LiveFacts{};
    live.intervals.reserve(LIVE_INTERVALS_KEPT);
    uint64_t good = LiveFramesGood.load(), bad = LiveFramesBadSum.load();
    uint64_t cut = LiveFramesCutShort.load(), breaks = LinkReconnections.load();
    LiveLoop loop;
    loop.responseRate = LIVE_RESPONSE_RATE;
    loop.seconds = seconds;
    loop.onFrame = OnLiveSample;
    loop.atEnd = OnLiveEnd;
    LiveStart = Clock::now();
    LiveLoopEnd end = RunLiveLoop(loop);
    live.seconds = end.seconds;
    live.interrupted = LiveRunInterrupted();
    live.good = LiveFramesGood.load() - good;
    live.badSum = LiveFramesBadSum.load() - bad;
    live.cutShort = LiveFramesCutShort.load() - cut;
    live.reconnections = LinkReconnections.load() - breaks;
}

void ProbeSetup(double) {
    Facts.setup = DEFAULT_SETUP;
    UnpackSetupBlock(DeviceInfo, Facts.setup);
}

// The probes in the order of the check table.
constexpr std::array<void (*)(double seconds), CHECK_COUNT> PROBES = {
    ProbeProgram, ProbePort, ProbeAccess, ProbeLatency, ProbeUnit, ProbeLive, ProbeSetup};
} // namespace

int RunDoctor(const DoctorOptions& options) {
    Facts = DoctorFacts{};
    ResetLinkState();
    // The report changes nothing: the driver's retry count is not raised on the way.
    DriverTuningAllowed.store(0, std::memory_order_release);
    // Ctrl-C ends the live data early, not the report.
    LiveInterrupts interrupts;
    std::array<CheckVerdict, CHECK_COUNT> verdicts;
    for (size_t name = 0; name < CHECK_COUNT; ++name) {
        if (MissingNeed(CHECK_TABLE[name].need, Facts) == nullptr)
            PROBES[name](options.seconds);
        verdicts[name] = JudgeCheck(static_cast<CheckName>(name), Facts);
        if (!options.json) {
            std::fputs(CheckText(static_cast<CheckName>(name), verdicts[name]).c_str(), stdout);
            std::fflush(stdout);
        }
    }
    if (!Facts.port.port.empty())
        DisconnectUnit();
    if (options.json)
        std::printf(
            "%s\n",
            ReportJson(verdicts).dump(2, ' ', false, DoctorJson::error_handler_t::replace).c_str());
    else
        std::fputs(SummaryText(verdicts).c_str(), stdout);
    bool failed = std::any_of(verdicts.begin(), verdicts.end(), [](const CheckVerdict& verdict) {
        return verdict.status == CHECK_FAIL;
    });
    return failed ? EXIT_FAILED : EXIT_OK;
}
