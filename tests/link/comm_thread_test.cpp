// The comm thread: opening with back-off, reopening after the line goes away, ports that open
// but cannot be set up, the transmit hand-over and ring resets, over real pseudo-terminals.
#include "display/live_decode.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void SetPortName(const std::string& name) {
    AutoPort.store(0);
    PortName.fill('\0');
    std::strncpy(PortName.data(), name.c_str(), PortName.size() - 1);
}

class CommThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearRecordedNotices();
    }
    void TearDown() override {
        StopLink();
    }
};

TEST_F(CommThreadTest, BackOffDoublesUpToSixSeconds) {
    ResetLinkState();
    SetPortName("/nonexistent/mq6-tty");
    StartTickTimer();
    StartCommThread();
    auto start = Clock::now();
    RequestPort(PORT_REOPEN, PortName.data());
    std::vector<std::pair<int, double>> changes;
    int last = RetryDelay.load();
    while (last < 6000 && Clock::now() - start < std::chrono::seconds(15)) {
        int delay = RetryDelay.load();
        if (delay != last) {
            changes.emplace_back(delay,
                                 std::chrono::duration<double>(Clock::now() - start).count());
            last = delay;
        }
        SleepMs(1);
    }
    // Each attempt fails at once, so each delay is chosen when the sleeps before it are
    // over; a loaded machine may only make them later.
    const std::vector<std::pair<int, double>> expected = {
        {250, 0.125}, {500, 0.375}, {1000, 0.875}, {2000, 1.875}, {4000, 3.875}, {6000, 7.875}};
    ASSERT_EQ(changes.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(changes[i].first, expected[i].first);
        EXPECT_GE(changes[i].second, expected[i].second - 0.05) << "change " << i;
        EXPECT_LE(changes[i].second, expected[i].second + 1.0) << "change " << i;
    }
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
}

TEST_F(CommThreadTest, ReopensWhenTheLineComesBackOnTheSamePath) {
    PtyPeer first;
    ASSERT_TRUE(OpenPtyPeer(first));
    std::string link = "/tmp/mq6-commtest-" + std::to_string(getpid());
    unlink(link.c_str());
    ASSERT_EQ(symlink(first.slavePath.c_str(), link.c_str()), 0);
    ASSERT_TRUE(StartLinkOn(link));
    DeviceDataWanted = 0;

    ClosePtyPeer(first); // the unit vanishes
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 0; }, 2000));
    EXPECT_EQ(DeviceDataWanted.load(), 1);

    PtyPeer second;
    ASSERT_TRUE(OpenPtyPeer(second));
    unlink(link.c_str());
    ASSERT_EQ(symlink(second.slavePath.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 1 && PortOpen.load() == 1; }, 8000));

    const uint8_t frame[] = {1, 2, 3};
    ASSERT_EQ(QueueTransmit(frame, 3), 0);
    EXPECT_EQ(PeerRead(second, 3, 1000), (std::vector<uint8_t>{1, 2, 3}));
    PeerWrite(second, {9, 8});
    EXPECT_TRUE(WaitFor([] { return RxAvailable() == 2; }, 1000));
    {
        std::lock_guard<std::mutex> hold(NoticeLock);
        ASSERT_GE(RecordedPortStatus.size(), 3u);
        EXPECT_EQ(RecordedPortStatus.front(), 0) << "a reopen first shows the port closed";
        EXPECT_EQ(RecordedPortStatus.back(), 1);
    }
    ClosePtyPeer(second);
    unlink(link.c_str());
}

// Live frames whose raw lambda carries a serial number, and whose unused byte and factor
// carry it again, so that a frame made up of two half frames cannot pass for one.
std::vector<uint8_t> NumberedFrame(uint32_t serial) {
    std::vector<uint8_t> frame = {0x57,
                                  static_cast<uint8_t>(serial ^ 0xA5),
                                  static_cast<uint8_t>(serial >> 16),
                                  static_cast<uint8_t>(serial >> 8),
                                  static_cast<uint8_t>(serial),
                                  static_cast<uint8_t>((serial >> 8) ^ 0x5A),
                                  static_cast<uint8_t>(serial ^ 0x3C)};
    unsigned sum = 0;
    for (uint8_t byte : frame)
        sum += byte;
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    frame.push_back(static_cast<uint8_t>(sum));
    return frame;
}

