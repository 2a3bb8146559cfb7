// Files the simulated unit keeps: its state across restarts, the dump of the deciphered
// setup tables, and the request log.
#pragma once

#include <cstdint>

// False, with a message, when --link names something other than a symbolic link (only a
// link, or nothing, may be replaced) or lies in a folder that does not exist.
bool LinkPathFree();
// False, with a message, when the folder of --state does not exist: the unit could keep
// nothing there.
bool StateFolderPresent();
// Reads --state when the file exists. Returns false (with a message on stderr) for a file
// that is present but not a state file of this layout.
bool LoadState();
// Hands the state to a writer thread that rewrites --state whole, through a temporary file and
// a rename, so a reader or a crash never sees half a state. The unit's answers do not wait for
// the disk: a busy one can hold a rename for longer than a client waits for an answer. False
// once a write failed: the failure is reported, and from then on the unit answers no write,
// since it would lose what it stored.
bool SaveState();
// Waits until the newest state handed over is in the file (or its write failed); the
// simulator calls it before it ends.
void FinishStateWrites();
// Writes SetupTable1 then SetupTable2 (4096 bytes) to --dump-tables, the same way.
void DumpTables();

bool OpenRequestLog();
// One line of hex bytes per request frame; a frame whose sum is wrong is marked.
void LogRequest(const uint8_t* frame, int length, bool sumOk);
