// Live-frame extraction and decoding over arbitrary received bytes: DecodeLiveFrame (and
// through it ExtractLiveFrame) is called until it wants more bytes, as the live stream's pass
// calls it while the unit streams.
#include "fuzz_support.h"

#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ResetLinkState();
    ResetSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!LoadRing(data, size))
        return -1;
    ResetLiveState();
    // Every call that does not wait takes a byte at least, so there are never more calls than
    // bytes plus the last.
    for (size_t calls = 0;; ++calls) {
        if (calls > size)
            FuzzFail("every call that is not left waiting consumes a frame");
        int before = RxAvailable();
        LiveSample sample;
        int result = DecodeLiveFrame(sample);
        int taken = before - RxAvailable();
        if (result == LIVE_FRAME_INCOMPLETE) {
            // Only bytes before a "W" are dropped; a frame's start stays for the next call, or a
            // bad frame with the start of one that began inside it.
            int left = RxAvailable();
            if (left >= 2 * LIVE_FRAME_SIZE - 1 || (left > 0 && RxPeekByte() != LIVE_FRAME_HEADER))
                FuzzFail("a wait leaves at most a bad frame and a frame's start, from a W on");
            break;
        }
        if (result != LIVE_FRAME_OK && result != LIVE_FRAME_BAD_SUM)
            FuzzFail("the result is one of the three");
        if (taken < (result == LIVE_FRAME_OK ? LIVE_FRAME_SIZE : 1))
            FuzzFail("a good frame taken is nine bytes and what came before its W");
    }
    // The shown values come from 24-bit lambda and 16-bit factor readings: never negative.
    if (LambdaX100.load() < 0 || AfrX10.load() < 0)
        FuzzFail("shown lambda and AFR are not negative");
    return 0;
}
