// Files that are never seen half-written: new contents go to a fresh file beside the old
// one, which takes the old one's place in a single step once it is complete and on disk.
// One implementation per platform, picked at link time; the system's error codes are read
// there alone.
//
// Every file the programs write meets one rule for what its name leads to: a symbolic link is
// followed and kept, and the file it leads to is the one written; a regular file, or a name not
// yet taken, is replaced in one step; a device or a FIFO is written as it is (a FIFO only while
// something reads it); a folder or a socket is refused with the reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

// Why a call failed, in the system's words.
constexpr size_t FILE_REASON_SIZE = 160;
using FileReason = std::array<char, FILE_REASON_SIZE>;

// Opens path for reading and writing in text mode; a file on a read-only medium is opened for
// reading alone. nullptr when it cannot be opened.
std::FILE* OpenForUpdate(const char* path);

// Creates path as an empty file if nothing is there yet: 0, or -1 when something already
// exists under that name or the file cannot be created. Never truncates an existing file.
int CreateEmptyFile(const char* path);

// Starts a new version of what path leads to, for writing in text mode: a new file beside it,
// its name in tempPath (size bytes), or a device or FIFO opened as it is, tempPath then empty.
// nullptr with the reason when it cannot.
std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size, FileReason& reason);

// Flushes the stream through to the disk and closes it: 0, or -1 with the reason when an
// earlier write, the flush or the close failed. The stream is closed either way.
int FinishReplacement(std::FILE* file, FileReason& reason);

// Puts the finished file tempPath in place of the file path leads to in one step (nothing to do
// for one written as it is): 0, or -1 with the reason, also when that file exists but may not
// be written. tempPath stays on failure; removing it is the caller's.
int CommitReplacement(const char* tempPath, const char* path, FileReason& reason);

// Opens what path leads to for writing front to back while it grows, as a recording: the same
// rule, but a regular file is emptied and written in place, so that whatever the writer has
// written is there however it ends. nullptr with the reason.
std::FILE* OpenForWriting(const char* path, FileReason& reason);
