// Notices of the command-line tool go to stderr; it has no status line to redraw.
#include "platform/notice.h"

#include <cstdio>

int ShowNotice(std::string_view text, std::string_view caption, unsigned) {
    std::fprintf(stderr, "mq6: %.*s: ", static_cast<int>(caption.size()), caption.data());
    // The boxes' texts are laid out for a dialog: lead blanks and blank lines are dropped, and
    // the lines are joined by one blank.
    bool lineStart = true;
    bool joined = false;
    for (char c : text) {
        if (lineStart && (c == ' ' || c == '\n'))
            continue;
        if (c == '\n') {
            lineStart = true;
            continue;
        }
        if (lineStart && joined)
            std::fputc(' ', stderr);
        lineStart = false;
        joined = true;
        std::fputc(c, stderr);
    }
    std::fputc('\n', stderr);
    return 1;
}

int AskNotice(std::string_view, std::string_view) {
    return 0;
}
