// Files the simulated unit keeps: its state across restarts, the dump of the deciphered
// setup tables, and the request log.
#pragma once

#include <cstdint>

// Reads --state when the file exists. Returns false (with a message on stderr) for a file
// that is present but not a state file of this layout.
bool LoadState();
// Rewrites --state whole, through a temporary file and a rename, so a reader or a crash
// never sees half a state.
void SaveState();
// Writes SetupTable1 then SetupTable2 (4096 bytes) to --dump-tables, the same way.
void DumpTables();

bool OpenRequestLog();
// One line of hex bytes per request frame; a frame whose sum is wrong is marked.
void LogRequest(const uint8_t* frame, int length, bool sumOk);
