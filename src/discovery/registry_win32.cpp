// The registry seam on Windows: HKEY_LOCAL_MACHINE through the ANSI registry calls. Data come
// back raw; error codes end here as -1 (or REGISTRY_TOO_LONG for ERROR_MORE_DATA).
#include "discovery/registry.h"

#include <windows.h>

namespace {
HKEY ToHandle(RegistryKey key) {
    return reinterpret_cast<HKEY>(key);
}

REGSAM ToRights(RegistryAccess access) {
    switch (access) {
    case REGISTRY_CREATE_SUB_KEY:
        return KEY_CREATE_SUB_KEY;
    case REGISTRY_READ_SET_VALUE:
        return KEY_READ | KEY_SET_VALUE;
    default:
        return KEY_READ;
    }
}

uint32_t ToType(DWORD type) {
    switch (type) {
    case REG_SZ:
        return REGISTRY_STRING;
    case REG_DWORD:
        return REGISTRY_DWORD;
    default:
        return REGISTRY_OTHER;
    }
}

// The buffer sizes the calls take are 32-bit; larger buffers offer only what a DWORD holds.
DWORD ToCount(size_t size) {
    return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
}

int ToResult(LONG status) {
    if (status == ERROR_SUCCESS)
        return 0;
    return status == ERROR_MORE_DATA ? REGISTRY_TOO_LONG : -1;
}
} // namespace

int RegistryOpen(const char* path, RegistryAccess access, RegistryKey* key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, ToRights(access), &handle) != ERROR_SUCCESS)
        return -1;
    *key = reinterpret_cast<RegistryKey>(handle);
    return 0;
}

int RegistryCreate(RegistryKey parent, const char* name, RegistryKey* key) {
    HKEY handle = nullptr;
    if (RegCreateKeyExA(ToHandle(parent), name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return -1;
    *key = reinterpret_cast<RegistryKey>(handle);
    return 0;
}

void RegistryClose(RegistryKey key) {
    RegCloseKey(ToHandle(key));
}

int RegistryEnumKey(RegistryKey key, uint32_t index, char* name, size_t size) {
    DWORD length = ToCount(size);
    return ToResult(
        RegEnumKeyExA(ToHandle(key), index, name, &length, nullptr, nullptr, nullptr, nullptr));
}

int RegistryEnumValue(RegistryKey key, uint32_t index, char* name, size_t nameSize, uint32_t* type,
                      uint8_t* data, size_t* length) {
    DWORD nameLength = ToCount(nameSize);
    DWORD stored = REG_NONE;
    DWORD dataLength = ToCount(*length);
    int result = ToResult(RegEnumValueA(ToHandle(key), index, name, &nameLength, nullptr, &stored,
                                        data, &dataLength));
    *type = ToType(stored);
    *length = dataLength;
    return result;
}

int RegistryQueryValue(RegistryKey key, const char* name, uint32_t* type, uint8_t* data,
                       size_t* length) {
    DWORD stored = REG_NONE;
    DWORD dataLength = ToCount(*length);
    int result =
        ToResult(RegQueryValueExA(ToHandle(key), name, nullptr, &stored, data, &dataLength));
    *type = ToType(stored);
    *length = dataLength;
    return result;
}

int RegistrySetDword(RegistryKey key, const char* name, uint32_t value) {
    DWORD data = value;
    return RegSetValueExA(ToHandle(key), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS
               ? 0
               : -1;
}
