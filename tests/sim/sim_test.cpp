// mq6-sim over its real pseudo-terminal, driven with frames written out byte for byte, and
// what it says before it opens one.
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

constexpr const char* Z_N = "5A 4E 00 00 00 00 A8";

// reply: the whole reply, a data block's header and type alone, or "" for nothing within the
// link's 250 ms wait for a reply's first bytes.
struct Step {
    const char* request;
    const char* reply;
    int modeByte = -1; // byte 255 of a data block, checked for every data block
};

class SimTest : public ::testing::Test {
  protected:
    SimProcess sim;
    PtyPeer port;

    // The simulator leaves its line raw, so the port is used as it opens.
    void SetUp() override {
        sim = StartSim({});
        port.master = open(sim.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(port.master, 0) << "mq6-sim did not start";
    }
    void TearDown() override {
        close(std::exchange(port.master, -1));
        StopSim(sim);
    }
    void RunSteps(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.request);
            Bytes reply = Hex(step.reply);
            size_t length = reply.size() == 2 ? 260 : reply.size();
            PeerWrite(port, Hex(step.request));
            Bytes got = PeerRead(port, length == 0 ? 1 : length, length == 0 ? 250 : PATIENCE_MS);
            ASSERT_EQ(got.size(), length);
            EXPECT_EQ(Bytes(got.begin(), got.begin() + reply.size()), reply);
            if (reply.size() == 2) {
                EXPECT_EQ(UnitFrame(got[0], got[1], Bytes(got.begin() + 2, got.end() - 2)), got);
                EXPECT_EQ(got[2 + 255], step.modeByte);
            }
        }
    }
};

