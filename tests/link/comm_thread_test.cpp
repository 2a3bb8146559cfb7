// The comm thread over real pseudo-terminals: opening with back-off, reopening after the line
// goes away, ports that open but cannot be set up, the line settings and ring resets.
#include "display/live_decode.h"
#include "link/link.h"
#include "link/serial.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The link on a fixed port name, asked to open it.
void StartLinkNamed(const std::string& name) {
    ResetLinkState();
    AutoPort.store(0);
    StorePortName(name);
    StartTickTimer();
    StartCommThread();
    RequestPort(PORT_REOPEN, name.c_str());
}

class CommThreadTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    void SetUp() override {
        ClearRecordedNotices();
        ASSERT_TRUE(OpenPtyPeer(peer));
    }
    void TearDown() override {
        StopLink();
        ClosePtyPeer(peer);
    }
};

TEST_F(CommThreadTest, BackOffDoublesUpToSixSecondsAndAPortWithoutLineSettingsIsRetried) {
    // Each attempt fails at once, so each delay is chosen when the sleeps before it are over.
    // /dev/null opens, but it has no line settings to read or write.
    for (const char* name : {"/nonexistent/mq6-tty", "/dev/null"}) {
        SCOPED_TRACE(name);
        auto start = Clock::now();
        StartLinkNamed(name);
        for (auto [delay, seconds] : {std::pair(250, 0.125),
                                      {500, 0.375},
                                      {1000, 0.875},
                                      {2000, 1.875},
                                      {4000, 3.875},
                                      {6000, 7.875}}) {
            ASSERT_TRUE(WaitFor([&] { return RetryDelay.load() >= delay; }, 10000));
            double at = std::chrono::duration<double>(Clock::now() - start).count();
            EXPECT_EQ(RetryDelay.load(), delay);
            EXPECT_TRUE(at >= seconds - 0.05 && at <= seconds + 1.0) << delay << " at " << at;
            if (delay == 1000 && name[1] == 'd')
                break;
        }
        EXPECT_EQ(PortOpen.load() + PortStatus.load(), 0);
        StopLink();
    }
}

TEST_F(CommThreadTest, ReopensWhenTheLineComesBackOnTheSamePath) {
    PtyPeer second;
    std::string link = "/tmp/mq6-commtest-" + std::to_string(getpid());
    unlink(link.c_str());
    ASSERT_EQ(symlink(peer.slavePath.c_str(), link.c_str()), 0);
    ASSERT_TRUE(StartLinkOn(link));
    DeviceDataWanted = 0;
    ClosePtyPeer(peer); // the unit vanishes
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 0; }, 2000));
    EXPECT_EQ(DeviceDataWanted.load(), 1);
    ASSERT_TRUE(OpenPtyPeer(second));
    unlink(link.c_str());
    ASSERT_EQ(symlink(second.slavePath.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 1 && PortOpen.load() == 1; }, 8000));
    const uint8_t frame[] = {1, 2, 3};
    ASSERT_EQ(QueueTransmit(frame, 3), 0);
    EXPECT_EQ(PeerRead(second, 3, 1000), Hex("01 02 03"));
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

// The line starts out as a terminal would have it; the port must be raw 57600 without flow
// control once open. A pseudo-terminal always keeps 8 data bits without parity and has no
// modem lines, so data bits, parity, DTR and RTS cannot be read back here.
TEST_F(CommThreadTest, PortIsSetUpForTheUnitAndLetGoOfOnClose) {
    termios line{};
    ASSERT_EQ(tcgetattr(peer.slaveKeeper, &line), 0);
    cfsetispeed(&line, B9600);
    cfsetospeed(&line, B9600);
    line.c_cflag = (line.c_cflag | CSTOPB | CRTSCTS) & ~static_cast<tcflag_t>(CLOCAL);
    line.c_iflag |= IXON | IXOFF | IXANY | INPCK | ICRNL;
    line.c_oflag |= OPOST;
    line.c_lflag |= ICANON | ECHO | ISIG;
    line.c_cc[VMIN] = 1;
    ASSERT_EQ(tcsetattr(peer.slaveKeeper, TCSANOW, &line), 0);
    // A tool started without standard input gets its port on descriptor 0; the wake
    // descriptor exists before the port's is chosen.
    SerialWake();
    int savedStdin = dup(0);
    close(0);
    ASSERT_TRUE(StartLinkOn(peer.slavePath));
    char opened[PATH_MAX] = {};
    EXPECT_GT(readlink("/proc/self/fd/0", opened, sizeof opened - 1), 0);
    EXPECT_EQ(peer.slavePath, opened);
    EXPECT_EQ(tcgetattr(0, &line), 0);
    EXPECT_EQ(std::tuple(cfgetispeed(&line), cfgetospeed(&line)), std::tuple(B57600, B57600));
    EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS | CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(std::tuple(line.c_cc[VMIN], line.c_cc[VTIME]), std::tuple(0, 0));
    RequestPort(PORT_CLOSE, nullptr);
    EXPECT_TRUE(WaitFor([] { return PortRequestPending.load() == 0; }, 1000));
    EXPECT_EQ(PortOpen.load() + PortStatus.load(), 0);
    EXPECT_EQ(QueueTransmit(Hex("01").data(), 1), -1);
    EXPECT_EQ(fcntl(0, F_GETFD), -1) << "the port's descriptor is closed";
    dup2(savedStdin, 0);
    close(savedStdin);
}

