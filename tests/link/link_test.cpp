// The link: the receive ring and the transmit hand-over without a port; the comm thread over
// real pseudo-terminals (opening with back-off, ports that open but cannot be set up, the line
// settings, ring resets); and exchanges through it against a scripted unit.
#include "display/live_decode.h"
#include "firmware/test_files.h"
#include "link/link.h"
#include "link/serial.h"
#include "platform/notice.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <termios.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {
// While set, every terminal refuses new line settings, as a driver may refuse a speed.
std::atomic<int> LineSettingsRefused{0};
} // namespace

extern "C" int tcsetattr(int fd, int actions, const termios* line) noexcept {
    using Real = int (*)(int, int, const termios*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (LineSettingsRefused.load() != 0) {
        errno = EINVAL;
        return -1;
    }
    return real(fd, actions, line);
}

namespace {

// One byte arrives at a ring with the given indices; a full ring drops it and keeps its index.
// Then the transmit hand-over's limits on a fresh link.
TEST(RingTest, ByteArrivingAtTheRingsEdgesAndTransmitHandOverLimits) {
    ResetLinkState();
    const std::tuple<int32_t, int32_t, int, int, int> rows[] = {{77, 77, 0, 78, 0},
                                                                {5, 4, 16383, 4, 1},
                                                                {0, 16383, 16383, 16383, 1},
                                                                {16382, 16383, 1, 0, 0}};
    for (auto [read, write, unread, writeAfter, overflow] : rows) {
        SCOPED_TRACE(write);
        RxReadIndex = read;
        RxWriteIndex = write;
        EXPECT_EQ(RxAvailable(), unread);
        RxStoreByte(0x99);
        EXPECT_EQ(RxWriteIndex.load(), writeAfter);
        EXPECT_EQ(RxOverflow.load(), overflow);
    }
    RxReadIndex = RxWriteIndex = 3;
    EXPECT_EQ(std::pair(RxReadByte(), RxPeekByte()), std::pair(-1, -1));
    ResetLinkState();
    Bytes payload(257, 0x20);
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

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

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
    // /dev/null opens, but it has no line settings to read or write; the peer's terminal has
    // them, and refuses new ones.
    auto devNullOpen = [] {
        int open = 0;
        std::error_code gone; // a descriptor closed while the folder is read
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd"))
            open += std::filesystem::read_symlink(fd, gone) == "/dev/null";
        return open;
    };
    const int nullOpen = devNullOpen();
    for (const char* name : {"/nonexistent/mq6-tty", "/dev/null", peer.slavePath.c_str()}) {
        SCOPED_TRACE(name);
        LineSettingsRefused = name == peer.slavePath;
        StartLinkTowards(name);
        auto start = Clock::now();
        double seconds = 0.125; // the sleeps before the delay is chosen: 125 ms, then each delay
        for (int delay : {250, 500, 1000, 2000, 4000, 6000}) {
            ASSERT_TRUE(WaitFor([&] { return RetryDelay.load() >= delay; }, PATIENCE_MS));
            double at = std::chrono::duration<double>(Clock::now() - start).count();
            EXPECT_EQ(RetryDelay.load(), delay);
            EXPECT_EQ(devNullOpen(), nullOpen) << "a port that failed its set-up is closed";
            // Never early; late by what a busy machine adds to a handful of sleeps, but by far
            // less than a sleep of twice the delay would make it.
            EXPECT_TRUE(at >= seconds - 0.05 && at <= seconds * 1.5 + 1.0) << delay << " at " << at;
            seconds += delay / 1000.0;
            if (delay == 1000 && name[1] == 'd')
                break;
        }
        EXPECT_EQ(PortOpen.load() + PortStatus.load(), 0);
        StopLink();
    }
    LineSettingsRefused = 0;
}

// A frame queued before a reopen is dropped. A line that goes is closed, then reopened on the
// same path once it is back, after the 125 ms sleep before an attempt.
TEST_F(CommThreadTest, FrameQueuedBeforeAReopenIsDroppedAndALostLineIsReopenedOnItsPath) {
    PtyPeer second;
    const std::string link = "/tmp/mq6-commtest-" + std::to_string(getpid());
    unlink(link.c_str());
    ASSERT_EQ(symlink(peer.slavePath.c_str(), link.c_str()), 0);
    ResetLinkState();
    AutoPort.store(0);
    StorePortName(link);
    PortOpen = 1;
    ASSERT_EQ(QueueTransmit(Hex("52 07 20").data(), 3), 0);
    RequestPort(PORT_REOPEN, link.c_str());
    StartTickTimer();
    StartCommThread();
    ASSERT_TRUE(
        WaitFor([] { return PortOpen.load() == 1 && PortStatus.load() == 1; }, PATIENCE_MS));
    EXPECT_TRUE(PeerDrain(peer, 200).empty()) << "the frame queued before the reopen went out";
    ASSERT_TRUE(OpenPtyPeer(second));
    unlink(link.c_str());
    ASSERT_EQ(symlink(second.slavePath.c_str(), link.c_str()), 0);
    // The unit vanishes and is back at once under the same path. The time counts from before it
    // goes: a look at the status after the close may come late, never early.
    auto lost = Clock::now();
    ClosePtyPeer(peer);
    ASSERT_TRUE(WaitFor([] { return PortStatus.load() == 0; }, PATIENCE_MS));
    ASSERT_TRUE(WaitFor([] { return PortOpen.load() == 1; }, PATIENCE_MS));
    double seconds = std::chrono::duration<double>(Clock::now() - lost).count();
    EXPECT_TRUE(seconds >= 0.12 && seconds < 5.0) << seconds; // not after the next back-off
    ASSERT_EQ(QueueTransmit(Hex("52 00").data(), 2), 0);
    EXPECT_EQ(PeerRead(second, 2, PATIENCE_MS), Hex("52 00"));
    StopLink();
    ClosePtyPeer(second);
    unlink(link.c_str());
}

// The line starts out as a terminal would have it; the port must be raw 57600 without flow
// control once open. A pseudo-terminal always keeps 8 data bits without parity and has no
// modem lines, so data bits, parity, DTR and RTS cannot be read back here.
TEST_F(CommThreadTest, PortIsSetUpForTheUnitAndLetGoOfOnClose) {
    termios line{};
    ASSERT_EQ(tcgetattr(peer.slaveKeeper, &line), 0);
    cfsetspeed(&line, B9600);
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
    std::error_code closed;
    EXPECT_EQ(std::filesystem::read_symlink("/proc/self/fd/0", closed), peer.slavePath);
    EXPECT_EQ(tcgetattr(0, &line), 0);
    EXPECT_EQ(std::tuple(cfgetispeed(&line), cfgetospeed(&line)), std::tuple(B57600, B57600));
    EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS | CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ((line.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL)) | (line.c_oflag & OPOST) |
                  (line.c_lflag & (ICANON | ECHO | ISIG)),
              0u);
    EXPECT_EQ(std::tuple(line.c_cc[VMIN], line.c_cc[VTIME]), std::tuple(0, 0));
    DeviceDataValid = 1; // a block read on this line belongs to the unit that was on it
    RequestPort(PORT_CLOSE, nullptr);
    EXPECT_TRUE(WaitFor([] { return PortRequestPending.load() == 0; }, PATIENCE_MS));
    EXPECT_EQ(PortOpen.load() + PortStatus.load() + DeviceDataValid.load(), 0);
    EXPECT_EQ(fcntl(0, F_GETFD), -1) << "the port's descriptor is closed";
    dup2(savedStdin, 0);
    close(savedStdin);
}

TEST_F(CommThreadTest, ResetNeverBringsBackFramesReadBeforeIt) {
    ASSERT_TRUE(StartLinkOn(peer.slavePath));
    std::atomic<bool> done{false};
    // Live frames whose raw lambda carries a serial number, and whose unused byte and factor
    // carry it again, so that a frame made up of two half frames cannot pass for one.
    // Writes that would block are dropped: once the port is closed nobody reads the line, and
    // a blocked writer would never see that the test is done.
    fcntl(peer.master, F_SETFL, O_NONBLOCK);
    std::thread unit([&] {
        Bytes burst;
        for (uint32_t n = 1; !done.load(); ++n) {
            Bytes frame = UnitFrame(0x57, uint8_t(n ^ 0xA5),
                                    {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n),
                                     uint8_t((n >> 8) ^ 0x5A), uint8_t(n ^ 0x3C)});
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
            if (result != LIVE_FRAME_OK || v[0] != int32_t((n ^ 0xA5) & 0xFF) ||
                v[5] != int32_t((n ^ 0x3C) & 0xFF))
                continue;
            backwards += n <= last;
            last = n;
            ++decoded;
        }
    });
    int carriedOut = 0;
    for (int reset = 0; reset < 3000; ++reset) {
        RequestRxReset();
        carriedOut += WaitFor([] { return RxResetRequest.load() == 0; }, PATIENCE_MS);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    RequestPort(PORT_CLOSE, nullptr); // and a close is served while they still flow
    EXPECT_TRUE(WaitFor([] { return PortRequestPending.load() == 0; }, PATIENCE_MS));
    done.store(true);
    unit.join();
    consumer.join();
    EXPECT_EQ(carriedOut, 3000) << "every reset was carried out while frames flowed";
    EXPECT_GT(decoded.load(), 1000u);
    EXPECT_EQ(backwards.load(), 0u);
}

const Bytes ACK_W = Hex("57 41 00 00 00 00 98");

// A command on a thread of its own while the test moves the ticks by hand: nothing times out
// until the test says so, however late a busy machine runs any thread.
class Running {
  public:
    explicit Running(const std::function<int()>& command)
        : thread([this, command] {
              tid = static_cast<int>(gettid());
              result = command();
          }) {}
    ~Running() {
        while (!Done()) // a command still waiting is let go by its time-outs
            TickCount += 100, SleepMs(1);
        thread.join();
    }
    bool Done() const {
        return result.load() != PENDING;
    }
    // How often its thread has gone to sleep. A wait of the link sleeps once a look at the ticks
    // while nothing arrives, so a wait that began after the call is one that has looked since.
    long Sleeps() {
        WaitFor([this] { return tid.load() != 0; }, PATIENCE_MS);
        std::string status = ReadText("/proc/self/task/" + std::to_string(tid) + "/status");
        size_t at = status.find("\nvoluntary_ctxt_switches:");
        return at == std::string::npos ? -1 : std::stol(status.substr(at + 25));
    }
    // Returns once the command has begun a wait (taking what there was) after the call: it
    // noted the ticks as they are.
    void AwaitNewWait() {
        long slept = Sleeps();
        EXPECT_TRUE(WaitFor([&] { return Done() || Sleeps() > slept; }, PATIENCE_MS));
    }
    static constexpr int PENDING = -99;
    std::atomic<int> result{PENDING}, tid{0};
    std::thread thread;
};

// The command's result with the ticks standing still: one that waits for a time-out never ends.
int Untimed(const std::function<int()>& command) {
    Running run(command);
    EXPECT_TRUE(WaitFor([&] { return run.Done(); }, PATIENCE_MS)) << "it waited for a time-out";
    return run.result;
}

class ProtocolTest : public CommThreadTest {
  protected:
    void SetUp() override {
        CommThreadTest::SetUp();
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
        StopTickTimer();
    }
    // The reply is on the line before the request goes out, as from a quick unit.
    void Reply(const Bytes& bytes) {
        ASSERT_TRUE(WaitFor([] { return TxLen.load() == 0; }, PATIENCE_MS));
        int expected = RxAvailable() + static_cast<int>(bytes.size());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor([&] { return RxAvailable() >= expected; }, PATIENCE_MS));
    }
};

