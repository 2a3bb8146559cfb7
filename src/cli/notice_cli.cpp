// Notices of the command-line tool go to stderr; it has no status line to redraw.
#include "platform/notice.h"

#include <cstdio>

int ShowNotice(std::string_view text, std::string_view caption, unsigned) {
    std::fprintf(stderr, "mq6: %.*s: ", static_cast<int>(caption.size()), caption.data());
    // The boxes' texts are laid out for a dialog: lead blanks and blank lines are dropped.
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == ' ' || c == '\n'))
            continue;
        if (c == '\n') {
            std::fputc(' ', stderr);
            lineStart = true;
            continue;
        }
        lineStart = false;
        std::fputc(c, stderr);
    }
    std::fputc('\n', stderr);
    return 1;
}
