// The CSV file through the C library's stream, and strerror for the reason of a failure. The
// Windows build links this file too: its C runtime keeps the reason in errno as POSIX does, and
// its streams write CR LF line ends in text mode.
#include "display/csv_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace {
// The reason of error; none for 0.
void KeepReason(int error, FileReason& reason) {
    reason.fill('\0');
    if (error != 0)
        std::snprintf(reason.data(), reason.size(), "%s", std::strerror(error));
}

int Failed(FileReason& reason) {
    int error = errno;
    KeepReason(error, reason);
    return error == EPIPE ? -2 : -1;
}
} // namespace

std::FILE* CreateCsvFile(const char* path, char* buffer, size_t size, FileReason& reason) {
    reason.fill('\0');
    std::FILE* file = OpenForWriting(path, reason);
    errno = 0;
    if (file == nullptr || std::setvbuf(file, buffer, _IOFBF, size) == 0)
        return file;
    KeepReason(errno, reason);
    std::fclose(file);
    return nullptr;
}

int WriteCsvFile(std::FILE* file, std::string_view text, FileReason& reason) {
    errno = 0;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() ? 0 : Failed(reason);
}

int FlushCsvFile(std::FILE* file, FileReason& reason) {
    errno = 0;
    if (std::fflush(file) != 0)
        return Failed(reason);
    if (std::ferror(file) == 0)
        return 0;
    // An earlier write failed and its reason went with it: a write of nothing tells a closed
    // descriptor or a device that refuses every write.
    errno = 0;
    if (write(fileno(file), "", 0) < 0)
        return Failed(reason);
    std::snprintf(reason.data(), reason.size(), "%s", "an earlier write did not go through");
    return -1;
}

int CloseCsvFile(std::FILE* file, FileReason& reason) {
    errno = 0;
    return std::fclose(file) == 0 ? 0 : Failed(reason);
}

void KeepNameTooLong(FileReason& reason) {
    KeepReason(ENAMETOOLONG, reason);
}

int ReadWholeFile(const char* path, uint64_t limit, std::string& text, FileReason& reason) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(path, error);
    // A FIFO or a device would be read until its writer stops, if ever.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        std::snprintf(reason.data(), reason.size(), "%s",
                      std::filesystem::is_directory(status)
                          ? "it is a folder, not a file"
                          : "it is a device or a FIFO, not a file");
        return -2;
    }
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return Failed(reason);
    uint64_t size = std::filesystem::file_size(path, error);
    int result = 0;
    if (error) {
        KeepReason(error.value(), reason);
        result = -1;
    } else if (size > limit) {
        std::snprintf(reason.data(), reason.size(), "larger than %llu GB: not a recording",
                      static_cast<unsigned long long>(limit >> 30));
        result = -2;
    } else {
        text.resize(static_cast<size_t>(size));
        errno = 0;
        size_t got = std::fread(text.data(), 1, text.size(), file);
        if (std::ferror(file) != 0)
            result = Failed(reason);
        text.resize(got); // a file that shrank meanwhile is read as it now is
    }
    std::fclose(file);
    return result;
}

int64_t FileWrittenAt(const char* path) {
    std::error_code error;
    std::filesystem::file_time_type written = std::filesystem::last_write_time(path, error);
    if (error)
        return -1;
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::file_clock::to_sys(written).time_since_epoch())
        .count();
}
