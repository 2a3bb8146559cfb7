// A CSV file written front to back through the C library's stream (the recorder's) or read
// whole (a recording opened for review), and the system's reason when a call fails. One
// implementation per platform, picked at link time: errno and its text are read there alone.
#pragma once

#include "settings/file_replace.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Each call that fails leaves the system's reason in reason, or an empty text when the system
// gave none.
// Opens what path leads to as the file seam's OpenForWriting does (a regular file created or
// emptied), for writing through buffer (size bytes, written out when full). nullptr when it
// cannot.
std::FILE* CreateCsvFile(const char* path, char* buffer, size_t size, FileReason& reason);
// 0, or -1 when the text could not go into the buffer (or out, when it filled up); -2 when the
// reader of a pipe has closed it.
int WriteCsvFile(std::FILE* file, std::string_view text, FileReason& reason);
// Writes the buffer out: 0, -1 or -2 as above, also when an earlier write to the stream failed.
int FlushCsvFile(std::FILE* file, FileReason& reason);
// Writes the buffer out and closes the file, which is closed either way: 0 or -1.
int CloseCsvFile(std::FILE* file, FileReason& reason);
// The system's reason for a file name too long to be used.
void KeepNameTooLong(FileReason& reason);
// Reads the whole file at path into text: 0; -1 with the system's reason; -2 with the reason for
// a folder, a device or FIFO and a file larger than limit bytes, which are not read.
int ReadWholeFile(const char* path, uint64_t limit, std::string& text, FileReason& reason);
// When the file was last written, in seconds since 1970-01-01 UTC; -1 when the system cannot say.
int64_t FileWrittenAt(const char* path);
