#include "support/notice_record.h"

#include "platform/notice.h"

std::mutex NoticeLock;
std::vector<RecordedNotice> RecordedNotices;
int NoticeResult = 1;
int AskAnswer = 0;

int ShowNotice(std::string_view text, std::string_view caption, unsigned flags) {
    std::lock_guard<std::mutex> hold(NoticeLock);
    RecordedNotices.push_back({std::string(text), std::string(caption), flags});
    return NoticeResult;
}

int AskNotice(std::string_view text, std::string_view caption) {
    std::lock_guard<std::mutex> hold(NoticeLock);
    RecordedNotices.push_back({std::string(text), std::string(caption), NOTICE_QUESTION});
    return AskAnswer;
}

void ClearRecordedNotices() {
    std::lock_guard<std::mutex> hold(NoticeLock);
    RecordedNotices.clear();
    NoticeResult = 1;
    AskAnswer = 0;
}

size_t CountNotices() {
    std::lock_guard<std::mutex> hold(NoticeLock);
    return RecordedNotices.size();
}

std::string DescribeNotices() {
    std::lock_guard<std::mutex> hold(NoticeLock);
    std::string text = std::to_string(RecordedNotices.size()) + " notices:";
    for (const RecordedNotice& notice : RecordedNotices)
        for (char c : " [" + notice.caption + ": " + notice.text + "]")
            text += c == '\n' ? std::string("\\n") : std::string(1, c);
    return text;
}
