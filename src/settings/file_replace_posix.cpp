// Replacing a file on POSIX: a new file created exclusively beside the one the name leads to,
// flushed with fsync, then renamed over it. Created files get mode 0666 less the umask, like
// fopen's.
#include "settings/file_replace.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int NAME_ATTEMPTS = 100;
constexpr int LINK_HOPS = 40; // as the system's own limit
constexpr mode_t NEW_FILE_MODE = 0666;

int Refuse(FileReason& reason, const char* text) {
    std::snprintf(reason.data(), reason.size(), "%s", text);
    return -1;
}

// The system's reason for error, in words that name the folder where that is what is missing.
int Failed(FileReason& reason, int error) {
    return Refuse(reason, error == ENOENT ? "its folder does not exist" : std::strerror(error));
}

enum Target { TARGET_FILE, TARGET_AS_IS, TARGET_REFUSED };

// What path leads to through its symbolic links: a regular file (its real path in target) or a
// name not yet taken (path itself, or where a link that leads nowhere points, as the shell's >
// would create it); or a device or FIFO, written as it is; or refused, with the reason.
Target FindTarget(const char* path, std::string& target, FileReason& reason) {
    struct stat status;
    if (stat(path, &status) == 0) {
        if (S_ISDIR(status.st_mode) || S_ISSOCK(status.st_mode)) {
            Refuse(reason, S_ISDIR(status.st_mode) ? "it is a folder" : "it is a socket");
            return TARGET_REFUSED;
        }
        if (!S_ISREG(status.st_mode))
            return TARGET_AS_IS;
        // realpath follows /dev/stdout and its like to the file itself too.
        char* real = realpath(path, nullptr);
        if (real == nullptr) {
            Failed(reason, errno);
            return TARGET_REFUSED;
        }
        target = real;
        std::free(real);
        return TARGET_FILE;
    }
    if (errno != ENOENT) {
        Failed(reason, errno);
        return TARGET_REFUSED;
    }
    target = path;
    for (int hop = 0; hop < LINK_HOPS; ++hop) {
        std::string next(PATH_MAX, '\0');
        ssize_t length = readlink(target.c_str(), next.data(), next.size());
        if (length < 0)
            return TARGET_FILE; // not a link, or its folder is missing: the create says so
        next.resize(static_cast<size_t>(length));
        size_t slash = target.rfind('/');
        if (next[0] != '/' && slash != std::string::npos)
            next.insert(0, target, 0, slash + 1);
        target = next;
    }
    Failed(reason, ELOOP);
    return TARGET_REFUSED;
}

// A device or FIFO, opened as it is. A FIFO that nothing reads is refused rather than waited
// on.
std::FILE* OpenAsIs(const char* path, FileReason& reason) {
    int fd = open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Refuse(reason, errno == ENXIO ? "nothing reads from it" : std::strerror(errno));
        return nullptr;
    }
    std::FILE* file = nullptr;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        (file = fdopen(fd, "w")) == nullptr) {
        Failed(reason, errno);
        close(fd);
    }
    return file;
}
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

std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size, FileReason& reason) {
    if (size > 0)
        tempPath[0] = '\0';
    std::string target;
    switch (FindTarget(path, target, reason)) {
    case TARGET_REFUSED:
        return nullptr;
    case TARGET_AS_IS:
        return OpenAsIs(path, reason);
    case TARGET_FILE:
        break;
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        int length = std::snprintf(tempPath, size, "%s.%ld.%d.tmp", target.c_str(),
                                   static_cast<long>(getpid()), attempt);
        if (length < 0 || static_cast<size_t>(length) >= size) {
            if (size > 0)
                tempPath[0] = '\0';
            Failed(reason, ENAMETOOLONG);
            return nullptr;
        }
        int fd = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, NEW_FILE_MODE);
        if (fd < 0) {
            // A name left behind by an earlier process with the same id: try the next one.
            if (errno == EEXIST)
                continue;
            Failed(reason, errno);
            return nullptr;
        }
        std::FILE* file = fdopen(fd, "w");
        if (file == nullptr) {
            Failed(reason, errno);
            close(fd);
            unlink(tempPath);
        }
        return file;
    }
    Failed(reason, EEXIST);
    return nullptr;
}

int FinishReplacement(std::FILE* file, FileReason& reason) {
    struct stat status;
    int error = std::fflush(file) != 0 ? errno : std::ferror(file) != 0 ? EIO : 0;
    // Only a file on a disk has anything to sync; a device or a FIFO refuses the call.
    if (error == 0 && fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
        fsync(fileno(file)) != 0)
        error = errno;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    return error == 0 ? 0 : Failed(reason, error);
}

int CommitReplacement(const char* tempPath, const char* path, FileReason& reason) {
    if (tempPath[0] == '\0')
        return 0;
    std::string target;
    Target found = FindTarget(path, target, reason);
    if (found != TARGET_FILE)
        return found == TARGET_AS_IS ? Refuse(reason, "it is no longer a file") : -1;
    // rename ignores the permissions of the file it replaces; opening the file for writing
    // would not, so neither do we. The replacement keeps the old file's permissions.
    struct stat old;
    if (stat(target.c_str(), &old) == 0) {
        if (access(target.c_str(), W_OK) != 0 || chmod(tempPath, old.st_mode & 07777) != 0)
            return Failed(reason, errno);
    } else if (errno != ENOENT) {
        return Failed(reason, errno);
    }
    return rename(tempPath, target.c_str()) == 0 ? 0 : Failed(reason, errno);
}

std::FILE* OpenForWriting(const char* path, FileReason& reason) {
    std::string target;
    switch (FindTarget(path, target, reason)) {
    case TARGET_REFUSED:
        return nullptr;
    case TARGET_AS_IS:
        return OpenAsIs(path, reason);
    case TARGET_FILE:
        break;
    }
    std::FILE* file = std::fopen(target.c_str(), "w");
    if (file == nullptr)
        Failed(reason, errno);
    return file;
}
