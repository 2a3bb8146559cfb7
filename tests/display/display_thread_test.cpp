// The display thread's pass over a real comm thread and a scripted unit on a pseudo-terminal:
// what each view does with the received bytes, the repeated live-data request and the
// data-block read after every connection.
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

constexpr size_t REQUEST_SIZE = 14;

std::vector<uint8_t> LiveFrame(uint32_t raw, int factorX100) {
    std::vector<uint8_t> frame = {LIVE_FRAME_HEADER,
                                  0,
                                  static_cast<uint8_t>(raw >> 16),
                                  static_cast<uint8_t>(raw >> 8),
                                  static_cast<uint8_t>(raw),
                                  static_cast<uint8_t>(factorX100 >> 8),
                                  static_cast<uint8_t>(factorX100)};
    unsigned sum = 0;
    for (uint8_t byte : frame)
        sum += byte;
    frame.push_back(static_cast<uint8_t>(sum >> 8));
    frame.push_back(static_cast<uint8_t>(sum));
    return frame;
}

// The unit's side: answers SetStreamMode with an acknowledgement and ReadDataBlock with
// its data block, and keeps every request it was sent.
class ScriptedUnit {
  public:
    explicit ScriptedUnit(PtyPeer& peer) : peer_(peer) {
        for (size_t i = 0; i < block_.size(); ++i)
            block_[i] = static_cast<uint8_t>(i * 7);
    }
    ~ScriptedUnit() {
        Stop();
    }
    void Start() {
        stop_ = false;
        worker_ = std::thread([this] { Serve(); });
    }
    void Stop() {
        stop_ = true;
        if (worker_.joinable())
            worker_.join();
    }
    std::vector<std::vector<uint8_t>> Requests() {
        std::lock_guard<std::mutex> hold(lock_);
        return requests_;
    }
    size_t CountRequests(uint8_t subcommand, int mode) {
        size_t count = 0;
        for (const std::vector<uint8_t>& request : Requests())
            if (request[1] == subcommand && (mode < 0 || request[2] == mode))
                ++count;
        return count;
    }
    const std::array<uint8_t, 256>& Block() const {
        return block_;
    }

  private:
    void Serve() {
        while (!stop_) {
            std::vector<uint8_t> request = PeerRead(peer_, REQUEST_SIZE, 10);
            if (request.empty())
                continue;
            std::vector<uint8_t> rest = PeerRead(peer_, REQUEST_SIZE - request.size(), 1000);
            request.insert(request.end(), rest.begin(), rest.end());
            {
                std::lock_guard<std::mutex> hold(lock_);
                requests_.push_back(request);
            }
            if (request.size() == REQUEST_SIZE && request[0] == 'R' && request[1] == 0)
                PeerWrite(peer_, UnitFrame('W', 'A', {0, 0, 0}));
            else if (request.size() == REQUEST_SIZE && request[0] == 'R' && request[1] == 7)
                PeerWrite(peer_, UnitFrame('W', 'E', {block_.begin(), block_.end()}));
        }
    }

    PtyPeer& peer_;
    std::array<uint8_t, 256> block_{};
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::mutex lock_;
    std::vector<std::vector<uint8_t>> requests_;
};

int HookCalls = 0;
void CountHookCall() {
    ++HookCalls;
}

// Ticks are set by hand: the timer is stopped once the link is up, so every reply must come
// (the scripted unit always answers) unless a test starts the timer again.
class DisplayThreadTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    ScriptedUnit unit{peer};

    void SetUp() override {
        ClearRecordedNotices();
        ASSERT_TRUE(OpenPtyPeer(peer));
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
        StopTickTimer();
        TickCount = 1000;
        ResetLiveState();
        LastLiveRequestTick = 1000;
        ResponseRate = 100;
        DeviceDataWanted = 0;
        HookCalls = 0;
        LiveFrameHook = CountHookCall;
    }
    void TearDown() override {
        unit.Stop();
        StopLink();
        ClosePtyPeer(peer);
        LiveFrameHook = nullptr;
        ResponseRate = 50;
        ViewMode = VIEW_NONE;
    }
    void Arrive(const std::vector<uint8_t>& bytes) {
        int expected = RxAvailable() + static_cast<int>(bytes.size());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor([&] { return RxAvailable() == expected; }, 2000));
    }
};

