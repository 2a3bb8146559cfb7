// Live frames taken out of the receive ring and turned into the shown lambda and AFR. The
// test thread stores the bytes as the comm thread would and then consumes them.
#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Frame(std::vector<uint8_t> bytes) {
    unsigned sum = 0;
    for (uint8_t byte : bytes)
        sum += byte;
    bytes.push_back(static_cast<uint8_t>(sum >> 8));
    bytes.push_back(static_cast<uint8_t>(sum));
    return bytes;
}

std::vector<uint8_t> LiveFrame(uint32_t raw, int factorX100) {
    return Frame({LIVE_FRAME_HEADER, 0, static_cast<uint8_t>(raw >> 16),
                  static_cast<uint8_t>(raw >> 8), static_cast<uint8_t>(raw),
                  static_cast<uint8_t>(factorX100 >> 8), static_cast<uint8_t>(factorX100)});
}

// Raw values of exact lambdas in the upper range: 32767 + 158 * lambda, in 1/256 steps.
constexpr uint32_t RAW_LAMBDA_2_0 = (32767 + 316) * 256;
constexpr uint32_t RAW_LAMBDA_2_5 = (32767 + 395) * 256;

void Arrive(const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes)
        RxStoreByte(byte);
}

int HookCalls = 0;
void CountHookCall() {
    ++HookCalls;
}

class LiveDecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetLiveState();
        ResponseRate = 100;
        HookCalls = 0;
        LiveFrameHook = CountHookCall;
    }
    void TearDown() override {
        LiveFrameHook = nullptr;
        ResponseRate = 50;
    }
};

TEST(RawToLambda, TwoRangesThatDoNotJoin) {
    EXPECT_DOUBLE_EQ(RawToLambda(0), 0.67);
    EXPECT_DOUBLE_EQ(RawToLambda(0x7FFF00), 1.67);
    EXPECT_DOUBLE_EQ(RawToLambda(0x7FFF00 / 2), 0.67 + 16383.5 / 32767.0);
    EXPECT_NEAR(RawToLambda(0x7FFF01), 0.0000247, 0.0000001);
    EXPECT_DOUBLE_EQ(RawToLambda(RAW_LAMBDA_2_0), 2.0);
    EXPECT_NEAR(RawToLambda(0xFFFFFF), 207.3987, 0.0001);
}

TEST(BlendSample, WeightIsClampedToNoneOrAll) {
    EXPECT_EQ(BlendSample(0, 1.0, 2.0), 1.0);
    EXPECT_EQ(BlendSample(-20, 1.0, 2.0), 1.0);
    EXPECT_EQ(BlendSample(100, 1.0, 2.0), 2.0);
    EXPECT_EQ(BlendSample(180, 1.0, 2.0), 2.0);
    EXPECT_DOUBLE_EQ(BlendSample(25, 1.0, 2.0), 1.25);
}

TEST_F(LiveDecodeTest, TopOfTheLowerRangeGivesTheShownValues) {
    Arrive({'W', 0x00, 0x7F, 0xFF, 0x00, 0x05, 0xBE, 0x02, 0x98});
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_DOUBLE_EQ(LambdaStage1, 1.67);
    EXPECT_DOUBLE_EQ(LambdaStage2, 1.67);
    EXPECT_EQ(LambdaX100.load(), 167);
    EXPECT_EQ(AfrX10.load(), 245) << "245.49 truncates after adding a half";
    EXPECT_EQ(LiveFactorX100.load(), 1470);
    EXPECT_DOUBLE_EQ(LiveLambda.load(), 1.67);
    EXPECT_EQ(HookCalls, 1);
    EXPECT_EQ(RxAvailable(), 0);
}

TEST_F(LiveDecodeTest, BottomOfTheUpperRangeShowsZero) {
    Arrive(LiveFrame(0x7FFF01, 1470));
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(LambdaX100.load(), 0);
    EXPECT_EQ(AfrX10.load(), 0);
}

TEST_F(LiveDecodeTest, AfrRoundsHalfUp) {
    Arrive(LiveFrame(RAW_LAMBDA_2_5, 1470));
    ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(AfrX10.load(), 368) << "367.5";
    Arrive(LiveFrame(RAW_LAMBDA_2_0, 1472));
    ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(AfrX10.load(), 294) << "294.4";
    Arrive(LiveFrame(RAW_LAMBDA_2_0, 1473));
    ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(AfrX10.load(), 295) << "294.6";
    EXPECT_EQ(LambdaX100.load(), 200);
}

