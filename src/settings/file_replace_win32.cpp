// Replacing a file on Windows: a new file created exclusively beside the old one, written in
// text mode (CR LF line ends), committed to disk, then moved over the old one with
// MoveFileExA. A read-only file or a directory in the old one's place is left alone.
#include "settings/file_replace.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {
constexpr int NAME_ATTEMPTS = 100;

HANDLE CreateNewFile(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}
} // namespace

std::FILE* OpenForUpdate(const char* path) {
    // The C runtime keeps its reason in errno, as on POSIX.
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

std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size) {
    for (int attempt = 0; attempt < NAME_ATTEMPTS; ++attempt) {
        int length = std::snprintf(tempPath, size, "%s.%lu.%d.tmp", path,
                                   static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        if (length < 0 || static_cast<size_t>(length) >= size)
            return nullptr;
        HANDLE handle = CreateNewFile(tempPath);
        if (handle == INVALID_HANDLE_VALUE) {
            // A name left behind by an earlier process with the same id: try the next one.
            if (GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return nullptr;
        }
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
        if (fd < 0) {
            CloseHandle(handle);
            DeleteFileA(tempPath);
            return nullptr;
        }
        std::FILE* file = _fdopen(fd, "wt");
        if (file == nullptr) {
            _close(fd);
            DeleteFileA(tempPath);
        }
        return file;
    }
    return nullptr;
}

int FinishReplacement(std::FILE* file) {
    bool ok = std::fflush(file) == 0 && std::ferror(file) == 0 && _commit(_fileno(file)) == 0;
    return std::fclose(file) == 0 && ok ? 0 : -1;
}

int CommitReplacement(const char* tempPath, const char* path) {
    // The move itself would replace a read-only file under Wine; opening it for writing
    // would not, so neither do we.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return -1;
    return MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}
