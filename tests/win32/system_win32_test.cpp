// The Windows side of the portable core on the real system under Wine: the serial backend
// against the simulated unit behind a COM port of the test's prefix, the configuration file and
// port discovery in the prefix's registry.
#include "discovery/discovery.h"
#include "link/link.h"
#include "link/serial_win32.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/wine_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

// The line and time-outs the opened port really runs with, and a read error when the unit goes.
TEST(SerialWin32, OpenPortRunsWithTheLineSettingsAndFailsCleanlyWhenTheUnitIsGone) {
    ASSERT_TRUE(StartWineSim("com5", {}));
    std::strcpy(PortName.data(), "COM5");
    AutoPort.store(0);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    for (int waited = 0; waited < 60000 && PortStatus.load() + PortOpen.load() < 2; waited += 5)
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
    StopCommThread();
    StopTickTimer();
}

// A read-only configuration file is left alone, with the error box and no temporary file
// beside it; the written file's CR LF line ends and its replacement of an older one are the
// window position test's.
TEST(ConfigWin32, LeavesAReadOnlyFileAloneWithTheErrorBox) {
    const std::string file = EnvText("TEMP") + "\\mq6-config.cfg";
    std::strncpy(ConfigPath.data(), file.c_str(), ConfigPath.size() - 1);
    ResetLinkState();
    ResetSettings();
    ClearRecordedNotices();
    std::ofstream(file, std::ios::binary) << "[LAMBFILT] 20\r\n";
    ReadConfig();
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    WriteConfig();
    EXPECT_EQ(ReadFileText(file), "[LAMBFILT] 20\r\n");
    WIN32_FIND_DATAA left;
    EXPECT_EQ(FindFirstFileA((file + ".*.tmp").c_str(), &left), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CountNotices(), 1u) << DescribeNotices();
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(file.c_str());
}

// Port discovery on the real registry of the test's Wine prefix: the FTDI driver's entries at
// their real key paths, their REG_SZ data stored without a terminator, and the REG_DWORD that
// the search raises. The smoke run finds the unit through terminated entries; the choices among
// candidates and the other cases of the parameter are the portable search's own tests.
TEST(DiscoveryWin32, FindsTheUnitThroughTheDriversKeysAndRaisesItsParameter) {
    AddRegistryUnit(false);
    AutoPort.store(1);
    std::strcpy(PortName.data(), "COM2");
    EXPECT_EQ(FindPort(nullptr, 0), 0); // what reaches a buffer is the portable search's test
    EXPECT_STREQ(PortName.data(), "COM7");
    DWORD type = 0, count = 0, size = sizeof count;
    RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters",
                 "RetryResetCount", RRF_RT_ANY, &type, &count, &size);
    EXPECT_EQ(std::pair(type, count), std::pair(DWORD(REG_DWORD), DWORD(200))) << "raised from 150";
    RemoveRegistryUnit();
}
