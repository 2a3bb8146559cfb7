// mq6 without --port, end to end: `mq6 ports` on fake sysfs trees, and a command that finds
// the simulated unit through discovery.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

class CliDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        base = MakeTempDir();
        ASSERT_FALSE(base.empty());
        fs::create_directories(base + "/sys/bus/usb/devices");
        // The children inherit where to look.
        setenv("MQ6_SYSFS_ROOT", (base + "/sys").c_str(), 1);
        setenv("MQ6_SERIAL_BY_ID_DIR", (base + "/by-id").c_str(), 1);
        setenv("MQ6_UNIT_LINK", (base + "/mq6").c_str(), 1);
    }
    void TearDown() override {
        StopSim(sim);
        for (const char* name : {"MQ6_SYSFS_ROOT", "MQ6_SERIAL_BY_ID_DIR", "MQ6_UNIT_LINK"})
            unsetenv(name);
        RemoveTree(base);
    }
    ProcessResult Run(std::vector<std::string> args) {
        return RunProcess(MQ6_CLI_PATH, args, base);
    }
    std::string base;
    SimProcess sim;
};

TEST_F(CliDiscoveryTest, PortsWithoutTheUnit) {
    AddFakeUsbDevice(base + "/sys", {.usbPath = "1-1", .productName = "FT232R USB UART"});
    ProcessResult run = Run({"ports"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("  1-1 "), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("no MQ-6 unit found"), std::string::npos) << run.err;
}

TEST_F(CliDiscoveryTest, CommandWithoutPortTalksToTheFoundUnit) {
    sim = StartSim({});
    ASSERT_FALSE(sim.path.empty()) << "mq6-sim did not start";
    // The fake adapter's terminal is the simulator's pseudo-terminal, reached through the
    // by-id link as udev would make it, and through /dev/mq6 once the package's rule is there.
    fs::create_directories(base + "/dev");
    fs::create_symlink(fs::read_symlink(sim.path), base + "/dev/ttyUSB5");
    AddFakeUsbDevice(base + "/sys", {.usbPath = "1-1.3", .terminal = "ttyUSB5"});
    std::string byId = base + "/by-id/usb-FTDI_MQ-6_A10K2QX7-if00-port0";
    fs::create_directories(base + "/by-id");
    fs::create_symlink("../dev/ttyUSB5", byId);
    for (bool udevLink : {false, true}) {
        SCOPED_TRACE(udevLink ? "with /dev/mq6" : "without /dev/mq6");
        if (udevLink)
            fs::create_symlink(base + "/dev/ttyUSB5", base + "/mq6");
        std::string port = udevLink ? base + "/mq6" : byId;
        ProcessResult run = Run({"info", "-v"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("found the unit on " + port), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("Unit mode: 0"), std::string::npos) << run.out;
        run = Run({"ports"});
        EXPECT_NE(run.out.find("* 1-1.3 "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("* the port used without --port: " + port), std::string::npos);
    }
}

} // namespace
