// Files and child processes for the tests that run mq6 and mq6-sim.
#include "firmware/test_files.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mq6-fw.XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path.empty())
        std::filesystem::remove_all(path, ignored);
}

std::string ReadText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::string text = ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir, const char* terminalInput) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int master = terminalInput == nullptr ? -1 : posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 &&
        (fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || grantpt(master) != 0 || unlockpt(master) != 0))
        return {};
    std::string in = master >= 0 ? ptsname(master) : "/dev/null";
    std::string out = scratchDir + "/run.out";
    std::string err = scratchDir + "/run.err";
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        int fds[3] = {open(in.c_str(), O_RDWR),
                      open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                      open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int fd = 0; fd < 3; ++fd)
            if (fds[fd] < 0 || dup2(fds[fd], fd) < 0)
                _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (master >= 0 &&
        write(master, terminalInput, std::char_traits<char>::length(terminalInput)) < 0)
        kill(pid, SIGKILL);
    ProcessResult result;
    int raw = 0;
    if (pid > 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    if (master >= 0)
        close(master);
    result.out = ReadText(out);
    result.err = ReadText(err);
    return result;
}

std::vector<std::vector<uint8_t>> ReadRequestLog(const std::string& path) {
    std::vector<std::vector<uint8_t>> frames;
    std::istringstream lines(ReadText(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<uint8_t> frame;
        for (std::string word; line.find("bad-sum") == std::string::npos && words >> word;)
            frame.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
        if (!frame.empty())
            frames.push_back(frame);
    }
    return frames;
}
