// The setup write as every front end runs it (the Wide Band Setup view's Set MQ-6, mq6 setup
// write): the checks before anything is sent, in one order; the restore point of the unit's
// setup and the setup being written, both kept in the user's data folder (settings/data_folder.h);
// the worker that writes both output tables and the setup block through the loader; and, after
// the unit's restart, its data block read back. The outcome is a JobOutcome (firmware/job.h).
#pragma once

#include "firmware/job.h"
#include "firmware/programming.h"
#include "wbsetup/setup_transfer.h"
#include "wbsetup/setup_values.h"

#include <string>

// What the write tells its front end before anything is sent, on the calling thread.
enum SetupJobNote : int {
    SETUP_NOTE_RESTORE_POINT,        // the unit's setup kept as a restore point: detail, its path
    SETUP_NOTE_NO_RESTORE_POINT,     // the unit's block could not be read: no restore point
    SETUP_NOTE_RESTORE_POINT_FAILED, // refused, nothing sent: the restore point cannot be kept
    SETUP_NOTE_PENDING_FAILED,       // refused, nothing sent: the setup to write cannot be kept
};

struct SetupJobFrontEnd {
    void (*note)(SetupJobNote note, const std::string& detail);
    // On the job's thread: begin before the first request of the loader sequence, progress
    // during it (a step per block or record, a reset between writing and verifying), end with
    // the outcome once the block has been read back. Any may be nullptr.
    void (*begin)();
    ProgressSink progress;
    void (*end)(const JobOutcome& outcome);
};

struct SetupJobOptions {
    bool keepRestorePoint = true; // mq6 setup write --no-restore-point clears it
};

// Checks, each refusal said as a notice (or a note) with nothing sent: another job runs; the
// unit's data block is read with the link claimed (a unit that cannot be read is still written,
// as it may be waiting in its loader); a unit in its firmware update mode is refused; the sample
// key only for a unit that runs the sample firmware; the restore point of the setup the unit holds
// (none for an unreadable unit); the setup kept as the unfinished setup. Then values become
// SetupValues, both tables and the setup block are built from them, and the worker starts. 0 when
// it runs; -1 refused (JOB_REFUSED).
int StartSetupWrite(const SetupRecord& values, const SetupJobOptions& options,
                    const SetupJobFrontEnd& frontEnd);
// Waits until the write has ended; the outcome of the last write that ended.
JobOutcome WaitSetupWrite();
// The outcome of the last write that ended.
JobOutcome LastSetupOutcome();

// The setup of a write that the unit has not taken whole, kept until it has: true with it in
// values. A front end offers exactly that to finish the job.
bool ReadPendingSetup(SetupRecord& values);
