// mq6 live: the unit's live lambda and AFR, decoded and smoothed as the utility's display
// does, written as CSV rows or shown as one updating line.
#include "cli/cli.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
// A unit that sends no good frame for this long is taken to be gone.
constexpr double SILENCE_LIMIT_S = 10.0;
constexpr int STOP_ATTEMPTS = 3;
constexpr uint8_t STREAM_OFF = 0;
constexpr int BAR_WIDTH = 20;
constexpr double BAR_LOW = 0.68; // the span of the utility's dial
constexpr double BAR_HIGH = 1.32;
constexpr char CSV_HEADER[] = "time_s,lambda,afr,lambda_raw,stoich\n";

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t Interrupted = 0;

struct LiveRun {
    std::FILE* csv = nullptr;
    bool line = false; // the updating line on the terminal
    bool lineShown = false;
    long count = 0; // 0: no limit
    long frames = 0;
    bool outputFailed = false;
    Clock::time_point start;
    Clock::time_point lastFrame;
};
LiveRun Run;

void OnInterrupt(int) {
    Interrupted = 1;
}

double SecondsSince(Clock::time_point then) {
    return std::chrono::duration<double>(Clock::now() - then).count();
}

void WriteCsvRow(double seconds) {
    int32_t lambda = LambdaX100.load(std::memory_order_acquire);
    int32_t afr = AfrX10.load(std::memory_order_acquire);
    int32_t factor = LiveFactorX100.load(std::memory_order_acquire);
    int written = std::fprintf(
        Run.csv, "%.3f,%d.%02d,%d.%d,%.4f,%d.%02d\n", seconds, lambda / 100, lambda % 100, afr / 10,
        afr % 10, LiveLambda.load(std::memory_order_acquire), factor / 100, factor % 100);
    if (written < 0 || std::fflush(Run.csv) != 0)
        Run.outputFailed = true;
}

void DrawLine() {
    int32_t lambda = LambdaX100.load(std::memory_order_acquire);
    int32_t afr = AfrX10.load(std::memory_order_acquire);
    double share = (lambda * 0.01 - BAR_LOW) / (BAR_HIGH - BAR_LOW);
    int filled = std::clamp(static_cast<int>(share * BAR_WIDTH + 0.5), 0, BAR_WIDTH);
    char bar[BAR_WIDTH + 1];
    for (int i = 0; i < BAR_WIDTH; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[BAR_WIDTH] = '\0';
    std::printf("\rlambda %d.%02d  AFR %2d.%d  [%s] ", lambda / 100, lambda % 100, afr / 10,
                afr % 10, bar);
    std::fflush(stdout);
    Run.lineShown = true;
}

// Ends the updating line, so that what follows starts on a line of its own.
void EndLine() {
    if (!Run.lineShown)
        return;
    std::fputc('\n', stdout);
    Run.lineShown = false;
}

void OnLiveFrame() {
    if (Run.count > 0 && Run.frames >= Run.count)
        return;
    ++Run.frames;
    Run.lastFrame = Clock::now();
    if (Run.csv != nullptr)
        WriteCsvRow(std::chrono::duration<double>(Run.lastFrame - Run.start).count());
    if (Run.line)
        DrawLine();
}

// The stop is answered among the live frames still arriving; it is worth a retry, since a
// unit left streaming would keep its line busy.
void StopStream() {
    ViewMode.store(VIEW_NONE, std::memory_order_release);
    for (int attempt = 0; attempt < STOP_ATTEMPTS; ++attempt)
        if (SetStreamMode(STREAM_OFF) == 0)
            return;
}

// Runs passes of the display thread's live view on this thread until a limit is met.
int StreamFrames(double seconds) {
    while (Interrupted == 0) {
        DisplayThreadPass();
        if (Run.outputFailed) {
            EndLine();
            std::fputs("mq6: cannot write the CSV output\n", stderr);
            return EXIT_FAILED;
        }
        if (Run.count > 0 && Run.frames >= Run.count)
            return EXIT_OK;
        if (seconds > 0.0 && SecondsSince(Run.start) >= seconds)
            break;
        if (SecondsSince(Run.lastFrame) >= SILENCE_LIMIT_S) {
            EndLine();
            std::fprintf(stderr, "mq6: no live data from the unit for %.0f s\n", SILENCE_LIMIT_S);
            return EXIT_FAILED;
        }
        SleepMs(1);
    }
    if (Run.frames == 0) {
        std::fputs("mq6: no live data from the unit\n", stderr);
        return EXIT_FAILED;
    }
    return EXIT_OK;
}
} // namespace

int RunLive(const LiveOptions& options) {
    bool terminal = isatty(STDOUT_FILENO) != 0;
    Run = LiveRun{};
    Run.count = options.count;
    if (options.csvPath == "-" || (options.csvPath.empty() && !terminal)) {
        Run.csv = stdout;
    } else if (!options.csvPath.empty()) {
        Run.csv = std::fopen(options.csvPath.c_str(), "w");
        if (Run.csv == nullptr) {
            std::fprintf(stderr, "mq6: cannot write %s\n", options.csvPath.c_str());
            return EXIT_FAILED;
        }
    }
    Run.line = terminal && Run.csv != stdout;

    int result = ConnectUnit();
    if (result == EXIT_OK) {
        ResetLiveState();
        ResponseRate.store(static_cast<int32_t>(options.responseRate), std::memory_order_release);
        // The data block is not needed here; a reconnection still reads it, as in the utility.
        DeviceDataWanted.store(0, std::memory_order_release);
        // Due at once: the first pass asks for the stream.
        LastLiveRequestTick = TickCount.load(std::memory_order_acquire) - LIVE_REQUEST_TICKS - 1;
        ViewMode.store(VIEW_AFR_LAMBDA, std::memory_order_release);
        if (Run.csv != nullptr &&
            (std::fputs(CSV_HEADER, Run.csv) < 0 || std::fflush(Run.csv) != 0))
            Run.outputFailed = true;

        Interrupted = 0;
        auto previousInt = std::signal(SIGINT, OnInterrupt);
        auto previousTerm = std::signal(SIGTERM, OnInterrupt);
#ifdef SIGPIPE
        // A closed pipe must end the run through a failed write, so the stream still stops.
        auto previousPipe = std::signal(SIGPIPE, SIG_IGN);
#endif
        Run.start = Clock::now();
        Run.lastFrame = Run.start;
        LiveFrameHook = OnLiveFrame;
        result = StreamFrames(options.seconds);
        LiveFrameHook = nullptr;
        StopStream();
        EndLine();
#ifdef SIGPIPE
        std::signal(SIGPIPE, previousPipe);
#endif
        std::signal(SIGTERM, previousTerm);
        std::signal(SIGINT, previousInt);
        DisconnectUnit();
    }
    if (Run.csv != nullptr && Run.csv != stdout && std::fclose(Run.csv) != 0 && result == EXIT_OK) {
        std::fprintf(stderr, "mq6: cannot write %s\n", options.csvPath.c_str());
        result = EXIT_FAILED;
    }
    Run.csv = nullptr;
    return result;
}
