// The firmware update as the firmware view's Update button and mq6 firmware update both run it:
// the refusals that come before anything is sent, the programming sequence, and the version the
// unit reports after its restart.
#pragma once

#include "firmware/job.h"
#include "firmware/programming.h"

enum FirmwareUpdateCheck {
    UPDATE_ALLOWED,            // the checks passed; nothing sent yet
    UPDATE_REFUSED_SETUP_MODE, // nothing sent: the unit must finish its setup first
    UPDATE_REFUSED_SAMPLE,     // nothing sent: the sample image and a unit not running it
};

// Judges the unit by the data block read last (DeviceInfo): one in its setup mode is refused,
// then a sample image is refused unless the unit runs the sample firmware. A refusal is shown
// as a notice and returned; UPDATE_ALLOWED otherwise.
FirmwareUpdateCheck CheckFirmwareUpdate();

// The front end's part, on the thread that runs the update: begin once the checks have passed,
// before anything is sent; progress during the sequence (and a reset once it has ended); end with
// the outcome; ended once another job may start (StartFirmwareUpdate only). Any may be nullptr.
struct FirmwareJobFrontEnd {
    void (*begin)();
    ProgressSink progress;
    void (*end)(const JobOutcome& outcome);
    void (*ended)();
};

// On the calling thread, as one job (none other may run): the checks, the carried image
// programmed, and after a good run the unit's restart waited for and its data block read again,
// which must report the carried version. A refusal is JOB_REFUSED.
JobOutcome UpdateFirmware(const FirmwareJobFrontEnd& frontEnd);
// The same on a job thread of its own, after the unit's data block is read again (with the link
// claimed, on the calling thread): 0 once it runs, -1 when another job runs or no thread could be
// started (nothing done then).
int StartFirmwareUpdate(const FirmwareJobFrontEnd& frontEnd);
