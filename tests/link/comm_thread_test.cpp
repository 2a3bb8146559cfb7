// The comm thread: opening with back-off, reopening after the line goes away, ports that open
// but cannot be set up, the line settings, the transmit hand-over and ring resets, over real
// pseudo-terminals.
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

// The link on a fixed port name, not yet asked to open it.
void StartLinkNamed(const std::string& name) {
    ResetLinkState();
    AutoPort.store(0);
    StorePortName(name);
    StartTickTimer();
    StartCommThread();
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
    StartLinkNamed("/nonexistent/mq6-tty");
    auto start = Clock::now();
    RequestPort(PORT_REOPEN, "/nonexistent/mq6-tty");
    // Each attempt fails at once, so each delay is chosen when the sleeps before it are over:
    // 125, then 125 + 250, and so on; a loaded machine may only make them later.
    const std::pair<int, double> expected[] = {{250, 0.125},  {500, 0.375},  {1000, 0.875},
                                               {2000, 1.875}, {4000, 3.875}, {6000, 7.875}};
    for (const auto& [delay, seconds] : expected) {
        SCOPED_TRACE(delay);
        ASSERT_TRUE(WaitFor([&] { return RetryDelay.load() >= delay; }, 10000));
        double at = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_EQ(RetryDelay.load(), delay);
        EXPECT_GE(at, seconds - 0.05);
        EXPECT_LE(at, seconds + 1.0);
    }
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
}

TEST_F(CommThreadTest, ReopensWhenTheLineComesBackOnTheSamePath) {
    PtyPeer first, second;
    ASSERT_TRUE(OpenPtyPeer(first));
    std::string link = "/tmp/mq6-commtest-" + std::to_string(getpid());
    unlink(link.c_str());
    ASSERT_EQ(symlink(first.slavePath.c_str(), link.c_str()), 0);
    ASSERT_TRUE(StartLinkOn(link));
    DeviceDataWanted = 0;

    ClosePtyPeer(first); // the unit vanishes
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 0; }, 2000));
    EXPECT_EQ(DeviceDataWanted.load(), 1);
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

// The line starts out as a terminal would have it; the port must be raw 57600 without flow
// control once open. A pseudo-terminal always keeps 8 data bits without parity and has no
// modem lines, so data bits, parity, DTR and RTS cannot be read back here.
TEST_F(CommThreadTest, PortIsSetUpForTheUnitAndLetGoOfOnClose) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    termios cooked{};
    ASSERT_EQ(tcgetattr(peer.slaveKeeper, &cooked), 0);
    cfsetispeed(&cooked, B9600);
    cfsetospeed(&cooked, B9600);
    cooked.c_cflag = (cooked.c_cflag | CSTOPB | CRTSCTS) & ~static_cast<tcflag_t>(CLOCAL);
    cooked.c_iflag |= IXON | IXOFF | IXANY | INPCK | ICRNL;
    cooked.c_oflag |= OPOST;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_cc[VMIN] = 1;
    ASSERT_EQ(tcsetattr(peer.slaveKeeper, TCSANOW, &cooked), 0);

    // A tool started without standard input gets its port on descriptor 0.
    SerialWake(); // the wake descriptor exists before the port's is chosen
    struct StdinBack {
        int saved = dup(0);
        ~StdinBack() {
            dup2(saved, 0);
            close(saved);
        }
    } stdinBack;
    close(0);
    ASSERT_TRUE(StartLinkOn(peer.slavePath));
    char opened[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/fd/0", opened, sizeof opened - 1), 0);
    ASSERT_EQ(peer.slavePath, opened);

    termios line{};
    ASSERT_EQ(tcgetattr(0, &line), 0);
    EXPECT_EQ(cfgetispeed(&line), B57600);
    EXPECT_EQ(cfgetospeed(&line), B57600);
    EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS | CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(line.c_cc[VMIN], 0);
    EXPECT_EQ(line.c_cc[VTIME], 0);

    RequestPort(PORT_CLOSE, nullptr);
    ASSERT_TRUE(WaitFor([] { return PortRequestPending.load() == 0; }, 1000));
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
    const uint8_t frame[] = {1};
    EXPECT_EQ(QueueTransmit(frame, 1), -1);
    EXPECT_EQ(fcntl(0, F_GETFD), -1) << "the port's descriptor is closed";
    ClosePtyPeer(peer);
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
    std::atomic<uint32_t> decoded{0}, backwards{0};
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
            backwards += serial <= last;
            last = serial;
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
    ClosePtyPeer(peer);
}

TEST_F(CommThreadTest, PortThatCannotBeSetUpIsClosedAndRetried) {
    // /dev/null opens, but it has no line settings to read or write.
    StartLinkNamed("/dev/null");
    RequestPort(PORT_REOPEN, "/dev/null");
    ASSERT_TRUE(WaitFor([] { return RetryDelay.load() >= 1000; }, 5000)) << "the back-off goes on";
    EXPECT_EQ(PortOpen.load(), 0);
    EXPECT_EQ(PortStatus.load(), 0);
}

TEST_F(CommThreadTest, FrameQueuedBeforeAReopenIsNotWrittenAfterIt) {
    PtyPeer peer;
    ASSERT_TRUE(OpenPtyPeer(peer));
    ResetLinkState();
    AutoPort.store(0);
    StorePortName(peer.slavePath);
    // The link was up and a frame waited when the reopen was asked for.
    PortOpen = 1;
    const uint8_t stale[] = {0x52, 0x07, 0x20};
    ASSERT_EQ(QueueTransmit(stale, 3), 0);
    RequestPort(PORT_REOPEN, peer.slavePath.c_str());
    StartTickTimer();
    StartCommThread();
    ASSERT_TRUE(WaitFor([] { return PortOpen.load() == 1 && PortStatus.load() == 1; }, 3000));
    EXPECT_TRUE(PeerDrain(peer, 200).empty());
    const uint8_t fresh[] = {0x52, 0x00};
    ASSERT_EQ(QueueTransmit(fresh, 2), 0);
    EXPECT_EQ(PeerRead(peer, 2, 1000), (std::vector<uint8_t>{0x52, 0x00}));
    ClosePtyPeer(peer);
}

} // namespace
