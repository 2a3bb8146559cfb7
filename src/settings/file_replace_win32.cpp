// Replacing a file on Windows: a new file created exclusively beside the one the name leads to,
// written in text mode (CR LF line ends), committed to disk, then moved over it with
// MoveFileExA. A read-only file or a directory in its place is left alone.
#include "settings/file_replace.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

namespace {
constexpr int NAME_ATTEMPTS = 100;

HANDLE CreateNewFile(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Refuse(FileReason& reason, const char* text) {
    std::snprintf(reason.data(), reason.size(), "%s", text);
    return -1;
}

// The system's words for error, without their closing full stop and line end.
int FailedSystem(FileReason& reason, DWORD error) {
    if (error == ERROR_PATH_NOT_FOUND)
        return Refuse(reason, "its folder does not exist");
    reason.fill('\0');
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, reason.data(), static_cast<DWORD>(reason.size() - 1), nullptr);
    while (length > 0 && std::strchr(" .\r\n", reason[length - 1]) != nullptr)
        reason[--length] = '\0';
    return length > 0 ? -1 : Refuse(reason, "the system refused it");
}

// The C runtime keeps its reason in errno, as on POSIX.
int FailedRuntime(FileReason& reason, int error) {
    return Refuse(reason, std::strerror(error));
}

std::FILE* StreamOf(HANDLE handle, int flags, FileReason& reason) {
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        FailedRuntime(reason, errno);
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wt");
    if (file == nullptr) {
        FailedRuntime(reason, errno);
        _close(fd);
    }
    return file;
}

enum Target { TARGET_FILE, TARGET_AS_IS, TARGET_REFUSED };

// What path leads to: a file on a disk (through a symbolic link, the file it leads to, in
// target) or a name not yet taken (path itself); or a device or pipe, opened as it is into
// asIs; or refused, with the reason.
Target FindTarget(const char* path, std::string& target, HANDLE& asIs, FileReason& reason) {
    target = path;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        Refuse(reason, "it is a folder");
        return TARGET_REFUSED;
    }
    // Looked at without any access, so that a read-only file is found too: the move into its
    // place then refuses it.
    HANDLE look = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (look == INVALID_HANDLE_VALUE)
        return TARGET_FILE; // a name not yet taken, or one the move will say why it cannot take
    if (GetFileType(look) == FILE_TYPE_DISK) {
        std::string final(MAX_PATH * 8, '\0');
        DWORD length =
            GetFinalPathNameByHandleA(look, final.data(), static_cast<DWORD>(final.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length > 0 && length < final.size())
            target = final.substr(0, length);
        CloseHandle(look);
        return TARGET_FILE;
    }
    CloseHandle(look);
    asIs = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (asIs != INVALID_HANDLE_VALUE)
        return TARGET_AS_IS;
    FailedSystem(reason, GetLastError());
    return TARGET_REFUSED;
}
} // namespace

std::FILE* OpenForUpdate(const char* path) {
    std::FILE* file = std::fopen(path, "r+");
    if (file == nullptr && errno == EROFS)
        file = std::fopen(path, "r");
    return file;
}

int CreateEmptyFile(const char* path) {
    HANDLE handle = CreateNewFile(path);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    return CloseHandle(handle) ? 0 : -1;
}

std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size, FileReason& reason) {
    if (size > 0)
        tempPath[0] = '\0';
    std::string target;
    HANDLE asIs = INVALID_HANDLE_VALUE;
    switch (FindTarget(path, target, asIs, reason)) {
    case TARGET_REFUSED:
        return nullptr;
    case TARGET_AS_IS:
        return StreamOf(asIs, _O_WRONLY | _O_TEXT, reason);
    case TARGET_FILE:
        break;
    }
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        int length = std::snprintf(tempPath, size, "%s.%lu.%d.tmp", target.c_str(),
                                   static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        if (length < 0 || static_cast<size_t>(length) >= size) {
            if (size > 0)
                tempPath[0] = '\0';
            FailedSystem(reason, ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
        HANDLE handle = CreateNewFile(tempPath);
        if (handle == INVALID_HANDLE_VALUE) {
            // A name left behind by an earlier process with the same id: try the next one.
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            FailedSystem(reason, GetLastError());
            return nullptr;
        }
        std::FILE* file = StreamOf(handle, _O_WRONLY | _O_TEXT, reason);
        if (file == nullptr)
            DeleteFileA(tempPath);
        return file;
    }
    FailedSystem(reason, ERROR_FILE_EXISTS);
    return nullptr;
}

int FinishReplacement(std::FILE* file, FileReason& reason) {
    int error = std::fflush(file) != 0 ? errno : std::ferror(file) != 0 ? EIO : 0;
    // Only a file on a disk has anything to commit.
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (error == 0 && GetFileType(handle) == FILE_TYPE_DISK && _commit(_fileno(file)) != 0)
        error = errno;
    if (std::fclose(file) != 0 && error == 0)
        error = errno;
    return error == 0 ? 0 : FailedRuntime(reason, error);
}

int CommitReplacement(const char* tempPath, const char* path, FileReason& reason) {
    if (tempPath[0] == '\0')
        return 0;
    std::string target;
    HANDLE asIs = INVALID_HANDLE_VALUE;
    Target found = FindTarget(path, target, asIs, reason);
    if (found == TARGET_AS_IS)
        CloseHandle(asIs);
    if (found != TARGET_FILE)
        return found == TARGET_AS_IS ? Refuse(reason, "it is no longer a file") : -1;
    // The move itself would replace a read-only file under Wine; opening it for writing
    // would not, so neither do we.
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return FailedSystem(reason, ERROR_ACCESS_DENIED);
    if (!MoveFileExA(tempPath, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return FailedSystem(reason, GetLastError());
    return 0;
}

std::FILE* OpenForWriting(const char* path, FileReason& reason) {
    std::string target;
    HANDLE asIs = INVALID_HANDLE_VALUE;
    switch (FindTarget(path, target, asIs, reason)) {
    case TARGET_REFUSED:
        return nullptr;
    case TARGET_AS_IS:
        return StreamOf(asIs, _O_WRONLY | _O_TEXT, reason);
    case TARGET_FILE:
        break;
    }
    std::FILE* file = std::fopen(target.c_str(), "w");
    if (file == nullptr)
        FailedRuntime(reason, errno);
    return file;
}
