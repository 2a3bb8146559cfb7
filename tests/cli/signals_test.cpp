// mq6 ended from outside, or by itself. However it ended, a normal user's next program opens the
// port: a terminal's exclusive mode outlives the process that set it (after kill -9, mq6-sim,
// which holds the other end, clears it), and root ignores it, so mq6 and the next opener run as
// user 65534 when the tests run as root. A write into the unit is never cut: the signal waits for
// its end, says so at once, and then ends mq6.
#include "firmware/test_files.h"
#include "support/pty_peer.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t npos = std::string::npos;

std::vector<std::string> AsNormalUser(std::vector<std::string> words) {
    if (geteuid() == 0)
        words.insert(words.begin(),
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return words;
}

TEST(SignalsTest, TheNextProgramOpensThePortHoweverMq6EndedAndNoWriteIsCut) {
    // The signal comes once the unit has logged the request that shows mq6 at work: the stream
    // request ('R' 0) of live, the first block written ('Z' 0) of a write, which then runs for
    // seconds at the line's speed. Other loader requests are no sign of a write: mq6 also asks a
    // unit that gave no data whether it waits in its loader. No signal: mq6 ends by itself.
    // The signal, the request that shows mq6 at work, the simulator's options and mq6's command.
    const std::tuple<int, uint8_t, const char*, std::vector<std::string>> rows[] = {
        {0, 0, "", {"info"}},
        {0, 0, "--silent", {"info"}},
        {SIGINT, 'R', "", {"live"}},
        {SIGHUP, 'R', "", {"live"}},
        {SIGTERM, 'R', "", {"live"}},
        {SIGQUIT, 'R', "", {"live"}},
        {SIGKILL, 'R', "", {"live"}}, // no way out for mq6: the simulator clears the mode
        {SIGHUP, 'Z', "--baud 57600", {"firmware", "update", "--yes"}},
        {SIGINT, 'Z', "--baud 57600", {"firmware", "update", "--yes"}},
        {SIGTERM, 'Z', "--baud 57600",
         Split("setup write --defaults --yes --no-restore-point", ' ')}};
    setenv("MQ6_ALLOW_SAMPLE", "1", 1);
    for (const auto& [signal, busy, simOptions, command] : rows) {
        SCOPED_TRACE(std::to_string(signal) + " " + command[0]);
        TempDir dir;
        SimProcess sim =
            StartSim(Split("--version 1.00 --log " + dir.path + "/log " + simOptions, ' '));
        // The normal user's data folder, where a setup write keeps the setup it sends.
        std::filesystem::create_directory(dir.path + "/data");
        ASSERT_EQ(chmod(dir.path.c_str(), 0711) + chmod((dir.path + "/data").c_str(), 0777), 0);
        std::string pty = std::filesystem::read_symlink(sim.path);
        ASSERT_EQ(chmod(pty.c_str(), 0666), 0);
        std::vector<std::string> words = {MQ6_CLI_PATH, "--port", pty};
        words.insert(words.end(), command.begin(), command.end());
        int pid = Spawn(AsNormalUser(words), {"/dev/null", dir.path + "/out", dir.path + "/err"});
        auto atWork = [&] {
            for (const std::vector<uint8_t>& frame : ReadRequestLog(dir.path + "/log"))
                if (frame[0] == busy && frame[1] == 0)
                    return true;
            return false;
        };
        EXPECT_TRUE(signal == 0 || (WaitFor(atWork, PATIENCE_MS) && kill(pid, signal) == 0));
        // A second signal during the write waits too, and is not said again.
        auto said = [&] { return ReadText(dir.path + "/err").find("interrupted") != npos; };
        EXPECT_TRUE(busy != 'Z' || (WaitFor(said, PATIENCE_MS) && kill(pid, signal) == 0));
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        std::string err = ReadText(dir.path + "/err");
        auto cleared = [&] { return ReadText(sim.dir + "/stderr").find("exclusive mode") != npos; };
        EXPECT_TRUE(signal != SIGKILL || WaitFor(cleared, PATIENCE_MS))
            << "the simulator says what it did with the mode the killed client left";
        words = AsNormalUser({"/bin/sh", "-c", "exec 3<>\"$0\"", pty});
        ProcessResult next = RunProcess(words[0], {words.begin() + 1, words.end()}, dir.path);
        EXPECT_EQ(next.status, 0) << "mq6: " << status << " " << err << "\nnext: " << next.err;
        ProcessResult unit = RunMq6(pty, {"info"}, dir.path);
        StopSim(sim);
        if (busy != 'Z')
            continue;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status << err;
        size_t hold = err.find("interrupted: the " + command[0]);
        EXPECT_TRUE(hold != npos && err.find("interrupted", hold + 1) == npos) << err;
        EXPECT_NE(unit.out.find("Unit mode: 0 (normal)"), npos) << unit.out << err;
        EXPECT_TRUE(command[0] != "firmware" || unit.out.find("1.00") == npos)
            << "update not done: " << unit.out;
    }
    unsetenv("MQ6_ALLOW_SAMPLE");
    // A node only root may open (a pty of root's): the mend is no group to join.
    SimProcess sim = StartSim({});
    auto info =
        AsNormalUser({MQ6_CLI_PATH, "--port", std::filesystem::read_symlink(sim.path), "info"});
    TempDir dir;
    ProcessResult denied = RunProcess(info[0], {info.begin() + 1, info.end()}, dir.path);
    StopSim(sim);
    EXPECT_TRUE(geteuid() != 0 || denied.err.find("; only the node's owner may use it") != npos)
        << denied.err;
}

} // namespace
