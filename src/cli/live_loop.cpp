// The live run of mq6 live and mq6 doctor.
#include "cli/live_loop.h"

#include "link/link.h"

#include <chrono>
#include <csignal>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int STOP_ATTEMPTS = 3;
// A run without a time limit waits between passes as long as WaitForLiveFrame lets it.
constexpr double LONGEST_WAIT_S = 3600.0;

volatile std::sig_atomic_t Interrupted = 0;
using SignalHandler = void (*)(int);
SignalHandler PreviousInt = SIG_DFL;
SignalHandler PreviousTerm = SIG_DFL;

void OnInterrupt(int) {
    Interrupted = 1;
}

double SecondsSince(Clock::time_point then) {
    return std::chrono::duration<double>(Clock::now() - then).count();
}
} // namespace

LiveInterrupts::LiveInterrupts() {
    Interrupted = 0;
    PreviousInt = std::signal(SIGINT, OnInterrupt);
    PreviousTerm = std::signal(SIGTERM, OnInterrupt);
}

LiveInterrupts::~LiveInterrupts() {
    std::signal(SIGTERM, PreviousTerm);
    std::signal(SIGINT, PreviousInt);
}

bool LiveRunInterrupted() {
    return Interrupted != 0;
}

LiveLoopEnd RunLiveLoop(const LiveLoop& loop) {
    LiveLoopEnd end;
    StartToolLiveStream(loop.responseRate);
    Clock::time_point start = Clock::now();
    AddLiveListener(loop.onFrame);
    if (loop.onStale != nullptr)
        AddLiveStaleListener(loop.onStale);
    uint64_t frames = LiveFramesGood.load();
    uint64_t heardAtFrame = LinkBytesReceived.load();
    while (!LiveRunInterrupted()) {
        int32_t seen = RxWriteIndex.load(std::memory_order_acquire);
        LiveStreamPass();
        if (uint64_t now = LiveFramesGood.load(); now != frames) {
            frames = now;
            heardAtFrame = LinkBytesReceived.load();
        }
        double elapsed = SecondsSince(start);
        bool timeUp = loop.seconds > 0.0 && elapsed >= loop.seconds;
        double wait = loop.seconds > 0.0 ? loop.seconds - elapsed : LONGEST_WAIT_S;
        int verdict = loop.afterPass != nullptr ? loop.afterPass(timeUp, wait) : LIVE_RUN_GOES_ON;
        if (verdict != LIVE_RUN_GOES_ON) {
            end.result = verdict;
            break;
        }
        if (timeUp)
            break;
        WaitForLiveFrame(seen, wait);
    }
    end.seconds = SecondsSince(start);
    RemoveLiveListener(loop.onFrame);
    if (loop.onStale != nullptr)
        RemoveLiveStaleListener(loop.onStale);
    if (loop.atEnd != nullptr)
        loop.atEnd();
    end.unitSilent = LinkBytesReceived.load() == heardAtFrame;
    // What the ring holds now came before the stop is asked for: a reply among it answers an
    // earlier request, late, and must not pass for the stop's.
    while (RxAvailable() > 0)
        RxReadByte();
    StopLiveStream(end.unitSilent ? 1 : STOP_ATTEMPTS);
    return end;
}
