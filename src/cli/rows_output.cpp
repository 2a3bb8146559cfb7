// Rows written by the commands, and a reader that closes the pipe they go to.
#include "cli/cli.h"

#include <cerrno>
#include <csignal>

void IgnoreClosedPipe() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

int WriteRows(std::FILE* file, std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0)
        return ROWS_OK;
    return errno == EPIPE ? ROWS_READER_GONE : ROWS_FAILED;
}
