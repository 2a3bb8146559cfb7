// The jobs' outcomes and their words, and the one job slot.
#include "firmware/job.h"

#include "firmware/programming.h"
#include "link/link.h"
#include "platform/notice.h"

#include <array>
#include <system_error>
#include <thread>

std::atomic<int32_t> JobRunning{0};
const std::string_view SETUP_ERROR_CAPTION = "-WB Setup Error-";

namespace {

UnfinishedJob MidJob(JobKind kind) {
    return kind == JOB_KIND_SETUP_WRITE ? JOB_SETUP_WRITE : JOB_FIRMWARE_UPDATE;
}

// The unit's silence: its reply did not come whole, or the port has gone.
bool UnitSilent() {
    return LastReplyMissing.load(std::memory_order_acquire) != 0 ||
           PortOpen.load(std::memory_order_acquire) == 0;
}

} // namespace

JobOutcome JudgeSequence(JobKind kind, int result, std::string_view stage, UnfinishedJob before) {
    if (result == 0)
        return {kind, JOB_VERIFIED, {}, JOB_NONE};
    // Nothing answered at all: the unit is as it was. A load mode it refused leaves it as it was
    // too; one it did not answer may have been taken.
    if (stage == COMM_ERROR_MESSAGE)
        return {kind, JOB_STOPPED_ANSWERING, stage, before};
    bool silent = UnitSilent();
    if (stage == LOAD_MODE_FAILED_MESSAGE)
        return {kind, silent ? JOB_STOPPED_ANSWERING : JOB_UNIT_REFUSED, stage,
                silent ? MidJob(kind) : before};
    if (silent)
        return {kind, JOB_STOPPED_ANSWERING, stage, MidJob(kind)};
    return {kind,
            stage == PROGRAM_VERIFY_FAILURE_MESSAGE ? JOB_READ_BACK_DIFFERED : JOB_UNIT_REFUSED,
            stage, MidJob(kind)};
}

JobOutcome JudgeRestart(JobKind kind, int read, bool holds) {
    if (read != 0)
        return {kind, JOB_WRITTEN_UNREADABLE, {}, MidJob(kind)};
    UnfinishedJob left =
        JobOfBlock(DeviceInfo, DeviceDataFromLoader.load(std::memory_order_acquire));
    if (left != JOB_NONE)
        return {kind, JOB_NOT_TAKEN, {}, left};
    return {kind, holds ? JOB_VERIFIED : JOB_NOT_TAKEN, {}, JOB_NONE};
}

void ReadBlockAfterRefusal(JobOutcome& outcome) {
    if (outcome.result != JOB_UNIT_REFUSED && outcome.result != JOB_READ_BACK_DIFFERED)
        return;
    LinkClaim claim;
    if (GetDeviceData() == 0)
        outcome.left = JobOfBlock(DeviceInfo, DeviceDataFromLoader.load(std::memory_order_acquire));
}

std::string_view JobOutcomeSentence(const JobOutcome& outcome) {
    bool setup = outcome.kind == JOB_KIND_SETUP_WRITE;
    bool mid = outcome.left != JOB_NONE;
    switch (outcome.result) {
    case JOB_REFUSED:
    case JOB_VERIFIED:
        return {};
    case JOB_UNIT_REFUSED:
        return mid ? "The MQ-6 refused to go on."
                   : "The MQ-6 refused it: nothing was written, and it runs as before.";
    case JOB_STOPPED_ANSWERING:
        return mid ? "The MQ-6 stopped answering, or its answer came damaged."
                   : "Nothing was written: the MQ-6 stopped answering, or its answer came damaged.";
    case JOB_READ_BACK_DIFFERED:
        return "What the MQ-6 read back differed from what was written.";
    case JOB_WRITTEN_UNREADABLE:
        return "Everything was sent, but the MQ-6 did not answer after its restart.";
    case JOB_NOT_TAKEN:
        if (outcome.left == JOB_SETUP_WRITE)
            return "The MQ-6 restarted still in its setup mode.";
        if (outcome.left == JOB_FIRMWARE_UPDATE)
            return "The MQ-6 restarted still in its firmware update mode.";
        if (outcome.left == JOB_LOADER_ONLY)
            return "The MQ-6 restarted, but only its loader answers.";
        return setup ? "The MQ-6 does not hold the setup just written."
                     : "The MQ-6 does not report the firmware just written.";
    }
    return {};
}

std::string FormatJobBox(const JobOutcome& outcome) {
    std::string text(outcome.stage);
    std::string_view sentence = JobOutcomeSentence(outcome);
    if (!sentence.empty())
        text.append(text.empty() ? "" : "\n").append(sentence);
    std::array<char, 96> line{};
    int length = FormatJobGuidance(outcome.left, line.data(), line.size());
    if (length > 0)
        text.append("\n").append(line.data(), static_cast<size_t>(length));
    return text;
}

bool TryBeginJob() {
    int32_t idle = 0;
    return JobRunning.compare_exchange_strong(idle, 1, std::memory_order_acq_rel);
}

void EndJob() {
    JobRunning.store(0, std::memory_order_release);
    JobRunning.notify_all();
}

void WaitForJobEnd() {
    for (;;) {
        int32_t running = JobRunning.load(std::memory_order_acquire);
        if (running == 0)
            return;
        JobRunning.wait(running, std::memory_order_acquire);
    }
}

int StartJobThread(void (*body)(), void (*ended)(), std::string_view caption) {
    try {
        // Nobody joins the thread: it announces its end through JobRunning.
        std::thread([body, ended] {
            body();
            EndJob();
            if (ended != nullptr)
                ended();
        }).detach();
    } catch (const std::system_error&) {
        EndJob();
        ShowNotice("CreateThread failed", caption, NOTICE_NO_OWNER);
        return -1;
    }
    return 0;
}
