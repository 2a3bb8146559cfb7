// Port discovery on the real registry of the test's Wine prefix: the FTDI driver's entries at
// their real key paths, REG_SZ data with and without a terminator, and the REG_DWORD that the
// search creates or raises; the choices among candidates are the portable search's own tests.
#include "discovery/discovery.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <windows.h>

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
        {true, 500, "USB Serial Port (COM7)", "COM7", 500},
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
