// Texts and exit statuses that every mq6 command shares: usage errors, a unit left mid-job,
// and an output whose reader has gone.
#include "cli/cli.h"
#include "display/csv_file.h"
#include "firmware/banner.h"
#include "firmware/unfinished_job.h"
#include "link/link.h"

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

std::string PendingSetupPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const char* local = std::getenv("LOCALAPPDATA");
    std::filesystem::path folder;
    if (data != nullptr && data[0] != '\0')
        folder = data;
    else if (home != nullptr && home[0] != '\0')
        folder = std::filesystem::path(home) / ".local" / "share";
    else if (local != nullptr && local[0] != '\0')
        folder = local;
    else
        return std::string();
    return (folder / "mq6" / "unfinished-setup.json").string();
}

std::string RestoreFolderPath() {
    std::string pending = PendingSetupPath();
    return pending.empty() ? pending
                           : (std::filesystem::path(pending).parent_path() / "restore").string();
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

std::string UnfinishedJobText(int mode) {
    if (mode == UNIT_MODE_NORMAL && DeviceDataFromLoader.load(std::memory_order_acquire) != 0)
        return std::string(JobSituation(JOB_LOADER_ONLY)) +
               ": its firmware does not run; mq6 firmware update brings it back";
    switch (mode) {
    case UNIT_MODE_FIRMWARE_UPDATE:
        return "the unit is in firmware update mode: " +
               std::string(JobSituation(JOB_FIRMWARE_UPDATE)) + "; mq6 firmware update finishes it";
    case UNIT_MODE_SETUP:
        return "the unit is in setup mode: " + std::string(JobSituation(JOB_SETUP_WRITE)) + "; " +
               FinishSetupText();
    default:
        return std::string();
    }
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
