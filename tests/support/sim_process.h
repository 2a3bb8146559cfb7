// Runs mq6-sim as a child process for tests: each run gets a temporary directory that
// holds the pty link ("tty"), the simulator's stdout ("stdout", one pty path a line) and its
// stderr ("stderr").
#pragma once

#include <string>
#include <vector>

// path is the --link to the simulator's pty, dir the run's temporary directory.
struct SimProcess {
    int pid = -1;
    std::string path, dir;
};

// Starts the simulator (or another build of it) with args plus --link <fresh temp dir>/tty and
// waits (at most 5 s) until the link exists. On failure pid stays -1 and path is empty.
SimProcess StartSim(const std::vector<std::string>& args,
                    const std::string& program = MQ6_SIM_PATH);
// SIGTERM, waitpid, and removal of the temporary directory.
void StopSim(SimProcess& sim);
// Waits up to timeout_ms for the simulator to end by itself; returns its exit status, or
// -1 when it is still running (or was killed by a signal). pid is -1 once it has ended.
int WaitSimExit(SimProcess& sim, int timeoutMs);

// Starts the program words[0] with the words for its arguments, its standard input, output and
// error opened on the three files, in a process group of its own (a session of its own when the
// input is a terminal) and holding no other descriptor of the test's; the child's id, or -1.
int Spawn(std::vector<std::string> words, const std::vector<std::string>& files);
