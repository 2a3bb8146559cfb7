// Exchanges through the real comm thread against a scripted unit on a pseudo-terminal.
#include "link/link.h"
#include "platform/notice.h"
#include "platform/ticks.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes ACK_W = Hex("57 41 00 00 00 00 98");

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
    // The reply is on the line before the request goes out, as from a quick unit.
    void Reply(const Bytes& bytes) {
        ASSERT_TRUE(WaitFor([] { return TxLen.load() == 0; }, 1000));
        int expected = RxAvailable() + static_cast<int>(bytes.size());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor([&] { return RxAvailable() >= expected; }, 1000));
    }
    // The command's result, and the milliseconds and ticks it took.
    static std::tuple<int, long, int> Timed(const std::function<int()>& command) {
        auto begin = std::chrono::steady_clock::now();
        int32_t start = TickCount.load();
        int result = command();
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - begin);
        return {result, static_cast<long>(ms.count()), TickCount.load() - start};
    }
};

TEST_F(ProtocolTest, CommandsSendTheWorkedFramesByteForByte) {
    Bytes block(256), data16 = Hex("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10");
    for (int i = 0; i < 256; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    std::array<uint8_t, 256> copy{};
    const Bytes ackZ = Hex("5A 41 00 00 00 00 9B"), none;
    const std::tuple<std::function<int()>, Bytes, const char*> rows[] = {
        {[] { return SetStreamMode(8); }, ACK_W, "52 00 08 00*10 5A"},
        {[&] { return ReadDataBlock(copy.data(), 256); }, UnitFrame('W', 'E', block),
         "52 07 20*10 01 99"},
        {[] { return EnterLoadMode(1); }, ackZ, "52 0F 4C 6F 61 64 4D 6F 64 65 01 20 03 87"},
        {[] { return LeaveLoadMode(); }, none, "5A 01 20*18 02 9B"},
        {[] { return LoaderReadDataBlock(nullptr, 0); }, UnitFrame('Z', 'E', block),
         "5A 03 20*18 02 9D"},
        {[] { return WriteDataRecord(4, Bytes(16, 0).data()); }, ackZ, "5A 04 04 00*16 20 00 82"},
        {[&] { return WriteBlock(0x1234, data16.data()); }, ackZ,
         "5A 00 12 34 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 01 28"},
        {[] { return ReadBlock(0x0D40); }, UnitFrame('Z', 'F', data16),
         "5A 02 0D 40 07 20*15 02 90"},
    };
    for (const auto& [command, reply, request] : rows) {
        SCOPED_TRACE(request);
        Reply(reply);
        EXPECT_EQ(command(), 0);
        EXPECT_EQ(PeerRead(peer, Hex(request).size(), 500), Hex(request));
    }
    EXPECT_TRUE(std::equal(block.begin(), block.end(), copy.begin()));
    EXPECT_TRUE(std::equal(data16.begin(), data16.end(), RespBuf.begin()));
}

// In order: each row's verdict may follow from the rows before it.
TEST_F(ProtocolTest, ScannerAndVerdicts) {
    struct Row {
        const char* what;
        Bytes line;
        int result;
        char lastType;
        int left;
    } const rows[] = {
        {"noise, unknown type, doubled header", Hex("00 13 58 57 51 55 57 57 41 00*4 98"), 0, 'A',
         0},
        {"wrong sum stops the scan", Hex("57 41 00*4 99 57 41 00*4 98"), -1, 'A', 7},
        {"refusal", UnitFrame('W', 'N', {1, 2, 3}), -1, 'N', 0},
        {"Y after a refusal", UnitFrame('W', 'Y', {7}), -1, 'N', 0},
        {"acknowledge", ACK_W, 0, 'A', 0},
        {"Y after an acknowledge", UnitFrame('W', 'Y', {9}), 0, 'A', 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Reply(row.line);
        auto [result, ms, ticks] = Timed([] { return SetStreamMode(8); });
        EXPECT_LE(ticks, 1) << "no waiting";
        EXPECT_EQ(std::tuple(result, LastType.load(), RxAvailable()),
                  std::tuple(row.result, row.lastType, row.left));
        RequestRxReset();
    }
}

// A reply that stops waits more than 5 ticks for its next byte, and takes one that comes in time.
TEST_F(ProtocolTest, ByteWaitsLastFiveTicks) {
    const Bytes block = UnitFrame('W', 'E', Bytes(256, 1));
    const std::tuple<const Bytes*, long, int> rows[] = {
        {&ACK_W, 0, -1}, {&block, 100, -1}, {&ACK_W, 6, -1}, {&block, 100, 300}, {&ACK_W, 6, 300}};
    for (const auto& [frame, cut, restAfterMs] : rows) {
        SCOPED_TRACE(testing::Message() << frame->size() << " bytes cut at " << cut);
        Reply(Bytes(frame->begin(), frame->begin() + cut));
        std::thread rest([&] {
            if (restAfterMs < 0)
                return;
            SleepMs(restAfterMs);
            PeerWrite(peer, Bytes(frame->begin() + cut, frame->end()));
        });
        auto [result, ms, ticks] =
            Timed([&] { return frame == &block ? ReadDataBlock(nullptr, 0) : SetStreamMode(8); });
        rest.join();
        EXPECT_EQ(result, restAfterMs < 0 ? -1 : 0);
        if (restAfterMs < 0) {
            EXPECT_GE(ms, 500);
            EXPECT_TRUE(ticks >= 6 && ticks <= 7) << ticks;
        }
    }
}

TEST_F(ProtocolTest, NoiseThatNeverMakesAFrameEndsTheWaitAfterThirtyTicks) {
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        for (; !stop.load(); SleepMs(2))
            PeerWrite(peer, {0x11, 'W'});
    });
    auto [result, ms, ticks] = Timed([] { return SetStreamMode(8); });
    stop.store(true);
    noise.join();
    EXPECT_EQ(result, -1);
    EXPECT_GE(ms, 3000);
    EXPECT_TRUE(ticks >= 31 && ticks <= 32) << ticks;
}

