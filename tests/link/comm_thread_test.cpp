// The comm thread: opening with back-off, reopening after the line goes away, the
// transmit hand-over and ring resets, over real pseudo-terminals.
#include "app/ticks.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
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

TEST_F(CommThreadTest, RingResetWaitsForTheLink) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    ResetLinkState();
    RxWriteIndex = 40;
    RxReadIndex = 30;
    RequestRxReset();
    StartTickTimer();
    StartCommThread();
    SleepMs(30);
    EXPECT_EQ(RxWriteIndex.load(), 40) << "no reset while the port is closed";
    SetPortName(peer.slavePath);
    RequestPort(PORT_REOPEN, PortName.data());
    ASSERT_TRUE(WaitFor([] { return RxResetRequest.load() == 0; }, 3000));
    EXPECT_EQ(RxWriteIndex.load(), 0);
    EXPECT_EQ(RxReadIndex.load(), 0);
    PeerWrite(peer, {0x42});
    ASSERT_TRUE(WaitFor([] { return RxAvailable() == 1; }, 1000));
    EXPECT_EQ(RxRing[1], 0x42);
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
