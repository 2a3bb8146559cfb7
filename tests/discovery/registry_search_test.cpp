// The search of the FTDI driver's registry entries and the driver parameter, run on the
// in-memory registry: which instances count, the order, unterminated and oversized data.
#include "discovery/discovery.h"
#include "discovery/registry.h"
#include "discovery/registry_memory.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

const std::string USB = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001";
const std::string FTDIBUS = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";
const std::string SERIALCOMM = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const std::string SERVICES = "SYSTEM\\CurrentControlSet\\Services";
const std::string SERVICE = SERVICES + "\\FTDIBUS";
const std::string PARAMETERS = SERVICE + "\\Parameters";

std::string FtdiKey(const std::string& instance) {
    return FTDIBUS + "\\Vid_0403+Pid_6001+" + instance + "A\\0000";
}

// An adapter as the USB stack and the driver record it; attached when device is not empty.
void AddAdapter(const std::string& instance, const std::string& location,
                const std::string& friendlyName, const std::string& device = "",
                const std::string& port = "") {
    SetMemoryRegistryString(USB + "\\" + instance, "LocationInformation", location);
    SetMemoryRegistryString(FtdiKey(instance), "FriendlyName", friendlyName);
    if (!device.empty())
        SetMemoryRegistryString(SERIALCOMM, device, port);
}

std::string Find(size_t capacity = 256) {
    std::array<char, 256> name;
    name.fill('#');
    if (FindRegistryUnit(name.data(), capacity) != 0)
        return name[0] == '#' ? "" : "(buffer written)";
    return name.data();
}

std::string PortOf(const std::string& path) {
    std::array<char, 256> port{};
    if (ReadFtdiPortName(path.c_str(), port.data(), port.size()) != 0)
        return "-1";
    return port.data();
}

uint32_t RetryCount() {
    uint32_t value = 0;
    return ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &value) == 0 ? value : 0;
}

class RegistrySearchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearMemoryRegistry();
        AddMemoryRegistryKey(SERIALCOMM);
        AddMemoryRegistryKey(SERVICES);
    }
    void TearDown() override {
        EXPECT_EQ(CountOpenMemoryRegistryKeys(), 0) << "a key was left open";
        ClearMemoryRegistry();
    }
};

TEST_F(RegistrySearchTest, FindsTheAttachedUnit) {
    AddAdapter("A10K2QX7", "MQ-6", "USB Serial Port (COM7)", "\\Device\\VCP0", "COM7");
    EXPECT_EQ(Find(), "COM7");
}

TEST_F(RegistrySearchTest, NoUsbKeyOrNoInstanceFindsNothing) {
    EXPECT_EQ(Find(), "");
    AddMemoryRegistryKey(USB);
    EXPECT_EQ(Find(), "");
}

TEST_F(RegistrySearchTest, FirstInstanceInEnumerationOrderWins) {
    AddAdapter("FTB", "MQ-6", "USB Serial Port (COM8)", "\\Device\\VCP0", "COM8");
    AddAdapter("FTA", "MQ-6", "USB Serial Port (COM9)", "\\Device\\VCP1", "COM9");
    EXPECT_EQ(Find(), "COM9");
}

TEST_F(RegistrySearchTest, UnpluggedUnitIsSkipped) {
    // Its entries stay after it is unplugged; only SERIALCOMM lacks its port.
    AddAdapter("FTA", "MQ-6", "USB Serial Port (COM3)");
    AddAdapter("FTB", "MQ-6", "USB Serial Port (COM4)", "\\Device\\VCP1", "COM4");
    EXPECT_EQ(Find(), "COM4");
}

TEST_F(RegistrySearchTest, LocationMustBeExactlyMq6) {
    AddAdapter("FT1", "mq-6", "USB Serial Port (COM3)", "\\Device\\VCP0", "COM3");
    AddAdapter("FT2", "MQ-6 ", "USB Serial Port (COM4)", "\\Device\\VCP1", "COM4");
    AddAdapter("FT3", "MQ-60", "USB Serial Port (COM5)", "\\Device\\VCP2", "COM5");
    AddAdapter("FT4", "Port_#0001.Hub_#0004", "USB Serial Port (COM6)", "\\Device\\VCP3", "COM6");
    SetMemoryRegistryDword(USB + "\\FT5", "LocationInformation", 0x362D514D);
    EXPECT_EQ(Find(), "");

    EXPECT_EQ(MatchUsbLocation((USB + "\\FT1").c_str()), 0);
    EXPECT_EQ(MatchUsbLocation((USB + "\\FT5").c_str()), -1);
    EXPECT_EQ(MatchUsbLocation((USB + "\\NONE").c_str()), -1);
    AddMemoryRegistryKey(USB + "\\FT6");
    EXPECT_EQ(MatchUsbLocation((USB + "\\FT6").c_str()), -1);
    AddAdapter("FT7", "MQ-6", "USB Serial Port (COM7)", "\\Device\\VCP4", "COM7");
    EXPECT_EQ(MatchUsbLocation((USB + "\\FT7").c_str()), 1);
    EXPECT_EQ(Find(), "COM7");
}

