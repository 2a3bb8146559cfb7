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
using Clock = std::chrono::steady_clock;

// head, count times fill, tail
Bytes Line(Bytes head, int count, uint8_t fill, const Bytes& tail) {
    head.insert(head.end(), static_cast<size_t>(count), fill);
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const Bytes ACK_W = {0x57, 0x41, 0, 0, 0, 0, 0x98};
const Bytes ACK_Z = UnitFrame('Z', 'A', {0, 0, 0});

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
    // The reply is on the line before the request goes out, as from a quick unit. The
    // previous request must have left TxBuf, or the next command would find it busy.
    void Reply(const Bytes& bytes) {
        ASSERT_TRUE(WaitFor([] { return TxLen.load() == 0; }, 1000));
        int expected = RxAvailable() + static_cast<int>(bytes.size());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor([&] { return RxAvailable() >= expected; }, 1000));
    }
    // Milliseconds and ticks that a command took.
    std::pair<long, int> Timed(const std::function<int()>& command, int& result) {
        auto begin = Clock::now();
        int32_t start = TickCount.load();
        result = command();
        int ticks = TickCount.load() - start;
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
        return {static_cast<long>(ms.count()), ticks};
    }
};

TEST_F(ProtocolTest, CommandsSendTheWorkedFramesByteForByte) {
    Bytes block(256);
    for (int i = 0; i < 256; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    Bytes data16 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::array<uint8_t, 256> copy{};
    struct Row {
        const char* what;
        std::function<int()> command;
        Bytes reply;
        Bytes request;
    };
    const Row rows[] = {
        {"SetStreamMode 8",
         [] { return SetStreamMode(8); },
         ACK_W,
         {0x52, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A}},
        {"ReadDataBlock", [&] { return ReadDataBlock(copy.data(), 256); },
         UnitFrame('W', 'E', block), Line({0x52, 0x07}, 10, 0x20, {0x01, 0x99})},
        {"EnterLoadMode 1",
         [] { return EnterLoadMode(1); },
         ACK_Z,
         {0x52, 0x0F, 0x4C, 0x6F, 0x61, 0x64, 0x4D, 0x6F, 0x64, 0x65, 0x01, 0x20, 0x03, 0x87}},
        {"LeaveLoadMode",
         [] { return LeaveLoadMode(); },
         {},
         Line({0x5A, 0x01}, 18, 0x20, {0x02, 0x9B})},
        {"LoaderReadDataBlock", [] { return LoaderReadDataBlock(nullptr, 0); },
         UnitFrame('Z', 'E', block), Line({0x5A, 0x03}, 18, 0x20, {0x02, 0x9D})},
        {"WriteDataRecord 4, zeros", [] { return WriteDataRecord(4, Bytes(16, 0).data()); }, ACK_Z,
         Line({0x5A, 0x04, 0x04}, 16, 0, {0x20, 0x00, 0x82})},
        {"WriteBlock 0x1234",
         [&] { return WriteBlock(0x1234, data16.data()); },
         ACK_Z,
         {0x5A, 0, 0x12, 0x34, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0x01, 0x28}},
        {"ReadBlock 0x0D40", [] { return ReadBlock(0x0D40); }, UnitFrame('Z', 'F', data16),
         Line({0x5A, 0x02, 0x0D, 0x40, 0x07}, 15, 0x20, {0x02, 0x90})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Reply(row.reply);
        EXPECT_EQ(row.command(), 0);
        EXPECT_EQ(PeerRead(peer, row.request.size(), 500), row.request);
    }
    EXPECT_TRUE(std::equal(block.begin(), block.end(), copy.begin()));
    EXPECT_TRUE(std::equal(data16.begin(), data16.end(), RespBuf.begin()));
}

// In order: each row's verdict may follow from the rows before it.
TEST_F(ProtocolTest, ScannerAndVerdicts) {
    Bytes badSum = ACK_W;
    badSum.back() ^= 0x01;
    struct Row {
        const char* what;
        Bytes line;
        int result;
        char lastType;
        int left;
    };
    const Row rows[] = {
        {"noise, unknown type, doubled header",
         Line({0, 0x13, 'X', 'W', 'Q', 0x55}, 2, 'W', {0x41, 0, 0, 0, 0, 0x98}), 0, 'A', 0},
        {"wrong sum stops the scan", Line(badSum, 0, 0, ACK_W), -1, 'A', 7},
        {"refusal", UnitFrame('W', 'N', {1, 2, 3}), -1, 'N', 0},
        {"Y after a refusal", UnitFrame('W', 'Y', {7}), -1, 'N', 0},
        {"acknowledge", ACK_W, 0, 'A', 0},
        {"Y after an acknowledge", UnitFrame('W', 'Y', {9}), 0, 'A', 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Reply(row.line);
        int result = 0;
        EXPECT_LE(Timed([] { return SetStreamMode(8); }, result).second, 1) << "no waiting";
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(LastType.load(), row.lastType);
        EXPECT_EQ(RxAvailable(), row.left);
        RequestRxReset();
    }
}

// A reply that stops waits more than 5 ticks for its next byte, and takes one that comes in time.
TEST_F(ProtocolTest, ByteWaitsLastFiveTicks) {
    const Bytes block = UnitFrame('W', 'E', Bytes(256, 1));
    struct Row {
        const char* what;
        const Bytes& frame;
        size_t cut;
        int restAfterMs; // -1: never
        int result;
    };
    const Row rows[] = {
        {"silence", ACK_W, 0, -1, -1},
        {"stops mid-payload", block, 100, -1, -1},
        {"stops mid-sum", ACK_W, 6, -1, -1},
        {"payload resumes after 3 ticks", block, 100, 300, 0},
        {"sum resumes after 3 ticks", ACK_W, 6, 300, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Reply(Bytes(row.frame.begin(), row.frame.begin() + static_cast<long>(row.cut)));
        std::thread rest([&] {
            if (row.restAfterMs < 0)
                return;
            SleepMs(row.restAfterMs);
            PeerWrite(peer, Bytes(row.frame.begin() + static_cast<long>(row.cut), row.frame.end()));
        });
        int result = 0;
        auto [ms, ticks] = Timed(
            [&] { return &row.frame == &block ? ReadDataBlock(nullptr, 0) : SetStreamMode(8); },
            result);
        rest.join();
        EXPECT_EQ(result, row.result);
        if (row.result == -1) {
            EXPECT_GE(ms, 500);
            EXPECT_GE(ticks, 6);
            EXPECT_LE(ticks, 7);
        }
    }
}

TEST_F(ProtocolTest, NoiseThatNeverMakesAFrameEndsTheWaitAfterThirtyTicks) {
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop.load()) {
            PeerWrite(peer, {0x11, 'W'});
            SleepMs(2);
        }
    });
    int result = 0;
    auto [ms, ticks] = Timed([] { return SetStreamMode(8); }, result);
    stop.store(true);
    noise.join();
    EXPECT_EQ(result, -1);
    EXPECT_GE(ms, 3000);
    EXPECT_GE(ticks, 31);
    EXPECT_LE(ticks, 32);
}

// A box that returns 0 was not seen: it is shown again on the next failure.
TEST_F(ProtocolTest, SilentUnitGetsFiveExchangesAndTheBoxUntilItIsAnswered) {
    struct Row {
        int boxResult;
        size_t shown;
        int errorShown;
    };
    for (const Row& row : {Row{0, 1, 0}, Row{1, 2, 1}, Row{1, 2, 1}}) {
        SCOPED_TRACE(row.boxResult);
        NoticeResult = row.boxResult;
        EXPECT_EQ(GetDeviceData(), -1);
        EXPECT_EQ(DeviceDataValid.load(), 0);
        EXPECT_EQ(ErrorShown.load(), row.errorShown);
        EXPECT_EQ(CountNotices(), row.shown);
    }
    Bytes sent = PeerDrain(peer, 200);
    ASSERT_EQ(sent.size(), 3 * (14u + 14u + 3u * 22u));
    const std::pair<size_t, uint8_t> commands[] = {{1, 0}, {15, 7}, {29, 3}, {51, 3}, {73, 3}};
    for (const auto& [at, subcommand] : commands)
        EXPECT_EQ(sent[at], subcommand) << "byte " << at;
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
    EXPECT_EQ(DeviceDataValid.load(), 1);
    EXPECT_EQ(DeviceInfo[255], 0x5C);
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(ProtocolTest, ExchangesFromTwoThreadsNeverInterleave) {
    // A unit that answers each request only after reading all of it.
    std::atomic<bool> stop{false};
    std::thread unit([&] {
        while (!stop)
            if (PeerRead(peer, 14, 50).size() == 14)
                PeerWrite(peer, ACK_W);
    });
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 20; ++i)
            failures += SetStreamMode(8) != 0;
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
