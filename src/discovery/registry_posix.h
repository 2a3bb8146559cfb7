// The registry seam's backend on POSIX, a platform without a registry: a registry kept in
// memory (registry_posix.cpp). The programs find it empty; tests fill and inspect it with these
// calls. Key and value names compare without regard to case and subkeys enumerate in name
// order, as in the Windows registry.
#pragma once

#include <cstdint>
#include <string_view>

void ClearMemoryRegistry();
// Creates the key and any missing parents.
void AddMemoryRegistryKey(std::string_view path);
// Stores the bytes exactly as given (a string without its terminator stays so).
void SetMemoryRegistryValue(std::string_view path, std::string_view name, uint32_t type,
                            std::string_view bytes);
// A string with its terminator, as the Windows calls store one.
void SetMemoryRegistryString(std::string_view path, std::string_view name, std::string_view text);
void SetMemoryRegistryDword(std::string_view path, std::string_view name, uint32_t value);

bool MemoryRegistryHasKey(std::string_view path);
// 0 and the value when it is a 4-byte DWORD, else -1.
int ReadMemoryRegistryDword(std::string_view path, std::string_view name, uint32_t* value);

// Keys opened or created and not yet closed.
int CountOpenMemoryRegistryKeys();
// Refuses every creation and write, as the registry does for a user without admin rights.
void SetMemoryRegistryReadOnly(bool readOnly);
