// Texts and exit statuses that every mq6 command shares: usage errors, a unit left mid-job,
// and an output whose reader has gone.
#include "cli/cli.h"
#include "display/csv_file.h"
#include "firmware/banner.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"
#include "settings/data_folder.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#if __has_include(<poll.h>)
#include <poll.h>
#include <unistd.h>
#endif

std::string CommandName;

int UsageError(const std::string& reason) {
    std::fprintf(stderr, "mq6: %s\nrun mq6 %s%s--help\n", reason.c_str(), CommandName.c_str(),
                 CommandName.empty() ? "" : " ");
    return EXIT_USAGE;
}

std::string FinishSetupText() {
    std::string pending = PendingSetupPath();
    std::error_code ignored;
    if (!pending.empty() && std::filesystem::exists(pending, ignored))
        return "mq6 setup write --from " + pending +
               " --yes finishes it with the setup that was "
               "being written";
    return "mq6 setup write with the setup to write (--from FILE, --defaults or the values) "
           "finishes it";
}

std::string JobGuidanceText(UnfinishedJob job) {
    std::string situation(JobSituation(job));
    switch (job) {
    case JOB_SETUP_WRITE:
        return situation + "; " + FinishSetupText();
    case JOB_FIRMWARE_UPDATE:
        return situation + "; mq6 firmware update finishes it";
    case JOB_LOADER_ONLY:
        return situation + ": its firmware does not run; mq6 firmware update brings it back";
    case JOB_NONE:
        break;
    }
    return std::string();
}

std::string UnfinishedJobText(int mode) {
    if (mode == UNIT_MODE_NORMAL && DeviceDataFromLoader.load(std::memory_order_acquire) != 0)
        return JobGuidanceText(JOB_LOADER_ONLY);
    switch (mode) {
    case UNIT_MODE_FIRMWARE_UPDATE:
        return "the unit is in firmware update mode: " + JobGuidanceText(JOB_FIRMWARE_UPDATE);
    case UNIT_MODE_SETUP:
        return "the unit is in setup mode: " + JobGuidanceText(JOB_SETUP_WRITE);
    default:
        return std::string();
    }
}

void SayOnStderr(std::string_view sentence) {
    if (sentence.empty())
        return;
    if (sentence.back() == '.')
        sentence.remove_suffix(1);
    std::string line(sentence);
    line[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    std::fprintf(stderr, "mq6: %s\n", line.c_str());
}

bool ReportUnfinishedJob() {
    std::string text = UnfinishedJobText(DeviceInfo[UNIT_MODE_OFFSET]);
    if (!text.empty())
        std::fprintf(stderr, "mq6: %s\n", text.c_str());
    return !text.empty();
}

// A pipe whose reader has gone reports an error condition to its writer; without poll (Windows)
// the failed write's own broken pipe tells it.
bool OutputClosed() {
#if __has_include(<poll.h>)
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    return poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP)) != 0;
#else
    return false;
#endif
}

int FinishOutput(int result) {
    FileReason reason{};
    int flushed = FlushCsvFile(stdout, reason);
    if (flushed == 0)
        return result;
    std::clearerr(stdout); // told once, however often a command finishes its output
    if (flushed == -2 || OutputClosed())
        return EXIT_OK;
    std::fprintf(stderr, "mq6: cannot write the output: %s\n", reason.data());
    return result == EXIT_OK ? EXIT_FAILED : result;
}

int WriteRows(std::FILE* file, std::string_view text) {
    FileReason reason{};
    int written = WriteCsvFile(file, text, reason);
    if (written == 0)
        written = FlushCsvFile(file, reason);
    return written == 0 ? ROWS_OK : written == -2 ? ROWS_READER_GONE : ROWS_FAILED;
}
