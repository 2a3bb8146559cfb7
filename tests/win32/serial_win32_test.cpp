// The Windows serial backend against the simulated unit behind a Wine COM port.
#include "firmware/banner.h"
#include "link/link.h"
#include "link/serial_win32.h"
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

// What the port really runs with, read back from the driver: the line as the unit needs it, and
// reads that wait for the first byte (or 100 ms) instead of returning at once.
TEST_F(SerialWin32Sim, PortRunsWithTheLineSettingsAndBlockingReads) {
    ASSERT_TRUE(StartWineLink("COM5"));
    DCB line{};
    line.DCBlength = sizeof line;
    ASSERT_TRUE(GetCommState(SerialHandle(), &line));
    COMMTIMEOUTS timeouts{};
    ASSERT_TRUE(GetCommTimeouts(SerialHandle(), &timeouts));
    struct Row {
        const char* name;
        unsigned long actual;
        unsigned long expected;
    };
    const Row rows[] = {
        {"baud rate", line.BaudRate, 57600},
        {"data bits", line.ByteSize, 8},
        {"parity", line.Parity, NOPARITY},
        {"parity check", line.fParity, 0},
        {"stop bits", line.StopBits, ONESTOPBIT},
        {"CTS flow", line.fOutxCtsFlow, 0},
        {"DSR flow", line.fOutxDsrFlow, 0},
        {"DSR sensitivity", line.fDsrSensitivity, 0},
        {"XON/XOFF out", line.fOutX, 0},
        {"XON/XOFF in", line.fInX, 0},
        {"DTR", line.fDtrControl, DTR_CONTROL_ENABLE},
        {"RTS", line.fRtsControl, RTS_CONTROL_ENABLE},
        {"read interval", timeouts.ReadIntervalTimeout, 0xFFFFFFFFul},
        {"read multiplier", timeouts.ReadTotalTimeoutMultiplier, 0xFFFFFFFFul},
        {"read constant", timeouts.ReadTotalTimeoutConstant, 100},
        {"write multiplier", timeouts.WriteTotalTimeoutMultiplier, 0},
        {"write constant", timeouts.WriteTotalTimeoutConstant, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.actual, row.expected);
    }
}

} // namespace
