// Exchanges through the real comm thread against a scripted unit on a pseudo-terminal.
#include "link/link.h"
#include "platform/ticks.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<uint8_t> Hex(std::initializer_list<int> bytes) {
    std::vector<uint8_t> out;
    for (int byte : bytes)
        out.push_back(static_cast<uint8_t>(byte));
    return out;
}

std::vector<uint8_t> Repeat(std::vector<uint8_t> head, int count, int byte,
                            std::initializer_list<int> tail) {
    head.insert(head.end(), static_cast<size_t>(count), static_cast<uint8_t>(byte));
    for (int b : tail)
        head.push_back(static_cast<uint8_t>(b));
    return head;
}

const std::vector<uint8_t> ACK_W = UnitFrame('W', 'A', {0, 0, 0});
const std::vector<uint8_t> ACK_Z = UnitFrame('Z', 'A', {0, 0, 0});

class ProtocolTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    void SetUp() override {
        ClearRecordedNotices();
        ASSERT_TRUE(OpenPtyPeer(peer));
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
    }
    void TearDown() override {
        StopLink();
        ClosePtyPeer(peer);
    }
    // The previous request has left TxBuf: a pre-loaded reply can end a command before the
    // comm thread has written its request, and the next one would find the buffer busy.
    static void WaitUntilSent() {
        ASSERT_TRUE(WaitFor([] { return TxLen.load() == 0; }, 1000));
    }
    // The reply is on the line before the request goes out, as from a quick unit.
    void Reply(const std::vector<uint8_t>& bytes) {
        WaitUntilSent();
        size_t before = static_cast<size_t>(RxAvailable());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor(
            [&] { return static_cast<size_t>(RxAvailable()) >= before + bytes.size(); }, 1000));
    }
};

TEST_F(ProtocolTest, CommandsSendTheWorkedFramesByteForByte) {
    Reply(ACK_W);
    EXPECT_EQ(SetStreamMode(8), 0);
    EXPECT_EQ(PeerRead(peer, 14, 500), Hex({0x52, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A}));

    std::vector<uint8_t> block(256);
    for (int i = 0; i < 256; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    Reply(UnitFrame('W', 'E', block));
    std::array<uint8_t, 256> copy{};
    EXPECT_EQ(ReadDataBlock(copy.data(), 256), 0);
    EXPECT_EQ(PeerRead(peer, 14, 500), Repeat({0x52, 0x07}, 10, 0x20, {0x01, 0x99}));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), copy.begin()));

    Reply(ACK_Z);
    EXPECT_EQ(EnterLoadMode(1), 0);
    EXPECT_EQ(PeerRead(peer, 14, 500), Hex({0x52, 0x0F, 0x4C, 0x6F, 0x61, 0x64, 0x4D, 0x6F, 0x64,
                                            0x65, 0x01, 0x20, 0x03, 0x87}));

    WaitUntilSent();
    EXPECT_EQ(LeaveLoadMode(), 0);
    EXPECT_EQ(PeerRead(peer, 22, 500), Repeat({0x5A, 0x01}, 18, 0x20, {0x02, 0x9B}));

    Reply(UnitFrame('Z', 'E', block));
    EXPECT_EQ(LoaderReadDataBlock(nullptr, 0), 0);
    EXPECT_EQ(PeerRead(peer, 22, 500), Repeat({0x5A, 0x03}, 18, 0x20, {0x02, 0x9D}));

    Reply(ACK_Z);
    std::array<uint8_t, 16> zeros{};
    EXPECT_EQ(WriteDataRecord(4, zeros.data()), 0);
    std::vector<uint8_t> record = PeerRead(peer, 22, 500);
    ASSERT_EQ(record.size(), 22u);
    EXPECT_EQ(record[19], 0x20);
    EXPECT_EQ(record[20], 0x00);
    EXPECT_EQ(record[21], 0x82);

    std::array<uint8_t, 16> data{};
    for (int i = 0; i < 16; ++i)
        data[static_cast<size_t>(i)] = static_cast<uint8_t>(i + 1);
    Reply(ACK_Z);
    EXPECT_EQ(WriteBlock(0x1234, data.data()), 0);
    std::vector<uint8_t> write = PeerRead(peer, 22, 500);
    ASSERT_EQ(write.size(), 22u);
    EXPECT_EQ(write[2], 0x12);
    EXPECT_EQ(write[3], 0x34);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), write.begin() + 4));

    Reply(UnitFrame('Z', 'F', std::vector<uint8_t>(data.begin(), data.end())));
    EXPECT_EQ(ReadBlock(0x0D40), 0);
    EXPECT_EQ(PeerRead(peer, 22, 500),
              Repeat({0x5A, 0x02, 0x0D, 0x40, 0x07}, 15, 0x20, {0x02, 0x90}));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), RespBuf.begin()));
}

TEST_F(ProtocolTest, WorkedAcknowledgeFrameIsAccepted) {
    EXPECT_EQ(ACK_W, Hex({0x57, 0x41, 0, 0, 0, 0, 0x98}));
    Reply(ACK_W);
    EXPECT_EQ(SetStreamMode(0), 0);
    EXPECT_EQ(LastType.load(), 'A');
}

