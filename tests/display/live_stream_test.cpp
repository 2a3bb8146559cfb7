// The live stream's listeners and its CSV row.
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

namespace {

std::string Heard;
template <char Name> void Hear(const LiveSample&) {
    Heard += Name;
}
void WriteRow(const LiveSample& sample) {
    LiveCsvRow row;
    Heard += std::string(row.data(), FormatLiveCsvRow(row, 1.5, sample));
}

// The worked frame (lambda 1.67, factor 14.70) and raw 0 (lambda 0.67) at factor 9.05, shown
// unsmoothed: AFR 1.67 x 14.70 = 24.549 and 0.67 x 9.05 = 6.0635, in tenths.
TEST(LiveStreamTest, EveryListenerGetsEveryFrameInTheOrderAddedAndTheCsvRow) {
    ResetLinkState();
    ResetLiveState();
    ResponseRate = 100;
    const std::tuple<void (*)(), std::string> rows[] = {
        {[] { AddLiveListener(Hear<'a'>), AddLiveListener(Hear<'b'>), AddLiveListener(Hear<'c'>); },
         "abcabc"},
        // A listener added after a removal still comes after those already there.
        {[] { RemoveLiveListener(Hear<'a'>), AddLiveListener(Hear<'d'>); }, "bcdbcd"},
        {[] { RemoveAllLiveListeners(), AddLiveListener(WriteRow); },
         "1.500,1.67,24.5,1.6700,14.70\n1.500,0.67,6.1,0.6700,9.05\n"},
    };
    for (const auto& [change, heard] : rows) {
        change();
        Heard.clear();
        for (uint8_t byte : Hex("57 00 7F FF 00 05 BE 02 98 57 00 00 00 00 03 89 00 E3"))
            RxStoreByte(byte);
        while (DecodeLiveFrame() == LIVE_FRAME_OK) {
        }
        EXPECT_EQ(Heard, heard);
    }
    RemoveAllLiveListeners();
}

} // namespace
