// mq6 without --port, end to end: `mq6 ports` on fake sysfs trees, a command that finds the
// simulated unit through discovery, and the message for a port the user may not open.
#include "discovery/fake_sysfs.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uid_t NOBODY = 65534;

struct CliRun {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class CliDiscoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        base = MakeTempDir();
        ASSERT_FALSE(base.empty());
        // Runs as another user (below) must reach the files made here.
        chmod(base.c_str(), 0755);
        sysfs = base + "/sys";
        byId = base + "/by-id";
        fs::create_directories(sysfs + "/bus/usb/devices");
    }
    void TearDown() override {
        StopSim(sim);
        RemoveTree(base);
    }

    // Runs mq6 with args, pointed at the fake tree; as an unprivileged user when asked and
    // the test runs as root (root opens busy and protected ports regardless).
    CliRun Run(const std::vector<std::string>& args, bool unprivileged = false) {
        std::vector<std::string> text = {MQ6_CLI_PATH};
        text.insert(text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : text)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::string out = base + "/stdout";
        std::string err = base + "/stderr";
        pid_t pid = fork();
        if (pid == 0) {
            int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            setenv("MQ6_SYSFS_ROOT", sysfs.c_str(), 1);
            setenv("MQ6_SERIAL_BY_ID_DIR", byId.c_str(), 1);
            setenv("MQ6_UNIT_LINK", (base + "/mq6").c_str(), 1);
            if (unprivileged && geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(NOBODY) != 0 || setuid(NOBODY) != 0))
                _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        CliRun run;
        int raw = 0;
        while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadText(out);
        run.err = ReadText(err);
        return run;
    }

    std::string base;
    std::string sysfs;
    std::string byId;
    SimProcess sim;
};

TEST_F(CliDiscoveryTest, PortsWithNothingAttached) {
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1", .productName = "FT232R USB UART"});
    CliRun run = Run({"ports"});
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
    AddFakeUsbDevice(sysfs, {.usbPath = "1-1.3", .terminal = "ttyUSB5"});
    fs::create_directories(byId);
    fs::create_symlink("../dev/ttyUSB5", byId + "/usb-FTDI_MQ-6_A10K2QX7-if00-port0");
    for (bool udevLink : {false, true}) {
        SCOPED_TRACE(udevLink ? "with /dev/mq6" : "without /dev/mq6");
        if (udevLink)
            fs::create_symlink(base + "/dev/ttyUSB5", base + "/mq6");
        std::string port = udevLink ? base + "/mq6" : byId + "/usb-FTDI_MQ-6_A10K2QX7-if00-port0";
        CliRun run = Run({"-v", "info"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("found the unit on " + port), std::string::npos) << run.err;
        EXPECT_NE(run.out.find("Unit mode: 0"), std::string::npos) << run.out;
        run = Run({"ports"});
        EXPECT_NE(run.out.find("* 1-1.3 "), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("* the port used without --port: " + port), std::string::npos)
            << run.out;
    }
}

TEST_F(CliDiscoveryTest, ForbiddenPortNamesTheDialoutGroup) {
    std::string port = base + "/ttyS9";
    std::ofstream(port).put('\n');
    chmod(port.c_str(), geteuid() == 0 ? 0600 : 0000);
    CliRun run = Run({"--port", port, "info"}, true);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no permission to open " + port), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("dialout"), std::string::npos) << run.err;
}

} // namespace
