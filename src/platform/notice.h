// User notices: the one way the core tells the user something. Message boxes in
// the Windows utility, stderr in the command-line tool, a record in the tests.
#pragma once

#include <string_view>

enum NoticeFlags : unsigned {
    NOTICE_OK = 0,
    NOTICE_ERROR_ICON = 1u << 0,
    NOTICE_TOPMOST = 1u << 1,
    NOTICE_NO_OWNER = 1u << 2,
    NOTICE_INFO_ICON = 1u << 3,
    NOTICE_QUESTION = 1u << 4, // AskNotice's box, as a record of the tests shows it
};

// Shows text with caption; returns the box's result (non-zero once the user has seen it).
int ShowNotice(std::string_view text, std::string_view caption, unsigned flags);
// Asks the question text with caption, Yes or No: 1 for Yes, 0 for No (and where there is nobody
// to ask, as in mq6, whose options say it instead).
int AskNotice(std::string_view text, std::string_view caption);
