// Port discovery on the real Windows registry of the test's Wine prefix: the entries the
// USB stack and the FTDI driver would make are written here with the registry API, and
// removed again after each test.
#include "discovery/discovery.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

namespace {

const std::string USB = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001";
const std::string FTDIBUS = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const std::string SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const std::string SERVICE = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS";
const std::string PARAMETERS = SERVICE + "\\Parameters";

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

HKEY CreateKey(const std::string& path, DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, options, KEY_WRITE,
                                  nullptr, &key, nullptr);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    return status == ERROR_SUCCESS ? key : nullptr;
}

void SetBytes(HKEY key, const std::string& name, DWORD type, const void* data, DWORD size) {
    EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS)
        << name;
}

// terminated false stores the text without its NUL, as some writers do.
void SetString(const std::string& path, const std::string& name, const std::string& text,
               bool terminated = true) {
    HKEY key = CreateKey(path);
    if (key == nullptr)
        return;
    SetBytes(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + terminated));
    RegCloseKey(key);
}

void SetDword(const std::string& path, const std::string& name, DWORD value) {
    HKEY key = CreateKey(path);
    if (key == nullptr)
        return;
    SetBytes(key, name, REG_DWORD, &value, sizeof value);
    RegCloseKey(key);
}

bool ReadDword(const std::string& path, const std::string& name, DWORD& value) {
    DWORD size = sizeof value;
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    LONG status =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value;
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The USB instances in the order the registry enumerates them.
std::vector<std::string> EnumeratedInstances() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, USB.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    RegCloseKey(key);
    return names;
}

void SetPortName(const char* name) {
    PortName.fill('\0');
    std::strncpy(PortName.data(), name, PortName.size() - 1);
}

class DiscoveryWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!UnderWine())
            GTEST_SKIP() << "writes the FTDI driver's keys: runs only in a private Wine prefix";
        RemoveEntries();
        HKEY comm = CreateKey(SERIALCOMM, REG_OPTION_VOLATILE);
        if (comm != nullptr)
            RegCloseKey(comm);
        AutoPort.store(1);
        SetPortName("COM2");
        buffer.fill('#');
    }
    void TearDown() override {
        if (!UnderWine())
            return;
        RemoveEntries();
        AutoPort.store(1);
    }

    // An adapter as the USB stack and the driver record it; attached when device is given.
    void AddAdapter(const std::string& instance, const std::string& location,
                    const std::string& friendlyName, const std::string& device = "",
                    const std::string& port = "") {
        SetString(USB + "\\" + instance, "LocationInformation", location);
        SetString(FTDIBUS + "\\Vid_0403+Pid_6001+" + instance + "A\\0000", "FriendlyName",
                  friendlyName);
        if (!device.empty())
            AddSerialComm(device, port);
    }
    void AddSerialComm(const std::string& device, const std::string& port) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM.c_str(), 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        SetBytes(key, device, REG_SZ, port.c_str(), static_cast<DWORD>(port.size() + 1));
        RegCloseKey(key);
        addedDevices.push_back(device);
    }
    void RemoveEntries() {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, USB.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, FTDIBUS.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, SERVICE.c_str());
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SERIALCOMM.c_str(), 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            for (const std::string& device : addedDevices)
                RegDeleteValueA(key, device.c_str());
            RegCloseKey(key);
        }
        addedDevices.clear();
    }
    bool BufferUntouched() const {
        for (char c : buffer)
            if (c != '#')
                return false;
        return true;
    }

    std::array<char, 8> buffer;
    std::vector<std::string> addedDevices;
};

TEST_F(DiscoveryWin32, FindsTheUnitAndCreatesTheDriverParameter) {
    AddAdapter("A10K2QX7", "MQ-6", "USB Serial Port (COM7)", "\\Device\\VCP0", "COM7");
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "COM7");
    EXPECT_STREQ(PortName.data(), "COM7");
    // Neither the service key nor its Parameters existed.
    DWORD count = 0;
    ASSERT_TRUE(ReadDword(PARAMETERS, "RetryResetCount", count));
    EXPECT_EQ(count, 200u);
}

