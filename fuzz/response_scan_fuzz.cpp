// The response scanner over arbitrary received bytes: AwaitResponse reads them from the
// ring for each reply header the commands wait for ('W' in application mode, 'Z' in the
// loader). No comm thread runs; the bytes are in the ring before the scan starts.
//
// A complete input ends the scan without waiting: after the input come more filler bytes
// than the longest frame holds (any frame begun in the input ends inside them) and then a
// good acknowledge frame (a scan still looking for a header ends on it). The scanner's own
// time-outs therefore never start, and TickCount stays where it is set.
#include "fuzz_support.h"

#include "link/link.h"
#include "platform/ticks.h"

#include <array>

namespace {
constexpr std::array<uint8_t, 2> REPLY_HEADERS = {'W', 'Z'};
// The 'E' frame: header, type, 256 bytes, two sum bytes.
constexpr int LONGEST_FRAME = 260;
// Never a header, so a scan looking for one passes over it.
constexpr uint8_t FILLER = 0x00;
constexpr int ACK_FRAME_SIZE = 7;
constexpr size_t TRAILER_SIZE = LONGEST_FRAME + ACK_FRAME_SIZE;

void StoreTrailer(uint8_t header) {
    for (int i = 0; i < LONGEST_FRAME; ++i)
        RxStoreByte(FILLER);
    std::array<uint8_t, ACK_FRAME_SIZE> ack = {header, 'A', 1, 2, 3, 0, 0};
    unsigned sum = 0;
    for (int i = 0; i < ACK_FRAME_SIZE - 2; ++i)
        sum += ack[static_cast<size_t>(i)];
    ack[5] = static_cast<uint8_t>(sum >> 8);
    ack[6] = static_cast<uint8_t>(sum & 0xFF);
    for (uint8_t byte : ack)
        RxStoreByte(byte);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ResetLinkState();
    PortOpen.store(1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > RX_RING_SIZE - 1 - TRAILER_SIZE)
        return -1;
    for (uint8_t header : REPLY_HEADERS) {
        LoadRing(data, size);
        StoreTrailer(header);
        int stored = RxAvailable();
        TickCount.store(0);
        LastType.store(0);
        int result = AwaitResponse(header);
        if (result != 0 && result != -1)
            FuzzFail("AwaitResponse returns 0 or -1");
        if (RxAvailable() >= stored)
            FuzzFail("a scan consumes what it looks at");
        char type = LastType.load();
        if (type != 0 && type != 'A' && type != 'N' && type != 'F' && type != 'E')
            FuzzFail("LastType is a type of the response table");
        if (result != 0 && type != 0)
            FuzzFail("a failed scan records no type");
    }
    return 0;
}
