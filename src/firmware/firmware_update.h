// The firmware update as the firmware view's Update button and mq6 firmware update both run it:
// the refusals that come before anything is sent, the programming sequence, and the version the
// unit reports after its restart.
#pragma once

#include "firmware/programming.h"

enum FirmwareUpdateResult {
    UPDATE_ALLOWED,            // the checks passed; nothing sent yet
    UPDATE_DONE,               // programmed; the restarted unit reports the carried version
    UPDATE_REFUSED_SETUP_MODE, // nothing sent: the unit must finish its setup first
    UPDATE_REFUSED_SAMPLE,     // nothing sent: the sample image and a unit not running it
    UPDATE_FAILED,             // the sequence stopped; its stage was shown
    UPDATE_NOT_READ_BACK,      // programmed, but the restarted unit's data block cannot be read
    UPDATE_NOT_TAKEN,          // programmed, but the restarted unit reports another version
};

// Judges the unit by the data block read last (DeviceInfo): one in its setup mode is refused,
// then a sample image is refused unless the unit runs the sample firmware. A refusal is shown
// as a notice and returned; UPDATE_ALLOWED otherwise.
FirmwareUpdateResult CheckFirmwareUpdate();

// Checks as above; then calls begin (when given), programs the carried image with the
// progress reports, shows a failed stage's text, reports a reset of the progress, and after a
// good run waits for the unit's restart and reads its data block again.
FirmwareUpdateResult UpdateFirmware(ProgressSink progress, void (*begin)());