// A box that returns 0 was not seen: it is shown again on the next failure.
TEST_F(ProtocolTest, SilentUnitGetsFiveExchangesAndTheBoxUntilItIsAnswered) {
    for (auto [boxResult, shown, errorShown] : {std::tuple(0, 1u, 0), {1, 2u, 1}, {1, 2u, 1}}) {
        SCOPED_TRACE(boxResult);
        NoticeResult = boxResult;
        EXPECT_EQ(GetDeviceData(), -1);
        EXPECT_EQ(std::tuple(DeviceDataValid.load(), ErrorShown.load(), CountNotices()),
                  std::tuple(0, errorShown, shown));
    }
    Bytes sent = PeerDrain(peer, 200);
    ASSERT_EQ(sent.size(), 3 * (14u + 14u + 3u * 22u));
    EXPECT_EQ(Bytes({sent[1], sent[15], sent[29], sent[51], sent[73]}), Hex("00 07 03 03 03"));
    std::lock_guard<std::mutex> hold(NoticeLock);
    EXPECT_EQ(RecordedNotices[0].text, "                Get MQ-6 Data Error\n\n"
                                       "Please Check Power and USB Connection to the MQ-6");
    EXPECT_EQ(RecordedNotices[0].caption, "Error");
    EXPECT_EQ(RecordedNotices[0].flags, NOTICE_ERROR_ICON | NOTICE_TOPMOST);
}

TEST_F(ProtocolTest, GetDeviceDataFallsBackToTheLoader) {
    // SetStreamMode and ReadDataBlock go unanswered, as from a unit sitting in its loader.
    std::thread unit([&] {
        PeerRead(peer, 14 + 14 + 22, 3000);
        PeerWrite(peer, UnitFrame('Z', 'E', Bytes(256, 0x5C)));
    });
    EXPECT_EQ(GetDeviceData(), 0);
    unit.join();
    EXPECT_EQ(std::tuple(DeviceDataValid.load(), DeviceInfo[255], CountNotices()),
              std::tuple(1, 0x5C, 0u));
}

TEST_F(ProtocolTest, ExchangesFromTwoThreadsNeverInterleave) {
    std::atomic<bool> stop{false};
    std::thread unit([&] { // answers each request only after reading all of it
        while (!stop)
            if (PeerRead(peer, 14, 50).size() == 14)
                PeerWrite(peer, ACK_W);
    });
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 20; ++i)
            failures += SetStreamMode(8) != 0;
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    stop = true;
    unit.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
