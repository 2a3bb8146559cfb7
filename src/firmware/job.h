// A job: a setup write or a firmware update, the two ways the programs change the unit through its
// loader. Every front end runs both by one policy each (wbsetup/setup_job.h,
// firmware/firmware_update.h); each ends in an outcome, and one table of words says it.
#pragma once

#include "firmware/unfinished_job.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// The unit's application comes up this long after the loader's restart, before its data block is
// read again.
constexpr int JOB_RESTART_WAIT_MS = 100;

enum JobKind : int32_t {
    JOB_KIND_SETUP_WRITE = 0,
    JOB_KIND_FIRMWARE_UPDATE = 1,
};

enum JobResult : int32_t {
    JOB_REFUSED,            // nothing sent: a check refused it and said why
    JOB_UNIT_REFUSED,       // the unit answered a refusal at a stage
    JOB_STOPPED_ANSWERING,  // the unit stopped answering at a stage
    JOB_READ_BACK_DIFFERED, // what the unit read back differed from what was written
    JOB_WRITTEN_UNREADABLE, // all was sent, but the restarted unit's data block cannot be read
    JOB_NOT_TAKEN,          // the restarted unit does not hold what was written, or is mid-job
    JOB_VERIFIED,           // the restarted unit holds what was written
};

struct JobOutcome {
    JobKind kind;
    JobResult result;
    std::string_view stage; // the loader sequence's text of the stage it stopped at, or empty
    UnfinishedJob left;     // what the unit is left in, as far as the programs can tell
};

// The end of a loader sequence: 0 when it ran to the restart, else -1 with the text of its stage.
// A refused load mode leaves the unit as it was; silence there, or any later stage, leaves it
// mid-job. before is what the unit was in when the job began. Judged with LastReplyMissing,
// which tells the unit's silence from its refusal; a sequence that ran to the restart is
// JOB_VERIFIED until the read after the restart says otherwise (JudgeRestart).
JobOutcome JudgeSequence(JobKind kind, int result, std::string_view stage, UnfinishedJob before);
// After the restart: read is GetDeviceData's result, holds whether the block read holds what was
// written (the setup block, or the carried version). A block still in a job's mode is no finished
// job, whatever it holds.
JobOutcome JudgeRestart(JobKind kind, int read, bool holds);

// After a sequence that the unit refused part way (it still answers), its data block is read again
// with the link claimed, so that what it holds now is known, and what it is left in is taken from
// the block when it came. A silent unit is left alone: its block is read once it is back.
void ReadBlockAfterRefusal(JobOutcome& outcome);

// What happened, in a sentence of its own ("The MQ-6 stopped answering."); empty for JOB_REFUSED,
// whose check said why. The front end adds what finishes a job left unfinished
// (FormatJobGuidance, or mq6's command).
std::string_view JobOutcomeSentence(const JobOutcome& outcome);

// A window's box at the end of a job that did not end verified: the stage's text, what happened,
// and for a unit left mid-job the line that says what finishes it (FormatJobGuidance); its
// caption, the job's error caption.
std::string FormatJobBox(const JobOutcome& outcome);
// The setup write's caption; the firmware update's is UPDATE_ERROR_CAPTION (firmware/verdict.h).
extern const std::string_view SETUP_ERROR_CAPTION;

// One job at a time, whatever its kind: 1 from the check that starts one until its worker has
// ended. Set by TryBeginJob, which fails while another runs; cleared by EndJob.
extern std::atomic<int32_t> JobRunning;
bool TryBeginJob();
void EndJob();
// Waits until no job runs.
void WaitForJobEnd();
// Runs body on a thread of its own, which ends the job (EndJob) once body returns and then calls
// ended (unless nullptr), for what may come only once another job can start. 0, or -1 after the
// "CreateThread failed" box (caption) when the system gives no thread; the job then ends.
int StartJobThread(void (*body)(), void (*ended)(), std::string_view caption);
