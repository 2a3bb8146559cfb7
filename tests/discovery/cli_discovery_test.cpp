// mq6 without --port, end to end: `mq6 ports` on fake sysfs trees, and a command that finds
// the simulated unit through discovery.
#include "discovery/fake_sysfs.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(CliDiscoveryTest, PortsAndACommandWithoutPort) {
    FakeRoots roots; // the children inherit where to look
    const std::string base = roots.path;
    auto run = [&](const std::vector<std::string>& args) {
        return RunProcess(MQ6_CLI_PATH, args, base);
    };
    AddFakeUsbDevices(base + "/sys", "1-1,ttyUSB0,FT232R USB UART");
    ProcessResult ports = run({"ports"});
    EXPECT_EQ(ports.status, 2);
    EXPECT_NE(ports.out.find("  1-1 "), std::string::npos) << ports.out;
    EXPECT_NE(ports.err.find("no MQ-6 unit found"), std::string::npos) << ports.err;
    // The fake adapter's terminal is the simulator's pseudo-terminal, reached through the
    // by-id link as udev would make it, and through /dev/mq6 once the package's rule is there.
    SimProcess sim = StartSim({});
    ASSERT_FALSE(sim.path.empty()) << "mq6-sim did not start";
    fs::create_directories(base + "/dev");
    fs::create_symlink(fs::read_symlink(sim.path), base + "/dev/ttyUSB5");
    AddFakeUsbDevices(base + "/sys", "1-1.3,ttyUSB5");
    fs::create_directories(base + "/by-id");
    fs::create_symlink("../dev/ttyUSB5", base + "/by-id/usb-FTDI_MQ-6_A10K2QX7-if00-port0");
    for (std::string port : {base + "/by-id/usb-FTDI_MQ-6_A10K2QX7-if00-port0", base + "/mq6"}) {
        SCOPED_TRACE(port);
        if (port == base + "/mq6")
            fs::create_symlink(base + "/dev/ttyUSB5", port);
        ProcessResult info = run({"info", "-v"});
        EXPECT_EQ(info.status, 0) << info.err;
        EXPECT_NE(info.err.find("found the unit on " + port), std::string::npos) << info.err;
        EXPECT_NE(info.out.find("Unit mode: 0"), std::string::npos) << info.out;
        ports = run({"ports"});
        EXPECT_NE(ports.out.find("* 1-1.3 "), std::string::npos) << ports.out;
        EXPECT_NE(ports.out.find("* the port used without --port: " + port), std::string::npos);
    }
    StopSim(sim);
}

} // namespace
