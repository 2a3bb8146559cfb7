// The firmware update's one policy, whichever front end starts it.
#include "firmware/firmware_update.h"

#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/sample_rule.h"
#include "firmware/unfinished_job.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"

namespace {
constexpr int RESTART_WAIT_MS = 100; // the restarted unit's application comes up meanwhile

FirmwareUpdateResult Refuse(FirmwareUpdateResult refusal, std::string_view text,
                            std::string_view caption) {
    ShowNotice(text, caption, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    return refusal;
}
} // namespace

FirmwareUpdateResult CheckFirmwareUpdate() {
    if (DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_SETUP)
        return Refuse(UPDATE_REFUSED_SETUP_MODE, SETUP_MODE_REFUSAL_TEXT,
                      SETUP_MODE_REFUSAL_CAPTION);
    std::string_view sample = RefuseSampleWrite(SAMPLE_INPUT_IMAGE);
    if (!sample.empty())
        return Refuse(UPDATE_REFUSED_SAMPLE, sample, UPDATE_ERROR_CAPTION);
    return UPDATE_ALLOWED;
}

FirmwareUpdateResult UpdateFirmware(ProgressSink progress, void (*begin)()) {
    FirmwareUpdateResult checked = CheckFirmwareUpdate();
    if (checked != UPDATE_ALLOWED)
        return checked;
    if (begin != nullptr)
        begin();
    std::string_view message;
    int programmed = ProgramFirmware(message, SelectVerifyLength(), progress);
    if (programmed != 0) {
        // A refused load mode left the unit as it was; any later stage may have left it in its
        // loader, half programmed.
        UnfinishedJob left = message == LOAD_MODE_FAILED_MESSAGE ? JOB_NONE : JOB_FIRMWARE_UPDATE;
        NoteJobEnd(left);
        ShowNotice(FormatCutJobText(message, left), UPDATE_ERROR_CAPTION,
                   NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    } else {
        NoteJobEnd(JOB_NONE);
    }
    if (progress != nullptr)
        progress(PROGRESS_RESET);
    if (programmed != 0)
        return UPDATE_FAILED;

    SleepMs(RESTART_WAIT_MS);
    if (GetDeviceData() != 0)
        return UPDATE_NOT_READ_BACK;
    int major = 0;
    int minor = 0;
    if (ReadUnitVersion(DeviceInfo, major, minor) != 0 ||
        CompareFirmware(major, minor) != VERDICT_MATCH)
        return UPDATE_NOT_TAKEN;
    return UPDATE_DONE;
}