TEST_F(DisplayThreadTest, NoViewThrowsEverythingAway) {
    unit.Start();
    ViewMode = VIEW_NONE;
    Arrive(std::vector<uint8_t>(100, 0x57));
    TickCount = 2000;
    DisplayThreadPass();
    EXPECT_EQ(RxAvailable(), 0);
    EXPECT_EQ(HookCalls, 0);
    EXPECT_TRUE(unit.Requests().empty()) << "the live request belongs to the live view";
}

TEST_F(DisplayThreadTest, LiveViewDecodesWholeFramesAndKeepsAStartedOne) {
    unit.Start();
    ViewMode = VIEW_AFR_LAMBDA;
    std::vector<uint8_t> bytes = {0x01, 0x02, 0x03};
    for (uint32_t raw : {0x100000u, 0x200000u, 0x300000u}) {
        std::vector<uint8_t> frame = LiveFrame(raw, 1470);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    std::vector<uint8_t> last = LiveFrame(0x7FFF00, 1470);
    bytes.insert(bytes.end(), last.begin(), last.begin() + 8);
    Arrive(bytes);
    DisplayThreadPass();
    EXPECT_EQ(HookCalls, 3);
    EXPECT_EQ(LambdaX100.load(), static_cast<int>(RawToLambda(0x300000) * 100 + 0.5));
    EXPECT_EQ(RxAvailable(), 8) << "the started frame waits for its last byte";

    Arrive(std::vector<uint8_t>(last.begin() + 8, last.end()));
    DisplayThreadPass();
    EXPECT_EQ(HookCalls, 4);
    EXPECT_EQ(LambdaX100.load(), 167);
    EXPECT_EQ(RxAvailable(), 0);
    EXPECT_TRUE(unit.Requests().empty()) << "no live request was due";
}

TEST_F(DisplayThreadTest, LiveViewStartsExtractingFromEightBytes) {
    unit.Start();
    ViewMode = VIEW_AFR_LAMBDA;
    Arrive({1, 2, 3, 4, 5, 6, 7});
    DisplayThreadPass();
    EXPECT_EQ(RxAvailable(), 7);
    Arrive({8});
    DisplayThreadPass();
    EXPECT_EQ(RxAvailable(), 0) << "bytes before any header are consumed";
    EXPECT_EQ(HookCalls, 0);
}

TEST_F(DisplayThreadTest, LiveRequestGoesOutWhenMoreThanTwentyTicksHavePassed) {
    unit.Start();
    ViewMode = VIEW_AFR_LAMBDA;
    const std::vector<uint8_t> request = {0x52, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x5A};
    TickCount = 1020;
    DisplayThreadPass();
    EXPECT_TRUE(unit.Requests().empty());
    TickCount = 1021;
    DisplayThreadPass();
    ASSERT_EQ(unit.Requests().size(), 1u);
    EXPECT_EQ(unit.Requests()[0], request);
    EXPECT_EQ(LastLiveRequestTick, 1021);
    TickCount = 1041;
    DisplayThreadPass();
    EXPECT_EQ(unit.Requests().size(), 1u);
    TickCount = 1042;
    DisplayThreadPass();
    EXPECT_EQ(unit.Requests().size(), 2u);
    EXPECT_EQ(LastLiveRequestTick, 1042);
    EXPECT_EQ(RxAvailable(), 0) << "the acknowledgements were taken by the requests";

    // A unit that does not answer: the request still counts as made.
    unit.Stop();
    StartTickTimer();
    LastLiveRequestTick = -100;
    DisplayThreadPass();
    EXPECT_EQ(PeerRead(peer, REQUEST_SIZE, 1000), request);
    EXPECT_GE(LastLiveRequestTick, 0);
}

TEST_F(DisplayThreadTest, SetupAndFirmwareViewsLeaveTheRingAndResetItOnOverflow) {
    unit.Start();
    for (int32_t view : {VIEW_WB_SETUP, VIEW_FIRMWARE_UPDATE}) {
        SCOPED_TRACE(view);
        ViewMode = view;
        // The tail of the last round's flood may still be on its way.
        WaitFor(
            [] {
                int before = RxAvailable();
                SleepMs(50);
                return RxAvailable() == before;
            },
            2000);
        RequestRxReset();
        DisplayThreadPass();
        ASSERT_EQ(RxResetRequest.load(), 0) << "a requested reset is carried out by the pass";
        TickCount = TickCount + 100;
        Arrive(LiveFrame(0x7FFF00, 1470));
        DisplayThreadPass();
        EXPECT_EQ(RxAvailable(), 9);
        EXPECT_EQ(HookCalls, 0);
        EXPECT_TRUE(unit.Requests().empty());

        PeerWrite(peer, std::vector<uint8_t>(RX_RING_SIZE + 100, 0x33));
        ASSERT_TRUE(WaitFor(
            [] { return RxAvailable() == RX_RING_SIZE - 1 && RxOverflow.load() == 1; }, 5000));
        DisplayThreadPass();
        EXPECT_EQ(RxResetRequest.load(), 0);
        EXPECT_EQ(RxAvailable(), 0);
    }
}

TEST_F(DisplayThreadTest, ExchangeActiveSkipsThePass) {
    unit.Start();
    ViewMode = VIEW_NONE;
    DeviceDataWanted = 1;
    ExchangeActive = 1;
    Arrive(std::vector<uint8_t>(20, 0x11));
    DisplayThreadPass();
    EXPECT_EQ(RxAvailable(), 20);
    EXPECT_EQ(DeviceDataWanted.load(), 1);
    EXPECT_TRUE(unit.Requests().empty());
    ExchangeActive = 0;
    DisplayThreadPass();
    EXPECT_EQ(DeviceDataWanted.load(), 0);
    EXPECT_EQ(unit.Requests().size(), 2u);
}

TEST_F(DisplayThreadTest, DataBlockIsReadAfterEveryConnection) {
    unit.Start();
    ViewMode = VIEW_WB_SETUP;
    DeviceDataWanted = 1;
    DisplayThreadPass();
    EXPECT_EQ(DeviceDataWanted.load(), 0);
    EXPECT_EQ(DeviceDataValid.load(), 1);
    EXPECT_EQ(DeviceInfo, unit.Block());
    EXPECT_EQ(unit.CountRequests(0, 0), 1u) << "the stream is stopped first";
    EXPECT_EQ(unit.CountRequests(7, -1), 1u);

    DisplayThreadPass();
    EXPECT_EQ(unit.Requests().size(), 2u) << "read once per connection";

    DeviceInfo.fill(0);
    RequestPort(PORT_REOPEN, PortName.data());
    ASSERT_TRUE(
        WaitFor([] { return PortOpen.load() == 1 && PortRequestPending.load() == 0; }, 3000));
    EXPECT_EQ(DeviceDataWanted.load(), 1);
    DisplayThreadPass();
    EXPECT_EQ(DeviceDataWanted.load(), 0);
    EXPECT_EQ(unit.CountRequests(7, -1), 2u);
    EXPECT_EQ(DeviceInfo, unit.Block());
    EXPECT_EQ(CountNotices(), 0u);
}

TEST_F(DisplayThreadTest, FailedDataBlockReadIsTriedAgainOnTheNextPass) {
    StartTickTimer();
    ViewMode = VIEW_WB_SETUP;
    DeviceDataWanted = 1;
    DisplayThreadPass(); // nobody answers
    EXPECT_EQ(DeviceDataWanted.load(), 1);
    EXPECT_EQ(DeviceDataValid.load(), 0);
    EXPECT_EQ(CountNotices(), 1u);
    PeerDrain(peer, 50);

    unit.Start();
    DisplayThreadPass();
    EXPECT_EQ(DeviceDataWanted.load(), 0);
    EXPECT_EQ(DeviceDataValid.load(), 1);
    EXPECT_EQ(CountNotices(), 1u);
}

} // namespace
