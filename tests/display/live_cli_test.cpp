// mq6 live end to end: the command-line tool against the simulated unit, through the same
// decoding and smoothing as the utility's display.
#include "support/sim_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status = -1; // exit status, or -1 when killed by a signal
    std::string out;
    std::string err;
};

std::string ReadText(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& row) {
    std::vector<std::string> fields;
    std::stringstream stream(row);
    for (std::string field; std::getline(stream, field, ',');)
        fields.push_back(field);
    return fields;
}

class LiveCliTest : public ::testing::Test {
  protected:
    fs::path dir;
    SimProcess sim;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mq6-live.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        StopSim(sim);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    void StartUnit(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", (dir / "requests.log").string()});
        sim = StartSim(args);
        ASSERT_FALSE(sim.path.empty()) << "mq6-sim did not start";
    }

    // Starts mq6 --port <sim> live args, its output going to files in the test directory.
    pid_t Spawn(const std::vector<std::string>& args) {
        std::vector<std::string> text = {MQ6_CLI_PATH, "--port", sim.path, "live"};
        text.insert(text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : text)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::string out = (dir / "stdout").string();
        std::string err = (dir / "stderr").string();
        pid_t pid = fork();
        if (pid == 0) {
            int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(outFd, STDOUT_FILENO);
            dup2(errFd, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }

    CliRun Finish(pid_t pid) {
        CliRun run;
        int raw = 0;
        while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadText(dir / "stdout");
        run.err = ReadText(dir / "stderr");
        return run;
    }

    CliRun Live(const std::vector<std::string>& args) {
        return Finish(Spawn(args));
    }

    // Request lines from the simulator's log that are SetStreamMode (52 00).
    std::vector<std::string> StreamRequests() {
        std::vector<std::string> modes;
        for (const std::string& line : Lines(ReadText(dir / "requests.log")))
            if (line.rfind("52 00 ", 0) == 0)
                modes.push_back(line.substr(6, 2));
        return modes;
    }
};

TEST_F(LiveCliTest, CsvRowsFromTheSimulatedUnit) {
    StartUnit({"--profile", "const:0.90", "--stoich", "14.70"});
    CliRun run = Live({"--count", "20", "--csv", "-"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 21u) << run.out;
    EXPECT_EQ(lines[0], "time_s,lambda,afr,lambda_raw,stoich");

    // Smoothing at the default rate 50 starts from lambda 1.00 and halves the distance
    // with every frame: 0.95, 0.925, 0.9125, 0.90625, ...; the AFR settles two frames later.
    const std::vector<std::pair<std::string, std::string>> first = {
        {"0.95", "14.0"}, {"0.93", "13.6"}, {"0.91", "13.4"},
        {"0.91", "13.3"}, {"0.90", "13.3"}, {"0.90", "13.3"}};
    double lastTime = -1.0;
    for (size_t i = 1; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        std::vector<std::string> fields = Fields(lines[i]);
        ASSERT_EQ(fields.size(), 5u);
        double time = std::stod(fields[0]);
        EXPECT_GE(time, lastTime);
        lastTime = time;
        if (i <= first.size()) {
            EXPECT_EQ(fields[1], first[i - 1].first);
            EXPECT_EQ(fields[2], first[i - 1].second);
        } else {
            EXPECT_EQ(fields[1], "0.90");
            EXPECT_EQ(fields[2], "13.2");
        }
        EXPECT_EQ(fields[3], "0.9000");
        EXPECT_EQ(fields[4], "14.70");
    }
    std::vector<std::string> modes = StreamRequests();
    ASSERT_GE(modes.size(), 2u);
    EXPECT_EQ(modes.front(), "08");
    EXPECT_EQ(modes.back(), "00") << "the stream is stopped on the way out";
}

TEST_F(LiveCliTest, CsvFileAndFullResponseRate) {
    StartUnit({"--profile", "const:1.20", "--stoich", "6.40"});
    fs::path csv = dir / "live.csv";
    CliRun run = Live({"--count=5", "--csv", csv.string(), "--response-rate", "100"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "") << "no updating line off a terminal";
    std::vector<std::string> lines = Lines(ReadText(csv));
    ASSERT_EQ(lines.size(), 6u);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<std::string> fields = Fields(lines[i]);
        ASSERT_EQ(fields.size(), 5u);
        EXPECT_EQ(fields[1], "1.20");
        EXPECT_EQ(fields[2], "7.7") << "1.20 x 6.40 = 7.68";
        EXPECT_EQ(fields[3], "1.2000");
        EXPECT_EQ(fields[4], "6.40");
    }
}

TEST_F(LiveCliTest, InterruptStopsTheStream) {
    StartUnit({"--profile", "const:0.90"});
    fs::path csv = dir / "live.csv";
    pid_t pid = Spawn({"--csv", csv.string()});
    ASSERT_GT(pid, 0);
    bool streaming = false;
    for (int waited = 0; waited < 5000 && !streaming; waited += 10) {
        streaming = Lines(ReadText(csv)).size() >= 4;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGINT);
    CliRun run = Finish(pid);
    ASSERT_TRUE(streaming) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> modes = StreamRequests();
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes.back(), "00");
}

TEST_F(LiveCliTest, SilentUnitIsAFailure) {
    StartUnit({"--silent"});
    CliRun run = Live({"--seconds", "0.5", "--csv", "-"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "time_s,lambda,afr,lambda_raw,stoich\n");
    EXPECT_NE(run.err.find("no live data"), std::string::npos) << run.err;
}

TEST_F(LiveCliTest, BadOptionsAreUsageErrors) {
    StartUnit({});
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--count", "0"},
                                                 {"--count", "x"},
                                                 {"--seconds", "-1"},
                                                 {"--response-rate", "101"},
                                                 {"--csv"},
                                                 {"--extra"}}) {
        CliRun run = Live(args);
        EXPECT_EQ(run.status, 2) << args[0];
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(StreamRequests().empty()) << "nothing is sent before the options are good";
}

} // namespace
