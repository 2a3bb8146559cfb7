// Finding the unit in sysfs, on fake trees: which adapters count, the order when several
// are attached, and the by-id name preferred over the bare terminal.
#include "discovery/fake_sysfs.h"
#include "discovery/sysfs.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

TEST(SysfsTest, WhichAdapterIsTheUnitAndItsName) {
    using D = FakeUsbDevice;
    const std::string BY_ID = "usb-FTDI_MQ-6_A10K2QX7-if00-port0";
    struct Row {
        const char* what;
        std::vector<D> devices;
        std::vector<std::pair<std::string, std::string>> byId; // name, terminal
        std::string found;                                     // "" none; "@" the by-id name
        std::string listed; // each candidate: location, named, attached
        size_t capacity = 256;
    } const rows[] = {
        {"nothing attached", {}, {}, "", ""},
        {"another USB device",
         {{.usbPath = "1-3", .vendor = "046d", .product = "c52b"}},
         {},
         "",
         ""},
        {"one unit", {{.usbPath = "1-1.2"}}, {}, "/dev/ttyUSB0", "1-1.2 11 "},
        {"usb path order, numbers not spelling",
         {{.usbPath = "1-1.10", .terminal = "ttyUSB0"},
          {.usbPath = "2-1", .terminal = "ttyUSB2"},
          {.usbPath = "1-1.2", .terminal = "ttyUSB1"}},
         {},
         "/dev/ttyUSB1",
         "1-1.2 11 1-1.10 11 2-1 11 "},
        {"only the exact product string",
         {{.usbPath = "1-1", .productName = "FT232R USB UART"},
          {.usbPath = "1-2", .productName = "mq-6"},
          {.usbPath = "1-3", .productName = "MQ-6 "},
          {.usbPath = "1-4", .productName = "MQ-60"},
          {.usbPath = "1-5", .productName = ""},
          {.usbPath = "1-6", .product = "6015"}},
         {},
         "",
         "1-1 01 1-2 01 1-3 01 1-4 01 1-5 01 "},
        {"unit without terminal passed over",
         {{.usbPath = "1-1", .terminal = ""}, {.usbPath = "1-2", .terminal = "ttyUSB3"}},
         {},
         "/dev/ttyUSB3",
         "1-1 10 1-2 11 "},
        {"another adapter's by-id link",
         {{.usbPath = "1-4", .terminal = "ttyUSB1"}},
         {{"usb-FTDI_FT232R_OTHER-if00-port0", "ttyUSB0"}},
         "/dev/ttyUSB1",
         "1-4 11 "},
        {"by-id name preferred",
         {{.usbPath = "1-4", .terminal = "ttyUSB1"}},
         {{BY_ID, "ttyUSB1"}},
         "@",
         "1-4 11 "},
        {"name that does not fit passed over",
         {{.usbPath = "1-1", .terminal = "ttyUSB10"}, {.usbPath = "1-2", .terminal = "ttyUSB2"}},
         {},
         "/dev/ttyUSB2",
         "1-1 11 1-2 11 ",
         13},
        {"nothing fits", {{.usbPath = "1-2", .terminal = "ttyUSB2"}}, {}, "", "1-2 11 ", 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string base = MakeTempDir(), sysfs = base + "/sys", byId = base + "/by-id";
        for (const D& device : row.devices)
            AddFakeUsbDevice(sysfs, device);
        for (const auto& [name, terminal] : row.byId)
            AddByIdLink(byId, name, terminal);
        std::array<char, 256> name;
        name.fill('#');
        int result = FindSysfsUnit(sysfs.c_str(), byId.c_str(), name.data(), row.capacity);
        EXPECT_EQ(result == 0 ? std::string(name.data()) : std::string(1, name[0]),
                  row.found == "@"    ? byId + "/" + BY_ID
                  : row.found.empty() ? "#"
                                      : row.found);
        std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
        std::string listed;
        int count = ListSysfsCandidates(sysfs.c_str(), byId.c_str(), list.data(),
                                        static_cast<int>(list.size()));
        for (int i = 0; i < count; ++i)
            listed += std::string(list[size_t(i)].location.data()) + " " +
                      std::to_string(list[size_t(i)].named) +
                      std::to_string(list[size_t(i)].attached) + " ";
        EXPECT_EQ(listed, row.listed);
        if (count > 0 && row.found == "@") {
            EXPECT_EQ(list[0].port.data(), byId + "/" + BY_ID);
        }
        RemoveTree(base);
    }
}

} // namespace
