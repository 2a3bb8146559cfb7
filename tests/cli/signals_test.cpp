// mq6 ended from outside. The port after mq6 has ended, however it ended: a normal user's next
// program must be able to open it (a terminal's exclusive mode outlives the process that set
// it, and root ignores it, so the next opener is user 65534 when the tests run as root). And a
// write into the unit is never cut: the signal waits for its end.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The words that run a command as a normal user: as it stands for one, setpriv for root.
std::vector<std::string> AsNormalUser(std::vector<std::string> words) {
    if (geteuid() == 0)
        words.insert(words.begin(),
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return words;
}

TEST(SignalsTest, ANormalUsersNextProgramOpensThePortHoweverMq6Ended) {
    // How mq6 ends: by itself (a command done, a unit that never answers), or by a signal that
    // timeout(1) sends it while it streams.
    const struct {
        const char* name;
        const char* sim;
        std::vector<std::string> wrapper;
        std::vector<std::string> command;
    } rows[] = {
        {"done", "", {}, {"info"}},
        {"failed", "--silent", {}, {"info"}},
        {"Ctrl-C", "", {"/usr/bin/timeout", "-s", "INT", "1.5"}, {"live"}},
        {"terminal closed", "", {"/usr/bin/timeout", "-s", "HUP", "1.5"}, {"live"}},
        {"killed", "", {"/usr/bin/timeout", "-s", "TERM", "1.5"}, {"live"}},
        {"Ctrl-\\", "", {"/usr/bin/timeout", "-s", "QUIT", "1.5"}, {"live"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        SimProcess sim = StartSim(row.sim[0] != '\0' ? std::vector<std::string>{row.sim}
                                                     : std::vector<std::string>{});
        std::string pty = std::filesystem::read_symlink(sim.path);
        ASSERT_EQ(chmod(pty.c_str(), 0666), 0);
        std::vector<std::string> words = row.wrapper;
        words.push_back(MQ6_CLI_PATH);
        words.insert(words.end(), {"--port", pty});
        words.insert(words.end(), row.command.begin(), row.command.end());
        words = AsNormalUser(words);
        ProcessResult run = RunProcess(words[0], {words.begin() + 1, words.end()}, dir.path);
        words = AsNormalUser({"/bin/sh", "-c", "exec 3<>\"$0\"", pty});
        ProcessResult next = RunProcess(words[0], {words.begin() + 1, words.end()}, dir.path);
        EXPECT_EQ(next.status, 0) << "mq6: " << run.status << " " << run.err
                                  << "\nnext: " << next.err;
        StopSim(sim);
    }
}

TEST(SignalsTest, AWriteIntoTheUnitGoesOnToItsEndAndThenTheSignalEndsMq6) {
    const struct {
        const char* signal;
        int number;
        std::vector<std::string> command;
    } rows[] = {
        {"HUP", SIGHUP, {"firmware", "update", "--yes"}},
        {"INT", SIGINT, {"firmware", "update", "--yes"}},
        {"TERM", SIGTERM, {"setup", "write", "--defaults", "--stoich", "14", "--yes"}},
    };
    setenv("MQ6_ALLOW_SAMPLE", "1", 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signal);
        TempDir dir;
        // At the line's speed the write takes seconds: the signal comes in the middle of it.
        SimProcess sim = StartSim({"--baud", "57600", "--version", "1.00"});
        std::vector<std::string> words = {"--preserve-status", "-s",     row.signal, "1",
                                          MQ6_CLI_PATH,        "--port", sim.path};
        words.insert(words.end(), row.command.begin(), row.command.end());
        ProcessResult run = RunProcess("/usr/bin/timeout", words, dir.path);
        ProcessResult after = RunProcess(MQ6_CLI_PATH, {"--port", sim.path, "info"}, dir.path);
        StopSim(sim);
        EXPECT_EQ(run.status, 128 + row.number) << run.err;
        EXPECT_NE(run.err.find("interrupted: the " + row.command[0] + " "), std::string::npos)
            << run.err;
        EXPECT_NE(after.out.find("Unit mode: 0 (normal)"), std::string::npos) << after.out;
        EXPECT_TRUE(row.command[0] != "firmware" || after.out.find("1.00") == std::string::npos)
            << "update not done: " << after.out;
    }
    unsetenv("MQ6_ALLOW_SAMPLE");
}

} // namespace
