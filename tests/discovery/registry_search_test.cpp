// The search of the FTDI driver's registry entries and the driver parameter, run on the
// in-memory registry: which instances count, the order, unterminated and oversized data.
#include "discovery/discovery.h"
#include "discovery/registry.h"
#include "discovery/registry_posix.h"
#include "firmware/test_files.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

const std::string USB = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_0403&Pid_6001\\";
const std::string FTDIBUS = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\Vid_0403";
// The registry takes a key's name in any case: this one is made as the program never spells it.
const std::string SERIALCOMM = "hardware\\devicemap\\serialcomm";
const std::string SERVICE = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS";
const std::string PARAMETERS = SERVICE + "\\Parameters";

// Adapters as the USB stack and the driver record them: "instance,location,friendly name"
// and, when attached, ",SERIALCOMM value name,port"; several separated by ";".
void Add(const std::string& adapters) {
    for (const std::string& adapter : Split(adapters, ';')) {
        std::vector<std::string> f = Split(adapter, ',');
        f.resize(5);
        if (!f[0].empty()) {
            SetMemoryRegistryString(USB + f[0], "LocationInformation", f[1]);
            SetMemoryRegistryString(FTDIBUS + "+Pid_6001+" + f[0] + "A\\0000", "FriendlyName",
                                    f[2]);
        }
        if (!f[3].empty())
            SetMemoryRegistryString(SERIALCOMM, "\\Device\\" + f[3],
                                    f[4] == "long" ? std::string(400, 'C') : f[4]);
    }
}

class RegistrySearchTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(CountOpenMemoryRegistryKeys(), 0) << "a key was left open";
        ClearMemoryRegistry();
        SetMemoryRegistryReadOnly(false);
    }
};

