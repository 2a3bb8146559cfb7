// The firmware update's one policy, whichever front end starts it.
#include "firmware/firmware_update.h"

#include "firmware/banner.h"
#include "firmware/firmware_image.h"
#include "firmware/sample_rule.h"
#include "firmware/verdict.h"
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"

namespace {
constexpr std::string_view THREAD_CAPTION = "firmware";

// Set before the job's thread starts, read by it alone.
FirmwareJobFrontEnd FrontEnd{};

FirmwareUpdateCheck Refuse(FirmwareUpdateCheck refusal, std::string_view text,
                           std::string_view caption) {
    ShowNotice(text, caption, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
    return refusal;
}

bool ReportsCarriedVersion() {
    int major = 0;
    int minor = 0;
    return ReadUnitVersion(DeviceInfo, major, minor) == 0 &&
           CompareFirmware(major, minor) == VERDICT_MATCH;
}

// The update itself, once the job is this thread's.
JobOutcome RunUpdate(const FirmwareJobFrontEnd& frontEnd) {
    if (CheckFirmwareUpdate() != UPDATE_ALLOWED)
        return {JOB_KIND_FIRMWARE_UPDATE, JOB_REFUSED, {}, JOB_NONE};
    UnfinishedJob before =
        DeviceDataValid.load(std::memory_order_acquire) != 0
            ? JobOfBlock(DeviceInfo, DeviceDataFromLoader.load(std::memory_order_acquire))
            : JOB_NONE;
    if (frontEnd.begin != nullptr)
        frontEnd.begin();
    std::string_view message;
    int programmed = ProgramFirmware(message, SelectVerifyLength(), frontEnd.progress);
    JobOutcome outcome = JudgeSequence(JOB_KIND_FIRMWARE_UPDATE, programmed, message, before);
    if (frontEnd.progress != nullptr)
        frontEnd.progress(PROGRESS_RESET);
    if (programmed == 0) {
        SleepMs(JOB_RESTART_WAIT_MS);
        int read = GetDeviceData();
        outcome =
            JudgeRestart(JOB_KIND_FIRMWARE_UPDATE, read, read == 0 && ReportsCarriedVersion());
    }
    ReadBlockAfterRefusal(outcome);
    NoteJobEnd(outcome.left);
    return outcome;
}

void UpdateWorker() {
    JobOutcome outcome = RunUpdate(FrontEnd);
    if (FrontEnd.end != nullptr)
        FrontEnd.end(outcome);
}
} // namespace

FirmwareUpdateCheck CheckFirmwareUpdate() {
    if (DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_SETUP)
        return Refuse(UPDATE_REFUSED_SETUP_MODE, SETUP_MODE_REFUSAL_TEXT,
                      SETUP_MODE_REFUSAL_CAPTION);
    std::string_view sample = RefuseSampleWrite(SAMPLE_INPUT_IMAGE);
    if (!sample.empty())
        return Refuse(UPDATE_REFUSED_SAMPLE, sample, UPDATE_ERROR_CAPTION);
    return UPDATE_ALLOWED;
}

JobOutcome UpdateFirmware(const FirmwareJobFrontEnd& frontEnd) {
    if (!TryBeginJob())
        return {JOB_KIND_FIRMWARE_UPDATE, JOB_REFUSED, {}, JOB_NONE};
    JobOutcome outcome = RunUpdate(frontEnd);
    if (frontEnd.end != nullptr)
        frontEnd.end(outcome);
    EndJob();
    return outcome;
}

int StartFirmwareUpdate(const FirmwareJobFrontEnd& frontEnd) {
    if (!TryBeginJob())
        return -1;
    // The checks judge what the unit on the port answers now, not a block read before it was
    // plugged in.
    {
        LinkClaim claim;
        GetDeviceData();
    }
    FrontEnd = frontEnd;
    return StartJobThread(UpdateWorker, frontEnd.ended, THREAD_CAPTION);
}
