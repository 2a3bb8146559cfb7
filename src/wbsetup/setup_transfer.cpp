// Read and Defaults of the Wide Band Setup.
#include "wbsetup/setup_transfer.h"

#include "firmware/banner.h"
#include "firmware/job.h"
#include "link/link.h"
#include "platform/notice.h"

const std::string_view FIRMWARE_MODE_TEXT =
    "\nThe MQ-6 WB Unit is currently in the Firmware Update Mode\n\nThe Firmware Update MUST be "
    "completed before continuing.\n";

int ReadSetup() {
    // A write in progress still has to send the setup block that a read would overwrite.
    if (JobRunning.load(std::memory_order_acquire) != 0)
        return -1;
    {
        // The read runs on the calling thread while the display thread may start its own after a
        // reconnection; the claim keeps it off the link meanwhile.
        LinkClaim claim;
        if (GetDeviceData() != 0)
            return -1;
    }
    if (DeviceInfo[UNIT_MODE_OFFSET] == UNIT_MODE_FIRMWARE_UPDATE) {
        ShowNotice(FIRMWARE_MODE_TEXT, SETUP_ERROR_CAPTION, NOTICE_TOPMOST | NOTICE_ERROR_ICON);
        return -1;
    }
    UnpackSetupBlock(DeviceInfo, SetupValues);
    MatchResponseRows(SetupValues);
    return 0;
}

void LoadDefaultSetup() {
    SetupValues = DEFAULT_SETUP;
}
