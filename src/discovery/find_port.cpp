// FindPort and the search of the FTDI driver's registry entries. Windows keeps an entry for
// every adapter ever attached: the USB instance (with the location text the unit's adapter
// is programmed with), the driver's entry naming its COM port, and SERIALCOMM listing the
// ports present now. The search itself runs over the registry seam, so it is the same code
// on Windows and in the tests.
//
// find_port_win32.cpp forwards to FindRegistryUnit and ListRegistryCandidates; they live in
// this file so that whatever links FindPort links them too.
#include "discovery/discovery.h"
#include "discovery/registry.h"
#include "link/link.h"
#include "settings/config.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr char USB_KEY[] = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001";
constexpr char FTDIBUS_KEY[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\Vid_0403&Pid_6001";
constexpr char SERIALCOMM_KEY[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr char FTDI_SERVICE_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS";
constexpr char FTDI_PARAMETERS_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters";
constexpr char UNIT_LOCATION[] = "MQ-6";
// The driver keeps its settings for one adapter, the latency timer among them, here.
constexpr char DEVICE_PARAMETERS[] = "\\Device Parameters";
// Fewer retries than this make the driver give up on the adapter after a short glitch.
constexpr uint32_t MIN_RETRY_RESET_COUNT = 200;
// A key path: a fixed prefix and an instance name of up to 255 characters.
constexpr size_t KEY_PATH_SIZE = 512;

// Closes the key when the step that opened it ends, whichever way it ends.
struct KeyHolder {
    RegistryKey key = 0;
    KeyHolder() = default;
    KeyHolder(const KeyHolder&) = delete;
    KeyHolder& operator=(const KeyHolder&) = delete;
    ~KeyHolder() {
        if (key != 0)
            RegistryClose(key);
    }
};

// Copies length characters and a terminator, or nothing when they do not fit.
bool CopyText(char* out, size_t size, const char* text, size_t length) {
    if (length >= size)
        return false;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

// Registry strings may be stored without their terminator and may fill the buffer: the data
// count as text up to their first NUL, else up to their length when a terminator still fits.
int TerminateString(uint32_t type, char* data, size_t length, size_t size) {
    if (type != REGISTRY_STRING || length > size)
        return -1;
    if (std::memchr(data, '\0', length) != nullptr)
        return 0;
    if (length == size)
        return -1;
    data[length] = '\0';
    return 0;
}

int ReadString(RegistryKey key, const char* name, char* text, size_t size) {
    uint32_t type = REGISTRY_OTHER;
    size_t length = size;
    if (RegistryQueryValue(key, name, &type, reinterpret_cast<uint8_t*>(text), &length) != 0)
        return -1;
    return TerminateString(type, text, length, size);
}

int ReadKeyString(const char* path, const char* name, char* text, size_t size) {
    KeyHolder holder;
    if (RegistryOpen(path, REGISTRY_READ, &holder.key) != 0)
        return -1;
    return ReadString(holder.key, name, text, size);
}

int ReadDword(RegistryKey key, const char* name, uint32_t* value) {
    uint32_t type = REGISTRY_OTHER;
    uint8_t bytes[4];
    size_t length = sizeof bytes;
    if (RegistryQueryValue(key, name, &type, bytes, &length) != 0)
        return -1;
    if (type != REGISTRY_DWORD || length != sizeof bytes)
        return -1;
    std::memcpy(value, bytes, sizeof bytes);
    return 0;
}

int UsbInstancePath(const char* instance, char* path, size_t size) {
    int length = std::snprintf(path, size, "%s\\%s", USB_KEY, instance);
    return length >= 0 && static_cast<size_t>(length) < size ? 0 : -1;
}

int FtdiInstancePath(const char* instance, char* path, size_t size) {
    int length = std::snprintf(path, size, "%s+%sA\\0000", FTDIBUS_KEY, instance);
    return length >= 0 && static_cast<size_t>(length) < size ? 0 : -1;
}

// The '&' between vendor and product id becomes '+'. It is the last '&' before the '+' that
// joins the instance name: instance names of adapters without a serial number carry '&'s
// of their own.
void JoinVendorAndProduct(char* path) {
    size_t limit = std::strcspn(path, "+");
    for (size_t i = limit; i > 0; --i) {
        if (path[i - 1] == '&') {
            path[i - 1] = '+';
            return;
        }
    }
}

int CreateRetryParameters() {
    KeyHolder service;
    if (RegistryOpen(FTDI_SERVICE_KEY, REGISTRY_CREATE_SUB_KEY, &service.key) != 0)
        return -1;
    KeyHolder parameters;
    if (RegistryCreate(service.key, "Parameters", &parameters.key) != 0)
        return -1;
    return RegistrySetDword(parameters.key, "RetryResetCount", MIN_RETRY_RESET_COUNT);
}

int EnsureFtdiServiceKey() {
    KeyHolder service;
    if (RegistryOpen(FTDI_SERVICE_KEY, REGISTRY_CREATE_SUB_KEY, &service.key) == 0)
        return 0;
    KeyHolder services;
    KeyHolder created;
    if (RegistryOpen(SERVICES_KEY, REGISTRY_CREATE_SUB_KEY, &services.key) != 0)
        return -1;
    return RegistryCreate(services.key, "FTDIBUS", &created.key);
}

void ClearCandidate(PortCandidate& candidate) {
    candidate.location.fill('\0');
    candidate.product.fill('\0');
    candidate.serial.fill('\0');
    candidate.port.fill('\0');
    candidate.attached = 0;
    candidate.named = 0;
}
} // namespace

std::atomic<int32_t> DriverTuningAllowed{1};

int FindPort(char* buffer, size_t size) {
    size_t capacity = PortName.size();
    if (buffer != nullptr && size < capacity)
        capacity = size;
    std::array<char, PORT_NAME_SIZE> name{};
    if (AutoPort.load(std::memory_order_acquire) == 0) {
        // A name the caller cannot take whole is refused: a cut name may be another port.
        std::array<char, PORT_NAME_SIZE> stored = CopyPortName();
        if (!CopyText(name.data(), capacity, stored.data(), strnlen(stored.data(), stored.size())))
            return -1;
    } else {
        if (FindAttachedUnit(name.data(), capacity) != 0)
            return -1;
        StorePortName(name.data());
    }
    if (buffer != nullptr)
        std::memcpy(buffer, name.data(), std::strlen(name.data()) + 1);
    // The result does not matter: without administrative rights this fails, and the link
    // still works, only less patiently after a glitch. (On POSIX the registry seam is the
    // in-memory one, empty outside tests, so this changes nothing there.)
    if (DriverTuningAllowed.load(std::memory_order_acquire) != 0)
        RaiseFtdiRetryResetCount();
    return 0;
}

int MatchUsbLocation(const char* path) {
    std::array<char, REGISTRY_TEXT_SIZE> location;
    if (ReadKeyString(path, "LocationInformation", location.data(), location.size()) != 0)
        return -1;
    return std::strcmp(location.data(), UNIT_LOCATION) == 0 ? 1 : 0;
}

int ReadFtdiPortName(const char* path, char* out, size_t size) {
    std::array<char, KEY_PATH_SIZE> key;
    if (!CopyText(key.data(), key.size(), path, strnlen(path, key.size())))
        return -1;
    JoinVendorAndProduct(key.data());
    // The driver's text is a description with the port in parentheses: "... (COM7)".
    std::array<char, REGISTRY_TEXT_SIZE> text;
    if (ReadKeyString(key.data(), "FriendlyName", text.data(), text.size()) != 0)
        return -1;
    const char* port = std::strstr(text.data(), "COM");
    if (port == nullptr)
        return -1;
    return CopyText(out, size, port, std::strcspn(port, ")")) ? 0 : -1;
}

int IsPortInSerialComm(const char* name) {
    KeyHolder comm;
    if (RegistryOpen(SERIALCOMM_KEY, REGISTRY_READ, &comm.key) != 0)
        return -1;
    std::array<char, REGISTRY_TEXT_SIZE> device;
    std::array<char, REGISTRY_TEXT_SIZE> port;
    for (uint32_t index = 0;; ++index) {
        uint32_t type = REGISTRY_OTHER;
        size_t length = port.size();
        int listed = RegistryEnumValue(comm.key, index, device.data(), device.size(), &type,
                                       reinterpret_cast<uint8_t*>(port.data()), &length);
        if (listed < 0)
            return -1;
        // Another driver's oversized value must not hide the ports listed after it.
        if (listed == REGISTRY_TOO_LONG)
            continue;
        // The FTDI driver's kernel devices are \Device\VCP0, \Device\VCP1, ...
        if (std::strstr(device.data(), "VCP") == nullptr)
            continue;
        if (TerminateString(type, port.data(), length, port.size()) != 0)
            continue;
        if (std::strcmp(port.data(), name) == 0)
            return 0;
    }
}

int RaiseFtdiRetryResetCount() {
    int result = EnsureFtdiServiceKey();
    KeyHolder parameters;
    if (RegistryOpen(FTDI_PARAMETERS_KEY, REGISTRY_READ_SET_VALUE, &parameters.key) != 0)
        return CreateRetryParameters() == 0 ? result : -1;
    // A Parameters key without the value is left as it is; a larger value is never lowered.
    uint32_t count = 0;
    if (ReadDword(parameters.key, "RetryResetCount", &count) != 0)
        return -1;
    if (count < MIN_RETRY_RESET_COUNT &&
        RegistrySetDword(parameters.key, "RetryResetCount", MIN_RETRY_RESET_COUNT) != 0)
        return -1;
    return result;
}

int FindRegistryUnit(char* name, size_t capacity) {
    KeyHolder usb;
    if (RegistryOpen(USB_KEY, REGISTRY_READ, &usb.key) != 0)
        return -1;
    std::array<char, REGISTRY_TEXT_SIZE> instance;
    std::array<char, KEY_PATH_SIZE> path;
    std::array<char, REGISTRY_TEXT_SIZE> port;
    for (uint32_t index = 0;; ++index) {
        int listed = RegistryEnumKey(usb.key, index, instance.data(), instance.size());
        if (listed < 0)
            return -1;
        if (listed == REGISTRY_TOO_LONG)
            continue;
        if (UsbInstancePath(instance.data(), path.data(), path.size()) != 0 ||
            MatchUsbLocation(path.data()) != 1)
            continue;
        if (FtdiInstancePath(instance.data(), path.data(), path.size()) != 0 ||
            ReadFtdiPortName(path.data(), port.data(), port.size()) != 0)
            continue;
        // Known but unplugged adapters keep their entries; only SERIALCOMM says it is here.
        if (IsPortInSerialComm(port.data()) != 0)
            continue;
        if (CopyText(name, capacity, port.data(), std::strlen(port.data())))
            return 0;
    }
}

int ReadFtdiLatencyTimer(const char* instance, int32_t& milliseconds) {
    std::array<char, KEY_PATH_SIZE> path;
    if (FtdiInstancePath(instance, path.data(), path.size()) != 0 ||
        std::strlen(path.data()) + sizeof DEVICE_PARAMETERS > path.size())
        return -1;
    std::strcat(path.data(), DEVICE_PARAMETERS);
    JoinVendorAndProduct(path.data());
    KeyHolder parameters;
    uint32_t value = 0;
    if (RegistryOpen(path.data(), REGISTRY_READ, &parameters.key) != 0 ||
        ReadDword(parameters.key, "LatencyTimer", &value) != 0 || value > 255)
        return -1;
    milliseconds = static_cast<int32_t>(value);
    return 0;
}

int ListRegistryCandidates(PortCandidate* list, int capacity) {
    KeyHolder usb;
    if (RegistryOpen(USB_KEY, REGISTRY_READ, &usb.key) != 0)
        return 0;
    std::array<char, REGISTRY_TEXT_SIZE> instance;
    std::array<char, KEY_PATH_SIZE> path;
    std::array<char, REGISTRY_TEXT_SIZE> location;
    int count = 0;
    for (uint32_t index = 0; count < capacity; ++index) {
        int listed = RegistryEnumKey(usb.key, index, instance.data(), instance.size());
        if (listed < 0)
            break;
        if (listed == REGISTRY_TOO_LONG)
            continue;
        PortCandidate& candidate = list[count++];
        ClearCandidate(candidate);
        CopyText(candidate.location.data(), candidate.location.size(), instance.data(),
                 std::strlen(instance.data()));
        if (UsbInstancePath(instance.data(), path.data(), path.size()) == 0 &&
            ReadKeyString(path.data(), "LocationInformation", location.data(), location.size()) ==
                0) {
            CopyText(candidate.product.data(), candidate.product.size(), location.data(),
                     std::strlen(location.data()));
            candidate.named = std::strcmp(location.data(), UNIT_LOCATION) == 0;
        }
        if (FtdiInstancePath(instance.data(), path.data(), path.size()) == 0 &&
            ReadFtdiPortName(path.data(), candidate.port.data(), candidate.port.size()) == 0)
            candidate.attached = IsPortInSerialComm(candidate.port.data()) == 0;
    }
    return count;
}
