// The Windows serial backend against the simulated unit behind a Wine COM port.
#include "firmware/banner.h"
#include "link/link.h"
#include "link/serial.h"
#include "support/notice_record.h"
#include "win32/wine_sim.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(SerialWin32, DevicePathKeepsTheNameOrRefusesIt) {
    char path[PORT_PATH_SIZE];
    EXPECT_EQ(SerialMakePath("COM3", path, sizeof path), 0);
    EXPECT_STREQ(path, "\\\\.\\COM3");
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNO", path, sizeof path), 0) << "15 characters fit";
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNOP", path, sizeof path), -1);
    EXPECT_EQ(path[0], '\0');
    EXPECT_EQ(SerialMakePath("", path, sizeof path), -1);
}

class SerialWin32Sim : public ::testing::Test {
  protected:
    WineSim sim;
    void SetUp() override {
        ClearRecordedNotices();
        std::string why;
        ASSERT_TRUE(StartWineSim(sim, "COM5", {"--version", "1.01"}, why)) << why;
    }
    void TearDown() override {
        StopWineLink();
        StopWineSim(sim);
    }
};

TEST_F(SerialWin32Sim, ReadsTheDataBlockAndFailsCleanlyWhenTheUnitIsGone) {
    ASSERT_TRUE(StartWineLink("COM5"));
    ASSERT_EQ(GetDeviceData(), 0);
    EXPECT_EQ(DeviceDataValid.load(), 1);
    int major = 0;
    int minor = 0;
    ASSERT_EQ(ReadUnitVersion(DeviceInfo, major, minor), 0);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 1);
    EXPECT_EQ(SplitBanner(DeviceInfo)[BANNER_DESCRIPTION], "MQ-6 LSU 4.2 Controller. ");

    StopWineSim(sim);
    EXPECT_EQ(GetDeviceData(), -1);
    EXPECT_EQ(DeviceDataValid.load(), 0);
    EXPECT_EQ(CountNotices(), 1u);
    // The read error takes the link down; it keeps retrying without the unit.
    for (int waited = 0; waited < 3000 && PortStatus.load() != 0; waited += 10)
        Sleep(10);
    EXPECT_EQ(PortStatus.load(), 0);
}

} // namespace
