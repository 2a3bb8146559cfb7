// Read, Defaults and Set of the Wide Band Setup, and the worker that carries a Set to the
// unit through its loader.
#include "wbsetup/setup_transfer.h"

#include "firmware/banner.h"
#include "firmware/sample_rule.h"
#include "firmware/unfinished_job.h"
#include "platform/notice.h"
#include "wbsetup/output_table.h"
#include "wbsetup/setup_tables.h"
#include "wbsetup/setup_write.h"

#include <system_error>
#include <thread>

const std::string_view FIRMWARE_MODE_TEXT =
    "\nThe MQ-6 WB Unit is currently in the Firmware Update Mode\n\nThe Firmware Update MUST be "
    "completed before continuing.\n";
const std::string_view SETUP_ERROR_CAPTION = "-WB Setup Error-";
const std::string_view THREAD_FAILED_TEXT = "CreateThread failed";
const std::string_view THREAD_FAILED_CAPTION = "wbsetup";

std::atomic<int32_t> SetupWriteRunning{0};
std::atomic<int32_t> SetupWriteResult{0};
void (*SetupWriteBeginHook)() = nullptr;
ProgressSink SetupWriteProgressHook = nullptr;
void (*SetupWriteEndHook)(int result) = nullptr;
int (*SetupRestoreHook)(int blockRead) = nullptr;

namespace {
// The data-block reads of Read and Set run on the calling thread while the display thread may
// start its own read after a reconnection; the claim keeps it off the link meanwhile.
int ReadDeviceDataClaimed() {
    LinkClaim claim;
    return GetDeviceData();
}

bool UnitInFirmwareMode() {
    return DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE;
}

void ShowSetupError(std::string_view text) {
    ShowNotice(text, SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
}

void SetupWriteWorker() {
    if (SetupWriteBeginHook != nullptr)
        SetupWriteBeginHook();
    std::string_view message;
    int result =
        WriteSetupTables(message, SetupTable1, SetupTable2, DeviceInfo, SetupWriteProgressHook);
    // A refused load mode left the unit as it was; any later stage may have left it in its
    // setup mode with half of the setup.
    UnfinishedJob left =
        result == 0 || message == LOAD_MODE_FAILED_MESSAGE ? JOB_NONE : JOB_SETUP_WRITE;
    NoteJobEnd(left);
    if (result != 0)
        ShowSetupError(FormatCutJobText(message, left));
    SetupWriteResult.store(result, std::memory_order_release);
    if (SetupWriteEndHook != nullptr)
        SetupWriteEndHook(result);
    SetupWriteRunning.store(0, std::memory_order_release);
    SetupWriteRunning.notify_all();
}
} // namespace

int ReadSetup() {
    // A write in progress still has to send the setup block that a read would overwrite.
    if (SetupWriteRunning.load(std::memory_order_acquire) != 0)
        return -1;
    if (ReadDeviceDataClaimed() != 0)
        return -1;
    if (UnitInFirmwareMode()) {
        ShowSetupError(FIRMWARE_MODE_TEXT);
        return -1;
    }
    UnpackSetupBlock(DeviceInfo, SetupValues);
    MatchResponseRows(SetupValues);
    return 0;
}

void LoadDefaultSetup() {
    SetupValues = DEFAULT_SETUP;
}

int WriteSetup(const SetupRecord& values) {
    if (SetupWriteRunning.load(std::memory_order_acquire) != 0)
        return -1;
    // An unreadable unit is still written, as it may be sitting in its loader, unless the
    // sample key would go to a unit not known to run the sample firmware.
    int blockRead = ReadDeviceDataClaimed() == 0 ? 1 : 0;
    if (blockRead != 0 && UnitInFirmwareMode()) {
        ShowSetupError(FIRMWARE_MODE_TEXT);
        return -1;
    }
    std::string_view sample = RefuseSampleWrite(SAMPLE_INPUT_KEY);
    if (!sample.empty()) {
        ShowSetupError(sample);
        return -1;
    }
    if (SetupRestoreHook != nullptr && SetupRestoreHook(blockRead) != 0)
        return -1;

    SetupValues = values;
    BuildSetupTables(SetupValues, SetupTable1, SetupTable2);
    PackSetupBlock(SetupValues, DeviceInfo);

    SetupWriteRunning.store(1, std::memory_order_release);
    try {
        // Nobody joins the worker: it announces its end through SetupWriteRunning.
        std::thread(SetupWriteWorker).detach();
    } catch (const std::system_error&) {
        SetupWriteRunning.store(0, std::memory_order_release);
        ShowNotice(THREAD_FAILED_TEXT, THREAD_FAILED_CAPTION, NOTICE_NO_OWNER);
        return -1;
    }
    return 0;
}

int WaitSetupWrite() {
    for (;;) {
        int32_t running = SetupWriteRunning.load(std::memory_order_acquire);
        if (running == 0)
            break;
        SetupWriteRunning.wait(running, std::memory_order_acquire);
    }
    return SetupWriteResult.load(std::memory_order_acquire);
}
