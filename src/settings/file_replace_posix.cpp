// Replacing a file on POSIX: a new file created exclusively beside the old one, flushed with
// fsync, then renamed over it. Created files get mode 0666 less the umask, like fopen's.
#include "settings/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int NAME_ATTEMPTS = 100;
constexpr mode_t NEW_FILE_MODE = 0666;
} // namespace

std::FILE* OpenForUpdate(const char* path) {
    std::FILE* file = std::fopen(path, "r+");
    if (file == nullptr && errno == EROFS)
        file = std::fopen(path, "r");
    return file;
}

int CreateEmptyFile(const char* path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE);
    if (fd < 0)
        return -1;
    return close(fd) == 0 ? 0 : -1;
}

std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size) {
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        int length = std::snprintf(tempPath, size, "%s.%ld.%d.tmp", path,
                                   static_cast<long>(getpid()), attempt);
        if (length < 0 || static_cast<size_t>(length) >= size)
            return nullptr;
        int fd = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE);
        if (fd < 0) {
            // A name left behind by an earlier process with the same id: try the next one.
            if (errno == EEXIST)
                continue;
            return nullptr;
        }
        std::FILE* file = fdopen(fd, "w");
        if (file == nullptr) {
            close(fd);
            unlink(tempPath);
        }
        return file;
    }
    return nullptr;
}

int FinishReplacement(std::FILE* file) {
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0 && fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && ok ? 0 : -1;
}

int CommitReplacement(const char* tempPath, const char* path) {
    // rename ignores the permissions of the file it replaces; opening the file for writing
    // would not, so neither do we. The replacement keeps the old file's permissions.
    struct stat old;
    if (stat(path, &old) == 0) {
        if (S_ISDIR(old.st_mode) || access(path, W_OK) != 0 ||
            chmod(tempPath, old.st_mode & 07777) != 0)
            return -1;
    } else if (errno != ENOENT) {
        return -1;
    }
    return rename(tempPath, path) == 0 ? 0 : -1;
}
