// mq6 firmware status | update [--yes]: the unit's firmware against the carried image, and
// the update through the unit's loader, step for step as the firmware view's worker does it.
#include "cli/cli.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/programming.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
constexpr int RESTART_WAIT_MS = 100;
constexpr int BAR_WIDTH = 40;

// The firmware view keeps the version of the last data block that had one; 0.00 until then.
struct UnitVersion {
    int major = 0;
    int minor = 0;
    bool known = false;
};

UnitVersion ReadVersion() {
    UnitVersion version;
    version.known = ReadUnitVersion(DeviceInfo, version.major, version.minor) == 0;
    return version;
}

void PrintVersions(const UnitVersion& unit) {
    if (unit.known)
        std::printf("Unit version: %d.%02d\n", unit.major, unit.minor);
    else
        std::printf("Unit version: unknown\n");
    std::printf("Carried version: %d.%02d\n", CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
    std::string_view verdict = VerdictText(CompareFirmware(unit.major, unit.minor));
    std::printf("%.*s\n", static_cast<int>(verdict.size()), verdict.data());
}

// ---- Progress on stderr: one redrawn bar per phase on a terminal, a line per phase else.

struct ProgressState {
    bool terminal = false;
    int phase = PHASE_NONE;
    int done = 0;
    int total = 0;
};
ProgressState Progress;

constexpr const char* PhaseName(int phase) {
    switch (phase) {
    case PHASE_PROGRAMMING:
        return "Programming...";
    case PHASE_VERIFYING:
        return "Verifying...";
    case PHASE_FINISHING:
        return "Finishing...";
    default:
        return "";
    }
}

void DrawProgress() {
    if (!Progress.terminal || Progress.total == 0)
        return;
    int filled = std::clamp(Progress.done * BAR_WIDTH / Progress.total, 0, BAR_WIDTH);
    std::array<char, BAR_WIDTH + 1> bar{};
    for (int i = 0; i < BAR_WIDTH; ++i)
        bar[static_cast<size_t>(i)] = i < filled ? '#' : '-';
    std::fprintf(stderr, "\r%-15s [%s] %3d/%d", PhaseName(Progress.phase), bar.data(),
                 Progress.done, Progress.total);
    std::fflush(stderr);
}

void EndProgressLine() {
    if (Progress.terminal && Progress.phase != PHASE_NONE)
        std::fputc('\n', stderr);
}

void ShowPhase(int phase) {
    EndProgressLine();
    Progress.phase = phase;
    Progress.done = 0;
    Progress.total = phase == PHASE_FINISHING ? INFO_RECORD_COUNT : CODE_RECORD_COUNT;
    if (phase == PHASE_NONE)
        return;
    if (Progress.terminal) {
        DrawProgress();
    } else {
        std::fprintf(stderr, "%s\n", PhaseName(phase));
        std::fflush(stderr);
    }
}

void StepProgress(ProgressMessage message, int position) {
    Progress.done = message == PROGRESS_SETPOS ? position : Progress.done + 1;
    DrawProgress();
}

bool Confirm() {
    std::printf("Program firmware %d.%02d into the unit? [y/N] ", CARRIED_VERSION_MAJOR,
                CARRIED_VERSION_MINOR);
    std::fflush(stdout);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr)
        return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

int RunStatus(std::vector<std::string>& args) {
    if (!args.empty())
        return ReportUsage("firmware status: unexpected argument " + args.front());
    int result = FetchDataBlock();
    if (result != EXIT_OK)
        return result;
    PrintVersions(ReadVersion());
    return EXIT_OK;
}

// After a good run the unit restarts its application; its data block must then carry the
// version that was programmed, or the update has not taken.
int ReadBackVersion() {
    SleepMs(RESTART_WAIT_MS);
    if (GetDeviceData() != 0) {
        std::fprintf(stderr, "mq6: firmware written, but the unit's data block cannot be read\n");
        return EXIT_FAILED;
    }
    UnitVersion unit = ReadVersion();
    PrintVersions(unit);
    if (CompareFirmware(unit.major, unit.minor) != VERDICT_MATCH) {
        std::fprintf(stderr, "mq6: the unit does not report the firmware just written\n");
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

int RunUpdate(std::vector<std::string>& args) {
    bool yes = TakeFlag(args, "--yes");
    if (!args.empty())
        return ReportUsage("firmware update: unexpected argument " + args.front());
    bool terminal = isatty(STDIN_FILENO) != 0;
    if (!yes && !terminal)
        return ReportUsage("firmware update: no terminal to confirm on; add --yes");
    int result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    if (GetDeviceData() != 0) {
        DisconnectUnit();
        return EXIT_FAILED;
    }
    if (DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_SETUP) {
        ShowNotice(SETUP_MODE_REFUSAL_TEXT, SETUP_MODE_REFUSAL_CAPTION,
                   NOTICE_ERROR_ICON | NOTICE_TOPMOST);
        DisconnectUnit();
        return EXIT_FAILED;
    }
    UnitVersion unit = ReadVersion();
    PrintVersions(unit);
    if (!yes && !Confirm()) {
        std::fprintf(stderr, "mq6: firmware update cancelled\n");
        DisconnectUnit();
        return EXIT_FAILED;
    }

    Progress = ProgressState{};
    Progress.terminal = isatty(STDERR_FILENO) != 0;
    ProgramPhaseHook = ShowPhase;
    std::string_view message;
    int programmed = ProgramFirmware(message, SelectVerifyLength(), StepProgress);
    EndProgressLine();
    ProgramPhaseHook = nullptr;
    if (programmed != 0) {
        ShowNotice(message, UPDATE_ERROR_CAPTION, NOTICE_ERROR_ICON | NOTICE_TOPMOST);
        DisconnectUnit();
        return EXIT_FAILED;
    }
    result = ReadBackVersion();
    DisconnectUnit();
    return result;
}
} // namespace

int RunFirmware(std::vector<std::string> args) {
    if (args.empty())
        return ReportUsage("firmware: give status or update");
    std::string action = args.front();
    args.erase(args.begin());
    if (action == "status")
        return RunStatus(args);
    if (action == "update")
        return RunUpdate(args);
    return ReportUsage("firmware: unknown action " + action);
}
