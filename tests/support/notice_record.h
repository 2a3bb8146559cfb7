// The notice seam for tests: every notice shown and every port status change, recorded.
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
extern std::vector<int> RecordedPortStatus;
extern int NoticeResult; // what the next boxes return

void ClearRecordedNotices();
size_t CountNotices();
