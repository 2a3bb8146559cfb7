// Live frames taken out of the receive ring and turned into the shown lambda and AFR. The
// test thread stores the bytes as the comm thread would and then consumes them.
#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> LiveFrame(uint32_t raw, int factorX100) {
    std::vector<uint8_t> bytes = {'W',
                                  0,
                                  static_cast<uint8_t>(raw >> 16),
                                  static_cast<uint8_t>(raw >> 8),
                                  static_cast<uint8_t>(raw),
                                  static_cast<uint8_t>(factorX100 >> 8),
                                  static_cast<uint8_t>(factorX100)};
    unsigned sum = 0;
    for (uint8_t byte : bytes)
        sum += byte;
    bytes.push_back(static_cast<uint8_t>(sum >> 8));
    bytes.push_back(static_cast<uint8_t>(sum));
    return bytes;
}

// Raw values of exact lambdas in the upper range: 32767 + 158 * lambda, in 1/256 steps.
constexpr uint32_t RAW_LAMBDA_2_0 = (32767 + 316) * 256;
constexpr uint32_t RAW_LAMBDA_2_5 = (32767 + 395) * 256;
const std::vector<uint8_t> WORKED = {'W', 0x00, 0x7F, 0xFF, 0x00, 0x05, 0xBE, 0x02, 0x98};

void Arrive(const std::vector<uint8_t>& bytes) {
    for (uint8_t byte : bytes)
        RxStoreByte(byte);
}

int HookCalls = 0;

class LiveDecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
        ResetLiveState();
        ResponseRate = 100;
        HookCalls = 0;
        LiveFrameHook = [] { ++HookCalls; };
    }
    void TearDown() override {
        LiveFrameHook = nullptr;
        ResponseRate = 50;
    }
};

TEST(RawToLambda, TwoRangesThatDoNotJoinAndTheBlend) {
    struct Row {
        uint32_t raw;
        double lambda, within;
    };
    const Row rows[] = {{0, 0.67, 1e-12},
                        {0x7FFF00, 1.67, 1e-12},
                        {0x3FFF80, 1.17, 1e-12},
                        {0x7FFF01, 0.0000247, 1e-7},
                        {RAW_LAMBDA_2_0, 2.0, 1e-12},
                        {0xFFFFFF, 207.3987, 1e-4}};
    for (const Row& row : rows)
        EXPECT_NEAR(RawToLambda(row.raw), row.lambda, row.within) << "raw " << row.raw;
    struct Blend {
        int32_t weight;
        double result;
    };
    for (const Blend& row :
         {Blend{0, 1.0}, Blend{-20, 1.0}, Blend{100, 2.0}, Blend{180, 2.0}, Blend{25, 1.25}})
        EXPECT_DOUBLE_EQ(BlendSample(row.weight, 1.0, 2.0), row.result) << "weight " << row.weight;
}

TEST_F(LiveDecodeTest, ShownValuesRoundHalfUpAndFollowTheResponseRate) {
    // Each row from both stages at 1.0: frames of one raw value and factor at one rate.
    struct Row {
        int32_t rate;
        uint32_t raw;
        int factor, frames;
        double stage1, stage2;
        int32_t lambdaX100, afrX10;
    };
    const Row rows[] = {
        {100, 0x7FFF00, 1470, 1, 1.67, 1.67, 167, 245},       // 245.49 truncates after a half
        {100, 0x7FFF01, 1470, 1, 0.0000247, 0.0000247, 0, 0}, // bottom of the upper range
        {100, RAW_LAMBDA_2_5, 1470, 1, 2.5, 2.5, 250, 368},   // 367.5
        {100, RAW_LAMBDA_2_0, 1472, 1, 2.0, 2.0, 200, 294},   // 294.4
        {100, RAW_LAMBDA_2_0, 1473, 1, 2.0, 2.0, 200, 295},   // 294.6
        {50, static_cast<uint32_t>(0.53 * 32767 * 256 + 0.5), 1470, 1, 1.1, 1.1, 110, 162}, // 1.2
        {10, RAW_LAMBDA_2_0, 1470, 1, 1.1, 1.02, 102, 150}, // 14.994
        {0, RAW_LAMBDA_2_0, 1470, 5, 1.0, 1.0, 100, 147},   // frozen; the factor is not smoothed
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "rate " << row.rate << " raw " << row.raw);
        ResetLiveState();
        HookCalls = 0;
        ResponseRate = row.rate;
        for (int i = 0; i < row.frames; ++i) {
            Arrive(LiveFrame(row.raw, row.factor));
            ASSERT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
        }
        EXPECT_NEAR(LambdaStage1, row.stage1, 1e-7);
        EXPECT_NEAR(LambdaStage2, row.stage2, 1e-7);
        EXPECT_EQ(LambdaX100.load(), row.lambdaX100);
        EXPECT_EQ(AfrX10.load(), row.afrX10);
        EXPECT_EQ(LiveFactorX100.load(), row.factor);
        EXPECT_EQ(HookCalls, row.frames);
        EXPECT_EQ(RxAvailable(), 0);
    }
}

TEST_F(LiveDecodeTest, NoiseAndBadSumsAreDroppedWholeAcrossTheRingWrap) {
    RxWriteIndex = RX_RING_SIZE - 6;
    RxReadIndex = RX_RING_SIZE - 6;
    std::vector<uint8_t> bad = WORKED;
    bad[3] = 0xFE;
    Arrive({0x00, 0x41, 0xFF, 0x56, 0x58});
    Arrive(LiveFrame(0x123456, 0x0A0B));
    LiveFrameValues values;
    EXPECT_EQ(ExtractLiveFrame(values), LIVE_FRAME_OK);
    EXPECT_EQ(values, (LiveFrameValues{0, 0x12, 0x34, 0x56, 0x0A, 0x0B}));
    EXPECT_EQ(RxReadIndex.load(), 8) << "noise and frame consumed across the wrap";

    Arrive(bad);
    Arrive(WORKED);
    Arrive(bad);
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(RxAvailable(), 18) << "the scan goes on after the bad frame's last byte";
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_BAD_SUM);
    EXPECT_EQ(LambdaX100.load(), 167) << "a bad frame keeps the values";
    EXPECT_EQ(AfrX10.load(), 245);
    EXPECT_EQ(HookCalls, 1);

    Arrive({0x01, 0x02, 0x03});
    EXPECT_EQ(ExtractLiveFrame(values), LIVE_FRAME_INCOMPLETE);
    EXPECT_EQ(RxAvailable(), 0) << "noise without a header is consumed";
}

TEST_F(LiveDecodeTest, FrameSplitAcrossTwoArrivalsWaitsForItsTail) {
    std::vector<uint8_t> frame = LiveFrame(RAW_LAMBDA_2_0, 1470);
    Arrive({0x11, 0x22});
    Arrive(std::vector<uint8_t>(frame.begin(), frame.begin() + 6));
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_INCOMPLETE);
    EXPECT_EQ(RxAvailable(), 6) << "the noise goes, the started frame stays";
    EXPECT_EQ(HookCalls, 0);
    Arrive(std::vector<uint8_t>(frame.begin() + 6, frame.end()));
    EXPECT_EQ(DecodeLiveFrame(), LIVE_FRAME_OK);
    EXPECT_EQ(LambdaX100.load(), 200);
    EXPECT_EQ(RxAvailable(), 0);
}

} // namespace