TEST_F(CommThreadTest, ResetNeverBringsBackFramesReadBeforeIt) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    ASSERT_TRUE(StartLinkOn(peer.slavePath));

    std::atomic<bool> done{false};
    std::thread unit([&] {
        std::vector<uint8_t> burst;
        for (uint32_t serial = 1; !done.load(); ++serial) {
            std::vector<uint8_t> frame = NumberedFrame(serial & 0xFFFFFF);
            burst.insert(burst.end(), frame.begin(), frame.end());
            if (burst.size() >= 90 * 9) {
                PeerWrite(peer, burst);
                burst.clear();
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
    });
    // The consumer decodes as the display thread does; a frame shown after a later one would
    // be old data brought back.
    std::atomic<uint32_t> decoded{0};
    std::atomic<uint32_t> backwards{0};
    std::thread consumer([&] {
        uint32_t last = 0;
        while (!done.load()) {
            std::array<int32_t, 6> values{};
            int result = ExtractLiveFrame(values);
            if (result == LIVE_FRAME_INCOMPLETE) {
                WaitForRxData(LIVE_FRAME_SIZE, 1);
                continue;
            }
            uint32_t serial = static_cast<uint32_t>(values[1] << 16 | values[2] << 8 | values[3]);
            if (result != LIVE_FRAME_OK ||
                values[0] != static_cast<int32_t>((serial ^ 0xA5) & 0xFF) ||
                values[5] != static_cast<int32_t>((serial ^ 0x3C) & 0xFF))
                continue;
            if (serial <= last)
                backwards.fetch_add(1);
            last = serial;
            decoded.fetch_add(1);
        }
    });
    int carriedOut = 0;
    for (int reset = 0; reset < 3000; ++reset) {
        RequestRxReset();
        if (WaitFor([] { return RxResetRequest.load() == 0; }, 200))
            ++carriedOut;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done.store(true);
    unit.join();
    consumer.join();
    EXPECT_EQ(carriedOut, 3000) << "every reset was carried out while frames flowed";
    EXPECT_GT(decoded.load(), 1000u);
    EXPECT_EQ(backwards.load(), 0u);
    ClosePtyPeer(peer);
}

TEST_F(CommThreadTest, PortThatCannotBeSetUpIsClosedAndRetried) {
    // /dev/null opens, but it has no line settings to read or write.
    ResetLinkState();
    SetPortName("/dev/null");
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, PortName.data());
    ASSERT_TRUE(WaitFor([] { return RetryDelay.load() >= 1000; }, 5000)) << "the back-off goes on";
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
    const uint8_t frame[] = {1};
    EXPECT_EQ(QueueTransmit(frame, 1), -1);
}

TEST_F(CommThreadTest, FrameQueuedBeforeAReopenIsNotWrittenAfterIt) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    ResetLinkState();
    SetPortName(peer.slavePath);
    // The link was up and a frame waited when the reopen was asked for.
    PortOpen = 1;
    const uint8_t stale[] = {0x52, 0x07, 0x20};
    ASSERT_EQ(QueueTransmit(stale, 3), 0);
    RequestPort(PORT_REOPEN, PortName.data());
    StartTickTimer();
    StartCommThread();
    ASSERT_TRUE(WaitFor([] { return PortOpen.load() == 1 && PortStatus.load() == 1; }, 3000));
    EXPECT_TRUE(PeerDrain(peer, 200).empty());
    const uint8_t fresh[] = {0x52, 0x00};
    ASSERT_EQ(QueueTransmit(fresh, 2), 0);
    EXPECT_EQ(PeerRead(peer, 2, 1000), (std::vector<uint8_t>{0x52, 0x00}));
    ClosePtyPeer(peer);
}

TEST_F(CommThreadTest, ClosingRequestShutsTheLink) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    ASSERT_TRUE(StartLinkOn(peer.slavePath));
    RequestPort(PORT_CLOSE, nullptr);
    ASSERT_TRUE(WaitFor([] { return PortRequestPending.load() == 0; }, 1000));
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
    const uint8_t frame[] = {1};
    EXPECT_EQ(QueueTransmit(frame, 1), -1);
    ClosePtyPeer(peer);
}

} // namespace
