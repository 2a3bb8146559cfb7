// Enter on a terminal, read between the live stream's passes: the terminal hands over a line at
// a time, so a line waiting on standard input is an Enter pressed.
#include "cli/cli.h"

#include <array>
#include <poll.h>
#include <unistd.h>

int TakeEnterPresses() {
    // Only a terminal whose foreground is this run: read from the background, it would stop the
    // run (SIGTTIN) as the user types into the shell.
    if (isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp())
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
