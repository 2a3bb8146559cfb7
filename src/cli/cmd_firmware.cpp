// mq6 firmware status | update: the unit's firmware against the carried image, and the update
// through the unit's loader by the same policy as the firmware view's worker.
#include "cli/cli.h"
#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_update.h"
#include "firmware/verdict.h"
#include "link/link.h"

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

// Whether the update reached the loader's programming: a stop after that leaves the unit there.
bool ProgrammingBegan = false;

void ShowPhase(int phase) {
    ProgrammingBegan = ProgrammingBegan || phase == PHASE_PROGRAMMING;
    if (phase == PHASE_NONE)
        EndProgress();
    else
        ShowStage(PhaseName(phase),
                  phase == PHASE_FINISHING ? INFO_RECORD_COUNT : CODE_RECORD_COUNT);
}

// After a good run the unit restarts its application; its data block must then carry the
// version that was programmed, or the update has not taken. A refusal or a failed stage has
// been shown already.
int ReportUpdate(FirmwareUpdateResult updated) {
    if (updated == UPDATE_FAILED && ProgrammingBegan)
        std::fprintf(stderr, "mq6: the unit stopped answering during the firmware update, which "
                             "left it in its loader; mq6 firmware update finishes it\n");
    if (updated == UPDATE_NOT_READ_BACK)
        std::fprintf(stderr, "mq6: firmware written, but the unit's data block cannot be read\n");
    if (updated != UPDATE_DONE && updated != UPDATE_NOT_TAKEN)
        return EXIT_FAILED;
    UnitVersion unit = ReadVersion();
    PrintVersions(unit);
    if (updated == UPDATE_NOT_TAKEN) {
        std::fprintf(stderr, "mq6: the unit does not report the firmware just written\n");
        return EXIT_FAILED;
    }
    std::printf("Firmware updated: the unit runs %d.%02d.\n", unit.major, unit.minor);
    return EXIT_OK;
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
    FirmwareUpdateResult checked = CheckFirmwareUpdate();
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
    ProgrammingBegan = false;
    AddProgramPhaseListener(ShowPhase);
    FirmwareUpdateResult updated;
    {
        HoldInterrupts hold("firmware update", "mq6 firmware update");
        updated = UpdateFirmware(StepProgress, nullptr);
    }
    EndProgress();
    RemoveProgramPhaseListener(ShowPhase);
    result = ReportUpdate(updated);
    DisconnectUnit();
    return result;
}
