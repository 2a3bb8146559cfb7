// The receive ring and the transmit hand-over, without a port.
#include "link/link.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLinkState();
    }
};

TEST_F(RingTest, EmptyRingReportsNothing) {
    RxWriteIndex = 77;
    RxReadIndex = 77;
    EXPECT_EQ(RxAvailable(), 0);
    EXPECT_EQ(RxReadByte(), -1);
    EXPECT_EQ(RxPeekByte(), -1);
    EXPECT_EQ(RxReadIndex.load(), 77);
}

TEST_F(RingTest, FirstByteAfterResetLandsAtPositionOne) {
    RxStoreByte(0xAB);
    EXPECT_EQ(RxWriteIndex.load(), 1);
    EXPECT_EQ(RxRing[1], 0xAB);
    EXPECT_EQ(RxAvailable(), 1);
    EXPECT_EQ(RxPeekByte(), 0xAB);
    EXPECT_EQ(RxReadByte(), 0xAB);
    EXPECT_EQ(RxReadIndex.load(), 1);
    EXPECT_EQ(RxAvailable(), 0);
}

TEST_F(RingTest, FullRingDropsTheNewestByteUntilTheConsumerReads) {
    RxReadIndex = 5;
    RxWriteIndex = 4;
    EXPECT_EQ(RxAvailable(), RX_RING_SIZE - 1);
    RxRing[6] = 0x11;
    RxRing[5] = 0x22;
    RxStoreByte(0x99);
    EXPECT_EQ(RxOverflow.load(), 1);
    EXPECT_EQ(RxWriteIndex.load(), 4);
    EXPECT_EQ(RxRing[5], 0x22) << "the free slot must stay untouched";

    EXPECT_EQ(RxReadByte(), 0x11);
    RxStoreByte(0x33);
    EXPECT_EQ(RxOverflow.load(), 0);
    EXPECT_EQ(RxWriteIndex.load(), 5);
    EXPECT_EQ(RxRing[5], 0x33);
    EXPECT_EQ(RxAvailable(), RX_RING_SIZE - 1);
}

TEST_F(RingTest, FullAtTheWrapPoint) {
    RxWriteIndex = RX_RING_SIZE - 1;
    RxReadIndex = 0;
    EXPECT_EQ(RxAvailable(), RX_RING_SIZE - 1);
    RxStoreByte(1);
    EXPECT_EQ(RxOverflow.load(), 1);
    EXPECT_EQ(RxWriteIndex.load(), RX_RING_SIZE - 1);
}

TEST_F(RingTest, BytesWrapAroundInOrder) {
    RxWriteIndex = RX_RING_SIZE - 3;
    RxReadIndex = RX_RING_SIZE - 3;
    for (int i = 0; i < 6; ++i)
        RxStoreByte(static_cast<uint8_t>(10 + i));
    EXPECT_EQ(RxWriteIndex.load(), 3);
    EXPECT_EQ(RxAvailable(), 6);
    std::vector<int> read;
    for (int i = 0; i < 6; ++i)
        read.push_back(RxReadByte());
    EXPECT_EQ(read, (std::vector<int>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(RxReadByte(), -1);
}

TEST_F(RingTest, QueueTransmitLimits) {
    std::vector<uint8_t> frame(257, 0x41);
    EXPECT_EQ(QueueTransmit(frame.data(), 4), -1) << "refused while the link is down";
    PortOpen = 1;
    EXPECT_EQ(QueueTransmit(frame.data(), 257), -1);
    EXPECT_EQ(TxLen.load(), 0);
    EXPECT_EQ(QueueTransmit(frame.data(), 256), 0);
    EXPECT_EQ(TxLen.load(), 256);
    EXPECT_EQ(QueueTransmit(frame.data(), 4), -1) << "refused while the previous frame waits";
    TxLen = 0;
    EXPECT_EQ(QueueTransmit(frame.data(), 4), 0);
}

TEST_F(RingTest, SendRequestBuildsFramesAndRefusesLongPayloads) {
    PortOpen = 1;
    std::vector<uint8_t> payload(253, 0x20);
    EXPECT_EQ(SendRequest('Z', 9, payload.data(), 253), -1);
    EXPECT_EQ(TxLen.load(), 0);
    EXPECT_EQ(SendRequest('Z', 9, payload.data(), 252), 0);
    EXPECT_EQ(TxLen.load(), 256);
    unsigned sum = 'Z' + 9 + 252 * 0x20;
    EXPECT_EQ(TxBuf[254], (sum >> 8) & 0xFF);
    EXPECT_EQ(TxBuf[255], sum & 0xFF);
}

TEST_F(RingTest, RequestPortRefusesNamesThatDoNotFitThePath) {
    PortOpen = 1;
    std::string longName(PORT_PATH_SIZE + 10, 'X');
    EXPECT_EQ(RequestPort(PORT_REOPEN, longName.c_str()), 0);
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortPath[0], '\0') << "a name that does not fit is never truncated";
    EXPECT_EQ(PortRequestCode.load(), PORT_REOPEN);
    EXPECT_EQ(PortRequestPending.load(), 1);
}

} // namespace
