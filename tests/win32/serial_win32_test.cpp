// The Windows serial backend against the simulated unit behind a Wine COM port: the device path,
// the line and time-outs the opened port really runs with, and a read error when the unit goes.
#include "link/link.h"
#include "link/serial_win32.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/wine_sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <windows.h>

TEST(SerialWin32, DevicePathKeepsTheNameOrRefusesIt) {
    char path[PORT_PATH_SIZE];
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNO", path, sizeof path), 0) << "15 characters fit";
    EXPECT_STREQ(path, "\\\\.\\ABCDEFGHIJKLMNO");
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNOP", path, sizeof path), -1);
    EXPECT_STREQ(path, "");
}

TEST(SerialWin32, OpenPortRunsWithTheLineSettingsAndFailsCleanlyWhenTheUnitIsGone) {
    ClearRecordedNotices();
    ASSERT_TRUE(StartWineSim("com5", {}));
    std::strcpy(PortName.data(), "COM5");
    AutoPort.store(0);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    for (int waited = 0; waited < 5000 && PortStatus.load() + PortOpen.load() < 2; waited += 5)
        Sleep(5);
    DCB line{};
    line.DCBlength = sizeof line;
    COMMTIMEOUTS time{};
    ASSERT_TRUE(GetCommState(SerialHandle(), &line) && GetCommTimeouts(SerialHandle(), &time));
    std::string read;
    for (unsigned long value :
         {line.BaudRate, DWORD(line.ByteSize), DWORD(line.Parity), DWORD(line.fParity),
          DWORD(line.StopBits), DWORD(line.fOutxCtsFlow), DWORD(line.fOutxDsrFlow),
          DWORD(line.fDsrSensitivity), DWORD(line.fOutX), DWORD(line.fInX), DWORD(line.fDtrControl),
          DWORD(line.fRtsControl), time.ReadIntervalTimeout, time.ReadTotalTimeoutMultiplier,
          time.ReadTotalTimeoutConstant, time.WriteTotalTimeoutMultiplier,
          time.WriteTotalTimeoutConstant})
        read += std::to_string(value) + " ";
    // 57600 baud, 8 data bits, no parity, one stop bit (0); no CTS, DSR or XON/XOFF flow; DTR and
    // RTS raised (1); reads that wait for the first byte or 100 ms; writes without a time-out.
    EXPECT_EQ(read, "57600 8 0 0 0 0 0 0 0 0 1 1 4294967295 4294967295 100 0 0 ");
    ASSERT_EQ(GetDeviceData(), 0);
    StopWineSim();
    EXPECT_EQ(GetDeviceData(), -1);
    EXPECT_EQ(DeviceDataValid.load(), 0);
    EXPECT_EQ(CountNotices(), 1u);
    StopCommThread();
    StopTickTimer();
}
