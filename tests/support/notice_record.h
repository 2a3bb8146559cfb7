// The notice seam for tests: every notice shown, recorded.
#pragma once

#include <mutex>
#include <string>
#include <vector>

struct RecordedNotice {
    std::string text, caption;
    unsigned flags;
};

extern std::mutex NoticeLock;
extern std::vector<RecordedNotice> RecordedNotices;
extern int NoticeResult; // what the next boxes return
extern int AskAnswer;    // what the next questions are answered: 1 Yes, 0 No

void ClearRecordedNotices();
size_t CountNotices();
// The notices shown, "caption: text" each (line ends as \n), for the message of a count that is
// off.
std::string DescribeNotices();
