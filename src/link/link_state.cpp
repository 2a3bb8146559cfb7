// The link's shared words that the comm thread, the exchanges, discovery and the settings all
// read: the port's name and state and the data block's. They live apart from the code that
// writes them, so that none of those pieces reaches back into another through them.
#include "link/link.h"

#include <cstring>

std::array<char, PORT_NAME_SIZE> PortName{};
std::mutex PortNameLock;
std::atomic<int32_t> PortOpen{0};
std::atomic<int32_t> PortStatus{0};
std::atomic<int32_t> DeviceDataWanted{1};
std::atomic<int32_t> DeviceDataValid{0};
std::atomic<int32_t> DeviceDataFromLoader{0};
std::atomic<uint32_t> DeviceDataReads{0};
std::atomic<int32_t> LastReplyMissing{0};

std::array<char, PORT_NAME_SIZE> CopyPortName() {
    std::lock_guard<std::mutex> hold(PortNameLock);
    return PortName;
}

int StorePortName(std::string_view name) {
    if (name.size() >= PortName.size())
        return -1;
    std::lock_guard<std::mutex> hold(PortNameLock);
    PortName.fill('\0');
    std::memcpy(PortName.data(), name.data(), name.size());
    return 0;
}