TEST_F(DiscoveryWin32, SerialCommValueMustNameAVcpDevice) {
    AddAdapter("A10K2QX7", "MQ-6", "USB Serial Port (COM7)", "\\Device\\Serial7", "COM7");
    EXPECT_NE(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_TRUE(BufferUntouched());
    EXPECT_STREQ(PortName.data(), "COM2");
    EXPECT_FALSE(KeyExists(SERVICE)) << "no unit found: the driver parameter stays untouched";
    AddSerialComm("\\Device\\VCP0", "COM7");
    EXPECT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "COM7");
}

TEST_F(DiscoveryWin32, TwoUnitsFollowEnumerationOrder) {
    AddAdapter("FT200002", "MQ-6", "USB Serial Port (COM8)", "\\Device\\VCP0", "COM8");
    AddAdapter("FT100001", "MQ-6", "USB Serial Port (COM9)", "\\Device\\VCP1", "COM9");
    std::vector<std::string> order = EnumeratedInstances();
    ASSERT_EQ(order.size(), 2u);
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), order[0] == "FT100001" ? "COM9" : "COM8");
}

TEST_F(DiscoveryWin32, UnpluggedUnitIsSkipped) {
    AddAdapter("FT100001", "MQ-6", "USB Serial Port (COM3)");
    AddAdapter("FT200002", "MQ-6", "USB Serial Port (COM4)", "\\Device\\VCP1", "COM4");
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "COM4");
    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
    ASSERT_EQ(ListPortCandidates(list.data(), static_cast<int>(list.size())), 2);
    for (const PortCandidate& candidate : {list[0], list[1]}) {
        bool unplugged = std::strcmp(candidate.port.data(), "COM3") == 0;
        EXPECT_EQ(candidate.attached, unplugged ? 0 : 1) << candidate.port.data();
        EXPECT_EQ(candidate.named, 1);
    }
}

TEST_F(DiscoveryWin32, OtherLocationTextIsNotTheUnit) {
    AddAdapter("FT100001", "mq-6", "USB Serial Port (COM3)", "\\Device\\VCP0", "COM3");
    AddAdapter("FT200002", "Port_#0001.Hub_#0004", "USB Serial Port (COM4)", "\\Device\\VCP1",
               "COM4");
    EXPECT_NE(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_TRUE(BufferUntouched());
}

TEST_F(DiscoveryWin32, RetryResetCountIsRaisedNeverLowered) {
    AutoPort.store(0);
    SetDword(PARAMETERS, "RetryResetCount", 150);
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "COM2");
    DWORD count = 0;
    ASSERT_TRUE(ReadDword(PARAMETERS, "RetryResetCount", count));
    EXPECT_EQ(count, 200u);

    SetDword(PARAMETERS, "RetryResetCount", 500);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    ASSERT_TRUE(ReadDword(PARAMETERS, "RetryResetCount", count));
    EXPECT_EQ(count, 500u);
}

TEST_F(DiscoveryWin32, MissingParametersKeyIsCreated) {
    HKEY service = CreateKey(SERVICE);
    ASSERT_NE(service, nullptr);
    RegCloseKey(service);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    DWORD count = 0;
    ASSERT_TRUE(ReadDword(PARAMETERS, "RetryResetCount", count));
    EXPECT_EQ(count, 200u);
}

TEST_F(DiscoveryWin32, UnterminatedStringsAreBounded) {
    SetString(USB + "\\FT100001", "LocationInformation", "MQ-6", false);
    SetString(FTDIBUS + "\\Vid_0403+Pid_6001+FT100001A\\0000", "FriendlyName",
              "USB Serial Port (COM7)", false);
    AddSerialComm("\\Device\\VCP0", "COM7");
    ASSERT_EQ(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_STREQ(buffer.data(), "COM7");

    // A text that fills the whole buffer without a terminator is refused, not overrun.
    std::string full = "USB Serial Port COM7" + std::string(236, '7');
    ASSERT_EQ(full.size(), 256u);
    SetString(FTDIBUS + "\\Vid_0403+Pid_6001+FT100001A\\0000", "FriendlyName", full, false);
    buffer.fill('#');
    EXPECT_NE(FindPort(buffer.data(), buffer.size()), 0);
    EXPECT_TRUE(BufferUntouched());
}

} // namespace
