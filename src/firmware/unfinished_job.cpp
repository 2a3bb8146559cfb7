// Which job a unit is left in, and its words.
#include "firmware/unfinished_job.h"

#include "firmware/banner.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

namespace {

struct JobWords {
    std::string_view situation; // mq6's words too
    std::string_view finisher;  // the window's button that finishes it
    std::string_view status;    // both, short enough for the status line beside its title
};
constexpr std::array<JobWords, 4> JobTable = {{
    {"", "", ""}, // JOB_NONE
    {"a setup write did not finish", "press Set MQ-6 to finish it",
     "Setup write unfinished: press Set MQ-6"},
    {"a firmware update did not finish", "press Update Firmware",
     "Update unfinished: press Update Firmware"},
    {"the unit answers only from its loader", "press Update Firmware",
     "Only the loader answers: press Update Firmware"},
}};

// The end of the last job, and the count of blocks read when it ended; -1: no job ended yet.
std::atomic<int32_t> JobEnd{-1};
std::atomic<uint32_t> JobEndReads{0};

} // namespace

UnfinishedJob JobOfBlock(const std::array<uint8_t, DEVICE_INFO_SIZE>& info, int32_t fromLoader) {
    switch (info[UNIT_MODE_OFFSET]) {
    case UNIT_MODE_SETUP:
        return JOB_SETUP_WRITE;
    case UNIT_MODE_FIRMWARE_UPDATE:
        return JOB_FIRMWARE_UPDATE;
    default:
        return fromLoader != 0 ? JOB_LOADER_ONLY : JOB_NONE;
    }
}

void NoteJobEnd(UnfinishedJob job) {
    JobEndReads.store(DeviceDataReads.load(std::memory_order_acquire), std::memory_order_release);
    JobEnd.store(job, std::memory_order_release);
}

void ResetUnfinishedJob() {
    JobEnd.store(-1, std::memory_order_release);
}

UnfinishedJob FindUnfinishedJob() {
    int32_t end = JobEnd.load(std::memory_order_acquire);
    if (end >= 0 && JobEndReads.load(std::memory_order_acquire) ==
                        DeviceDataReads.load(std::memory_order_acquire))
        return static_cast<UnfinishedJob>(end);
    if (DeviceDataValid.load(std::memory_order_acquire) != 1)
        return JOB_NONE;
    return JobOfBlock(DeviceInfo, DeviceDataFromLoader.load(std::memory_order_acquire));
}

std::string_view JobStatusText(UnfinishedJob job) {
    return JobTable[static_cast<size_t>(job)].status;
}

std::string_view JobSituation(UnfinishedJob job) {
    return JobTable[static_cast<size_t>(job)].situation;
}

int FormatJobGuidance(UnfinishedJob job, char* text, size_t size) {
    if (size == 0)
        return 0;
    text[0] = '\0';
    const JobWords& words = JobTable[static_cast<size_t>(job)];
    if (words.situation.empty())
        return 0;
    int length = std::snprintf(
        text, size, "%c%.*s: %.*s", std::toupper(static_cast<unsigned char>(words.situation[0])),
        static_cast<int>(words.situation.size() - 1), words.situation.data() + 1,
        static_cast<int>(words.finisher.size()), words.finisher.data());
    return std::clamp(length, 0, static_cast<int>(size) - 1);
}