TEST_F(RegistrySearchTest, PortNameFromFriendlyName) {
    const std::string path = FTDIBUS + "\\Vid_0403&Pid_6001+FTXA\\0000";
    const std::string key = FtdiKey("FTX");
    SetMemoryRegistryString(key, "FriendlyName", "USB Serial Port (COM7)");
    EXPECT_EQ(PortOf(path), "COM7");
    SetMemoryRegistryString(key, "FriendlyName", "USB Serial Port COM12");
    EXPECT_EQ(PortOf(path), "COM12");
    SetMemoryRegistryString(key, "FriendlyName", "Port (COM3) and (COM4)");
    EXPECT_EQ(PortOf(path), "COM3");
    SetMemoryRegistryString(key, "FriendlyName", "USB Serial Port (com7)");
    EXPECT_EQ(PortOf(path), "-1");
    SetMemoryRegistryString(key, "FriendlyName", "USB Serial Port");
    EXPECT_EQ(PortOf(path), "-1");
    // The key of another product id is not this adapter's.
    EXPECT_EQ(PortOf(FTDIBUS + "\\Vid_0403&Pid_6015+FTXA\\0000"), "-1");

    std::array<char, 5> small;
    small.fill('#');
    SetMemoryRegistryString(key, "FriendlyName", "USB Serial Port (COM12)");
    EXPECT_EQ(ReadFtdiPortName(path.c_str(), small.data(), small.size()), -1);
    EXPECT_EQ(small[0], '#');
}

TEST_F(RegistrySearchTest, InstanceWithoutFriendlyPortFails) {
    AddAdapter("FTA", "MQ-6", "USB Serial Port", "\\Device\\VCP0", "COM3");
    AddAdapter("FTB", "MQ-6", "USB Serial Port (COM5)", "\\Device\\VCP1", "COM5");
    EXPECT_EQ(Find(), "COM5");
}

TEST_F(RegistrySearchTest, SerialCommValueMustNameAVcpDevice) {
    AddAdapter("FTA", "MQ-6", "USB Serial Port (COM7)", "\\Device\\Serial0", "COM7");
    EXPECT_EQ(Find(), "");
    EXPECT_EQ(IsPortInSerialComm("COM7"), -1);
    SetMemoryRegistryString(SERIALCOMM, "\\Device\\VCP3", "com7");
    EXPECT_EQ(IsPortInSerialComm("COM7"), -1);
    SetMemoryRegistryString(SERIALCOMM, "\\Device\\VCP4", "COM7");
    EXPECT_EQ(IsPortInSerialComm("COM7"), 0);
    EXPECT_EQ(Find(), "COM7");
}

TEST_F(RegistrySearchTest, UnterminatedAndOversizedStrings) {
    // Stored without a terminator: still the whole value.
    SetMemoryRegistryValue(USB + "\\FTA", "LocationInformation", REGISTRY_STRING, "MQ-6");
    SetMemoryRegistryValue(FtdiKey("FTA"), "FriendlyName", REGISTRY_STRING, "Port (COM7)");
    SetMemoryRegistryValue(SERIALCOMM, "\\Device\\VCP0", REGISTRY_STRING, "COM7");
    EXPECT_EQ(MatchUsbLocation((USB + "\\FTA").c_str()), 1);
    EXPECT_EQ(Find(), "COM7");

    // 255 characters leave room for the terminator; 256 without one fill the buffer and
    // are refused rather than read past; longer values do not fit at all.
    const std::string path = FTDIBUS + "\\Vid_0403&Pid_6001+FTAA\\0000";
    std::string text = "USB Serial Port COM" + std::string(236, '9');
    ASSERT_EQ(text.size(), 255u);
    SetMemoryRegistryValue(FtdiKey("FTA"), "FriendlyName", REGISTRY_STRING, text);
    EXPECT_EQ(PortOf(path), text.substr(16));
    SetMemoryRegistryValue(FtdiKey("FTA"), "FriendlyName", REGISTRY_STRING, text + "9");
    EXPECT_EQ(PortOf(path), "-1");
    SetMemoryRegistryValue(FtdiKey("FTA"), "FriendlyName", REGISTRY_STRING,
                           std::string("Port (COM7)\0", 12) + std::string(244, 'x'));
    EXPECT_EQ(PortOf(path), "COM7");
    SetMemoryRegistryString(FtdiKey("FTA"), "FriendlyName", "Port (COM7)" + std::string(300, ' '));
    EXPECT_EQ(PortOf(path), "-1");
    SetMemoryRegistryString(USB + "\\FTA", "LocationInformation", "MQ-6" + std::string(300, ' '));
    EXPECT_EQ(MatchUsbLocation((USB + "\\FTA").c_str()), -1);
}

