// Link benchmark: programming and setup writes against the simulated unit paced at the wire
// speed, live-frame latency, and the processor time of the link and display threads. Every
// figure is measured in this run; the ratios compare against the wire, not against a clock.
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "firmware/firmware_image.h"
#include "firmware/programming.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"
#include "wbsetup/setup_write.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double BAUD = 57600.0;

double Seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

struct WireRun {
    double wall = 0;
    double wire = 0;
    int result = -1;
};

void PrintWire(const char* name, const WireRun& run, double target) {
    double ratio = run.wall / run.wire;
    std::printf("%-34s %8.3f s %8.3f s %7.3f x  %s (target <= %.2f x)%s\n", name, run.wall,
                run.wire, ratio, ratio <= target ? "met" : "MISSED", target,
                run.result == 0 ? "" : "  [sequence FAILED]");
}

// Runs sequence against a freshly started, paced simulator and measures it.
template <typename Sequence>
WireRun MeasureAgainstSim(std::vector<std::string> args, Sequence run) {
    args.insert(args.end(), {"--baud", "57600"});
    SimProcess sim = StartSim(args);
    WireRun measured;
    if (!StartLinkOn(sim.path)) {
        std::fprintf(stderr, "bench: cannot open %s\n", sim.path.c_str());
        StopSim(sim);
        return measured;
    }
    uint64_t sent = LinkBytesSent.load();
    uint64_t received = LinkBytesReceived.load();
    auto start = Clock::now();
    measured.result = run();
    measured.wall = Seconds(Clock::now() - start);
    uint64_t bytes = LinkBytesSent.load() - sent + LinkBytesReceived.load() - received;
    measured.wire = static_cast<double>(bytes) * 10.0 / BAUD;
    StopLink();
    StopSim(sim);
    return measured;
}

uint32_t RawForLambda(double lambda) {
    uint32_t best = 0;
    double bestError = 1e9;
    for (uint32_t raw = 0; raw < 0x1000000; raw += 16) {
        double error = std::abs(RawToLambda(raw) - lambda);
        if (error < bestError) {
            bestError = error;
            best = raw;
        }
    }
    return best;
}

std::vector<uint8_t> LiveFrame(uint32_t raw) {
    std::vector<uint8_t> frame = {0x57,
                                  0,
                                  static_cast<uint8_t>(raw >> 16),
                                  static_cast<uint8_t>(raw >> 8),
                                  static_cast<uint8_t>(raw),
                                  static_cast<uint8_t>(1470 >> 8),
                                  static_cast<uint8_t>(1470 & 0xFF)};
    unsigned sum = 0;
    for (uint8_t byte : frame)
        sum += byte;
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    frame.push_back(static_cast<uint8_t>(sum));
    return frame;
}

std::atomic<int64_t> ShownAtNs{0};

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

void StampShown(const LiveSample&) {
    ShownAtNs.store(NowNs());
}

