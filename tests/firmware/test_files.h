// Temporary directories, files, child processes and the simulator's request log, for the
// tests that run mq6 and mq6-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with everything in it.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    std::string File(const std::string& name) const {
        return path + "/" + name;
    }
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
// The pieces between the separators, as std::getline takes them: no piece after a last one.
std::vector<std::string> Split(const std::string& text, char separator);
// Whether part stands anywhere in text.
inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct ProcessResult {
    int status = -1; // exit status, -1 when killed by a signal or not started
    std::string out, err;
};
// Runs program with args and collects both outputs. Standard input is /dev/null, or, when
// terminalInput is given, a terminal on which that input is typed.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& scratchDir, const char* terminalInput = nullptr);
// Runs mq6 with --port port and then args.
inline ProcessResult RunMq6(const std::string& port, std::vector<std::string> args,
                            const std::string& scratchDir, const char* terminalInput = nullptr) {
    args.insert(args.begin(), {"--port", port});
    return RunProcess(MQ6_CLI_PATH, args, scratchDir, terminalInput);
}
// The frames of mq6-sim's --log, one per line; frames whose sum was wrong are left out.
std::vector<std::vector<uint8_t>> ReadRequestLog(const std::string& path);
