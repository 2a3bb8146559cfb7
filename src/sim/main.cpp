// mq6-sim: a simulated MQ-6 unit on a pseudo-terminal, the peer that the utility's tests and
// demo talk to instead of hardware.
#include "sim/sim_files.h"
#include "sim/sim_options.h"
#include "sim/sim_port.h"
#include "sim/sim_unit.h"

#include <csignal>

namespace {

void RequestStop(int) {
    StopRequested = 1;
}

void RequestUnplug(int) {
    UnplugRequested = 1;
}

// SIGTERM and SIGINT stay blocked except while the loop waits, so a stop can never fall
// between the loop's test of StopRequested and its wait.
void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Not blocked: it ends the loop's wait at once, and one that comes just before the wait
    // is seen at the next pass, within the idle wait.
    action.sa_handler = RequestUnplug;
    sigaction(SIGUSR1, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    ParseResult parsed = ParseOptions(argc, argv);
    if (parsed == PARSE_HELP)
        return 0;
    if (parsed == PARSE_ERROR || !LinkPathFree() || !StateFolderPresent())
        return 2;
    InstallSignalHandlers();
    ResetUnit(MonotonicNs());
    if (!LoadState())
        return 2;
    if (Options.startInLoader && !InLoader) {
        InLoader = true;
        LoadMode = DataBlock[UNIT_MODE_OFFSET];
    }
    if (!OpenRequestLog())
        return 2;
    int status = ServeUnit({ReceiveRequestByte, ResetRequestFraming, RunLiveStream});
    FinishStateWrites();
    return status;
}
