// The live stream's listeners, its CSV row, and the recorder that writes the rows to a file.
#include "display/live_decode.h"
#include "display/live_record.h"
#include "display/live_stream.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Heard;
template <char Name> void Hear(const LiveSample&) {
    Heard += Name;
}
void WriteRow(const LiveSample& sample) {
    LiveCsvRow row;
    Heard += std::string(row.data(), FormatLiveCsvRow(row, 1.5, sample, Heard.empty() ? 0 : 12));
}

// The worked frame (lambda 1.67, factor 14.70) and raw 0 (lambda 0.67) at factor 9.05, shown
// unsmoothed: AFR 1.67 x 14.70 = 24.549 and 0.67 x 9.05 = 6.0635, in tenths.
TEST(LiveStreamTest, EveryListenerGetsEveryFrameInTheOrderAddedAndTheCsvRow) {
    ResetLinkState();
    ResetLiveState();
    ResetLiveStream();
    ResponseRate = 100;
    const std::tuple<void (*)(), std::string> rows[] = {
        {[] { AddLiveListener(Hear<'a'>), AddLiveListener(Hear<'b'>), AddLiveListener(Hear<'c'>); },
         "abcabc"},
        // A listener added after a removal still comes after those already there.
        {[] { RemoveLiveListener(Hear<'a'>), AddLiveListener(Hear<'d'>); }, "bcdbcd"},
        {[] { RemoveAllLiveListeners(), AddLiveListener(WriteRow); },
         "1.500,1.67,24.5,1.6700,14.70,\n1.500,0.67,6.1,0.6700,9.05,12\n"}};
    for (const auto& [change, heard] : rows) {
        change();
        Heard.clear();
        for (uint8_t byte : Hex("57 00 7F FF 00 05 BE 02 98 57 00 00 00 00 03 89 00 E3"))
            RxStoreByte(byte);
        while (TakeLiveFrame() == LIVE_FRAME_OK) {
        }
        EXPECT_EQ(Heard, heard);
    }
    // Both kinds hold as many listeners as each other, and refuse one more.
    RemoveAllLiveListeners();
    int slots = 0;
    while (slots < 64 && AddLiveListener(Hear<'e'>) == 0)
        ++slots;
    for (int added = 0; added <= slots; ++added)
        EXPECT_EQ(AddLiveStaleListener([] {}), added < slots ? 0 : -1) << added;
    RemoveAllLiveListeners();
    LiveCsvRow row; // 96 bytes: a time no run reaches is cut to 95 characters and the row's end
    EXPECT_EQ(FormatLiveCsvRow(row, 1e90, {}, 0), 95u);
}

// Real files: the header and a row for each frame handed out while the recording runs (0.8 x
// 14.70 = 11.76 and 1.2 x 14.70 = 17.64, in tenths), none after it; a start that cannot write
// leaves its reason (the file rule's reasons: FileRuleTest), and a path too long is refused
// rather than cut to a directory's name. Two marks between the frames are one marker, on the
// second row.
TEST(LiveStreamTest, TheRecorderWritesARowPerFrameAndAFailedStartKeepsItsReason) {
    TempDir dir;
    std::string deep = dir.path;
    while (deep.size() < 1100)
        deep += "/.";
    const std::pair<std::string, std::string> rows[] = {
        {dir.File("live.csv"),
         "time_s,lambda,afr,lambda_raw,stoich,mark\n,0.80,11.8,0.8000,14.70,\n,1.20,17.6,1.2000,"
         "14.70,1\n"},
        {"/dev/full", "No space left on device"}, // the header's flush fails at the start
        {deep + "/long.csv", "File name too long"}};
    for (const auto& [path, written] : rows) {
        int started = StartRecording(path);
        CallLiveListeners({0.8, 80, 118, 1470});
        EXPECT_EQ(AddRecordMark(), started == 0 ? 1 : -1);
        EXPECT_EQ(AddRecordMark(), started == 0 ? 1 : -1);
        CallLiveListeners({1.2, 120, 176, 1470});
        EXPECT_EQ(RecordState(), started == 0 ? RECORD_RUNNING : RECORD_FAILED);
        EXPECT_TRUE(StopRecording() == 0 && (started != 0 || RecordedRows() == 2));
        CallLiveListeners({0.8, 80, 118, 1470});
        std::string shown = started == 0 ? "" : std::string(RecordFailure());
        for (const std::string& line : Split(started == 0 ? ReadText(path) : "", '\n'))
            shown += line.substr(line.starts_with("time_s") ? 0 : line.find(',')) + "\n";
        EXPECT_EQ(shown, written);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("long.csv")));
}

} // namespace
