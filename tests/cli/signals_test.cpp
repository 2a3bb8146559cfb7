// mq6 ended from outside, or by itself. However it ended, a normal user's next program opens the
// port: a terminal's exclusive mode outlives the process that set it, and root ignores it, so
// mq6 and the next opener run as user 65534 when the tests run as root. A write into the unit
// is never cut: the signal waits for its end, says so at once, and then ends mq6.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> AsNormalUser(std::vector<std::string> words) {
    if (geteuid() == 0)
        words.insert(words.begin(),
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    return words;
}

TEST(SignalsTest, TheNextProgramOpensThePortHoweverMq6EndedAndNoWriteIsCut) {
    // The signal that timeout(1) sends after 1.5 s (none: mq6 ends by itself); the writes run
    // at the line's speed, so the signal comes in their middle.
    const struct {
        const char* signal;
        int number;
        const char* sim;
        std::vector<std::string> command;
    } rows[] = {
        {"", 0, "", {"info"}},
        {"", 0, "--silent", {"info"}},
        {"INT", SIGINT, "", {"live"}},
        {"HUP", SIGHUP, "", {"live"}},
        {"TERM", SIGTERM, "", {"live"}},
        {"QUIT", SIGQUIT, "", {"live"}},
        {"HUP", SIGHUP, "--baud 57600", {"firmware", "update", "--yes"}},
        {"INT", SIGINT, "--baud 57600", {"firmware", "update", "--yes"}},
        {"TERM",
         SIGTERM,
         "--baud 57600",
         {"setup", "write", "--defaults", "--stoich", "14", "--yes"}},
    };
    setenv("MQ6_ALLOW_SAMPLE", "1", 1);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.signal) + " " + row.command[0]);
        TempDir dir;
        std::vector<std::string> words = Split(std::string(row.sim) + " --version 1.00", ' ');
        words.erase(std::remove(words.begin(), words.end(), ""), words.end());
        SimProcess sim = StartSim(words);
        std::string pty = std::filesystem::read_symlink(sim.path);
        ASSERT_EQ(chmod(pty.c_str(), 0666), 0);
        words = {MQ6_CLI_PATH, "--port", pty};
        words.insert(words.end(), row.command.begin(), row.command.end());
        if (row.number != 0)
            words.insert(words.begin(),
                         {"/usr/bin/timeout", "--preserve-status", "-s", row.signal, "1.5"});
        words = AsNormalUser(words);
        ProcessResult run = RunProcess(words[0], {words.begin() + 1, words.end()}, dir.path);
        words = AsNormalUser({"/bin/sh", "-c", "exec 3<>\"$0\"", pty});
        ProcessResult next = RunProcess(words[0], {words.begin() + 1, words.end()}, dir.path);
        EXPECT_EQ(next.status, 0) << "mq6: " << run.status << " " << run.err
                                  << "\nnext: " << next.err;
        ProcessResult unit = RunProcess(MQ6_CLI_PATH, {"--port", pty, "info"}, dir.path);
        StopSim(sim);
        if (row.command[0] == "live" || row.command[0] == "info")
            continue;
        EXPECT_EQ(run.status, 128 + row.number) << run.err;
        EXPECT_NE(run.err.find("interrupted: the " + row.command[0]), std::string::npos) << run.err;
        EXPECT_NE(unit.out.find("Unit mode: 0 (normal)"), std::string::npos) << unit.out;
        EXPECT_TRUE(row.command[0] != "firmware" || unit.out.find("1.00") == std::string::npos)
            << "update not done: " << unit.out;
    }
    unsetenv("MQ6_ALLOW_SAMPLE");
}

} // namespace
