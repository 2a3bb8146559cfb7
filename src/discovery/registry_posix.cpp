// The registry seam's backend on POSIX, which has no registry: the registry is kept in
// memory. The Linux programs link it because the portable registry search is part of the
// core, but they find the unit through sysfs (find_port_posix.cpp) and never fill it, so to
// them it is an empty registry; the tests fill it (registry_posix.h). Handles carry the rights
// they were opened with, and each call checks them as the Windows registry does, so a search
// that opens a key with too few rights fails here as it would there.
#include "discovery/registry_posix.h"
#include "discovery/registry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {
constexpr unsigned RIGHT_READ = 1;
constexpr unsigned RIGHT_SET_VALUE = 2;
constexpr unsigned RIGHT_CREATE_SUB_KEY = 4;

struct MemoryValue {
    std::string name;
    uint32_t type;
    std::string bytes;
};

struct MemoryKey {
    std::string name; // the last path element as created
    std::vector<MemoryValue> values;
};

struct MemoryHandle {
    std::string path; // folded
    unsigned rights;
    bool open;
};

std::mutex RegistryLock;
std::map<std::string, MemoryKey> Keys; // by folded full path
std::vector<MemoryHandle> Handles;
bool ReadOnly = false;

std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

void AddKeyLocked(std::string_view path) {
    if (path.empty())
        return;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        std::string_view prefix = path.substr(0, end);
        MemoryKey& key = Keys[Fold(prefix)];
        if (key.name.empty())
            key.name = std::string(path.substr(start, end - start));
        start = end + 1;
    }
}

MemoryValue* FindValue(MemoryKey& key, std::string_view name) {
    std::string folded = Fold(name);
    for (MemoryValue& value : key.values)
        if (Fold(value.name) == folded)
            return &value;
    return nullptr;
}

void SetValueLocked(std::string_view path, std::string_view name, uint32_t type,
                    std::string_view bytes) {
    AddKeyLocked(path);
    MemoryKey& key = Keys[Fold(path)];
    if (MemoryValue* value = FindValue(key, name)) {
        value->type = type;
        value->bytes = std::string(bytes);
        return;
    }
    key.values.push_back({std::string(name), type, std::string(bytes)});
}

// The open handle with all of rights, or null.
MemoryHandle* Held(RegistryKey key, unsigned rights) {
    if (key == 0 || key > Handles.size())
        return nullptr;
    MemoryHandle& handle = Handles[key - 1];
    if (!handle.open || (handle.rights & rights) != rights || Keys.count(handle.path) == 0)
        return nullptr;
    return &handle;
}

RegistryKey NewHandle(std::string path, unsigned rights) {
    Handles.push_back({std::move(path), rights, true});
    return Handles.size();
}

// Copies bytes into a caller's buffer as the Windows calls do: all of them, or none and
// REGISTRY_TOO_LONG.
int CopyOut(const std::string& bytes, uint8_t* data, size_t* length) {
    bool fits = bytes.size() <= *length;
    if (fits && !bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());
    *length = bytes.size();
    return fits ? 0 : REGISTRY_TOO_LONG;
}
} // namespace

int RegistryOpen(const char* path, RegistryAccess access, RegistryKey* key) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    std::string folded = Fold(path);
    if (Keys.count(folded) == 0)
        return -1;
    unsigned rights = RIGHT_READ;
    if (access == REGISTRY_CREATE_SUB_KEY)
        rights = RIGHT_CREATE_SUB_KEY;
    else if (access == REGISTRY_READ_SET_VALUE)
        rights = RIGHT_READ | RIGHT_SET_VALUE;
    *key = NewHandle(folded, rights);
    return 0;
}

int RegistryCreate(RegistryKey parent, const char* name, RegistryKey* key) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    MemoryHandle* handle = Held(parent, RIGHT_CREATE_SUB_KEY);
    if (handle == nullptr || ReadOnly || std::strchr(name, '\\') != nullptr || name[0] == '\0')
        return -1;
    std::string path = handle->path + "\\" + Fold(name);
    MemoryKey& created = Keys[path];
    if (created.name.empty())
        created.name = name;
    *key = NewHandle(path, RIGHT_SET_VALUE | RIGHT_CREATE_SUB_KEY);
    return 0;
}

void RegistryClose(RegistryKey key) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    if (key != 0 && key <= Handles.size())
        Handles[key - 1].open = false;
}

