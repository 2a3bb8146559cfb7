// The live stream's listeners and its CSV row.
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Heard;
template <char Name> void Hear(const LiveSample& sample) {
    Heard += Name + std::to_string(sample.lambdaX100) + " ";
}

// Frames of lambda 1.67 (the worked frame) and 0.67 (raw 0), factor 14.70, shown unsmoothed.
void DecodeFrames() {
    for (const char* frame : {"57 00 7F FF 00 05 BE 02 98", "57 00 00 00 00 05 BE 01 1A"})
        for (uint8_t byte : Hex(frame))
            RxStoreByte(byte);
    while (DecodeLiveFrame() == LIVE_FRAME_OK) {
    }
}

TEST(LiveStreamTest, EveryListenerGetsEveryFrameInTheOrderAdded) {
    ResetLinkState();
    ResetLiveState();
    ResponseRate = 100;
    const std::tuple<void (*)(), std::string> rows[] = {
        {[] { AddLiveListener(Hear<'a'>), AddLiveListener(Hear<'b'>), AddLiveListener(Hear<'c'>); },
         "a167 b167 c167 a67 b67 c67 "},
        // A listener added after a removal still comes after those already there.
        {[] { RemoveLiveListener(Hear<'a'>), AddLiveListener(Hear<'d'>); },
         "b167 c167 d167 b67 c67 d67 "},
        {RemoveAllLiveListeners, ""},
    };
    for (const auto& [change, heard] : rows) {
        SCOPED_TRACE(heard);
        change();
        Heard.clear();
        DecodeFrames();
        EXPECT_EQ(Heard, heard);
    }
}

TEST(LiveStreamTest, CsvRowOfAFrame) {
    // The worked frame unsmoothed: lambda 1.67, AFR 1.67 x 14.70 = 24.549 shown as 24.5.
    const std::tuple<double, LiveSample, std::string> rows[] = {
        {1.5, {1.67, 167, 245, 1470}, "1.500,1.67,24.5,1.6700,14.70\n"},
        {0.0004, {0.90004, 95, 140, 905}, "0.000,0.95,14.0,0.9000,9.05\n"},
        {61.2346, {207.0, 20700, 30429, 1470}, "61.235,207.00,3042.9,207.0000,14.70\n"},
    };
    for (const auto& [seconds, sample, expected] : rows) {
        LiveCsvRow row;
        size_t length = FormatLiveCsvRow(row, seconds, sample);
        EXPECT_EQ(std::string(row.data(), length), expected);
    }
    EXPECT_EQ(LIVE_CSV_HEADER, "time_s,lambda,afr,lambda_raw,stoich\n");
}

} // namespace