TEST_F(ProtocolTest, CommandsSendTheWorkedFramesByteForByte) {
    Bytes block(256);
    for (int i = 0; i < 256; ++i)
        block[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    std::array<uint8_t, 256> copy{};
    const Bytes ackZ = Hex("5A 41 00 00 00 00 9B"), none;
    const std::tuple<std::function<int()>, Bytes, const char*> rows[] = {
        {[&] { return ReadDataBlock(copy.data(), 256); }, UnitFrame('W', 'E', block),
         "52 07 20*10 01 99"},
        {[] { return EnterLoadMode(1); }, ackZ, "52 0F 4C 6F 61 64 4D 6F 64 65 01 20 03 87"},
        {[] { return LeaveLoadMode(); }, none, "5A 01 20*18 02 9B"},
        {[] { return LoaderReadDataBlock(nullptr, 0); }, UnitFrame('Z', 'E', block),
         "5A 03 20*18 02 9D"},
        {[] { return WriteDataRecord(4, Bytes(16, 0).data()); }, ackZ, "5A 04 04 00*16 20 00 82"},
    };
    for (const auto& [command, reply, request] : rows) {
        SCOPED_TRACE(request);
        Reply(reply);
        EXPECT_EQ(Untimed(command), 0);
        EXPECT_EQ(PeerRead(peer, Hex(request).size(), PATIENCE_MS), Hex(request));
    }
    EXPECT_TRUE(std::equal(block.begin(), block.end(), copy.begin()));
}

// In order: each row's verdict may follow from the rows before it. Each is given without a
// time-out: the ticks stand still.
TEST_F(ProtocolTest, ScannerAndVerdicts) {
    // What is on the line, the command's result, LastType after it, the bytes left unread.
    const std::tuple<const char*, Bytes, int, char, int> rows[] = {
        {"noise, unknown type, doubled header", Hex("00 13 58 57 51 55 57 57 41 00*4 98"), 0, 'A',
         0},
        {"wrong sum stops the scan", Hex("57 41 00*4 99 57 41 00*4 98"), -1, 'A', 7},
        {"refusal", UnitFrame('W', 'N', {1, 2, 3}), -1, 'N', 0},
        {"Y after a refusal", UnitFrame('W', 'Y', {7}), -1, 'N', 0},
        {"acknowledge", ACK_W, 0, 'A', 0},
        {"Y after an acknowledge", UnitFrame('W', 'Y', {9}), 0, 'A', 0},
    };
    for (const auto& [what, line, verdict, lastType, left] : rows) {
        SCOPED_TRACE(what);
        Reply(line);
        const int result = Untimed([] { return SetStreamMode(8); });
        EXPECT_EQ(std::tuple(result, LastType.load(), RxAvailable()),
                  std::tuple(verdict, lastType, left));
        RequestRxReset();
    }
}

// A reply that stops still waits for its next byte once 5 ticks have passed, and takes it then;
// it gives up at the 6th. So does the wait for a silent unit's first bytes. The test moves the
// ticks and sees the command look at them, so no load makes a wait look longer or shorter. A cut
// reply comes after a whole one of its type, which it must not pass for.
TEST_F(ProtocolTest, ByteWaitsLastFiveTicksAndNoiseEndsTheWaitAfterThirty) {
    const Bytes block = UnitFrame('W', 'E', Bytes(256, 1));
    // The frame, where it stops (0: silence), whether the rest comes at the 5th tick.
    const std::tuple<const Bytes*, long, bool> rows[] = {
        {&ACK_W, 0, false},  {&ACK_W, 6, true},    {&ACK_W, 6, false},
        {&block, 100, true}, {&block, 100, false},
    };
    for (const auto& [frame, cut, rest] : rows) {
        SCOPED_TRACE(testing::Message() << frame->size() << " bytes cut at " << cut);
        Reply(Bytes(frame->begin(), frame->begin() + cut));
        const int32_t start = TickCount.load();
        Running run([&] { return frame == &block ? ReadDataBlock(nullptr, 0) : SetStreamMode(8); });
        // It has taken what it can: the sum's two bytes are taken together, so one may wait.
        ASSERT_TRUE(WaitFor([] { return RxAvailable() < 2; }, PATIENCE_MS));
        run.AwaitNewWait();
        TickCount = start + 5;
        run.AwaitNewWait();
        run.AwaitNewWait();
        EXPECT_FALSE(run.Done()) << "gave up once 5 ticks had passed";
        if (rest)
            PeerWrite(peer, Bytes(frame->begin() + cut, frame->end()));
        else
            TickCount = start + 6;
        EXPECT_TRUE(WaitFor([&] { return run.Done(); }, PATIENCE_MS));
        EXPECT_EQ(run.result, rest ? 0 : -1);
    }
    // Noise that never makes a frame: a pass starts after every tick (three bytes taken since
    // it, a pass takes at most two), so none waits long enough to give up by itself. Its request
    // goes once the last row's has left, or it would be refused at once.
    ASSERT_TRUE(WaitFor([] { return TxLen.load() == 0; }, PATIENCE_MS));
    const int32_t start = TickCount.load();
    Running run([] { return SetStreamMode(8); });
    std::jthread noise([this](const std::stop_token& stop) {
        while (!stop.stop_requested())
            PeerWrite(peer, Bytes(64, 0x11)), PeerWrite(peer, Bytes(64, 'W'));
    });
    for (int ticks = 0; ticks <= 30; ++ticks) {
        TickCount = start + ticks;
        const int32_t from = RxReadIndex.load();
        ASSERT_TRUE(WaitFor(
            [&] { return run.Done() || (RxReadIndex - from + RX_RING_SIZE) % RX_RING_SIZE >= 3; },
            PATIENCE_MS));
        ASSERT_FALSE(run.Done()) << "gave up after " << ticks << " ticks";
    }
    TickCount = start + 31;
    EXPECT_TRUE(WaitFor([&] { return run.Done(); }, PATIENCE_MS));
    EXPECT_EQ(run.result, -1);
}

// A box that returns 0 was not seen: it is shown again on the next failure.
TEST_F(ProtocolTest, SilentUnitGetsFiveExchangesAndTheBoxUntilItIsAnswered) {
    StartTickTimer();
    for (auto [boxResult, shown, errorShown] : {std::tuple(0, 1u, 0), {1, 2u, 1}, {1, 2u, 1}}) {
        SCOPED_TRACE(boxResult);
        NoticeResult = boxResult;
        EXPECT_EQ(GetDeviceData(), -1);
        EXPECT_EQ(std::tuple(DeviceDataValid.load(), ErrorShown.load(), CountNotices()),
                  std::tuple(0, errorShown, shown))
            << DescribeNotices();
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

// Why a port does not open: a path through a file, device nodes no driver takes (misc minor 255
// is nobody's, char major 0 no driver's): missing; a file not even root may write: denied.
TEST(SerialPortTest, EachRefusalIsToldApart) {
    TempDir dir;
    // Made immutable last, so that a failed step leaves nothing the folder's removal cannot take.
    const std::string make = "cd " + dir.path +
                             " && touch frozen && mknod misc c 10 255 && mknod none c 0 0 && "
                             "chattr +i frozen";
    ASSERT_EQ(std::system(make.c_str()), 0);
    for (const char* name : {"frozen/x", "misc", "none", "frozen"}) {
        SCOPED_TRACE(name);
        int failure = name == std::string("frozen") ? SERIAL_OPEN_DENIED : SERIAL_OPEN_MISSING;
        EXPECT_EQ((std::tuple{SerialOpen(dir.File(name).c_str()), SerialLastOpenFailure()}),
                  std::tuple(0, failure));
    }
    EXPECT_EQ(std::system(("chattr -i " + dir.File("frozen")).c_str()), 0);
}

// A peer that reads from startMs on, 4 KiB every 20 ms: the write waits for room, a second at
// most each time, so one that never gets room within its second gives up (not at once).
TEST(SerialPortTest, WriteWaitsForRoomASecondAtMost) {
    // The program's own bytes: no period that a chunk's size is a multiple of.
    const std::string text = ReadText(MQ6_CLI_PATH).substr(0, 128 * 1024);
    const Bytes data(text.begin(), text.end());
    // The peer's terminal is raw already; each row opens it anew.
    for (PtyPeer peer; auto [startMs, result] : {std::pair{2500, -1}, {100, 0}}) {
        SCOPED_TRACE(startMs);
        ASSERT_TRUE(OpenPtyPeer(peer) && SerialOpen(peer.slavePath.c_str()));
        Bytes got;
        std::thread reader([&, startMs = startMs] {
            usleep(startMs * 1000);
            for (Bytes part; !(part = PeerRead(peer, 4096, 1000)).empty(); usleep(20000))
                got.insert(got.end(), part.begin(), part.end());
        });
        auto start = Clock::now();
        EXPECT_EQ(SerialWrite(data.data(), static_cast<int>(data.size())), result);
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        reader.join();
        SerialClose();
        ClosePtyPeer(peer);
        EXPECT_TRUE(result == 0 ? got == data : seconds > 0.95) << seconds;
    }
}

} // namespace