int RegistryEnumKey(RegistryKey key, uint32_t index, char* name, size_t size) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    MemoryHandle* handle = Held(key, RIGHT_READ);
    if (handle == nullptr)
        return -1;
    // The map orders full paths, so the direct children come in name order.
    std::string prefix = handle->path + "\\";
    uint32_t seen = 0;
    for (auto it = Keys.lower_bound(prefix); it != Keys.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0)
            break;
        if (it->first.find('\\', prefix.size()) != std::string::npos)
            continue;
        if (seen++ != index)
            continue;
        const std::string& child = it->second.name;
        if (child.size() >= size)
            return REGISTRY_TOO_LONG;
        std::memcpy(name, child.c_str(), child.size() + 1);
        return 0;
    }
    return -1;
}

int RegistryEnumValue(RegistryKey key, uint32_t index, char* name, size_t nameSize, uint32_t* type,
                      uint8_t* data, size_t* length) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    MemoryHandle* handle = Held(key, RIGHT_READ);
    if (handle == nullptr)
        return -1;
    const std::vector<MemoryValue>& values = Keys[handle->path].values;
    if (index >= values.size())
        return -1;
    const MemoryValue& value = values[index];
    if (value.name.size() >= nameSize)
        return REGISTRY_TOO_LONG;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *type = value.type;
    return CopyOut(value.bytes, data, length);
}

int RegistryQueryValue(RegistryKey key, const char* name, uint32_t* type, uint8_t* data,
                       size_t* length) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    MemoryHandle* handle = Held(key, RIGHT_READ);
    if (handle == nullptr)
        return -1;
    MemoryValue* value = FindValue(Keys[handle->path], name);
    if (value == nullptr)
        return -1;
    *type = value->type;
    return CopyOut(value->bytes, data, length);
}

int RegistrySetDword(RegistryKey key, const char* name, uint32_t value) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    MemoryHandle* handle = Held(key, RIGHT_SET_VALUE);
    if (handle == nullptr || ReadOnly)
        return -1;
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    MemoryKey& target = Keys[handle->path];
    if (MemoryValue* stored = FindValue(target, name)) {
        stored->type = REGISTRY_DWORD;
        stored->bytes.assign(bytes, sizeof bytes);
        return 0;
    }
    target.values.push_back({name, REGISTRY_DWORD, std::string(bytes, sizeof bytes)});
    return 0;
}

void ClearMemoryRegistry() {
    std::lock_guard<std::mutex> hold(RegistryLock);
    Keys.clear();
    Handles.clear();
    ReadOnly = false;
}

void AddMemoryRegistryKey(std::string_view path) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    AddKeyLocked(path);
}

void SetMemoryRegistryValue(std::string_view path, std::string_view name, uint32_t type,
                            std::string_view bytes) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    SetValueLocked(path, name, type, bytes);
}

void SetMemoryRegistryString(std::string_view path, std::string_view name, std::string_view text) {
    std::string bytes(text);
    bytes.push_back('\0');
    SetMemoryRegistryValue(path, name, REGISTRY_STRING, bytes);
}

void SetMemoryRegistryDword(std::string_view path, std::string_view name, uint32_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    SetMemoryRegistryValue(path, name, REGISTRY_DWORD, std::string_view(bytes, sizeof bytes));
}

bool MemoryRegistryHasKey(std::string_view path) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    return Keys.count(Fold(path)) != 0;
}

int ReadMemoryRegistryDword(std::string_view path, std::string_view name, uint32_t* value) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    auto it = Keys.find(Fold(path));
    if (it == Keys.end())
        return -1;
    MemoryValue* stored = FindValue(it->second, name);
    if (stored == nullptr || stored->type != REGISTRY_DWORD || stored->bytes.size() != 4)
        return -1;
    std::memcpy(value, stored->bytes.data(), 4);
    return 0;
}

int CountOpenMemoryRegistryKeys() {
    std::lock_guard<std::mutex> hold(RegistryLock);
    return static_cast<int>(std::count_if(Handles.begin(), Handles.end(),
                                          [](const MemoryHandle& h) { return h.open; }));
}

void SetMemoryRegistryReadOnly(bool readOnly) {
    std::lock_guard<std::mutex> hold(RegistryLock);
    ReadOnly = readOnly;
}