TEST_F(RegistrySearchTest, WhichInstanceIsTheUnit) {
    const std::string COM7 = "FTA,MQ-6,USB Serial Port (COM7),VCP0,COM7";
    struct Row {
        const char* what;
        std::string adapters, found; // "" none
        size_t capacity = 256;
    } const rows[] = {
        {"no instance", "", ""},
        {"enumeration order", "FTB,MQ-6,Port (COM8),VCP0,COM8;FTA,MQ-6,Port (COM9),VCP1,COM9",
         "COM9"},
        {"unplugged unit skipped", "FTA,MQ-6,Port (COM3);FTB,MQ-6,Port (COM4),VCP1,COM4", "COM4"},
        {"location not exactly MQ-6",
         "F1,mq-6,(COM3),VCP0,COM3;F2,MQ-6 ,(COM4),VCP1,COM4;"
         "F3,Port_#0001.Hub_#0004,(COM6),VCP3,COM6",
         ""},
        {"friendly name without COM",
         "FTA,MQ-6,USB Serial Port,VCP0,COM3;FTB,MQ-6,(COM5),VCP1,COM5", "COM5"},
        {"SERIALCOMM name without VCP", "FTA,MQ-6,Port (COM7),Serial0,COM7", ""},
        {"oversized SERIALCOMM value and name",
         ",,,VCP9,long;,,,VCP" + std::string(300, '9') + ",COM8;" + COM7, "COM7"},
        {"long instance name", std::string(256, 'F') + ",MQ-6,(COM8),VCP0,COM8;" + COM7, "COM7"},
        // Its keys' paths, 307 and 317 characters, whole: a cut one would name another key.
        {"longest instance name", std::string(255, 'F') + ",MQ-6,(COM8),VCP0,COM8", "COM8"},
        {"instance with ampersands", "6&2c3a5b9d&0&2,MQ-6,Port (COM11),VCP0,COM11", "COM11"},
        {"name that does not fit is passed over",
         "FTA,MQ-6,Port COM12345678,VCP0,COM12345678;FTB,MQ-6,Port (COM9),VCP1,COM9", "COM9", 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClearMemoryRegistry();
        AddMemoryRegistryKey(SERIALCOMM);
        Add(row.adapters);
        std::array<char, 256> name;
        name.fill('#');
        int result = FindRegistryUnit(name.data(), row.capacity);
        EXPECT_EQ(result == 0 ? std::string(name.data()) : std::string(1, name[0]),
                  row.found.empty() ? "#" : row.found);
    }
}

TEST_F(RegistrySearchTest, PortNameFromFriendlyNameAndLocationData) {
    const std::string key = FTDIBUS + "+Pid_6001+FTXA\\0000";
    const std::string path = FTDIBUS + "&Pid_6001+FTXA\\0000";
    const std::string longest = "USB Serial Port COM" + std::string(236, '9'); // 255 characters
    // The stored text, raw, terminator included where there is one; the port ("-1": refused).
    const std::pair<std::string, std::string> rows[] = {
        {std::string("USB Serial Port (COM7)\0", 23), "COM7"},
        {"Port (COM7)", "COM7"}, // no terminator
        {std::string("USB Serial Port COM12\0", 22), "COM12"},
        {std::string("USB Serial Port (com7)\0", 23), "-1"},
        {longest, longest.substr(16)},
        {longest + "9", "-1"},
        {std::string("Port (COM7)\0", 12) + std::string(244, 'x'), "COM7"},
        {"Port (COM7)" + std::string(300, ' ') + '\0', "-1"},
    };
    for (const auto& [stored, expected] : rows) {
        SCOPED_TRACE(stored.substr(0, 30));
        SetMemoryRegistryValue(key, "FriendlyName", REGISTRY_STRING, stored);
        std::array<char, 256> port{};
        EXPECT_EQ(ReadFtdiPortName(path.c_str(), port.data(), port.size()) == 0 ? port.data()
                                                                                : "-1",
                  expected);
    }
    SetMemoryRegistryValue(USB + "FTA", "LocationInformation", REGISTRY_DWORD, "MQ-6");
    EXPECT_EQ(MatchUsbLocation((USB + "FTA").c_str()), -1) << "not a string";
    EXPECT_EQ(MatchUsbLocation((USB + "NONE").c_str()), -1);
}

TEST_F(RegistrySearchTest, RetryResetCountIsRaisedNeverLoweredNorCreatedWithoutRights) {
    enum Start { VALUE, NO_SERVICE_KEY, NO_PARAMETERS_KEY, NO_VALUE, STRING_VALUE };
    const std::tuple<Start, uint32_t, bool, int, uint32_t> rows[] = {
        {VALUE, 199, false, 0, 200},        {VALUE, 200, false, 0, 200},
        {NO_SERVICE_KEY, 0, false, 0, 200}, {NO_PARAMETERS_KEY, 0, false, 0, 200},
        {NO_VALUE, 0, false, -1, 0},        {STRING_VALUE, 0, false, -1, 0},
        {NO_SERVICE_KEY, 0, true, -1, 0},   {VALUE, 150, true, -1, 150},
    };
    for (auto [start, value, readOnly, result, after] : rows) {
        SCOPED_TRACE(testing::Message() << start << " " << value << (readOnly ? " read-only" : ""));
        SetMemoryRegistryReadOnly(false);
        ClearMemoryRegistry();
        AddMemoryRegistryKey(start == NO_PARAMETERS_KEY ? SERVICE
                                                        : "SYSTEM\\CurrentControlSet\\Services");
        if (start == VALUE)
            SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", value);
        if (start == NO_VALUE || start == STRING_VALUE)
            AddMemoryRegistryKey(PARAMETERS);
        if (start == STRING_VALUE)
            SetMemoryRegistryString(PARAMETERS, "RetryResetCount", "150");
        SetMemoryRegistryReadOnly(readOnly);
        EXPECT_EQ(RaiseFtdiRetryResetCount(), result);
        uint32_t count = 0; // stays 0 when there is no DWORD to read
        ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &count);
        EXPECT_EQ(count, after);
        EXPECT_EQ(MemoryRegistryHasKey(SERVICE), start != NO_SERVICE_KEY || !readOnly);
    }
}

// Without the FTDI driver's key none is listed (a count, never a failure); without a SERIALCOMM
// key to open no port is found, and the instance is listed, not attached.
TEST_F(RegistrySearchTest, CandidatesListEveryInstance) {
    std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
    auto row = [&](size_t i) {
        return std::string(list[i].location.data()) + "|" + list[i].product.data() + "|" +
               list[i].port.data() + "|" + std::to_string(list[i].named) +
               std::to_string(list[i].attached);
    };
    ASSERT_EQ(ListRegistryCandidates(list.data(), static_cast<int>(list.size())), 0) << "no key";
    Add("FTA,MQ-6,USB Serial Port (COM3)");
    std::array<char, 256> name;
    EXPECT_EQ(FindRegistryUnit(name.data(), name.size()), -1);
    ASSERT_EQ(ListRegistryCandidates(list.data(), static_cast<int>(list.size())), 1);
    EXPECT_EQ(row(0), "FTA|MQ-6|COM3|10");
    Add("FTB,Port_#0002.Hub_#0001,(COM4),VCP0,COM4");
    AddMemoryRegistryKey(USB + "FTD");
    AddMemoryRegistryKey(SERVICE); // comes after the instances: the listing stops there
    ASSERT_EQ(ListRegistryCandidates(list.data(), static_cast<int>(list.size())), 3);
    EXPECT_EQ(row(0) + " " + row(1) + " " + row(2),
              "FTA|MQ-6|COM3|10 FTB|Port_#0002.Hub_#0001|COM4|01 FTD|||00");
    EXPECT_EQ(ListRegistryCandidates(list.data(), 2), 2);
}

} // namespace