TEST_F(ProtocolTest, ScannerSkipsNoiseDoubledHeadersAndUnknownTypes) {
    std::vector<uint8_t> line = Hex({0x00, 0x13, 'X', 'W', 'Q', 0x55});
    line.push_back('W'); // doubled header: the second one starts the frame
    std::vector<uint8_t> ack = ACK_W;
    line.insert(line.end(), ack.begin(), ack.end());
    Reply(line);
    EXPECT_EQ(SetStreamMode(8), 0);
    EXPECT_EQ(RxAvailable(), 0);
}

TEST_F(ProtocolTest, WrongSumFailsAtOnceThoughAGoodFrameFollows) {
    std::vector<uint8_t> bad = ACK_W;
    bad.back() ^= 0x01;
    std::vector<uint8_t> line = bad;
    line.insert(line.end(), ACK_W.begin(), ACK_W.end());
    Reply(line);
    int32_t start = TickCount.load();
    EXPECT_EQ(SetStreamMode(8), -1);
    EXPECT_LE(TickCount.load() - start, 1);
    EXPECT_EQ(RxAvailable(), static_cast<int>(ACK_W.size())) << "scanning stops at the bad sum";
}

TEST_F(ProtocolTest, RefusalAndYFramesDecideByLastType) {
    Reply(UnitFrame('W', 'N', {1, 2, 3}));
    EXPECT_EQ(SetStreamMode(8), -1);
    EXPECT_EQ(LastType.load(), 'N');

    // A 'Y' frame carries one byte and leaves the previous verdict in place.
    Reply(UnitFrame('W', 'Y', {7}));
    EXPECT_EQ(SetStreamMode(8), -1);
    EXPECT_EQ(RespBuf[0], 7);
    Reply(ACK_W);
    EXPECT_EQ(SetStreamMode(8), 0);
    Reply(UnitFrame('W', 'Y', {9}));
    EXPECT_EQ(SetStreamMode(8), 0);
}

TEST_F(ProtocolTest, SilentUnitFailsAfterFiveTicks) {
    int32_t start = TickCount.load();
    EXPECT_EQ(SetStreamMode(8), -1);
    int32_t waited = TickCount.load() - start;
    EXPECT_GE(waited, 5);
    EXPECT_LE(waited, 8);
}

TEST_F(ProtocolTest, ReplyStoppingMidPayloadTimesOut) {
    std::vector<uint8_t> partial = UnitFrame('W', 'E', std::vector<uint8_t>(256, 1));
    partial.resize(100);
    Reply(partial);
    int32_t start = TickCount.load();
    EXPECT_EQ(ReadDataBlock(nullptr, 0), -1);
    EXPECT_LE(TickCount.load() - start, 8);
}

TEST_F(ProtocolTest, GetDeviceDataAgainstSilentUnitMakesFiveExchangesAndOneBox) {
    EXPECT_EQ(GetDeviceData(), -1);
    EXPECT_EQ(DeviceDataValid.load(), 0);
    std::vector<uint8_t> sent = PeerDrain(peer, 200);
    ASSERT_EQ(sent.size(), 14u + 14u + 3u * 22u);
    EXPECT_EQ(sent[1], 0x00);
    EXPECT_EQ(sent[15], 0x07);
    EXPECT_EQ(sent[28], 'Z');
    EXPECT_EQ(sent[29], 0x03);
    ASSERT_EQ(CountNotices(), 1u);
    EXPECT_EQ(RecordedNotices[0].text, DATA_ERROR_TEXT);
    EXPECT_EQ(RecordedNotices[0].caption, "Error");
    EXPECT_EQ(ErrorShown.load(), 1);

    EXPECT_EQ(GetDeviceData(), -1);
    EXPECT_EQ(CountNotices(), 1u) << "the box is shown once until re-armed";
}

TEST_F(ProtocolTest, GetDeviceDataFallsBackToTheLoader) {
    std::vector<uint8_t> block(256, 0x5C);
    // SetStreamMode and ReadDataBlock go unanswered, as from a unit sitting in its loader.
    std::thread unit([&] {
        PeerRead(peer, 14 + 14 + 22, 3000);
        PeerWrite(peer, UnitFrame('Z', 'E', block));
    });
    EXPECT_EQ(GetDeviceData(), 0);
    unit.join();
    EXPECT_EQ(DeviceDataValid.load(), 1);
    EXPECT_EQ(DeviceInfo[0], 0x5C);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(ProtocolTest, ExchangesFromTwoThreadsNeverInterleave) {
    // A unit that answers each request only after reading all of it.
    std::atomic<bool> stop{false};
    std::thread unit([&] {
        while (!stop) {
            std::vector<uint8_t> request = PeerRead(peer, 14, 50);
            if (request.size() == 14)
                PeerWrite(peer, ACK_W);
        }
    });
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 20; ++i)
            if (SetStreamMode(8) != 0)
                ++failures;
    };
    std::thread a(worker);
    std::thread b(worker);
    a.join();
    b.join();
    stop = true;
    unit.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
