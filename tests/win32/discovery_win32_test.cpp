// Port discovery on the real registry of the test's Wine prefix: the FTDI driver's entries
// written at their real paths with the registry API, what only that registry shows (the key
// paths, REG_SZ data stored without a terminator, the REG_DWORD the search creates); the choices
// among candidates are the portable registry search's own tests.
#include "discovery/discovery.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

const std::string USB = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001";
const std::string FTDIBUS = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const std::string SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const std::string SERVICE = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS";
const std::string PARAMETERS = SERVICE + "\\Parameters";
constexpr char VCP[] = "\\Device\\VCP0";

void SetValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
// terminated false stores the text without its NUL, as some writers do.
void SetText(const std::string& path, const char* name, const std::string& text, bool terminated) {
    SetValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + terminated));
}

// The value's type and, for a REG_DWORD, its number; type 0 when it is missing.
DWORD ReadValue(const std::string& path, const char* name, DWORD& number) {
    DWORD type = 0;
    DWORD size = sizeof number;
    number = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path.c_str(), name, RRF_RT_ANY, &type, &number, &size) !=
        ERROR_SUCCESS)
        return 0;
    return type;
}

void RemoveEntries() {
    for (const std::string& path : {USB, FTDIBUS, SERVICE})
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SERIALCOMM.c_str(), VCP);
}

TEST(DiscoveryWin32, FindsTheUnitThroughTheDriversKeysAndRaisesItsParameter) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr)
        GTEST_SKIP() << "writes the FTDI driver's keys: runs only in a private Wine prefix";
    struct Row {
        const char* what;
        bool terminated;   // REG_SZ data with or without their NUL
        DWORD retryBefore; // 0: no Parameters key
        const char* found; // nullptr: no unit
        DWORD retryAfter;
    };
    const std::string friendlyFull = "USB Serial Port COM7" + std::string(236, '7'); // 256 bytes
    const Row rows[] = {
        {"terminated texts, no service key", true, 0, "COM7", 200},
        {"texts without terminators, a low count", false, 150, "COM7", 200},
        {"a higher count stays", true, 500, "COM7", 500},
        {"a name that fills the whole value", false, 150, nullptr, 150},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveEntries();
        AutoPort.store(1);
        PortName.fill('\0');
        std::strncpy(PortName.data(), "COM2", PortName.size() - 1);
        SetText(USB + "\\A10K2QX7", "LocationInformation", "MQ-6", row.terminated);
        SetText(FTDIBUS + "\\Vid_0403+Pid_6001+A10K2QX7A\\0000", "FriendlyName",
                row.found != nullptr ? "USB Serial Port (COM7)" : friendlyFull, row.terminated);
        SetText(SERIALCOMM, VCP, "COM7", true);
        if (row.retryBefore != 0)
            SetValue(PARAMETERS, "RetryResetCount", REG_DWORD, &row.retryBefore, sizeof(DWORD));

        std::array<char, 8> buffer;
        buffer.fill('#');
        int result = FindPort(buffer.data(), buffer.size());
        EXPECT_EQ(result, row.found != nullptr ? 0 : -1);
        EXPECT_STREQ(PortName.data(), row.found != nullptr ? row.found : "COM2");
        if (row.found != nullptr)
            EXPECT_STREQ(buffer.data(), row.found);
        else
            EXPECT_EQ(std::string(buffer.data(), buffer.size()), std::string(8, '#'));
        DWORD count = 0;
        EXPECT_EQ(ReadValue(PARAMETERS, "RetryResetCount", count),
                  row.retryBefore != 0 || row.found != nullptr ? DWORD(REG_DWORD) : 0u);
        EXPECT_EQ(count, row.retryAfter);
    }
    RemoveEntries();
    AutoPort.store(1);
}

} // namespace
