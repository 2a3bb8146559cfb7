// Linux takes /dev/mq6 when the udev rule has made it, else finds the unit in sysfs: an FTDI
// 0403:6001 device whose USB product string is "MQ-6" (the name the unit's adapter is
// programmed with) and whose interface has a terminal. MQ6_UNIT_LINK, MQ6_SYSFS_ROOT and
// MQ6_SERIAL_BY_ID_DIR move the search elsewhere (tests).
#include "discovery/sysfs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {
namespace fs = std::filesystem;

constexpr char UNIT_PRODUCT[] = "MQ-6";
constexpr char FTDI_VENDOR[] = "0403";
constexpr char FTDI_PRODUCT[] = "6001";
// USB descriptor strings are at most 126 characters; anything longer is not an attribute.
constexpr size_t ATTRIBUTE_SIZE = 256;

struct SysfsDevice {
    std::string location;
    std::string product;
    std::string serial;
    std::string port;
};

// One line of a sysfs attribute without its line end; false when missing or too long.
bool ReadAttribute(const fs::path& file, std::string& text) {
    FILE* stream = std::fopen(file.c_str(), "r");
    if (stream == nullptr)
        return false;
    char buffer[ATTRIBUTE_SIZE + 1];
    size_t length = std::fread(buffer, 1, sizeof buffer, stream);
    std::fclose(stream);
    if (length > ATTRIBUTE_SIZE)
        return false;
    text.assign(buffer, length);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return true;
}

