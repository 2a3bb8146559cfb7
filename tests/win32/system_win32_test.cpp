// The Windows side of the portable core on the real system under Wine: the serial backend
// against the simulated unit behind a COM port of the test's prefix, the configuration file, port
// discovery in the prefix's registry, and the programs' version resources.
#include "discovery/discovery.h"
#include "link/link.h"
#include "link/serial_win32.h"
#include "mq6_version.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/wine_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

// The device path of a port name, as the serial backend opens it.
TEST(SerialWin32, DevicePathKeepsTheNameOrRefusesIt) {
    char path[PORT_PATH_SIZE];
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNO", path, sizeof path), 0) << "15 characters fit";
    EXPECT_STREQ(path, "\\\\.\\ABCDEFGHIJKLMNO");
    EXPECT_EQ(SerialMakePath("ABCDEFGHIJKLMNOP", path, sizeof path), -1);
    EXPECT_STREQ(path, "");
}

// The line and time-outs the opened port really runs with, and a read error when the unit goes.
TEST(SerialWin32, OpenPortRunsWithTheLineSettingsAndFailsCleanlyWhenTheUnitIsGone) {
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
    StopCommThread();
    StopTickTimer();
}

// The configuration file as Windows writes it: CR LF line ends, a longer old file replaced
// whole in one move, and a read-only file left alone with the error box.
TEST(ConfigWin32, WritesCrLfInOneMoveOrLeavesAReadOnlyFileAlone) {
    const std::string file = EnvText("TEMP") + "\\mq6-config.cfg",
                      old = "[LAMBFILT] 20\r\n" + std::string(900, '#');
    std::strcpy(ConfigPath.data(), file.c_str());
    for (bool readOnly : {false, true}) {
        ResetLinkState();
        ResetSettings();
        ClearRecordedNotices();
        std::ofstream(file, std::ios::binary) << old;
        ReadConfig();
        SetFileAttributesA(file.c_str(),
                           readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
        WriteConfig();
        EXPECT_EQ(ReadFileText(file), readOnly
                                          ? old
                                          : "[ID] MQ-6 WB Utility\r\n[PORT] COMx\r\n[AUTOPORT] "
                                            "1\r\n[XPOSHWND] -1\r\n[YPOSHWND] -1\r\n[LAMBLOW] "
                                            "0.860000\r\n[LAMBHIGH] 0.880000\r\n[LAMBFILT] 20\r\n");
        WIN32_FIND_DATAA left;
        EXPECT_EQ(FindFirstFileA((file + ".*.tmp").c_str(), &left), INVALID_HANDLE_VALUE);
        EXPECT_EQ(CountNotices(), readOnly ? 1u : 0u);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    DeleteFileA(file.c_str());
}

// Port discovery on the real registry of the test's Wine prefix: the FTDI driver's entries at
// their real key paths, REG_SZ data with and without a terminator, and the REG_DWORD that the
// search creates or raises; the choices among candidates are the portable search's own tests.
TEST(DiscoveryWin32, FindsTheUnitThroughTheDriversKeysAndRaisesItsParameter) {
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS";
    const std::string keys[] = {"SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001",
                                "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS", service};
    auto clear = [&] {
        for (const std::string& key : keys)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VCP0");
    };
    const struct {
        bool terminated;
        DWORD retryBefore; // 0: no Parameters key
        std::string friendly;
        const char* port; // after the search; COM2 when it found nothing
        DWORD retryAfter;
    } rows[] = {
        {true, 0, "USB Serial Port (COM7)", "COM7", 200},
        {false, 150, "USB Serial Port (COM7)", "COM7", 200},
        {false, 150, "USB Serial Port COM7" + std::string(236, '7'), "COM2", 150}}; // 256 bytes
    for (const auto& row : rows) {
        SCOPED_TRACE(row.friendly.substr(0, 30) + " " + std::to_string(row.retryBefore));
        clear();
        AutoPort.store(1);
        std::strcpy(PortName.data(), "COM2");
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, (keys[0] + "\\A10K2QX7").c_str(), "LocationInformation",
                        REG_SZ, "MQ-6", 4 + row.terminated);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE,
                        (keys[1] + "\\Vid_0403+Pid_6001+A10K2QX7A\\0000").c_str(), "FriendlyName",
                        REG_SZ, row.friendly.c_str(), DWORD(row.friendly.size() + row.terminated));
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VCP0",
                        REG_SZ, "COM7", 5);
        if (row.retryBefore != 0)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, (service + "\\Parameters").c_str(),
                            "RetryResetCount", REG_DWORD, &row.retryBefore, 4);
        char buffer[8] = "#######";
        bool found = std::strcmp(row.port, "COM7") == 0;
        EXPECT_EQ(FindPort(buffer, sizeof buffer), found ? 0 : -1);
        EXPECT_STREQ(PortName.data(), row.port);
        EXPECT_STREQ(buffer, found ? "COM7" : "#######");
        DWORD type = 0, count = 0, size = sizeof count;
        RegGetValueA(HKEY_LOCAL_MACHINE, (service + "\\Parameters").c_str(), "RetryResetCount",
                     RRF_RT_ANY, &type, &count, &size);
        EXPECT_EQ(type, DWORD(REG_DWORD));
        EXPECT_EQ(count, row.retryAfter);
    }
    clear();
}

// The version resources of mq6wb.exe and mq6.exe, built beside this program, as File Properties
// shows them: the numbers and the text of the one project version.
TEST(VersionResource, BothProgramsCarryTheProjectVersion) {
    char self[MAX_PATH];
    std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    for (const char* name : {"mq6wb.exe", "mq6.exe"}) {
        std::string path = folder.substr(0, folder.find_last_of('\\') + 1) + name;
        std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), nullptr) + 1);
        VS_FIXEDFILEINFO* fixed = nullptr;
        char* text = nullptr;
        UINT size = 0;
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, DWORD(data.size()), data.data()) &&
                    VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &size) &&
                    VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\FileVersion",
                                   reinterpret_cast<void**>(&text), &size))
            << name;
        // The numbers as 16-bit parts: "1.2.3" is 0x00010002 and 0x00030000.
        std::string numbers = std::to_string(fixed->dwFileVersionMS >> 16) + "." +
                              std::to_string(fixed->dwFileVersionMS & 0xFFFF) + "." +
                              std::to_string(fixed->dwFileVersionLS >> 16);
        EXPECT_EQ(numbers + " " + text, std::string(MQ6_VERSION_TEXT) + " " + MQ6_VERSION_TEXT);
    }
}
