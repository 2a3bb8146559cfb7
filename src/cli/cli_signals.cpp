// The signals that end mq6 from outside: Ctrl-C (SIGINT), a closed terminal or a dropped
// session (SIGHUP), kill (SIGTERM) and Ctrl-\ (SIGQUIT). Each first gives up the port's
// exclusive mode, which would outlive the process, and gives the terminal its echo back; while
// a write into the unit runs, each waits for the write's end instead, since a cut would leave
// the unit in its loader.
#include "cli/cli.h"

#include "link/serial.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

#ifdef SIGHUP
constexpr std::array<int, 4> ENDING_SIGNALS = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
#else
constexpr std::array<int, 2> ENDING_SIGNALS = {SIGINT, SIGTERM};
#endif

// The signal held back while a write ran; 0 for none.
volatile std::sig_atomic_t HeldSignal = 0;
// Said once, at the first signal: built before the write, since a handler may not format.
std::array<char, 256> HoldText{};
size_t HoldLength = 0;

void ReleasePortAndEnd(int signal) {
    SerialReleaseExclusive();
    RestoreEnterEcho();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void HoldSignal(int signal) {
    if (HeldSignal == 0 && HoldLength > 0) {
        ssize_t ignored = write(STDERR_FILENO, HoldText.data(), HoldLength);
        (void)ignored; // a closed terminal takes nothing; the wait goes on all the same
    }
    HeldSignal = signal;
}

void HandleEndingSignals(void (*handler)(int)) {
    for (int signal : ENDING_SIGNALS)
        std::signal(signal, handler);
}

} // namespace

void ReleasePortOnEveryWayOut() {
    std::atexit(SerialReleaseExclusive);
    HandleEndingSignals(ReleasePortAndEnd);
}

HoldInterrupts::HoldInterrupts(const char* job, const char* finisher) {
    int length =
        std::snprintf(HoldText.data(), HoldText.size(),
                      "\nmq6: interrupted: the %s goes on to its end first, usually within "
                      "10 s, at most 3 s more if the unit stops answering (a cut would "
                      "leave the unit half-programmed; %s finishes it)\n",
                      job, finisher);
    HoldLength = length > 0 ? std::min(static_cast<size_t>(length), HoldText.size() - 1) : 0;
    HandleEndingSignals(HoldSignal);
}

HoldInterrupts::~HoldInterrupts() {
    HandleEndingSignals(ReleasePortAndEnd);
}

void EndIfInterrupted() {
    int signal = HeldSignal;
    if (signal != 0)
        ReleasePortAndEnd(signal);
}