// At 9600 baud a data block (260 bytes of 10 bits) takes at least 0.27 s; with --noise 1 each
// byte has one bit flipped.
TEST_F(SimTest, BaudPacesTheLineAndFullNoiseFlipsOneBitOfEveryByte) {
    SimProcess noisy = StartSim({"--baud", "9600", "--noise", "1", "--seed", "5"});
    PtyPeer line{open(noisy.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    Bytes clean, flipped;
    for (auto [peer, reply] : {std::pair(&port, &clean), {&line, &flipped}}) {
        // Timed from the request's write: a test held up just after it could miss the reply's
        // start.
        auto start = std::chrono::steady_clock::now();
        PeerWrite(*peer, Hex("52 07 20*10 01 99"));
        *reply = PeerRead(*peer, 260, PATIENCE_MS);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(peer == &port || took.count() >= 0.27) << took.count();
    }
    close(line.master);
    StopSim(noisy);
    ASSERT_EQ(flipped.size(), clean.size());
    for (size_t i = 0; i < clean.size(); ++i)
        EXPECT_EQ(__builtin_popcount(clean[i] ^ flipped[i]), 1) << "byte " << i;
}

// With --corrupt 1 every reply's sum has one bit flipped: after the stream's status, 100 frames
// of lambda 0.90 (raw 1D 70 69) at 14.70 (05 BE), whose sum is 02 10.
TEST(SimFaultsTest, FullCorruptionFlipsOneBitOfEverySum) {
    SimProcess sim = StartSim({"--corrupt", "1", "--rate", "1000", "--profile", "const:0.90"});
    PtyPeer line{open(sim.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    PeerWrite(line, Hex("52 00 08 00*9 00 5A"));
    Bytes got = PeerRead(line, 7 + 100 * 9, PATIENCE_MS);
    close(line.master);
    StopSim(sim);
    ASSERT_EQ(got.size(), 907u);
    for (size_t at = 7; at < got.size(); at += 9) {
        EXPECT_EQ(Bytes(&got[at], &got[at + 7]), Hex("57 00 1D 70 69 05 BE")) << at;
        EXPECT_EQ(__builtin_popcount((got[at + 7] << 8 | got[at + 8]) ^ 0x0210), 1) << at;
    }
}

// Requests the program should never send are refused; in the loader the application is silent
// but for a second load mode request, and the loader's data block tells its mode. The worked frames
// of a whole update and a setup write reach the simulator in the transfer and cli tests.
TEST_F(SimTest, MalformedRequestsAreRefusedAndTheLoaderAnswersInstead) {
    RunSteps({{"52 07 20*10 01 98", ""},
              {"00 52 13 37 52 07 20*10 01 99", "57 45", 0},
              {"52 00 05 00*9 00 57", "57 4E 00 00 00 00 A5"},
              {"52 07 00*10 00 59", "57 4E 00 00 00 00 A5"},
              {"52 0F 4C 6F 61 64 4D 6F 64 65 03 20 03 89", Z_N},
              {"52 0F 4C 6F 61 64 4D 6F 64 65 01 20 03 87", "5A 41 00 00 00 00 9B"},
              {"52 07 20*10 01 99", ""},
              {"52 0F 4C 6F 61 64 4D 6F 64 65 01 20 03 87", "5A 41 00 00 00 00 9B"},
              {"5A 03 20*18 02 9D", "5A 45", 1},
              {"5A 00 FF F8 00*16 02 51", Z_N},
              {"5A 02 08 00 00 20*15 02 44", Z_N},
              {"5A 04 00 00*17 00 5E", Z_N},
              {"5A 04 F1 00*16 20 01 6F", Z_N},
              {"5A 04 F0 00*16 20 01 6D", ""},
              {"5A 04 F0 00*16 20 01 6E", "5A 41 00 00 00 00 9B"}});
}

// Clock ticks the process has run for, user and system.
long CpuTicks(int pid) {
    std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
    std::vector<std::string> fields = Split(stat.substr(stat.rfind(") ") + 2), ' ');
    return std::stol(fields.at(11)) + std::stol(fields.at(12));
}

// A client that opens the terminal finds the unit waiting, not spinning (at most a tenth of a
// second of CPU while idle for a second); a restart from a setup session whose one write lies
// past the tables (word 1800, where table 2 at 1400 ends) keeps the tables (no dump); and with
// --reappear-ms 0 the unit, gone after that restart, is back at once on a new terminal.
TEST(SimPortTest, AClientFindsItIdleAndAVanishedUnitIsBackAtOnce) {
    TempDir dir;
    SimProcess sim = StartSim({"--unit-mode", "2", "--start-in-loader", "--dump-tables",
                               dir.File("tables"), "--vanish-after", "44", "--reappear-ms", "0"});
    PtyPeer port{open(sim.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long idle = CpuTicks(sim.pid);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(CpuTicks(sim.pid) - idle, sysconf(_SC_CLK_TCK) / 10);
    PeerWrite(port, Hex("5A 00 18 00 00*16 00 72 5A 01 20*18 02 9B"));
    EXPECT_TRUE(WaitFor([&] { return Split(ReadText(sim.dir + "/stdout"), '\n').size() > 1; },
                        PATIENCE_MS));
    EXPECT_FALSE(std::filesystem::exists(dir.File("tables")));
    close(port.master);
    StopSim(sim);
    // Nor after a client that asked for more than it read (data blocks, 13 KB at a time, up to
    // 260 KB, more than the terminal holds) and went (the unit sees it go within 300 ms): the
    // write it blocked goes with it.
    SimProcess busy = StartSim({});
    PtyPeer greedy{open(busy.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    for (int block = 0, unsent = 0; block < 1000; ++block) {
        PeerWrite(greedy, Hex("52 07 20*10 01 99"));
        if (block % 50 == 49 &&
            WaitFor([&] { return !ioctl(greedy.master, TIOCOUTQ, &unsent) && !unsent; },
                    PATIENCE_MS))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(greedy.master);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PtyPeer next{open(busy.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long after = CpuTicks(busy.pid);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(CpuTicks(busy.pid) - after, sysconf(_SC_CLK_TCK) / 10);
    close(next.master);
    StopSim(busy);
}

// The unit takes the bytes written and no others: its log holds each frame as written, a line
// each, none with a bad sum, though the second comes in two reads (the rest written once the
// unit has taken the first frame). A unit that stops mid-reply (--cut-reply N: in the payload, in
// the sum) has given no answer, whatever bytes came.
TEST(SimPortTest, TheUnitTakesExactlyTheBytesWrittenAndAReplyCutShortIsNoAnswer) {
    TempDir dir;
    SimProcess sim = StartSim({"--log", dir.File("log")});
    PtyPeer port{open(sim.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC), -1, ""};
    const std::string first = "52 07 20 20 20 20 20 20 20 20 20 20 01 99\n",
                      sent = first + "52 00 00 00 00 00 00 00 00 00 00 00 00 52\n";
    PeerWrite(port, Hex("52 07 20*10 01 99 52 00 00"));
    WaitFor([&] { return ReadText(dir.File("log")).size() >= first.size(); }, PATIENCE_MS);
    PeerWrite(port, Hex("00*9 00 52"));
    WaitFor([&] { return ReadText(dir.File("log")).size() >= sent.size(); }, PATIENCE_MS);
    close(port.master);
    StopSim(sim);
    EXPECT_EQ(ReadText(dir.File("log")), sent);
    for (const char* cut : {"100", "259"}) {
        SimProcess cutting = StartSim({"--cut-reply", cut});
        ProcessResult info = RunMq6(cutting.path, {"info"}, dir.path);
        StopSim(cutting);
        EXPECT_EQ(std::to_string(info.status) + info.out + info.err,
                  "1mq6: Error: Get MQ-6 Data Error Please Check Power and USB Connection to the "
                  "MQ-6\nmq6: run mq6 doctor for a report on the port, the adapter and the link\n")
            << cut;
    }
}

// A bad value is refused before any terminal is made, and so is a --link that is no symbolic
// link, a --state whose folder is missing or a state file one byte too long: magic, 8 flag bytes,
// the data block, 16 KB of program memory and the two tables are 20752 bytes.
TEST(SimOptionsTest, BadValuesAreRefused) {
    TempDir dir;
    WriteText(dir.File("notes"), "kept\n");
    const std::string magic = "MQ6SIM1\n", big = dir.File("big");
    WriteText(big, magic + std::string(20753 - magic.size(), '\0'));
    std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"--unit-mode", "256"}, "mq6-sim: bad value '256' for --unit-mode N\n"},
        {{"--link", dir.File("notes")},
         "mq6-sim: --link " + dir.File("notes") +
             " is not a symbolic link; only a link is replaced\n"},
        {{"--state", dir.File("missing/state")},
         "mq6-sim: --state " + dir.File("missing/state") + ": the folder does not exist\n"},
        {{"--link", dir.File("missing/tty")},
         "mq6-sim: --link " + dir.File("missing/tty") + ": the folder does not exist\n"},
        {{"--state", big}, "mq6-sim: " + big + " is not a state file of this simulator\n"},
        {{"--bogus"}, "mq6-sim: unknown option '--bogus' (see --help)\n"},
        {{"--silent=1"}, "mq6-sim: --silent takes no value\n"},
        {{"--rate"}, "mq6-sim: --rate needs a value FPS\n"},
        {{"--stoich=655.36"}, "mq6-sim: bad value '655.36' for --stoich F\n"},
        {{"--baud", "299"}, "mq6-sim: bad value '299' for --baud N\n"},
        {{"--ignore-data-reads", "0"}, "mq6-sim: bad value '0' for --ignore-data-reads N\n"},
    };
    // A profile: a known shape and three fields, or const and one.
    for (const char* profile : {"sweep", "sweep:0.8:1.2", "sine:0.8:1.2:5:1", "zigzag:0.8:1.2:5"})
        rows.push_back(
            {{"--profile", profile},
             "mq6-sim: bad value '" + std::string(profile) + "' for --profile PROFILE\n"});
    for (auto [args, err] : rows) {
        SCOPED_TRACE(err);
        args.insert(args.begin(), {"2", MQ6_SIM_PATH});
        ProcessResult bad = RunProcess("/usr/bin/timeout", args, dir.path);
        EXPECT_EQ(std::pair(bad.status, bad.err), std::pair(2, err));
    }
    EXPECT_EQ(ReadText(dir.File("notes")), "kept\n");
    // Help and the version are no errors, nor is the lowest baud rate before them.
    ProcessResult help = RunProcess(MQ6_SIM_PATH, {"--baud=300", "--help"}, dir.path);
    EXPECT_TRUE(help.status == 0 && help.err.empty() &&
                help.out.starts_with("Usage: mq6-sim [options]\n"));
}

// A unit that loses its state file says so once and answers no write it cannot keep, so a
// setup write fails instead of passing; a second program on the port is refused while the
// first streams, whoever runs it (root passes the terminal's exclusive mode).
TEST(SimStateTest, LostStateStopsTheWritesAndASecondProgramIsKeptOffThePort) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("keep"));
    SimProcess sim = StartSim({"--state", dir.File("keep/state"), "--log", dir.File("log")});
    auto mq6 = [&](std::vector<std::string> args) { return RunMq6(sim.path, args, dir.path); };
    ProcessResult first, second;
    std::thread live([&] { first = mq6({"live", "--seconds", "1.5", "--csv", "-"}); });
    // The second comes once the first has asked for the stream, however slow its start.
    WaitFor([&] { return Has(ReadText(dir.File("log")), "52 00 08"); }, PATIENCE_MS);
    second = mq6({"info"});
    live.join();
    EXPECT_EQ(std::pair(first.status, second.status), std::pair(0, 1)) << first.err;
    // The holder named as mq6 doctor names it: the first mq6, by its process id.
    const std::string busy =
        "mq6: cannot open " + sim.path + ": in use by another program: mq6 (pid ";
    EXPECT_TRUE(second.err.starts_with(busy) &&
                second.err.ends_with(
                    "); close the program that holds it (a terminal program, a logger, "
                    "ModemManager) and try again\nmq6: run mq6 doctor for a report on the port, "
                    "the adapter and the link\n"))
        << second.err;
    std::filesystem::remove(dir.File("keep"));
    EXPECT_EQ(mq6({"setup", "write", "--defaults", "--yes"}).status, 1);
    // Its writer thread tells of the loss after the answer that the write took.
    const std::string lost = "mq6-sim: cannot write state file " + dir.File("keep/state") +
                             "; the unit answers no more writes\n";
    WaitFor([&] { return ReadText(sim.dir + "/stderr") == lost; }, PATIENCE_MS);
    EXPECT_EQ(ReadText(sim.dir + "/stderr"), lost);
    StopSim(sim);
}

} // namespace
