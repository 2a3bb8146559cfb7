// Files that are never seen half-written: new contents go to a fresh file beside the old
// one, which takes the old one's place in a single step once it is complete and on disk.
// One implementation per platform, picked at link time; the system's error codes are read
// there alone.
#pragma once

#include <cstddef>
#include <cstdio>

// Opens path for reading and writing in text mode; a file on a read-only medium is opened for
// reading alone. nullptr when it cannot be opened.
std::FILE* OpenForUpdate(const char* path);

// Creates path as an empty file if nothing is there yet: 0, or -1 when something already
// exists under that name or the file cannot be created. Never truncates an existing file.
int CreateEmptyFile(const char* path);

// Creates a new file beside path under a name of its own, written to tempPath (size bytes),
// and opens it for writing in text mode. nullptr when it cannot be created.
std::FILE* CreateReplacement(const char* path, char* tempPath, size_t size);

// Flushes the stream through to the disk and closes it: 0, or -1 when an earlier write, the
// flush or the close failed. The stream is closed either way.
int FinishReplacement(std::FILE* file);

// Puts the finished file tempPath in place of path in one step: 0, or -1 when it could not,
// which is also the case when path exists but may not be written. tempPath stays on failure.
int CommitReplacement(const char* tempPath, const char* path);