TEST_F(LiveDecodeTest, SmoothingStagesFollowTheResponseRate) {
    // Rate 50: the second stage moves with weight 100, so it equals the first.
    ResponseRate = 50;
    Arrive(LiveFrame(static_cast<uint32_t>((1.2 - 0.67) * 32767 * 256 + 0.5), 1470));
    ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_NEAR(LambdaStage1, 1.1, 1e-7);
    EXPECT_NEAR(LambdaStage2, 1.1, 1e-7);
    EXPECT_EQ(LambdaX100.load(), 110);

    ResetLiveState();
    ResponseRate = 10;
    Arrive(LiveFrame(RAW_LAMBDA_2_0, 1470));
    ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_DOUBLE_EQ(LambdaStage1, 1.1);
    EXPECT_DOUBLE_EQ(LambdaStage2, 1.02);
    EXPECT_EQ(LambdaX100.load(), 102);
    EXPECT_EQ(AfrX10.load(), 150) << "1.02 x 14.70 = 14.99";

    ResetLiveState();
    ResponseRate = 0;
    for (int i = 0; i < 5; ++i) {
        Arrive(LiveFrame(RAW_LAMBDA_2_0, 1470));
        ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    }
    EXPECT_EQ(LambdaStage1, 1.0);
    EXPECT_EQ(LambdaStage2, 1.0);
    EXPECT_EQ(LambdaX100.load(), 100);
    EXPECT_EQ(AfrX10.load(), 147) << "the factor is not smoothed";
    EXPECT_EQ(HookCalls, 7);
}

TEST_F(LiveDecodeTest, BadSumDropsTheWholeFrameAndKeepsTheValues) {
    std::vector<uint8_t> good = {'W', 0x00, 0x7F, 0xFF, 0x00, 0x05, 0xBE, 0x02, 0x98};
    std::vector<uint8_t> bad = good;
    bad[3] = 0xFE;
    Arrive(bad);
    Arrive(good);
    LiveFrameValues values;
    EXPECT_EQ(ExtractLiveFrame(values), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(RxAvailable(), 9) << "the scan goes on after the bad frame's last byte";
    Arrive(bad);
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(LambdaX100.load(), 167);
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(LambdaX100.load(), 167);
    EXPECT_EQ(AfrX10.load(), 245);
    EXPECT_EQ(HookCalls, 1);
    EXPECT_EQ(RxAvailable(), 0);
}

TEST_F(LiveDecodeTest, NoiseBeforeAFrameIsSkipped) {
    Arrive({0x00, 0x41, 0xFF, 0x56, 0x58});
    Arrive(LiveFrame(0x123456, 0x0A0B));
    LiveFrameValues values;
    EXPECT_EQ(ExtractLiveFrame(values), LIVE_FRAME_OK);
    EXPECT_EQ(values, (LiveFrameValues{0, 0x12, 0x34, 0x56, 0x0A, 0x0B}));
    EXPECT_EQ(RxAvailable(), 0);

    Arrive({0x01, 0x02, 0x03});
    EXPECT_EQ(ExtractLiveFrame(values), LIVE_FRAME_INCOMPLETE);
    EXPECT_EQ(RxAvailable(), 0) << "noise without a header is consumed";
}

TEST_F(LiveDecodeTest, FrameAcrossTheRingWrap) {
    RxWriteIndex = RX_RING_SIZE - 4;
    RxReadIndex = RX_RING_SIZE - 4;
    Arrive(LiveFrame(RAW_LAMBDA_2_0, 1470));
    ASSERT_EQ(RxWriteIndex.load(), 5);
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(LambdaX100.load(), 200);
    EXPECT_EQ(RxReadIndex.load(), 5);
}

TEST_F(LiveDecodeTest, FrameSplitAcrossTwoArrivalsWaitsForItsTail) {
    std::vector<uint8_t> frame = LiveFrame(RAW_LAMBDA_2_0, 1470);
    RxWriteIndex = RX_RING_SIZE - 6;
    RxReadIndex = RX_RING_SIZE - 6;
    Arrive({0x11, 0x22});
    Arrive(std::vector<uint8_t>(frame.begin(), frame.begin() + 6));
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_INCOMPLETE);
    EXPECT_EQ(RxAvailable(), 6) << "the noise goes, the started frame stays";
    EXPECT_EQ(RxPeekByte(), 'W');
    EXPECT_EQ(HookCalls, 0);

    Arrive(std::vector<uint8_t>(frame.begin() + 6, frame.end()));
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(LambdaX100.load(), 200);
    EXPECT_EQ(HookCalls, 1);
    EXPECT_EQ(RxAvailable(), 0);
}

} // namespace
