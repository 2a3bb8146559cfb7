// FindPort as the link calls it: the fixed port with AutoPort clear, the found one with it
// set, what is left alone when nothing is found, and the driver parameter on each path.
// The search runs on a fake sysfs tree; the parameter lives in the in-memory registry.
#include "discovery/discovery.h"
#include "discovery/fake_sysfs.h"
#include "discovery/registry_memory.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

const std::string PARAMETERS = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters";

void SetPortName(const char* name) {
    PortName.fill('\0');
    std::strncpy(PortName.data(), name, PortName.size() - 1);
}

uint32_t RetryCount() {
    uint32_t value = 0;
    return ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &value) == 0 ? value : 0;
}

class FindPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        base = MakeTempDir();
        ASSERT_FALSE(base.empty());
        sysfs = base + "/sys";
        setenv("MQ6_SYSFS_ROOT", sysfs.c_str(), 1);
        setenv("MQ6_SERIAL_BY_ID_DIR", (base + "/by-id").c_str(), 1);
        setenv("MQ6_UNIT_LINK", (base + "/mq6").c_str(), 1);
        ClearMemoryRegistry();
        SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 150);
        SetPortName("COM3");
        AutoPort.store(1);
        buffer.fill('#');
    }
    void TearDown() override {
        unsetenv("MQ6_SYSFS_ROOT");
        unsetenv("MQ6_SERIAL_BY_ID_DIR");
        unsetenv("MQ6_UNIT_LINK");
        ClearMemoryRegistry();
        AutoPort.store(1);
        RemoveTree(base);
    }
    bool BufferUntouched() const {
        for (char c : buffer)
            if (c != '#')
                return false;
        return true;
    }
    std::string base;
    std::string sysfs;
    std::array<char, 64> buffer;
};

TEST_F(FindPortTest, FixedPortIsHandedOutWithNothingAttached) {
    AutoPort.store(0);
    ASSERT_EQ(FindPort(buffer.data(), 8), 0);
    EXPECT_STREQ(buffer.data(), "COM3");
    EXPECT_STREQ(PortName.data(), "COM3");
    EXPECT_EQ(RetryCount(), 200u);
}

TEST_F(FindPortTest, FixedPortLongerThanTheBufferIsRefused) {
    AutoPort.store(0);
    SetPortName("COM12345");
    EXPECT_NE(FindPort(buffer.data(), 8), 0);
    EXPECT_TRUE(BufferUntouched());
    EXPECT_STREQ(PortName.data(), "COM12345");
    EXPECT_EQ(FindPort(buffer.data(), 9), 0);
    EXPECT_STREQ(buffer.data(), "COM12345");
}

TEST_F(FindPortTest, NoUnitLeavesEverythingAsItWas) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1", .productName = "FT232R USB UART"});
    EXPECT_NE(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_TRUE(BufferUntouched());
    EXPECT_STREQ(PortName.data(), "COM3");
    EXPECT_EQ(RetryCount(), 150u);
}

TEST_F(FindPortTest, FoundUnitReachesPortNameAndBuffer) {
    AddFakeUsbDevice(sysfs, {.usbPath = "3-2", .terminal = "ttyUSB4"});
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "/dev/ttyUSB4");
    EXPECT_STREQ(PortName.data(), "/dev/ttyUSB4");
    EXPECT_EQ(RetryCount(), 200u);
}

TEST_F(FindPortTest, TheUdevLinkWinsWhileItLeadsSomewhere) {
    AddFakeUsbDevice(sysfs, {.usbPath = "3-2", .terminal = "ttyUSB4"});
    struct Row {
        const char* target; // of the link; nullptr: no link
        std::string found;
    };
    const Row rows[] = {
        {"ttyUSB4", base + "/mq6"},
        {"gone", "/dev/ttyUSB4"},
        {nullptr, "/dev/ttyUSB4"},
    };
    std::ofstream(base + "/ttyUSB4").put('\n');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target ? row.target : "no link");
        std::filesystem::remove(base + "/mq6");
        if (row.target != nullptr)
            std::filesystem::create_symlink(row.target, base + "/mq6");
        ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
        EXPECT_EQ(buffer.data(), row.found);
    }
}

TEST_F(FindPortTest, WithoutBufferOnlyPortNameChanges) {
    AddFakeUsbDevice(sysfs, {.usbPath = "3-2", .terminal = "ttyUSB4"});
    ASSERT_EQ(FindPort(nullptr, 0), 0);
    EXPECT_STREQ(PortName.data(), "/dev/ttyUSB4");
}

TEST_F(FindPortTest, FoundNameLongerThanTheBufferIsRefused) {
    AddFakeUsbDevice(sysfs, {.usbPath = "3-2", .terminal = "ttyUSB4"});
    EXPECT_NE(FindPort(buffer.data(), 8), 0);
    EXPECT_TRUE(BufferUntouched());
    EXPECT_STREQ(PortName.data(), "COM3");
    EXPECT_EQ(RetryCount(), 150u);
}

TEST_F(FindPortTest, NameIsHandedOverWholeBetweenThreads) {
    // Discovery writes the name on the comm thread while the main thread stores a chosen port
    // and reads the name back for a reconnect.
    AddFakeUsbDevice(sysfs, {.usbPath = "3-2", .terminal = "ttyUSB4"});
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
        if (name != "COM3" && name != "/dev/ttyUSB4")
            ++torn;
    }
    done.store(true);
    comm.join();
    EXPECT_EQ(torn, 0);
}

} // namespace
