// Files and child processes for the tests that run mq6 and mq6-sim.
#include "firmware/test_files.h"
#include "support/sim_process.h"

#include <csignal>
#include <cstring>
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
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, separator);)
        pieces.push_back(piece);
    return pieces;
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir, const char* terminalInput) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    int master = terminalInput == nullptr ? -1 : posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && (grantpt(master) != 0 || unlockpt(master) != 0))
        return {};
    const std::vector<std::string> files = {master >= 0 ? ptsname(master) : "/dev/null",
                                            scratchDir + "/run.out", scratchDir + "/run.err"};
    pid_t pid = Spawn(words, files);
    if (master >= 0 && write(master, terminalInput, std::strlen(terminalInput)) < 0)
        kill(pid, SIGKILL);
    int raw = 0;
    bool exited = pid > 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw);
    if (master >= 0)
        close(master);
    return {exited ? WEXITSTATUS(raw) : -1, ReadText(files[1]), ReadText(files[2])};
}

std::vector<std::vector<uint8_t>> ReadRequestLog(const std::string& path) {
    std::vector<std::vector<uint8_t>> frames;
    for (const std::string& line : Split(ReadText(path), '\n')) {
        std::istringstream words(line);
        frames.emplace_back();
        for (unsigned byte; line.find("bad-sum") == std::string::npos && words >> std::hex >> byte;)
            frames.back().push_back(static_cast<uint8_t>(byte));
        if (frames.back().empty())
            frames.pop_back();
    }
    return frames;
}
