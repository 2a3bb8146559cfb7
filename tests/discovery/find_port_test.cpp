// FindPort as the link calls it: the fixed port with AutoPort clear, the found one with it
// set, what is left alone when nothing is found, and the driver parameter on each path.
// The search runs on a fake sysfs tree; the parameter lives in the in-memory registry.
#include "discovery/discovery.h"
#include "discovery/fake_sysfs.h"
#include "discovery/registry_memory.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const std::string PARAMETERS = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters";

class FindPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE((base = MakeTempDir()).empty());
        setenv("MQ6_SYSFS_ROOT", (base + "/sys").c_str(), 1);
        setenv("MQ6_SERIAL_BY_ID_DIR", (base + "/by-id").c_str(), 1);
        setenv("MQ6_UNIT_LINK", (base + "/mq6").c_str(), 1);
    }
    void TearDown() override {
        for (const char* name : {"MQ6_SYSFS_ROOT", "MQ6_SERIAL_BY_ID_DIR", "MQ6_UNIT_LINK"})
            unsetenv(name);
        ClearMemoryRegistry();
        AutoPort.store(1);
        RemoveTree(base);
    }
    std::string base;
};

TEST_F(FindPortTest, WhatReachesPortNameTheBufferAndTheDriverParameter) {
    struct Row {
        const char* what;
        int autoPort;
        const char *stored, *unit, *link; // the unit's terminal and the udev link's target
        size_t size;                      // 0: no buffer
        int result;
        std::string buffer, portName;
        uint32_t retry;
    } const rows[] = {
        {"fixed port, nothing attached", 0, "COM3", "", "", 8, 0, "COM3", "COM3", 200},
        {"fixed port longer than the buffer", 0, "COM12345", "", "", 8, -1, "#", "COM12345", 150},
        {"fixed port that just fits", 0, "COM12345", "", "", 9, 0, "COM12345", "COM12345", 200},
        {"no unit", 1, "COM3", "-", "", 64, -1, "#", "COM3", 150},
        {"found unit", 1, "COM3", "ttyUSB4", "", 64, 0, "/dev/ttyUSB4", "/dev/ttyUSB4", 200},
        {"the udev link wins", 1, "COM3", "ttyUSB4", "ttyUSB4", 64, 0, base + "/mq6", base + "/mq6",
         200},
        {"a dangling link does not", 1, "COM3", "ttyUSB4", "gone", 64, 0, "/dev/ttyUSB4",
         "/dev/ttyUSB4", 200},
        {"without a buffer", 1, "COM3", "ttyUSB4", "", 0, 0, "#", "/dev/ttyUSB4", 200},
        {"found name longer than the buffer", 1, "COM3", "ttyUSB4", "", 8, -1, "#", "COM3", 150},
    };
    std::ofstream(base + "/ttyUSB4").put('\n');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveTree(base + "/sys");
        std::filesystem::remove(base + "/mq6");
        if (row.unit[0] != '\0')
            AddFakeUsbDevice(base + "/sys",
                             row.unit[0] == '-'
                                 ? FakeUsbDevice{.usbPath = "1-1", .productName = "FT232R USB UART"}
                                 : FakeUsbDevice{.usbPath = "3-2", .terminal = row.unit});
        if (row.link[0] != '\0')
            std::filesystem::create_symlink(row.link, base + "/mq6");
        ClearMemoryRegistry();
        SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 150);
        StorePortName(row.stored);
        AutoPort.store(row.autoPort);
        std::array<char, 64> buffer;
        buffer.fill('#');
        EXPECT_EQ(FindPort(row.size == 0 ? nullptr : buffer.data(), row.size), row.result);
        EXPECT_EQ(buffer[0] == '#' ? std::string("#") : std::string(buffer.data()), row.buffer);
        EXPECT_EQ(std::string(PortName.data()), row.portName);
        uint32_t retry = 0;
        EXPECT_EQ(ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &retry), 0);
        EXPECT_EQ(retry, row.retry);
    }
}

TEST_F(FindPortTest, NameIsHandedOverWholeBetweenThreads) {
    // Discovery writes the name on the comm thread while the main thread stores a chosen port
    // and reads the name back for a reconnect.
    AddFakeUsbDevice(base + "/sys", {.usbPath = "3-2", .terminal = "ttyUSB4"});
    std::atomic<bool> done{false};
    std::thread comm([&] {
        while (!done.load())
            FindPort(nullptr, 0);
    });
    int torn = 0;
    for (int i = 0; i < 20000; ++i) {
        if (i % 2 == 0)
            StorePortName("COM3");
        std::string name = CopyPortName().data();
        torn += name != "COM3" && name != "/dev/ttyUSB4";
    }
    done.store(true);
    comm.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