TEST_F(CommThreadTest, ResetNeverBringsBackFramesReadBeforeIt) {
    ASSERT_TRUE(StartLinkOn(peer.slavePath));
    std::atomic<bool> done{false};
    // Live frames whose raw lambda carries a serial number, and whose unused byte and factor
    // carry it again, so that a frame made up of two half frames cannot pass for one.
    std::thread unit([&] {
        std::vector<uint8_t> burst;
        for (uint32_t n = 1; !done.load(); ++n) {
            std::vector<uint8_t> frame =
                UnitFrame(0x57, static_cast<uint8_t>(n ^ 0xA5),
                          {static_cast<uint8_t>(n >> 16 & 0xFF), static_cast<uint8_t>(n >> 8),
                           static_cast<uint8_t>(n), static_cast<uint8_t>((n >> 8) ^ 0x5A),
                           static_cast<uint8_t>(n ^ 0x3C)});
            burst.insert(burst.end(), frame.begin(), frame.end());
            if (burst.size() >= 90 * 9) {
                PeerWrite(peer, burst);
                burst.clear();
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
    });
    // Decoded as the display thread does; a frame shown after a later one is old data.
    std::atomic<uint32_t> decoded{0}, backwards{0};
    std::thread consumer([&] {
        for (uint32_t last = 0; !done.load();) {
            std::array<int32_t, 6> v{};
            int result = ExtractLiveFrame(v);
            if (result == LIVE_FRAME_INCOMPLETE)
                WaitForRxData(LIVE_FRAME_SIZE, 1);
            uint32_t n = static_cast<uint32_t>(v[1] << 16 | v[2] << 8 | v[3]);
            if (result != LIVE_FRAME_OK || v[0] != static_cast<int32_t>((n ^ 0xA5) & 0xFF) ||
                v[5] != static_cast<int32_t>((n ^ 0x3C) & 0xFF))
                continue;
            backwards += n <= last;
            last = n;
            ++decoded;
        }
    });
    int carriedOut = 0;
    for (int reset = 0; reset < 3000; ++reset) {
        RequestRxReset();
        carriedOut += WaitFor([] { return RxResetRequest.load() == 0; }, 200);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done.store(true);
    unit.join();
    consumer.join();
    EXPECT_EQ(carriedOut, 3000) << "every reset was carried out while frames flowed";
    EXPECT_GT(decoded.load(), 1000u);
    EXPECT_EQ(backwards.load(), 0u);
}

TEST_F(CommThreadTest, FrameQueuedBeforeAReopenIsNotWrittenAfterIt) {
    ResetLinkState();
    AutoPort.store(0);
    StorePortName(peer.slavePath);
    PortOpen = 1; // the link was up and a frame waited when the reopen was asked for
    ASSERT_EQ(QueueTransmit(Hex("52 07 20").data(), 3), 0);
    RequestPort(PORT_REOPEN, peer.slavePath.c_str());
    StartTickTimer();
    StartCommThread();
    ASSERT_TRUE(WaitFor([] { return PortOpen.load() == 1 && PortStatus.load() == 1; }, 3000));
    EXPECT_TRUE(PeerDrain(peer, 200).empty());
    ASSERT_EQ(QueueTransmit(Hex("52 00").data(), 2), 0);
    EXPECT_EQ(PeerRead(peer, 2, 1000), Hex("52 00"));
}

} // namespace
