// mq6 doctor against mq6-sim and fake sysfs trees: what its probes see of the system and the unit,
// the live figures against what the simulated unit sends, and the requests the unit gets.
#include "discovery/fake_sysfs.h"
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The probes end to end, in the JSON report; what the verdicts make of the facts is
// DoctorJudgeTest's. Statuses are the first letters of program, port, access, latency, unit,
// live and setup's; the build carries the sample image and key, so program warns in every row. The
// command's words: PTY is --port and the simulator's terminal; NOBODY runs it as user 65534, INT
// stops it with Ctrl-C after 1.5 s; HOLD and HOLDX have the test hold the terminal (HOLDX in
// exclusive mode, open to all); LATENCY=N puts an adapter with that latency_timer before it, TWO a
// second unit's adapter after it.
TEST(DoctorCliTest, EachProbeSeesTheSystemAndTheUnitAndTheStreamIsStopped) {
    // The case, the simulator's options, the command's words, the statuses, the exit status and a
    // part of the report.
    const std::tuple<const char*, const char*, const char*, const char*, int, const char*> rows[] =
        {{"clean", "--rate 50 --profile const:0.90", "PTY --seconds 2", "woooooo", 0,
          "\"banner\": \"MQ-6 LSU 4.2 Controller\",\n      \"version\": \"1.01\",\n      "
          "\"unit_mode\": 0"},
         // Gone as it takes the stream request (the third): no frame, nothing reconnected, and a
         // stream nobody can stop. Its link goes with it: the terminal's number may go to
         // another.
         {"gone", "--vanish-after 42", "LINK --seconds 0.5", "woooofo", 1,
          "\"reconnections\": 0,\n      \"port_gone\": true,\n      \"lambda_min\": 0.0,\n      "
          "\"lambda_max\": 0.0,\n      \"lambda_mean\": 0.0\n"},
         {"two units, a latency timer of 16", "", "LATENCY=16 TWO --seconds 0.5", "wwowooo", 0,
          "latency timer 16 ms; the adapter holds each reply back up to 16 ms\""},
         {"held", "", "PTY HOLD", "wofosss", 1, "another program: mq6_tests (pid "},
         // Root's programs are hidden from another user, whose open then meets the exclusive
         // mode.
         {"held, not seen", "", "PTY NOBODY HOLDX", "wofosss", 1,
          ": in use by another program\",\n      \"hint\": \"another user's program holds it, "
          "or"},
         {"Ctrl-C", "", "PTY INT --seconds 30", "woooooo", 0, "\"detail\": \"interrupted after "}};
    for (auto [name, simWordsText, command, statusesWanted, status, seen] : rows) {
        SCOPED_TRACE(name);
        FakeRoots dir;
        std::vector<std::string> wrapper, options{"doctor", "--json"};
        SimProcess sim = StartSim(Split("--log " + dir.File("log") + " " + simWordsText, ' '));
        std::string pty = fs::read_symlink(sim.path);
        int held = -1;
        for (const std::string& word : Split(command, ' ')) {
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
            } else if (word == "TWO") {
                AddFakeUsbDevice(dir.File("sys"),
                                 {.usbPath = "1-4", .serial = "B", .terminal = "ttyUSB4"});
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
        bool gone = std::string(name).starts_with("gone"); // none stops a stream there
        WaitFor([&] { return gone || stopped(); }, PATIENCE_MS);
        StopSim(sim);
        nlohmann::json report = nlohmann::json::parse(run.out);
        std::string statuses;
        for (const auto& check : report["checks"])
            statuses += check["status"].get<std::string>()[0];
        EXPECT_EQ(statuses, statusesWanted) << run.out << run.err;
        EXPECT_EQ(run.status, status);
        EXPECT_NE(run.out.find(seen), std::string::npos) << run.out;
        // Only the requests of mq6 info and mq6 live, and a stream asked for is stopped.
        for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.File("log")))
            EXPECT_TRUE(frame[0] == 'R' ? frame[1] == 0 || frame[1] == 7 : frame[1] == 3);
        EXPECT_TRUE(stopped() || gone) << "the stream was left on";
        if (name != std::string("clean"))
            continue;
        nlohmann::json live = report["checks"][5]; // in the order above
        ASSERT_EQ(live["name"], "live");
        // Counted over the run's wall time: a busy machine may cut a few frames at its ends.
        EXPECT_NEAR(live["unit_frames_per_second"].get<double>(), 50.0, 5.0);
        // const:0.90 sends raw 0x1D7069: 1929321 / 256 / 32767 + 0.67 = 0.89999.
        EXPECT_NEAR(live["lambda_min"].get<double>(), 0.9, 0.0001);
        EXPECT_NEAR(live["lambda_max"].get<double>(), 0.9, 0.0001);
        EXPECT_EQ(live["bad_share"].get<double>(), 0.0);
    }
}

// The access check under a user and group database of the test's own (nss_wrapper): whether the
// user holds the node's group now, gets it at the next login, or not at all. Ann (65534) is
// listed in desk, not in ports nor in 4299, which has no name; the node's owner 4300 has none.
TEST(DoctorCliTest, AccessTellsAGroupHeldNowFromOneTheNextLoginBrings) {
    // Ann's group and other groups; the node's group and mode; the words.
    const std::tuple<const char*, gid_t, mode_t, const char*> rows[] = {
        {"4242 --groups=4244", 4242, 0660, "-rw-rw---- 4300:ports, user ann may open it"},
        {"4244 --groups=4244,4242", 4242, 0660, "-rw-rw---- 4300:ports, user ann may open it"},
        {"4244 --groups=4244", 4243, 0660, "ann is in the group desk but this login began"},
        // A new login would not let her write it either.
        {"4244 --groups=4244", 4243, 0640, "\"hint\": \"only the node's owner may use it"},
        {"4244 --groups=4244", 4242, 0660, "join the group ports (sudo usermod -aG ports ann)"},
        {"4244 --groups=4244", 4299, 0660, "join the group 4299 (sudo usermod -aG 4299 ann)"},
    };
    TempDir dir;
    const std::string port = dir.File("port");
    WriteText(dir.File("pw"), "ann:x:65534:65534::/:/bin/sh\n");
    WriteText(dir.File("gr"), "ports:x:4242:\ndesk:x:4243:ann\nother:x:4244:\n");
    WriteText(port, "");
    ASSERT_EQ(chmod(dir.path.c_str(), 0711), 0);
    for (auto [ids, gid, mode, seen] : rows) {
        SCOPED_TRACE(seen);
        ASSERT_EQ(chown(port.c_str(), 4300, gid) | chmod(port.c_str(), mode), 0);
        // The AddressSanitizer's runtime lets the wrapper come first.
        const char* asan = std::getenv("ASAN_OPTIONS");
        std::string words = "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") +
                            ":verify_asan_link_order=0 LD_PRELOAD=libnss_wrapper.so " +
                            "NSS_WRAPPER_PASSWD=" + dir.File("pw") +
                            " NSS_WRAPPER_GROUP=" + dir.File("gr") + " setpriv --reuid=65534 " +
                            "--regid=" + ids + " " + MQ6_CLI_PATH + " doctor --json --port " + port;
        ProcessResult run = RunProcess("/usr/bin/env", Split(words, ' '), dir.path);
        EXPECT_NE(run.out.find(seen), std::string::npos) << run.out << run.err;
    }
}

} // namespace
