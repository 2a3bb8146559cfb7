// Live frames taken out of the receive ring and turned into the shown lambda and AFR. The
// test thread stores the bytes as the comm thread would and then consumes them.
#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

namespace {

LiveSample sample;

void Arrive(const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes)
        RxStoreByte(byte);
}

// A live frame of one raw lambda (big-endian, 3 bytes) and the factor 14.70 (05 BE); the factor
// read from the frame is LiveStreamTest's.
Bytes LiveFrame(uint32_t raw) {
    return UnitFrame('W', 0, {uint8_t(raw >> 16), uint8_t(raw >> 8), uint8_t(raw), 0x05, 0xBE});
}

// Raw values of exact lambdas in the upper range: 32767 + 158 * lambda, in 1/256 steps.
constexpr uint32_t RAW_1_0 = (32767 + 158) * 256, RAW_2_0 = (32767 + 316) * 256,
                   RAW_2_5 = (32767 + 395) * 256;

TEST(LiveDecodeTest, ShownValuesRoundHalfUpAndFollowTheResponseRate) {
    // Each row from both stages at 1.0, where a first frame of 1.0 puts them: then frames of one
    // raw value at one rate.
    const std::tuple<int32_t, uint32_t, int, double, double, int32_t, int32_t> rows[] = {
        {100, 0x7FFF00, 1, 1.67, 1.67, 167, 245},       // 245.49 truncates after a half
        {100, 0x7FFF01, 1, 0.0000247, 0.0000247, 0, 0}, // bottom of the upper range
        {100, 0, 1, 0.67, 0.67, 67, 98},                // 98.49
        {100, RAW_2_5, 1, 2.5, 2.5, 250, 368},          // 367.5
        {50, static_cast<uint32_t>(0.53 * 32767 * 256 + 0.5), 1, 1.1, 1.1, 110, 162}, // 1.2
        {10, RAW_2_0, 1, 1.1, 1.02, 102, 150},                                        // 14.994
        {0, RAW_2_0, 5, 1.0, 1.0, 100, 147}};                                         // frozen
    for (auto [rate, raw, frames, stage1, stage2, lambdaX100, afrX10] : rows) {
        SCOPED_TRACE(testing::Message() << "rate " << rate << " raw " << raw);
        ResetLinkState();
        ResetLiveState();
        ResponseRate = rate;
        Arrive(LiveFrame(RAW_1_0));
        ASSERT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_OK);
        for (int i = 0; i < frames; ++i) {
            Arrive(LiveFrame(raw));
            ASSERT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_OK);
        }
        EXPECT_NEAR(LambdaStage1, stage1, 1e-4);
        EXPECT_NEAR(LambdaStage2, stage2, 1e-4);
        EXPECT_EQ(std::tuple(LambdaX100.load(), AfrX10.load(), RxAvailable()),
                  std::tuple(lambdaX100, afrX10, 0));
    }
}

TEST(LiveDecodeTest, NoiseAndBadSumsAcrossTheRingWrap) {
    ResetLinkState();
    ResetLiveState();
    ResponseRate = 100;
    RxWriteIndex = RxReadIndex = RX_RING_SIZE - 6;
    const std::vector<uint8_t> worked = Hex("57 00 7F FF 00 05 BE 02 98");
    std::vector<uint8_t> bad = worked;
    bad[3] = 0xFE;
    for (const auto& bytes : {Hex("00 41 FF 56 58"), bad, worked, bad})
        Arrive(bytes);
    EXPECT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(RxReadIndex.load(), 8) << "noise and frame consumed across the wrap";
    EXPECT_EQ(RxAvailable(), 18) << "the scan goes on after the bad frame's last byte";
    EXPECT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_OK);
    EXPECT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(std::pair(LambdaX100.load(), AfrX10.load()), std::pair(167, 245)) << "kept";
    // A frame cut short after 5 bytes: the frame whose "W" began inside it is still taken.
    uint64_t bads = LiveFramesBadSum, cut = LiveFramesCutShort;
    Arrive(Hex("57 00 7F FF 00"));
    Arrive(LiveFrame(RAW_2_0));
    EXPECT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(DecodeLiveFrame(sample), LIVE_FRAME_OK);
    EXPECT_EQ(std::tuple(LambdaX100.load(), LiveFramesBadSum - bads, LiveFramesCutShort - cut),
              std::tuple(200, 0u, 1u));
}

} // namespace
