// The receive ring and the transmit hand-over, without a port.
#include "link/link.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

// One byte arrives at a ring with the given indices; a full ring drops it and keeps its index.
TEST(RingTest, ByteArrivingAtTheRingsEdges) {
    ResetLinkState();
    struct Row {
        int32_t read, write;
        int unread, writeAfter, overflow;
    } const rows[] = {{77, 77, 0, 78, 0},
                      {5, 4, 16383, 4, 1},
                      {0, 16383, 16383, 16383, 1},
                      {16382, 16383, 1, 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.write);
        RxReadIndex = row.read;
        RxWriteIndex = row.write;
        EXPECT_EQ(RxAvailable(), row.unread);
        RxStoreByte(0x99);
        EXPECT_EQ(RxWriteIndex.load(), row.writeAfter);
        EXPECT_EQ(RxOverflow.load(), row.overflow);
    }
    RxReadIndex = RxWriteIndex = 3;
    EXPECT_EQ(std::pair(RxReadByte(), RxPeekByte()), std::pair(-1, -1));
    EXPECT_EQ(RxReadIndex.load(), 3);
    RxReadIndex = 5; // full: after one byte is read the next is stored again
    RxWriteIndex = 4;
    RxStoreByte(1);
    RxReadByte();
    RxStoreByte(0x33);
    EXPECT_EQ(std::tuple(RxOverflow.load(), RxWriteIndex.load(), RxRing[5]),
              std::tuple(0, 5, 0x33));
}

TEST(RingTest, TransmitHandOverLimits) {
    ResetLinkState();
    std::vector<uint8_t> payload(257, 0x20);
    EXPECT_EQ(QueueTransmit(payload.data(), 4), -1) << "link down";
    PortOpen = 1;
    EXPECT_EQ(QueueTransmit(payload.data(), 257), -1);
    EXPECT_EQ(SendRequest('Z', 9, payload.data(), 253), -1);
    EXPECT_EQ(SendRequest('Z', 9, payload.data(), 252), 0);
    EXPECT_EQ(TxLen.load(), 256);
    EXPECT_EQ(TxBuf[254] << 8 | TxBuf[255], 0x1FE3) << "0x5A + 9 + 252 * 0x20";
    EXPECT_EQ(QueueTransmit(payload.data(), 4), -1) << "the previous frame still waits";
    TxLen = 0;
    EXPECT_EQ(QueueTransmit(payload.data(), 256), 0);
    // A cut name could be another port: it is refused whole and the request still goes.
    EXPECT_EQ(RequestPort(PORT_REOPEN, std::string(PORT_PATH_SIZE + 10, 'X').c_str()), 0);
    EXPECT_EQ(std::tuple(PortOpen.load(), PortPath[0], PortRequestPending.load()),
              std::tuple(0, '\0', 1));
}

} // namespace
