// Connecting mq6 to the unit through the same comm thread the utility uses.
#include "cli/cli.h"
#include "cli/doctor.h"
#include "cli/doctor_judge.h"
#include "link/link.h"
#include "link/serial.h"
#include "platform/ticks.h"
#include "settings/config.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <unistd.h>

CliOptions Options;
ProgressBar Progress;

namespace {
constexpr int OPEN_WAIT_MS = 4000;
constexpr int LAST_FRAME_WAIT_MS = 1000;
constexpr int BAR_WIDTH = 40;

// PortName from --port, or from discovery without it. 0, or the exit code.
int ChoosePort() {
    if (!Options.port.empty()) {
        if (StorePortName(Options.port) != 0)
            return UsageError("--port: the port name is too long");
        // A named port stays the port: the comm thread's retries must not search instead.
        AutoPort.store(0, std::memory_order_release);
        return EXIT_OK;
    }
    AutoPort.store(1, std::memory_order_release);
    if (FindPort(nullptr, 0) != 0)
        return UsageError("no MQ-6 unit found (mq6 ports lists the adapters); connect it or give "
                          "its port with --port PATH");
    if (Options.verbose)
        std::fprintf(stderr, "mq6: found the unit on %s\n", CopyPortName().data());
    return EXIT_OK;
}

// Failures that waiting does not cure end the wait at once.
bool OpenCannotSucceed() {
    int failure = SerialLastOpenFailure();
    return failure == SERIAL_OPEN_BUSY || failure == SERIAL_OPEN_DENIED ||
           failure == SERIAL_OPEN_NOT_TERMINAL || failure == SERIAL_OPEN_DIRECTORY;
}

constexpr const char* DOCTOR_LINE =
    "mq6: run mq6 doctor for a report on the port, the adapter and the link\n";

// The reason, who holds the port or who may open it as far as the system tells, and what mends
// it: the doctor's own words.
void ReportOpenFailure(int failure) {
    std::array<char, PORT_NAME_SIZE> port = CopyPortName();
    PortAccess facts;
    InspectPortAccess(port.data(), facts);
    if (failure == SERIAL_OPEN_BUSY && facts.holders.empty())
        LookForExclusiveMode(port.data(), facts);
    std::string reason = OpenFailureText(failure);
    if (failure == SERIAL_OPEN_BUSY && !facts.holders.empty())
        reason += ": " + HoldersText(facts);
    if (failure == SERIAL_OPEN_BUSY || failure == SERIAL_OPEN_DENIED)
        reason += "; " + OpenMend(failure, facts);
    std::fprintf(stderr, "mq6: cannot open %s: %s\n", port.data(), reason.c_str());
    std::fputs(DOCTOR_LINE, stderr);
}

// An open port on which the unit did not answer: a program that holds the port without a lock
// takes the unit's replies.
void ExplainNoReply() {
    PortAccess facts;
    InspectPortAccess(CopyPortName().data(), facts);
    if (!facts.holders.empty())
        std::fprintf(stderr,
                     "mq6: another program has the port open too and takes the unit's "
                     "replies: %s; %s\n",
                     HoldersText(facts).c_str(), OpenMend(SERIAL_OPEN_BUSY, facts).c_str());
    else
        std::fputs(DOCTOR_LINE, stderr);
}
} // namespace

int OpenChosenPort() {
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, CopyPortName().data());
    for (int waited = 0; waited < OPEN_WAIT_MS && !OpenCannotSucceed(); waited += 5) {
        if (PortOpen.load() != 0 && PortStatus.load() == 1 && PortRequestPending.load() == 0)
            return SERIAL_OPEN_OK;
        SleepMs(5);
    }
    int failure = SerialLastOpenFailure();
    return failure != SERIAL_OPEN_OK ? failure : SERIAL_OPEN_OTHER;
}

int ConnectUnit() {
    ResetLinkState();
    int chosen = ChoosePort();
    if (chosen != EXIT_OK)
        return chosen;
    int failure = OpenChosenPort();
    if (failure == SERIAL_OPEN_OK) {
        if (Options.verbose)
            std::fprintf(stderr, "mq6: opened %s, %s\n", CopyPortName().data(),
                         SerialLowLatency() == 1
                             ? "adapter in low-latency mode (1 ms latency timer)"
                             : "no low-latency mode on this port (not a USB-serial adapter)");
        return EXIT_OK;
    }
    ReportOpenFailure(failure);
    DisconnectUnit();
    return EXIT_FAILED;
}

int FetchDataBlock() {
    int result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    int read = GetDeviceData();
    DisconnectUnit();
    if (read == 0)
        return EXIT_OK;
    ExplainNoReply();
    return EXIT_FAILED;
}

void DisconnectUnit() {
    // The last request may still wait for the comm thread, for instance a stop of the stream
    // whose answer was taken from a reply that came late: it goes out before the port closes.
    for (int waited = 0; waited < LAST_FRAME_WAIT_MS && PortOpen.load() != 0 && TxLen.load() != 0;
         ++waited)
        SleepMs(1);
    StopCommThread();
    StopTickTimer();
}

bool Confirm(const char* question) {
    std::printf("%s [y/N] ", question);
    std::fflush(stdout);
    std::array<char, 16> answer{};
    if (std::fgets(answer.data(), answer.size(), stdin) == nullptr)
        return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

int RequireTerminalOrYes(bool yes, const char* command) {
    if (yes || isatty(STDIN_FILENO) != 0)
        return EXIT_OK;
    return UsageError(std::string(command) + ": no terminal to confirm on; add --yes");
}

namespace {
void DrawProgress() {
    if (!Progress.terminal || Progress.stage == nullptr || Progress.total == 0)
        return;
    int filled = std::clamp(Progress.done * BAR_WIDTH / Progress.total, 0, BAR_WIDTH);
    std::array<char, BAR_WIDTH + 1> bar{};
    for (int i = 0; i < BAR_WIDTH; ++i)
        bar[static_cast<size_t>(i)] = i < filled ? '#' : '-';
    std::fprintf(stderr, "\r%-15s [%s] %3d/%d", Progress.stage, bar.data(), Progress.done,
                 Progress.total);
    std::fflush(stderr);
}
} // namespace

void StartProgress() {
    Progress = ProgressBar{};
    Progress.terminal = isatty(STDERR_FILENO) != 0;
}

void ShowStage(const char* name, int total) {
    EndProgress();
    Progress.stage = name;
    Progress.done = 0;
    Progress.total = total;
    if (Progress.terminal) {
        DrawProgress();
    } else {
        std::fprintf(stderr, "%s\n", name);
        std::fflush(stderr);
    }
}

void StepProgress(ProgressMessage message) {
    Progress.done = message == PROGRESS_RESET ? 0 : Progress.done + 1;
    DrawProgress();
}

void EndProgress() {
    if (Progress.terminal && Progress.stage != nullptr)
        std::fputc('\n', stderr);
    Progress.stage = nullptr;
}