std::vector<std::string> SortedEntries(const fs::path& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// USB paths in bus and port order: runs of digits compare by value.
bool UsbPathBefore(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t startA = i;
            size_t startB = j;
            while (i < a.size() && IsDigit(a[i]))
                ++i;
            while (j < b.size() && IsDigit(b[j]))
                ++j;
            std::string_view numberA = a.substr(startA, i - startA);
            std::string_view numberB = b.substr(startB, j - startB);
            numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
            numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (numberA != numberB)
                return numberA < numberB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

std::vector<std::string> ListFtdiDevices(const fs::path& devices) {
    std::vector<std::string> found;
    std::string vendor;
    std::string product;
    for (const std::string& name : SortedEntries(devices)) {
        // Interfaces ("1-1.2:1.0") sit beside the devices.
        if (name.find(':') != std::string::npos)
            continue;
        if (ReadAttribute(devices / name / "idVendor", vendor) && vendor == FTDI_VENDOR &&
            ReadAttribute(devices / name / "idProduct", product) && product == FTDI_PRODUCT)
            found.push_back(name);
    }
    std::sort(found.begin(), found.end(), UsbPathBefore);
    return found;
}

// The terminal of the device's first interface that has one: the ftdi_sio driver puts it
// in the interface as "ttyUSB0", the ACM driver below "tty/".
std::string FindTerminal(const fs::path& device, const std::string& name) {
    std::string interfacePrefix = name + ":";
    for (const std::string& interface : SortedEntries(device)) {
        if (interface.compare(0, interfacePrefix.size(), interfacePrefix) != 0)
            continue;
        for (const std::string& entry : SortedEntries(device / interface)) {
            if (entry == "tty") {
                std::vector<std::string> terminals = SortedEntries(device / interface / entry);
                if (!terminals.empty())
                    return terminals.front();
            } else if (entry.compare(0, 3, "tty") == 0) {
                return entry;
            }
        }
    }
    return {};
}

// The by-id name stays the same when the adapter moves to another socket or the terminals
// are numbered differently after a reboot.
std::string PortForTerminal(const fs::path& byIdDir, const std::string& terminal) {
    for (const std::string& entry : SortedEntries(byIdDir)) {
        std::error_code error;
        fs::path target = fs::read_symlink(byIdDir / entry, error);
        if (!error && target.filename() == terminal)
            return (byIdDir / entry).string();
    }
    return "/dev/" + terminal;
}

SysfsDevice DescribeDevice(const fs::path& devices, const fs::path& byIdDir,
                           const std::string& name) {
    SysfsDevice device;
    device.location = name;
    ReadAttribute(devices / name / "product", device.product);
    ReadAttribute(devices / name / "serial", device.serial);
    std::string terminal = FindTerminal(devices / name, name);
    if (!terminal.empty())
        device.port = PortForTerminal(byIdDir, terminal);
    return device;
}

void CopyField(std::array<char, CANDIDATE_TEXT_SIZE>& field, const std::string& text) {
    field.fill('\0');
    if (text.size() < field.size())
        std::memcpy(field.data(), text.data(), text.size());
}

const char* RootFromEnvironment(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}
} // namespace

int ListSysfsCandidates(const char* sysfsRoot, const char* byIdDir, PortCandidate* list,
                        int capacity) {
    fs::path devices = fs::path(sysfsRoot) / "bus" / "usb" / "devices";
    int count = 0;
    for (const std::string& name : ListFtdiDevices(devices)) {
        if (count >= capacity)
            break;
        SysfsDevice device = DescribeDevice(devices, byIdDir, name);
        PortCandidate& candidate = list[count++];
        CopyField(candidate.location, device.location);
        CopyField(candidate.product, device.product);
        CopyField(candidate.serial, device.serial);
        CopyField(candidate.port, device.port);
        candidate.attached = candidate.port[0] != '\0';
        candidate.named = device.product == UNIT_PRODUCT;
    }
    return count;
}

int FindSysfsUnit(const char* sysfsRoot, const char* byIdDir, char* name, size_t capacity) {
    fs::path devices = fs::path(sysfsRoot) / "bus" / "usb" / "devices";
    for (const std::string& location : ListFtdiDevices(devices)) {
        SysfsDevice device = DescribeDevice(devices, byIdDir, location);
        if (device.product != UNIT_PRODUCT || device.port.empty())
            continue;
        // A name the caller cannot take whole is passed over, never cut.
        if (device.port.size() >= capacity)
            continue;
        std::memcpy(name, device.port.c_str(), device.port.size() + 1);
        return 0;
    }
    return -1;
}

int FindAttachedUnit(char* name, size_t capacity) {
    const char* link = RootFromEnvironment("MQ6_UNIT_LINK", UNIT_LINK);
    size_t length = std::strlen(link);
    std::error_code error;
    if (length < capacity && fs::exists(link, error)) {
        std::memcpy(name, link, length + 1);
        return 0;
    }
    return FindSysfsUnit(RootFromEnvironment("MQ6_SYSFS_ROOT", SYSFS_ROOT),
                         RootFromEnvironment("MQ6_SERIAL_BY_ID_DIR", SERIAL_BY_ID_DIR), name,
                         capacity);
}

int ListPortCandidates(PortCandidate* list, int capacity) {
    return ListSysfsCandidates(RootFromEnvironment("MQ6_SYSFS_ROOT", SYSFS_ROOT),
                               RootFromEnvironment("MQ6_SERIAL_BY_ID_DIR", SERIAL_BY_ID_DIR), list,
                               capacity);
}

const char* DescribeFoundPort(const char* port) {
    std::string_view name(port);
    if (name == RootFromEnvironment("MQ6_UNIT_LINK", UNIT_LINK))
        return "the link that the udev rule makes";
    std::string_view byId = RootFromEnvironment("MQ6_SERIAL_BY_ID_DIR", SERIAL_BY_ID_DIR);
    if (name.size() > byId.size() && name.compare(0, byId.size(), byId) == 0)
        return "found in sysfs, by its by-id name";
    return "found in sysfs";
}

int ReadAdapterLatencyTimer(const PortCandidate& adapter, int32_t& milliseconds) {
    // The ftdi_sio driver's attribute sits in the terminal's folder within the interface.
    fs::path device = fs::path(RootFromEnvironment("MQ6_SYSFS_ROOT", SYSFS_ROOT)) / "bus" / "usb" /
                      "devices" / adapter.location.data();
    std::string terminal = FindTerminal(device, adapter.location.data());
    std::string prefix = std::string(adapter.location.data()) + ":";
    std::string text;
    for (const std::string& interface : SortedEntries(device)) {
        if (terminal.empty() || interface.compare(0, prefix.size(), prefix) != 0 ||
            !ReadAttribute(device / interface / terminal / "latency_timer", text))
            continue;
        char* end = nullptr;
        long value = std::strtol(text.c_str(), &end, 10);
        if (end == text.c_str() || *end != '\0' || value < 0 || value > 255)
            return -1;
        milliseconds = static_cast<int32_t>(value);
        return 0;
    }
    return -1;
}
