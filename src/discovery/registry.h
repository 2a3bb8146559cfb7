// Registry seam: the few calls port discovery makes, all on keys under HKEY_LOCAL_MACHINE.
// One implementation per platform, picked at link time: the Windows registry, or on POSIX
// (which has none) a registry kept in memory that tests fill.
//
// Results: 0 done, -1 failed (for enumeration also: no entry at that index), or
// REGISTRY_TOO_LONG when the entry exists but its name or data do not fit the buffer.
// Value data come back raw, as stored: a string may lack its terminator; the caller
// bounds and terminates it.
#pragma once

#include <cstddef>
#include <cstdint>

using RegistryKey = uintptr_t; // 0: no key

constexpr int REGISTRY_TOO_LONG = 1;

enum RegistryAccess : int32_t {
    REGISTRY_READ = 0,           // query values, enumerate subkeys and values
    REGISTRY_CREATE_SUB_KEY = 1, // create subkeys only
    REGISTRY_READ_SET_VALUE = 2, // read and set values
};

enum RegistryType : uint32_t {
    REGISTRY_OTHER = 0,
    REGISTRY_STRING = 1, // REG_SZ
    REGISTRY_DWORD = 4,  // REG_DWORD, 4 bytes
};

// Opens path (relative to HKEY_LOCAL_MACHINE).
int RegistryOpen(const char* path, RegistryAccess access, RegistryKey* key);
// Creates subkey name of parent (or opens it when it exists): non-volatile, for writing
// values and creating subkeys. parent needs REGISTRY_CREATE_SUB_KEY.
int RegistryCreate(RegistryKey parent, const char* name, RegistryKey* key);
void RegistryClose(RegistryKey key);

// Name of the subkey at index, terminated, in name (size bytes).
int RegistryEnumKey(RegistryKey key, uint32_t index, char* name, size_t size);
// Name (terminated) and raw data of the value at index; *length holds the data buffer's size
// on entry and the stored byte count on return.
int RegistryEnumValue(RegistryKey key, uint32_t index, char* name, size_t nameSize, uint32_t* type,
                      uint8_t* data, size_t* length);
// Raw data of the named value; *length as above.
int RegistryQueryValue(RegistryKey key, const char* name, uint32_t* type, uint8_t* data,
                       size_t* length);
int RegistrySetDword(RegistryKey key, const char* name, uint32_t value);
