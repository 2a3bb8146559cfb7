// The CSV file through the C library's stream, and strerror for the reason of a failure. The
// Windows build links this file too: its C runtime keeps the reason in errno as POSIX does, and
// its streams write CR LF line ends in text mode.
#include "display/csv_file.h"

#include <cerrno>
#include <cstring>

namespace {
// The reason of error; none for 0.
void KeepReason(int error, FileReason& reason) {
    reason.fill('\0');
    if (error != 0)
        std::snprintf(reason.data(), reason.size(), "%s", std::strerror(error));
}

int Failed(FileReason& reason) {
    KeepReason(errno, reason);
    return -1;
}
} // namespace

std::FILE* CreateCsvFile(const char* path, char* buffer, size_t size, FileReason& reason) {
    errno = 0;
    std::FILE* file = std::fopen(path, "w");
    if (file != nullptr && std::setvbuf(file, buffer, _IOFBF, size) == 0)
        return file;
    int error = errno;
    if (file != nullptr)
        std::fclose(file);
    KeepReason(error, reason);
    return nullptr;
}

int WriteCsvFile(std::FILE* file, std::string_view text, FileReason& reason) {
    errno = 0;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size() ? 0 : Failed(reason);
}

int FlushCsvFile(std::FILE* file, FileReason& reason) {
    errno = 0;
    return std::fflush(file) == 0 ? 0 : Failed(reason);
}

int CloseCsvFile(std::FILE* file, FileReason& reason) {
    errno = 0;
    return std::fclose(file) == 0 ? 0 : Failed(reason);
}

void KeepNameTooLong(FileReason& reason) {
    KeepReason(ENAMETOOLONG, reason);
}
