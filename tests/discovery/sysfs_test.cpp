// Finding the unit in sysfs, on fake trees: which adapters count, the order when several
// are attached, and the by-id name preferred over the bare terminal.
#include "discovery/fake_sysfs.h"
#include "discovery/sysfs.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

class SysfsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        base = MakeTempDir();
        ASSERT_FALSE(base.empty());
        sysfs = base + "/sys";
        byId = base + "/by-id";
    }
    void TearDown() override {
        RemoveTree(base);
    }
    // The found port, or "" when there is none.
    std::string Find(size_t capacity = 256) {
        std::array<char, 256> name;
        name.fill('#');
        if (FindSysfsUnit(sysfs.c_str(), byId.c_str(), name.data(), capacity) != 0)
            return name[0] == '#' ? "" : "(buffer written)";
        return name.data();
    }
    int List() {
        return ListSysfsCandidates(sysfs.c_str(), byId.c_str(), list.data(),
                                   static_cast<int>(list.size()));
    }
    std::string base;
    std::string sysfs;
    std::string byId;
    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
};

TEST_F(SysfsTest, NothingAttached) {
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(List(), 0);
    AddFakeUsbDevice(sysfs, {.usbPath = "1-3",
                             .vendor = "046d",
                             .product = "c52b",
                             .productName = "USB Receiver",
                             .terminal = ""});
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(List(), 0);
}

TEST_F(SysfsTest, OneUnit) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1.2"});
    EXPECT_EQ(Find(), "/dev/ttyUSB0");
    ASSERT_EQ(List(), 1);
    EXPECT_STREQ(list[0].location.data(), "1-1.2");
    EXPECT_STREQ(list[0].product.data(), "MQ-6");
    EXPECT_STREQ(list[0].serial.data(), "A10K2QX7");
    EXPECT_STREQ(list[0].port.data(), "/dev/ttyUSB0");
    EXPECT_EQ(list[0].attached, 1);
    EXPECT_EQ(list[0].named, 1);
}

TEST_F(SysfsTest, TwoUnitsAreTakenInUsbPathOrder) {
    // Directory order would put 1-1.10 first; ports are numbered, not spelled.
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1.10", .serial = "B", .terminal = "ttyUSB0"});
    AddFakeUsbDevice(sysfs, {.usbPath = "2-1", .serial = "C", .terminal = "ttyUSB2"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1.2", .serial = "A", .terminal = "ttyUSB1"});
    EXPECT_EQ(Find(), "/dev/ttyUSB1");
    ASSERT_EQ(List(), 3);
    EXPECT_STREQ(list[0].location.data(), "1-1.2");
    EXPECT_STREQ(list[1].location.data(), "1-1.10");
    EXPECT_STREQ(list[2].location.data(), "2-1");
}

TEST_F(SysfsTest, OnlyTheExactProductStringCounts) {
    AddFakeUsbDevice(sysfs,
                     {.usbPath = "1-1", .productName = "FT232R USB UART", .terminal = "ttyUSB0"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-2", .productName = "mq-6", .terminal = "ttyUSB1"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-3", .productName = "MQ-6 ", .terminal = "ttyUSB2"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-4", .productName = "MQ-60", .terminal = "ttyUSB3"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-5", .productName = "", .terminal = "ttyUSB4"});
    // The name alone is not enough: another FTDI chip is another device.
    AddFakeUsbDevice(sysfs, {.usbPath = "1-6", .product = "6015", .terminal = "ttyUSB5"});
    EXPECT_EQ(Find(), "");
    ASSERT_EQ(List(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(list[static_cast<size_t>(i)].named, 0) << i;
        EXPECT_EQ(list[static_cast<size_t>(i)].attached, 1) << i;
    }
    AddFakeUsbDevice(sysfs, {.usbPath = "1-7", .terminal = "ttyUSB6"});
    EXPECT_EQ(Find(), "/dev/ttyUSB6");
}

TEST_F(SysfsTest, UnitWithoutTerminalIsPassedOver) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1", .terminal = ""});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-2", .terminal = "ttyUSB3"});
    EXPECT_EQ(Find(), "/dev/ttyUSB3");
    ASSERT_EQ(List(), 2);
    EXPECT_EQ(list[0].attached, 0);
    EXPECT_STREQ(list[0].port.data(), "");
}

TEST_F(SysfsTest, ByIdNameIsPreferred) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1.4", .terminal = "ttyUSB1"});
    AddByIdLink(byId, "usb-FTDI_FT232R_OTHER-if00-port0", "ttyUSB0");
    EXPECT_EQ(Find(), "/dev/ttyUSB1");
    AddByIdLink(byId, "usb-FTDI_MQ-6_A10K2QX7-if00-port0", "ttyUSB1");
    EXPECT_EQ(Find(), byId + "/usb-FTDI_MQ-6_A10K2QX7-if00-port0");
    ASSERT_EQ(List(), 1);
    EXPECT_EQ(list[0].port.data(), byId + "/usb-FTDI_MQ-6_A10K2QX7-if00-port0");
}

TEST_F(SysfsTest, NameThatDoesNotFitIsPassedOverNotCut) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1", .terminal = "ttyUSB10"});
    AddFakeUsbDevice(sysfs, {.usbPath = "1-2", .terminal = "ttyUSB2"});
    // "/dev/ttyUSB10" needs 14 bytes with its terminator, "/dev/ttyUSB2" 13.
    EXPECT_EQ(Find(13), "/dev/ttyUSB2");
    EXPECT_EQ(Find(12), "");
}

} // namespace
