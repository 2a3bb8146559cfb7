// Finding the unit on fake sysfs trees: which adapters count, the order when several are
// attached and the by-id name preferred over the bare terminal; then FindPort as the link
// calls it: the fixed port with AutoPort clear, the found one with it set, what is left alone
// when nothing is found, and the driver parameter (in the in-memory registry) on each path;
// last, `mq6 ports` on such trees and a command that finds the simulated unit through them.
#include "discovery/discovery.h"
#include "discovery/fake_sysfs.h"
#include "discovery/registry_posix.h"
#include "discovery/sysfs.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

TEST(SysfsTest, WhichAdapterIsTheUnitAndItsName) {
    const std::string BY_ID = "usb-FTDI_MQ-6_A10K2QX7-if00-port0";
    struct Row {
        const char* what;
        std::string devices; // as AddFakeUsbDevices takes them
        bool byId;           // links to ttyUSB0 (another adapter's) and ttyUSB1 (BY_ID)
        std::string found;   // "" none; "@" the by-id name
        std::string listed;  // each candidate: location, named, attached
        size_t capacity = 256;
    } const rows[] = {
        {"nothing attached", "", false, "", ""},
        {"usb path order, numbers not spelling", "1-1.10;2-1,ttyUSB2;1-1.2,ttyUSB1;1-1,-", false,
         "/dev/ttyUSB1", "1-1 10 1-1.2 11 1-1.10 11 2-1 11 "},
        {"only the exact product string of an 0403:6001",
         "1-1,ttyUSB0,FT232R USB UART;1-2,ttyUSB0,mq-6;1-3,ttyUSB0,MQ-6 ;1-5,ttyUSB0,-;"
         "1-5.1,ttyUSB0,MQ-6,-;1-6,ttyUSB0,MQ-6,0403:6015;1-7,ttyUSB0,MQ-6,046d:6001",
         false, "", "1-1 01 1-2 01 1-3 01 1-5 01 "},
        {"unit without terminal passed over", "1-1,-;1-2,ttyUSB3", false, "/dev/ttyUSB3",
         "1-1 10 1-2 11 "},
        {"another adapter's by-id link", "1-4,ttyUSB2", true, "/dev/ttyUSB2", "1-4 11 "},
        {"by-id name preferred", "1-4,ttyUSB1", true, "@", "1-4 11 "},
        {"name that does not fit passed over", "1-1,ttyUSB10;1-2,ttyUSB2", false, "/dev/ttyUSB2",
         "1-1 11 1-2 11 ", 13},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        std::string sysfs = dir.File("sys"), byId = dir.File("by-id");
        AddFakeUsbDevices(sysfs, row.devices);
        if (row.byId) {
            fs::create_directories(byId); // links as udev makes them in /dev/serial/by-id
            fs::create_symlink("../../ttyUSB0", byId + "/usb-FTDI_FT232R_OTHER-if00-port0");
            fs::create_symlink("../../ttyUSB1", byId + "/" + BY_ID);
        }
        std::array<char, 256> name;
        name.fill('#');
        int result = FindSysfsUnit(sysfs.c_str(), byId.c_str(), name.data(), row.capacity);
        EXPECT_EQ(result == 0 ? std::string(name.data()) : std::string(1, name[0]),
                  row.found == "@"    ? byId + "/" + BY_ID
                  : row.found.empty() ? "#"
                                      : row.found);
        std::array<PortCandidate, MAX_PORT_CANDIDATES> list;
        std::string listed;
        int count = ListSysfsCandidates(sysfs.c_str(), byId.c_str(), list.data(), int(list.size()));
        for (int i = 0; i < count; ++i)
            listed += std::string(list[size_t(i)].location.data()) + " " +
                      std::to_string(list[size_t(i)].named) +
                      std::to_string(list[size_t(i)].attached) + " ";
        EXPECT_EQ(listed, row.listed);
        if (count > 0 && row.found == "@") {
            EXPECT_EQ(list[0].port.data(), byId + "/" + BY_ID);
        }
    }
    // The driver's latency timer: a whole number of milliseconds from 0 to 255, or not told.
    for (auto [text, want] :
         {std::pair{"1", 1}, {"255", 255}, {"256", -1}, {"16ms", -1}, {"", -1}}) {
        SCOPED_TRACE(text);
        FakeRoots dir;
        AddFakeUsbDevice(dir.File("sys"),
                         {.usbPath = "1-3", .terminal = "ttyUSB3", .latency = text});
        PortCandidate adapter{};
        std::string("1-3").copy(adapter.location.data(), adapter.location.size() - 1);
        int32_t ms = 999; // left as it is when nothing is told
        EXPECT_EQ(ReadAdapterLatencyTimer(adapter, ms) == 0 ? ms : -1, want);
    }
}

const std::string PARAMETERS = "SYSTEM\\CurrentControlSet\\Services\\FTDIBUS\\Parameters";
const char* const UNIT = "3-2,ttyUSB4";

