// mq6 doctor against mq6-sim and fake sysfs trees: the verdict of each check, the live figures
// against what the simulated unit sends, and the report's last line.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// program, port, access, latency, unit, live, setup: the first letter of each status.
std::string Statuses(const std::string& report, bool json) {
    std::string letters;
    if (json) {
        nlohmann::json parsed = nlohmann::json::parse(report);
        for (const auto& check : parsed["checks"])
            letters += check["status"].get<std::string>()[0];
        return letters;
    }
    std::istringstream lines(report);
    for (std::string line, name, status; std::getline(lines, line);)
        if (std::istringstream(line) >> name >> status &&
            std::string(" program port access latency unit live setup ").find(" " + name + " ") !=
                std::string::npos)
            letters += status[0];
    return letters;
}

const nlohmann::json& Figures(const nlohmann::json& report, const char* name) {
    for (const auto& check : report["checks"])
        if (check["name"] == name)
            return check;
    return report;
}

// The build carries the sample image and key, so the program check warns in every row.
TEST(DoctorCliTest, EachCheckTellsWhatItSawAndTheReportEndsWithTheCounts) {
    const struct {
        const char* name;
        std::vector<std::string> sim; // empty: no simulator
        const char* port;             // "sim": the simulator's terminal; "": found in the fake tree
        const char* latency;          // the fake adapter's latency_timer leading to the terminal
        const char* hold;             // the test holds the terminal: "open", or "exclusive" as root
        std::vector<std::string> wrapper; // run mq6 under it
        std::vector<std::string> options;
        const char* statuses;
        int status;
        const char* seen;
    } rows[] = {
        {"clean",
         {"--rate", "50", "--profile", "const:0.90"},
         "sim",
         "",
         "",
         {},
         {"--json", "--seconds", "2"},
         "woooooo",
         0,
         "\"unit_mode\": 0"},
        // A flipped bit in any of the 8 bytes after the "W" spoils the sum; one in the "W" hides
        // the frame. So 1 - 0.999^8 = 0.00797 of the frames seen are bad (the seed keeps the
        // data block's 267 bytes whole).
        {"noise",
         {"--rate", "1000", "--noise", "0.001", "--seed", "4", "--profile", "const:0.90"},
         "sim",
         "",
         "",
         {},
         {"--json", "--seconds", "2"},
         "woooowo",
         0,
         "cable"},
        {"silent",
         {"--silent"},
         "sim",
         "",
         "",
         {},
         {},
         "wooofss",
         1,
         "7 checks: 3 ok, 1 warn, 1 fail, 2 skipped\n"},
        {"in its loader",
         {"--unit-mode", "1", "--start-in-loader"},
         "sim",
         "",
         "",
         {},
         {},
         "wooofss",
         1,
         "firmware update mode: an update did not finish; mq6 firmware update finishes it"},
        {"latency timer 16",
         {},
         "",
         "16",
         "",
         {},
         {"--json", "--seconds", "0.5"},
         "woowooo",
         0,
         "\"latency_timer_ms\": 16"},
        {"latency timer 1",
         {},
         "",
         "1",
         "",
         {},
         {"--json", "--seconds", "0.5"},
         "woooooo",
         0,
         "by its by-id name"},
        {"no candidate", {}, "", "", "", {}, {}, "wfsssss", 1, "no MQ-6 unit found"},
        {"held", {}, "sim", "", "open", {}, {}, "wofosss", 1, "another program: mq6_tests (pid "},
        {"not this user's",
         {},
         "sim",
         "",
         "",
         {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
         {},
         "wofosss",
         1,
         "user nobody may not open it"},
        // Root's programs are hidden from another user, whose open then meets the exclusive mode.
        {"held, not seen",
         {},
         "sim",
         "",
         "exclusive",
         {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
         {},
         "wofosss",
         1,
         ": in use by another program"},
        {"Ctrl-C",
         {},
         "sim",
         "",
         "",
         {"/usr/bin/timeout", "--preserve-status", "-s", "INT", "1.5"},
         {"--seconds", "30"},
         "woooooo",
         0,
         "interrupted after 1."},
    };
    for (auto row : rows) {
        SCOPED_TRACE(row.name);
        FakeRoots dir;
        row.sim.insert(row.sim.end(), {"--log", dir.File("log")});
        SimProcess sim = StartSim(row.sim);
        std::string pty = fs::read_symlink(sim.path);
        if (*row.latency != '\0') {
            fs::create_directories(dir.File("by-id"));
            fs::create_symlink(pty, dir.File("ttyUSB3"));
            fs::create_symlink(dir.File("ttyUSB3"), dir.File("by-id/usb-FTDI_MQ-6_A-if00-port0"));
            AddFakeUsbDevice(dir.File("sys"),
                             {.usbPath = "1-3", .terminal = "ttyUSB3", .latency = row.latency});
        }
        int held = *row.hold == '\0' ? -1 : open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (std::string(row.hold) == "exclusive") {
            ASSERT_TRUE(ioctl(held, TIOCEXCL) == 0 && chmod(pty.c_str(), 0666) == 0);
        }
        std::vector<std::string> args = row.wrapper;
        args.push_back(MQ6_CLI_PATH);
        if (*row.port != '\0')
            args.insert(args.end(), {"--port", pty});
        args.push_back("doctor");
        args.insert(args.end(), row.options.begin(), row.options.end());
        ProcessResult run = RunProcess(args[0], {args.begin() + 1, args.end()}, dir.path);
        if (held >= 0)
            close(held);
        StopSim(sim);
        bool json = !row.options.empty() && row.options[0] == "--json";
        EXPECT_EQ(Statuses(run.out, json), row.statuses) << run.out << run.err;
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.out.find(row.seen), std::string::npos) << run.out;
        std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
        // Only the requests of mq6 info and mq6 live, and a stream asked for is stopped.
        for (const std::vector<uint8_t>& frame : requests)
            EXPECT_TRUE(frame[0] == 'R' ? frame[1] == 0 || frame[1] == 7 : frame[1] == 3);
        if (!requests.empty() && requests.back()[0] == 'R') {
            EXPECT_EQ(requests.back()[1] + requests.back()[2], 0) << "the stream was left on";
        }
        if (!json || run.status != 0)
            continue;
        nlohmann::json report = nlohmann::json::parse(run.out);
        const nlohmann::json& live = Figures(report, "live");
        if (row.name == std::string("clean")) {
            EXPECT_NEAR(live["frames_per_second"].get<double>(), 50.0, 2.5);
            // const:0.90 sends raw 0x1D7069: 1929321 / 256 / 32767 + 0.67 = 0.89999.
            EXPECT_NEAR(live["lambda_min"].get<double>(), 0.9, 0.0001);
            EXPECT_NEAR(live["lambda_max"].get<double>(), 0.9, 0.0001);
            EXPECT_EQ(live["bad_share"].get<double>(), 0.0);
        }
        if (row.name == std::string("noise")) {
            EXPECT_GE(live["frames"].get<int>(), 1000) << live;
            EXPECT_GT(live["bad_share"].get<double>(), 0.00797 / 2) << live;
            EXPECT_LT(live["bad_share"].get<double>(), 0.00797 * 2) << live;
        }
    }
}

// Every command says why a port did not open, and where to look further.
TEST(DoctorCliTest, OtherCommandsSayWhyThePortDidNotOpen) {
    const std::pair<const char*, const char*> rows[] = {
        {"/dev/null", "cannot open /dev/null: not a serial terminal\n"},
        {"/nonexistent", "cannot open /nonexistent: no such file or device\n"},
    };
    TempDir dir;
    for (const auto& [port, reason] : rows) {
        SCOPED_TRACE(port);
        ProcessResult run = RunProcess(MQ6_CLI_PATH, {"--port", port, "info"}, dir.path);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, std::string("mq6: ") + reason +
                               "mq6: run mq6 doctor for a report on the port, the adapter and "
                               "the link\n");
    }
}

} // namespace
