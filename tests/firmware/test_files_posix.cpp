// Files and child processes for the firmware tests.
#include "firmware/test_files.h"

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
    if (!path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

std::string TempDir::File(const std::string& name) const {
    return path + "/" + name;
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::string text = ReadText(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir) {
    ProcessResult result;
    std::string outPath = scratchDir + "/run.out";
    std::string errPath = scratchDir + "/run.err";
    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argvText)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0)
            _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0)
        return result;
    int raw = 0;
    if (waitpid(pid, &raw, 0) == pid && WIFEXITED(raw))
        result.status = WEXITSTATUS(raw);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

std::vector<std::vector<uint8_t>> ReadRequestLog(const std::string& path) {
    std::vector<std::vector<uint8_t>> frames;
    std::istringstream lines(ReadText(path));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("bad-sum") != std::string::npos)
            continue;
        std::istringstream words(line);
        std::vector<uint8_t> frame;
        std::string word;
        while (words >> word)
            frame.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
        frames.push_back(frame);
    }
    return frames;
}