TEST(FindPortTest, WhatReachesPortNameTheBufferAndTheDriverParameter) {
    FakeRoots roots;
    const std::string base = roots.path;
    struct Row {
        const char* what;
        int autoPort;
        const char *stored, *devices, *link; // link: the udev link's target
        size_t size;                         // 0: no buffer
        int result;
        std::string buffer, portName;
        uint32_t retry;
    } const rows[] = {
        {"fixed port longer than the buffer", 0, "COM12345", "", "", 8, -1, "#", "COM12345", 150},
        {"fixed port that just fits, nothing attached", 0, "COM12345", "", "", 9, 0, "COM12345",
         "COM12345", 200},
        {"no unit", 1, "COM3", "1-1,ttyUSB0,FT232R USB UART", "", 64, -1, "#", "COM3", 150},
        {"found unit", 1, "COM3", UNIT, "", 64, 0, "/dev/ttyUSB4", "/dev/ttyUSB4", 200},
        {"the udev link wins", 1, "COM3", UNIT, "ttyUSB4", 64, 0, base + "/mq6", base + "/mq6",
         200},
        {"a dangling link does not", 1, "COM3", UNIT, "gone", 64, 0, "/dev/ttyUSB4", "/dev/ttyUSB4",
         200},
        {"a link with no room for its end does not", 1, "COM3", UNIT, "ttyUSB4", base.size() + 4, 0,
         "/dev/ttyUSB4", "/dev/ttyUSB4", 200},
        {"found name longer than the buffer", 1, "COM3", UNIT, "", 8, -1, "#", "COM3", 150},
    };
    std::ofstream(base + "/ttyUSB4").put('\n');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(base + "/sys");
        fs::remove(base + "/mq6");
        AddFakeUsbDevices(base + "/sys", row.devices);
        if (row.link[0] != '\0')
            fs::create_symlink(row.link, base + "/mq6");
        ClearMemoryRegistry();
        SetMemoryRegistryDword(PARAMETERS, "RetryResetCount", 150);
        StorePortName(row.stored);
        AutoPort.store(row.autoPort);
        std::array<char, 64> buffer;
        buffer.fill('#');
        EXPECT_EQ(FindPort(row.size == 0 ? nullptr : buffer.data(), row.size), row.result);
        EXPECT_EQ(buffer[0] == '#' ? std::string("#") : std::string(buffer.data()), row.buffer);
        EXPECT_EQ(std::string(PortName.data()), row.portName);
        uint32_t retry = 0;
        EXPECT_EQ(ReadMemoryRegistryDword(PARAMETERS, "RetryResetCount", &retry), 0);
        EXPECT_EQ(retry, row.retry);
    }
    ClearMemoryRegistry();
    AutoPort.store(1);
}

// The name passes between the main thread, discovery and the comm thread: a copy is always one
// name whole, never parts of two, and a name that does not fit is refused, never cut.
TEST(FindPortTest, PortNameIsHandedOverWholeAndANameThatDoesNotFitIsRefused) {
    const std::string names[] = {"COM3", "/dev/serial/by-id/usb-FTDI_MQ-6_A10-port0"};
    StorePortName(names[0]);
    EXPECT_EQ(StorePortName(std::string(PORT_NAME_SIZE, 'X')), -1);
    EXPECT_EQ(CopyPortName().data(), names[0]);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done.load(); ++i)
            StorePortName(names[i % 2]);
    });
    int torn = 0;
    for (int i = 0; i < 200000; ++i) {
        const std::string copy = CopyPortName().data();
        torn += copy != names[0] && copy != names[1];
    }
    done = true;
    writer.join();
    EXPECT_EQ(torn, 0);
}

TEST(CliDiscoveryTest, PortsAndACommandWithoutPort) {
    FakeRoots roots; // the children inherit where to look
    const std::string base = roots.path;
    // Two units, one of them the port found: one star (and the legend's), and a word of the other.
    AddFakeUsbDevices(base + "/sys", "1-1;1-2");
    ProcessResult ports = RunProcess(MQ6_CLI_PATH, {"ports"}, base);
    EXPECT_EQ(std::count(ports.out.begin(), ports.out.end(), '*'), 2) << ports.out;
    EXPECT_TRUE(
        Has(ports.out, "another MQ-6 unit is attached (1-2): give --port PATH to use it\n"));
    fs::remove_all(base + "/sys");
    AddFakeUsbDevices(base + "/sys", "1-1,ttyUSB0,FT232R USB UART");
    ports = RunProcess(MQ6_CLI_PATH, {"ports"}, base);
    EXPECT_EQ(ports.status, 2);
    EXPECT_TRUE(Has(ports.out, "  1-1 ")) << ports.out;
    EXPECT_TRUE(Has(ports.err, "no MQ-6 unit found")) << ports.err;
    // The unit's adapter, after the other one, has the simulator's pseudo-terminal for its
    // terminal, reached through the by-id link as udev would make it, and through /dev/mq6 once
    // the package's rule is there.
    SimProcess sim = StartSim({});
    ASSERT_FALSE(sim.path.empty()) << "mq6-sim did not start";
    PlugAdapter(base, "5", fs::read_symlink(sim.path));
    AddFakeUsbDevices(base + "/sys", "1-1,ttyUSB0,FT232R USB UART");
    for (std::string port : {base + "/by-id/usb-FTDI_MQ-6_A10K2QX5-if00-port0", base + "/mq6"}) {
        SCOPED_TRACE(port);
        if (port == base + "/mq6") { // and another MQ-6 adapter, whose port is not the unit's
            fs::create_symlink(base + "/dev/ttyUSB5", port);
            AddFakeUsbDevices(base + "/sys", "1-2,ttyUSB2");
        }
        ProcessResult info = RunProcess(MQ6_CLI_PATH, {"info", "-v"}, base);
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_TRUE(Has(info.err, "found the unit on " + port + "\nmq6: opened " + port +
                                      ", no low-latency mode on this port"))
            << info.err;
        ports = RunProcess(MQ6_CLI_PATH, {"ports"}, base);
        EXPECT_TRUE(Has(ports.out, "* 1-5 ")) << ports.out;
        EXPECT_FALSE(Has(ports.out, "* 1-2 ")) << ports.out;
        EXPECT_TRUE(Has(ports.out, "* the port used without --port: " + port));
        EXPECT_EQ(Has(ports.out, "another MQ-6 unit is attached (1-2)"), port == base + "/mq6");
    }
    StopSim(sim);
}

} // namespace