// The bench plays the unit: it answers the display thread's stream requests and writes
// frames, timing each from the write of its last byte to the value the gauges read.
void MeasureLiveLatency(int frames) {
    PtyPeer peer;
    if (!OpenPtyPeer(peer) || !StartLinkOn(peer.slavePath)) {
        std::fprintf(stderr, "bench: no pseudo-terminal\n");
        return;
    }
    ResetLiveState();
    ResetLiveStream();
    ResponseRate.store(100);
    DeviceDataWanted.store(0);
    ViewMode.store(1);
    std::atomic<bool> stop{false};
    std::thread answer([&] {
        while (!stop.load()) {
            if (PeerRead(peer, 14, 50).size() == 14)
                PeerWrite(peer, UnitFrame('W', 'A', {0, 0, 0}));
        }
    });
    AddLiveListener(StampShown);
    StartDisplayThread();
    SleepMs(200);
    const std::array<uint32_t, 2> raws = {RawForLambda(0.90), RawForLambda(1.10)};
    const std::array<int32_t, 2> values = {90, 110};
    std::vector<double> latencies;
    int lost = 0;
    for (int i = 0; i < frames; ++i) {
        int which = i % 2;
        std::vector<uint8_t> frame = LiveFrame(raws[which]);
        ShownAtNs.store(0);
        PeerWrite(peer, frame);
        int64_t written = NowNs();
        // The hook stamps the moment the value is stored; this thread only sleeps meanwhile,
        // so the measurement does not take a core from the threads it measures.
        for (int waited = 0; waited < 100 && ShownAtNs.load() == 0; ++waited)
            SleepMs(1);
        int64_t shown = ShownAtNs.load();
        if (shown != 0 && LambdaX100.load(std::memory_order_acquire) == values[which])
            latencies.push_back(static_cast<double>(shown - written) / 1e6);
        else
            ++lost; // consumed by the scan for the stream request's reply
        SleepMs(2);
    }
    StopDisplayThread();
    RemoveLiveListener(StampShown);
    stop = true;
    answer.join();
    StopLink();
    ClosePtyPeer(peer);
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double share) {
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<size_t>(share * latencies.size()))];
    };
    double p99 = at(0.99);
    std::printf("%-34s p50 %6.3f ms  p99 %6.3f ms  max %6.3f ms  over %zu frames  %s (target p99 "
                "<= 2 ms)\n",
                "live latency (frame to LambdaX100)", at(0.50), p99, latencies.back(),
                latencies.size(), p99 <= 2.0 ? "met" : "MISSED");
    std::printf("%-34s p90 %6.3f ms  p95 %6.3f ms  p98 %6.3f ms; %d of %d frames arrived during a "
                "stream request and were not shown\n",
                "", at(0.90), at(0.95), at(0.98), lost, frames);
}

// Processor time of the whole process over the span, with only the link's threads (comm,
// display, ticker) at work: the bench's own thread sleeps.
void MeasureIdleCost(const char* name, std::vector<std::string> args, int view, double target) {
    constexpr int SPAN_S = 10;
    SimProcess sim = StartSim(args);
    if (!StartLinkOn(sim.path)) {
        StopSim(sim);
        return;
    }
    ResetLiveState();
    ResetLiveStream();
    DeviceDataWanted.store(0);
    ViewMode.store(view);
    StartDisplayThread();
    SleepMs(2500); // the first stream request and a few frames
    uint64_t received = LinkBytesReceived.load();
    double cpu = ProcessCpuSeconds();
    auto start = Clock::now();
    SleepMs(SPAN_S * 1000);
    double share = (ProcessCpuSeconds() - cpu) / Seconds(Clock::now() - start) * 100.0;
    uint64_t bytes = LinkBytesReceived.load() - received;
    StopDisplayThread();
    StopLink();
    StopSim(sim);
    std::printf(
        "%-34s %6.3f %% of one core  (%llu bytes received in %d s)  %s (target <= %.1f %%)\n", name,
        share, static_cast<unsigned long long>(bytes), SPAN_S, share <= target ? "met" : "MISSED",
        target);
}

} // namespace

int main() {
    ResetSettings();
    std::printf("%-34s %10s %10s %9s\n", "exchange", "wall", "wire", "ratio");
    WireRun firmware = MeasureAgainstSim({"--version", "1.00"}, [] {
        std::string_view message;
        return ProgramFirmware(message, 16, nullptr);
    });
    PrintWire("firmware update (57600 baud)", firmware, 1.15);
    WireRun setup = MeasureAgainstSim({}, [] {
        std::string_view message;
        std::array<uint8_t, DEVICE_INFO_SIZE> info{};
        return WriteSetupTables(message, SetupTable1, SetupTable2, info, nullptr);
    });
    PrintWire("setup write (57600 baud)", setup, 1.15);
    std::printf("\n");
    MeasureLiveLatency(1000);
    std::printf("\n");
    MeasureIdleCost("link idle, port open, quiet unit", {}, 2, 0.3);
    MeasureIdleCost("link streaming 50 frames/s", {"--rate", "50"}, 1, 1.0);
    return 0;
}
