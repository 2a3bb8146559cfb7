// Child processes: any program, and mq6-sim.
#include "support/sim_process.h"

#include "support/pty_peer.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

int Spawn(std::vector<std::string> words, const std::vector<std::string>& files) {
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // What mq6 keeps for the user (the setup a write was sending) goes beside the run's output,
    // not into the home of whoever runs the tests; made before the fork, which may not allocate.
    std::string data =
        "XDG_DATA_HOME=" + std::filesystem::path(files[1]).parent_path().append("data").string();
    std::vector<char*> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (!std::string_view(*entry).starts_with("XDG_DATA_HOME="))
            environment.push_back(*entry);
    environment.push_back(data.data());
    environment.push_back(nullptr);
    // Only a run whose input is a terminal gets a session, to take that terminal as its own;
    // where the kernel schedules each session as one group, a child in one would take a whole
    // group's share beside the tests, whatever priority they run at.
    int input = open(files[0].c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    bool terminal = input >= 0 && isatty(input) != 0;
    if (input >= 0)
        close(input);
    pid_t pid = fork();
    if (pid == 0) {
        terminal ? setsid() : setpgid(0, 0);
        for (int fd = 0; fd < 3; ++fd) {
            int opened = open(files[fd].c_str(), fd ? O_WRONLY | O_CREAT | O_TRUNC : O_RDWR, 0644);
            if (opened < 0 || dup2(opened, fd) < 0)
                _exit(126);
        }
        close_range(3, ~0U, 0);
        execve(argv[0], argv.data(), environment.data());
        _exit(127);
    }
    return pid;
}

SimProcess StartSim(const std::vector<std::string>& args, const std::string& program) {
    SimProcess sim;
    std::string pattern = (std::filesystem::temp_directory_path() / "mq6-sim.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return sim;
    sim.dir = pattern;
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    words.insert(words.end(), {"--link", sim.dir + "/tty"});
    // A test's open ports must not stay open in the simulator: a second simulator holding the
    // first one's pty would keep that line from ever hanging up.
    sim.pid = Spawn(words, {"/dev/null", sim.dir + "/stdout", sim.dir + "/stderr"});
    // A simulator that ends by itself is reaped while the link is awaited.
    auto up = [&] { return std::filesystem::exists(sim.dir + "/tty"); };
    if (WaitFor([&] { return up() || (WaitSimExit(sim, 0), sim.pid < 0); }, PATIENCE_MS) && up())
        sim.path = sim.dir + "/tty";
    else
        StopSim(sim);
    return sim;
}

int WaitSimExit(SimProcess& sim, int timeoutMs) {
    int raw = 0;
    pid_t ended = 0; // the child's pid once it has ended, -1 when it cannot be waited for
    auto reaped = [&] { return (ended = waitpid(sim.pid, &raw, WNOHANG)) != 0; };
    if (sim.pid <= 0 || !WaitFor(reaped, timeoutMs))
        return -1;
    sim.pid = -1;
    return ended > 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void StopSim(SimProcess& sim) {
    if (sim.pid > 0 && kill(sim.pid, SIGTERM) == 0 && WaitSimExit(sim, 5000) == -1 && sim.pid > 0) {
        kill(sim.pid, SIGKILL);
        waitpid(sim.pid, nullptr, 0);
    }
    std::error_code ignored;
    if (!sim.dir.empty())
        std::filesystem::remove_all(sim.dir, ignored);
    sim = SimProcess{};
}
