// mq6 firmware status | update: the unit's firmware against the carried image, and the update
// through the unit's loader by the same policy as the firmware view's worker.
#include "cli/cli.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_update.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"

#include <array>
#include <cstdio>
#include <string>

namespace {

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
    std::array<char, 96> verdict{};
    FormatVerdictLine(CompareFirmware(unit.major, unit.minor), verdict.data(), verdict.size());
    std::printf("%s\n", verdict.data());
}

constexpr const char* PhaseName(int phase) {
    switch (phase) {
    case PHASE_PROGRAMMING:
        return "Programming...";
    case PHASE_VERIFYING:
        return "Verifying...";
    default:
        return "Finishing...";
    }
}

void ShowPhase(int phase) {
    if (phase == PHASE_NONE)
        EndProgress();
    else
        ShowStage(PhaseName(phase),
                  phase == PHASE_FINISHING ? INFO_RECORD_COUNT : CODE_RECORD_COUNT);
}

// After a good run the unit restarts its application; its data block must then carry the
// version that was programmed, or the update has not taken. A refusal has been shown already;
// a stage that stopped is said as the view's box says it, with what finishes the job.
int ReportUpdate(const JobOutcome& outcome) {
    if (outcome.result == JOB_REFUSED)
        return EXIT_FAILED;
    bool restarted = outcome.result == JOB_VERIFIED ||
                     (outcome.result == JOB_NOT_TAKEN && outcome.left == JOB_NONE);
    if (restarted)
        PrintVersions(ReadVersion());
    if (outcome.result == JOB_VERIFIED) {
        UnitVersion unit = ReadVersion();
        std::printf("Firmware updated: the unit runs %d.%02d.\n", unit.major, unit.minor);
        return EXIT_OK;
    }
    if (!outcome.stage.empty())
        ShowNotice(outcome.stage, UPDATE_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    SayOnStderr(JobOutcomeSentence(outcome));
    if (outcome.left != JOB_NONE)
        std::fprintf(stderr, "mq6: %s\n", JobGuidanceText(outcome.left).c_str());
    return EXIT_FAILED;
}

// The view offers the update only to an older unit. A unit in its loader (an interrupted
// update) or without a version runs no firmware that its text could name: it is updated.
bool RefuseUpdate(const UnitVersion& unit, bool force) {
    FirmwareVerdict verdict = CompareFirmware(unit.major, unit.minor);
    if (!unit.known || DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE ||
        DeviceDataFromLoader.load() != 0 || verdict == VERDICT_UPDATE)
        return false;
    std::string_view text = VerdictText(verdict);
    if (!force) {
        std::fprintf(stderr, "mq6: not updated: %.*s (--force updates anyway)\n",
                     static_cast<int>(text.size()), text.data());
        return true;
    }
    std::fprintf(stderr, "mq6: --force: a %s, the unit's %d.%02d replaced by the carried %d.%02d\n",
                 verdict == VERDICT_MATCH ? "reinstall" : "downgrade", unit.major, unit.minor,
                 CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
    return false;
}

} // namespace

int RunFirmwareStatus() {
    int result = FetchDataBlock();
    if (result != EXIT_OK)
        return result;
    PrintVersions(ReadVersion());
    ReportUnfinishedJob();
    return EXIT_OK;
}

// The view's rule: only a unit whose firmware is older is updated, or one whose version cannot
// be read (no data block, or a unit in its loader after an interrupted update). What the unit
// reads decides before a missing terminal does: a unit that is not updated is refused as such.
int RunFirmwareUpdate(bool yes, bool force) {
    int result = ConnectUnit();
    if (result != EXIT_OK)
        return result;
    bool read = GetDeviceData() == 0;
    // Refused before the question: no answer could change that.
    FirmwareUpdateCheck checked = CheckFirmwareUpdate();
    if (checked != UPDATE_ALLOWED) {
        if (checked == UPDATE_REFUSED_SETUP_MODE)
            ReportUnfinishedJob();
        DisconnectUnit();
        return EXIT_FAILED;
    }
    UnitVersion unit = ReadVersion();
    if (read)
        PrintVersions(unit);
    if (read && RefuseUpdate(unit, force)) {
        DisconnectUnit();
        return EXIT_FAILED;
    }
    if (read && DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE)
        std::fprintf(stderr, "mq6: the unit is in firmware update mode: finishing an interrupted "
                             "update\n");
    result = RequireTerminalOrYes(yes, "firmware update");
    if (result != EXIT_OK) {
        DisconnectUnit();
        return result;
    }
    std::array<char, 48> question{};
    std::snprintf(question.data(), question.size(), "Program firmware %d.%02d into the unit?",
                  CARRIED_VERSION_MAJOR, CARRIED_VERSION_MINOR);
    if (!yes && !Confirm(question.data())) {
        std::fprintf(stderr, "mq6: firmware update cancelled\n");
        DisconnectUnit();
        return EXIT_FAILED;
    }

    StartProgress();
    AddProgramPhaseListener(ShowPhase);
    JobOutcome updated;
    {
        HoldInterrupts hold("firmware update", "mq6 firmware update");
        updated = UpdateFirmware({nullptr, StepProgress, nullptr, nullptr});
    }
    EndProgress();
    RemoveProgramPhaseListener(ShowPhase);
    result = ReportUpdate(updated);
    DisconnectUnit();
    return result;
}