TEST_F(RegistrySearchTest, OversizedSerialCommValueDoesNotHideLaterPorts) {
    SetMemoryRegistryString(SERIALCOMM, "\\Device\\VCP9", std::string(400, 'C'));
    AddAdapter("FTA", "MQ-6", "USB Serial Port (COM7)", "\\Device\\VCP0", "COM7");
    EXPECT_EQ(Find(), "COM7");
}

TEST_F(RegistrySearchTest, InstanceNameWithAmpersands) {
    // Adapters without a serial number get instance names like this one.
    AddAdapter("6&2c3a5b9d&0&2", "MQ-6", "USB Serial Port (COM11)", "\\Device\\VCP0", "COM11");
    EXPECT_EQ(Find(), "COM11");
}

TEST_F(RegistrySearchTest, NameThatDoesNotFitIsPassedOverNotCut) {
    AddAdapter("FTA", "MQ-6", "USB Serial Port COM12345678", "\\Device\\VCP0", "COM12345678");
    AddAdapter("FTB", "MQ-6", "USB Serial Port (COM9)", "\\Device\\VCP1", "COM9");
    EXPECT_EQ(Find(8), "COM9");
    EXPECT_EQ(Find(), "COM12345678");
}

TEST_F(RegistrySearchTest, CandidatesListEveryInstance) {
    AddAdapter("FTA", "MQ-6", "USB Serial Port (COM3)");
    AddAdapter("FTB", "Port_#0002.Hub_#0001", "USB Serial Port (COM4)", "\\Device\\VCP0", "COM4");
    AddAdapter("FTC", "MQ-6", "USB Serial Port (COM5)", "\\Device\\VCP1", "COM5");
    AddMemoryRegistryKey(USB + "\\FTD");
    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
    ASSERT_EQ(ListRegistryCandidates(list.data(), static_cast<int>(list.size())), 4);
    EXPECT_STREQ(list[0].location.data(), "FTA");
    EXPECT_STREQ(list[0].port.data(), "COM3");
    EXPECT_EQ(list[0].named, 1);
    EXPECT_EQ(list[0].attached, 0);
    EXPECT_STREQ(list[1].product.data(), "Port_#0002.Hub_#0001");
    EXPECT_EQ(list[1].named, 0);
    EXPECT_EQ(list[1].attached, 1);
    EXPECT_EQ(list[2].named, 1);
    EXPECT_EQ(list[2].attached, 1);
    EXPECT_STREQ(list[3].product.data(), "");
    EXPECT_STREQ(list[3].port.data(), "");
    EXPECT_EQ(ListRegistryCandidates(list.data(), 2), 2);
}

// ---- The driver parameter ------------------------------------------------------------

TEST_F(RegistrySearchTest, RetryResetCountIsRaisedNeverLowered) {
    SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 150);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_EQ(RetryCount(), 200u);
    SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 500);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_EQ(RetryCount(), 500u);
    SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 199);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_EQ(RetryCount(), 200u);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_EQ(RetryCount(), 200u);
}

TEST_F(RegistrySearchTest, MissingKeysAreCreatedWith200) {
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_TRUE(MemoryRegistryHasKey(SERVICE));
    EXPECT_EQ(RetryCount(), 200u);

    ClearMemoryRegistry();
    AddMemoryRegistryKey(SERVICE);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), 0);
    EXPECT_EQ(RetryCount(), 200u);
}

TEST_F(RegistrySearchTest, ParametersWithoutTheValueAreLeftAlone) {
    AddMemoryRegistryKey(PARAMETERS);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), -1);
    EXPECT_FALSE(MemoryRegistryHasValue(PARAMETERS, "RetryResetCount"));
    // A value of the wrong type is not a count.
    SetMemoryRegistryString(PARAMETERS, "RetryResetCount", "150");
    EXPECT_EQ(RaiseFtdiRetryResetCount(), -1);
    uint32_t value = 0;
    EXPECT_EQ(ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &value), -1);
}

TEST_F(RegistrySearchTest, WithoutWriteRightsNothingChanges) {
    SetMemoryRegistryReadOnly(true);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), -1);
    EXPECT_FALSE(MemoryRegistryHasKey(SERVICE));
    SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 150);
    EXPECT_EQ(RaiseFtdiRetryResetCount(), -1);
    EXPECT_EQ(RetryCount(), 150u);
}

} // namespace
