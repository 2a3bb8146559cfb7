// mq6 doctor against mq6-sim and fake sysfs trees: the verdict of each check, the live figures
// against what the simulated unit sends, and the report's last line.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/pty_peer.h"
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

// The build carries the sample image and key, so the program check warns in every row. The
// command's words: PTY is --port and the simulator's terminal; NOBODY runs it as user 65534,
// INT stops it with Ctrl-C after 1.5 s; HOLD and HOLDX have the test hold the terminal (HOLDX in
// exclusive mode, open to all); LATENCY=N puts an adapter with that latency_timer before it.
// STATE is a state file holding a setup the view would correct: channel A's first point at 7.5 V
// and a Response code of no rate, put into the state the simulated unit keeps (magic and flags, 16
// bytes, then the data block).
TEST(DoctorCliTest, EachCheckTellsWhatItSawAndTheReportEndsWithTheCounts) {
    const struct {
        const char *name, *sim, *command, *statuses;
        int status;
        const char* seen;
    } rows[] = {
        {"clean", "--rate 50 --profile const:0.90", "PTY --json --seconds 2", "woooooo", 0,
         "\"unit_mode\": 0"},
        // A flipped bit in any of the 8 bytes after the "W" spoils the sum; one in the "W" hides
        // the frame. So 1 - 0.999^8 = 0.00797 of the frames seen are bad (the seed keeps the
        // data block's 267 bytes whole).
        {"noise", "--rate 1000 --noise 0.001 --seed 4 --profile const:0.90",
         "PTY --json --seconds 2", "woooowo", 0, "cable"},
        {"silent", "--silent", "PTY", "wooofss", 1, "7 checks: 3 ok, 1 warn, 1 fail, 2 skipped\n"},
        // Gone as it takes the stream request (the third): no frame, nothing reconnected, and a
        // stream nobody can stop; gone after frames (the second stream request, 2 s in): the
        // gap runs to the run's end. Either way the cable or adapter is named. Both name the
        // simulator's link, which goes with it: the terminal's number may go to another unit.
        {"gone", "--vanish-after 42", "LINK --json --seconds 0.5", "woooofo", 1,
         "\"reconnections\": 0,\n      \"port_gone\": true,\n      \"lambda_min\": 0.0,\n      "
         "\"lambda_max\": 0.0,\n      \"lambda_mean\": 0.0\n"},
        {"gone after frames", "--vanish-after 56", "LINK --seconds 4", "woooofo", 1,
         "longest gap 1."},
        // Back 300 ms after going: one reconnection, and the port is there at the end.
        {"back", "--vanish-after 56 --reappear-ms 300", "LINK --json --seconds 3", "woooowo", 0,
         "\"reconnections\": 1,\n      \"port_gone\": false"},
        {"in its loader", "--unit-mode 1 --start-in-loader", "PTY", "wooofss", 1,
         "firmware update mode: a firmware update did not finish; mq6 firmware update finishes it"},
        {"latency timer 16", "", "LATENCY=16 --json --seconds 0.5", "woowooo", 0,
         "\"latency_timer_ms\": 16"},
        {"latency timer 1", "", "LATENCY=1 --json --seconds 0.5", "woooooo", 0, "by-id name"},
        {"latency timer hidden", "", "LATENCY= --seconds 0.5", "woowooo", 0, "does not show the"},
        {"no candidate", "", "", "wfsssss", 1, "no MQ-6 unit found"},
        {"held", "", "PTY HOLD", "wofosss", 1, "another program: mq6_tests (pid "},
        {"not this user's", "", "PTY NOBODY", "wofosss", 1, "user nobody may not open it"},
        // Root's programs are hidden from another user, whose open then meets the exclusive mode.
        {"held, not seen", "", "PTY NOBODY HOLDX", "wofosss", 1, ": in use by another program"},
        {"Ctrl-C", "", "PTY INT --seconds 30", "woooooo", 0, "interrupted after 1."},
        {"setup outside the view", "--state STATE", "PTY --seconds 0.5", "wooooow", 0,
         "setup    warn    outside the view's ranges: a1_volts 7.5 (0 to 5), a_response code 66 "
         "(none of the seven rates); channel B: WB, linear\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeRoots dir;
        std::vector<std::string> simArgs{"--log", dir.File("log")}, wrapper, options{"doctor"};
        std::istringstream simWords(row.sim), words(row.command);
        for (std::string word; simWords >> word;)
            simArgs.push_back(word == "STATE" ? dir.File("state") : word);
        if (std::string(row.sim).ends_with("STATE")) {
            SimProcess setup = StartSim({"--state", dir.File("state")});
            RunProcess(
                MQ6_CLI_PATH,
                {"--port", setup.path, "setup", "write", "--defaults", "--b-mode", "wb", "--yes"},
                dir.path);
            StopSim(setup);
            std::string state = ReadText(dir.File("state"));
            state.at(16 + 4 + 7) = 75; // the setup block from data block byte 4; A1 volts x 10 at 7
            state.at(16 + 4 + 5) = 33; // A's Response code / 2 at 5: 66, none of the rates
            WriteText(dir.File("state"), state);
        }
        SimProcess sim = StartSim(simArgs);
        std::string pty = fs::read_symlink(sim.path);
        int held = -1;
        for (std::string word; words >> word;) {
            if (word == "PTY" || word == "LINK") {
                options.insert(options.begin(), {"--port", word == "PTY" ? pty : sim.path});
            } else if (word == "NOBODY") {
                wrapper = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            } else if (word == "INT") {
                wrapper = {"/usr/bin/timeout", "--preserve-status", "-s", "INT", "1.5"};
            } else if (word.starts_with("HOLD")) {
                held = open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
                ASSERT_TRUE(word == "HOLD" ||
                            (ioctl(held, TIOCEXCL) == 0 && chmod(pty.c_str(), 0666) == 0));
            } else if (word.starts_with("LATENCY=")) {
                fs::create_directories(dir.File("by-id"));
                fs::create_symlink(pty, dir.File("ttyUSB3"));
                fs::create_symlink(dir.File("ttyUSB3"),
                                   dir.File("by-id/usb-FTDI_MQ-6_A-if00-port0"));
                AddFakeUsbDevice(
                    dir.File("sys"),
                    {.usbPath = "1-3", .terminal = "ttyUSB3", .latency = word.substr(8)});
            } else {
                options.push_back(word);
            }
        }
        wrapper.push_back(MQ6_CLI_PATH);
        wrapper.insert(wrapper.end(), options.begin(), options.end());
        ProcessResult run = RunProcess(wrapper[0], {wrapper.begin() + 1, wrapper.end()}, dir.path);
        if (held >= 0)
            close(held);
        // A unit starved by a loaded machine may not have logged the stop yet.
        auto stopped = [&] {
            std::vector<std::vector<uint8_t>> log = ReadRequestLog(dir.File("log"));
            return log.empty() || log.back()[0] != 'R' || log.back()[1] + log.back()[2] == 0;
        };
        bool gone = std::string(row.name).starts_with("gone"); // none stops a stream there
        WaitFor([&] { return gone || stopped(); }, PATIENCE_MS);
        StopSim(sim);
        bool json = std::string(row.command).find("--json") != std::string::npos;
        EXPECT_EQ(Statuses(run.out, json), row.statuses) << run.out << run.err;
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.out.find(row.seen), std::string::npos) << run.out;
        std::vector<std::vector<uint8_t>> requests = ReadRequestLog(dir.File("log"));
        // Only the requests of mq6 info and mq6 live, and a stream asked for is stopped.
        for (const std::vector<uint8_t>& frame : requests)
            EXPECT_TRUE(frame[0] == 'R' ? frame[1] == 0 || frame[1] == 7 : frame[1] == 3);
        EXPECT_TRUE(stopped() || gone) << "the stream was left on";
        if (!json || run.status != 0)
            continue;
        nlohmann::json live = nlohmann::json::parse(run.out)["checks"][5]; // in the order above
        ASSERT_EQ(live["name"], "live");
        if (row.name == std::string("clean")) {
            // Counted over the run's wall time: a busy machine may cut a few frames at its ends.
            EXPECT_NEAR(live["unit_frames_per_second"].get<double>(), 50.0, 5.0);
            // const:0.90 sends raw 0x1D7069: 1929321 / 256 / 32767 + 0.67 = 0.89999.
            EXPECT_NEAR(live["lambda_min"].get<double>(), 0.9, 0.0001);
            EXPECT_NEAR(live["lambda_max"].get<double>(), 0.9, 0.0001);
            EXPECT_EQ(live["bad_share"].get<double>(), 0.0);
        }
        if (row.name == std::string("noise")) {
            EXPECT_GE(live["frames"].get<int>(), 500) << live;
            EXPECT_GT(live["bad_share"].get<double>(), 0.00797 / 2) << live;
            EXPECT_LT(live["bad_share"].get<double>(), 0.00797 * 2) << live;
        }
    }
}

} // namespace
