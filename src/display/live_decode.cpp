// Live frame extraction from RxRing and the conversion of a frame into the shown values.
#include "display/live_decode.h"

#include "link/link.h"
#include "settings/config.h"

namespace {
constexpr double START_LAMBDA = 1.0;
constexpr int32_t START_LAMBDA_X100 = 100;
// Shown as 99.9 (the readout's top) until the first good frame.
constexpr int32_t START_AFR_X10 = 1470;

// The raw value is lambda in 1/256 steps. Up to 0x7fff00 it covers 0.67 to 1.67 finely;
// above that (x - 32767) / 158 covers lean mixtures up to about 207 coarsely.
constexpr uint32_t RAW_LOW_RANGE_TOP = 0x7fff00;
constexpr double RAW_STEP = 0.00390625;                    // 1/256
constexpr double LOW_RANGE_SCALE = 0.00003051850947599719; // 1/32767
constexpr double LOW_RANGE_START = 0.67;
constexpr double HIGH_RANGE_OFFSET = 32767.0;
constexpr double HIGH_RANGE_SCALE = 0.006329113924050633; // 1/158
} // namespace

namespace {
// Set from any thread when the stream starts or its values go stale; the next good frame then
// starts both stages from its own lambda, so that no value the engine did not have is shown or
// recorded: not the start value, not a unit seen minutes or an unplug before.
std::atomic<bool> SmoothingFresh{true};
} // namespace

double LambdaStage1 = START_LAMBDA;
double LambdaStage2 = START_LAMBDA;
std::atomic<int32_t> LambdaX100{START_LAMBDA_X100};
std::atomic<int32_t> AfrX10{START_AFR_X10};

namespace {
// Whether a whole frame with a right sum starts offset bytes into the unread ones: 1 or 0, or -1
// while its bytes have not all come.
int GoodFrameAt(int offset) {
    if (RxAvailable() < offset + LIVE_FRAME_SIZE)
        return -1;
    unsigned sum = 0;
    for (int i = 0; i < LIVE_FRAME_SIZE - 2; ++i)
        sum += static_cast<unsigned>(RxPeekByteAt(offset + i));
    unsigned given = static_cast<unsigned>(RxPeekByteAt(offset + LIVE_FRAME_SIZE - 2) << 8 |
                                           RxPeekByteAt(offset + LIVE_FRAME_SIZE - 1));
    return RxPeekByteAt(offset) == LIVE_FRAME_HEADER && given == (sum & 0xFFFF) ? 1 : 0;
}
} // namespace

int ExtractLiveFrame(LiveFrameValues& values) {
    values.fill(0);
    for (;;) {
        int byte = RxPeekByte();
        if (byte < 0)
            return LIVE_FRAME_INCOMPLETE;
        if (byte == LIVE_FRAME_HEADER)
            break;
        RxReadByte();
    }
    // The unit sends a frame back to back, so a short tail is still on its way: leave the
    // frame to the next call rather than losing it.
    int good = GoodFrameAt(0);
    if (good < 0)
        return LIVE_FRAME_INCOMPLETE;
    // A frame with a wrong sum whose bytes were lost on the way: the next frame's "W" began
    // inside it. Only the bytes before that frame are dropped, once it has come whole.
    int taken = LIVE_FRAME_SIZE;
    for (int start = 1; good == 0 && start < LIVE_FRAME_SIZE; ++start) {
        int next = RxPeekByteAt(start) == LIVE_FRAME_HEADER ? GoodFrameAt(start) : 0;
        if (next < 0)
            return LIVE_FRAME_INCOMPLETE;
        if (next == 1) {
            taken = start;
            break;
        }
    }
    for (int i = 0; i < taken; ++i) {
        int byte = RxReadByte();
        if (i >= 1 && i <= static_cast<int>(values.size()))
            values[static_cast<size_t>(i - 1)] = byte;
    }
    std::atomic<uint64_t>& count = good == 1                 ? LiveFramesGood
                                   : taken < LIVE_FRAME_SIZE ? LiveFramesCutShort
                                                             : LiveFramesBadSum;
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return good == 1 ? LIVE_FRAME_OK : LIVE_FRAME_BAD_SUM;
}

double RawToLambda(uint32_t raw) {
    double x = raw * RAW_STEP;
    if (raw > RAW_LOW_RANGE_TOP)
        return (x - HIGH_RANGE_OFFSET) * HIGH_RANGE_SCALE;
    return x * LOW_RANGE_SCALE + LOW_RANGE_START;
}

double BlendSample(int32_t weight, double previous, double sample) {
    if (weight <= 0)
        return previous;
    if (weight >= 100)
        return sample;
    return (100 - weight) * 0.01 * previous + weight * 0.01 * sample;
}

int DecodeLiveFrame(LiveSample& sample) {
    LiveFrameValues frame;
    int result = ExtractLiveFrame(frame);
    if (result != LIVE_FRAME_OK)
        return result;
    uint32_t raw = static_cast<uint32_t>(frame[1] << 16 | frame[2] << 8 | frame[3]);
    double lambda = RawToLambda(raw);
    int32_t rate = ResponseRate.load(std::memory_order_acquire);
    if (SmoothingFresh.exchange(false, std::memory_order_acq_rel)) {
        LambdaStage1 = lambda;
        LambdaStage2 = lambda;
    } else {
        LambdaStage1 = BlendSample(rate, LambdaStage1, lambda);
        // The second stage moves twice as far, so from a rate of 50 up it simply follows the
        // first.
        LambdaStage2 = BlendSample(2 * rate, LambdaStage2, LambdaStage1);
    }
    int32_t factorX100 = frame[4] << 8 | frame[5];
    double factor = factorX100 * 0.01;
    // The values are never negative, so truncation rounds half up.
    sample = {lambda, static_cast<int32_t>(LambdaStage2 * 100.0 + 0.5),
              static_cast<int32_t>(LambdaStage2 * factor * 10.0 + 0.5), factorX100};
    LambdaX100.store(sample.lambdaX100, std::memory_order_release);
    AfrX10.store(sample.afrX10, std::memory_order_release);
    return LIVE_FRAME_OK;
}

void RestartSmoothing() {
    SmoothingFresh.store(true, std::memory_order_release);
}

void ResetLiveState() {
    RestartSmoothing();
    LambdaStage1 = START_LAMBDA;
    LambdaStage2 = START_LAMBDA;
    LambdaX100.store(START_LAMBDA_X100);
    AfrX10.store(START_AFR_X10);
}
