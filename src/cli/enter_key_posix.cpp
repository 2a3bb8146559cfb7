// Enter on a terminal, read between the live stream's passes: the terminal hands over a line at
// a time, so a line waiting on standard input is an Enter pressed.
#include "cli/cli.h"

#include <array>
#include <atomic>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// The terminal's settings before the echo was turned off, and whether it is off now. Read
// in a signal handler, so written before the flag.
termios Settings{};
std::atomic<int> EchoOff{0};

// Only a terminal whose foreground is this run: from the background, a read would stop the run
// (SIGTTIN) as the user types into the shell, and a change of its settings too (SIGTTOU).
bool ForegroundTerminal() {
    return isatty(STDIN_FILENO) != 0 && tcgetpgrp(STDIN_FILENO) == getpgrp();
}
} // namespace

int TakeEnterPresses() {
    if (!ForegroundTerminal())
        return 0;
    int presses = 0;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    std::array<char, 256> bytes;
    while (poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0) {
        ssize_t got = read(STDIN_FILENO, bytes.data(), bytes.size());
        if (got <= 0)
            break;
        for (ssize_t index = 0; index < got; ++index)
            presses += bytes[static_cast<size_t>(index)] == '\n';
    }
    return presses;
}

bool QuietEnterEcho() {
    termios quiet{};
    if (!ForegroundTerminal() || tcgetattr(STDIN_FILENO, &Settings) != 0)
        return false;
    quiet = Settings;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &quiet) != 0)
        return false;
    EchoOff.store(1);
    return true;
}

void RestoreEnterEcho() {
    // tcsetattr may be called in a signal handler.
    if (EchoOff.exchange(0) != 0)
        tcsetattr(STDIN_FILENO, TCSANOW, &Settings);
}
