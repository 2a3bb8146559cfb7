// Live data: the unit streams 9-byte frames ("W", one unused byte, a 24-bit raw lambda, the
// stoichiometric factor in hundredths, a 16-bit sum). Each good frame is converted to lambda,
// smoothed in two stages by ResponseRate (settings/config.h) and turned into the displayed
// lambda and AFR. The live stream (display/live_stream.h) hands the result to its listeners.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

constexpr uint8_t LIVE_FRAME_HEADER = 0x57; // "W"
constexpr int LIVE_FRAME_SIZE = 9;

enum LiveFrameResult : int {
    LIVE_FRAME_OK = 0,         // a whole frame with a correct sum was taken
    LIVE_FRAME_BAD_SUM = 3,    // a whole frame was taken and dropped: wrong sum
    LIVE_FRAME_INCOMPLETE = 4, // no frame yet; the start of one stays in RxRing
};

// The frame's bytes at offsets 1 to 6, each 0 to 255.
using LiveFrameValues = std::array<int32_t, 6>;

// What one good frame gives.
struct LiveSample {
    double lambdaRaw;   // the frame's own lambda, before smoothing
    int32_t lambdaX100; // smoothed lambda in hundredths, as the dial shows it
    int32_t afrX10;     // smoothed lambda times the frame's factor, in tenths
    int32_t factorX100; // the frame's stoichiometric factor in hundredths
};

// Smoothing stages; the display thread alone uses them.
extern double LambdaStage1;
extern double LambdaStage2;
// What the gauges show: lambda in hundredths and AFR in tenths, both rounded. The paint
// handler reads them while the display thread writes them.
extern std::atomic<int32_t> LambdaX100;
extern std::atomic<int32_t> AfrX10;

// Skips and consumes bytes up to the next "W". A frame whose last bytes have not arrived yet
// is left in the ring, "W" included, so that the next call takes it whole. A frame with a wrong
// sum is dropped whole, or, when a good frame began inside it (bytes were lost: it was cut
// short), up to that frame, which the next call takes.
int ExtractLiveFrame(LiveFrameValues& values);
// Extracts one frame and, when it is good, updates the stages and the shown values and fills
// sample. Returns the extraction result.
int DecodeLiveFrame(LiveSample& sample);
double RawToLambda(uint32_t raw);
// Moves weight per cent of the way from previous to sample (0 or less: stays; 100 or more: sample).
double BlendSample(int32_t weight, double previous, double sample);

// The next good frame starts the smoothing from its own lambda instead of blending it in: the
// stream has started again (a live view entered) or stopped (display/live_stream.h).
// Any thread may call it.
void RestartSmoothing();
// Start values of the smoothing stages and the shown values (start-up, tests); the first good
// frame starts the smoothing.
void ResetLiveState();
