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

int HookCalls = 0;

// Ticks are set by hand once the link is up, so every reply must come: the unit answers
// SetStreamMode with an acknowledgement and ReadDataBlock with a block of 0x5C.
class DisplayThreadTest : public ::testing::Test {
  protected:
    PtyPeer peer;
    std::thread unit;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<std::vector<uint8_t>> requests;
    void SetUp() override {
        ClearRecordedNotices();
        ASSERT_TRUE(OpenPtyPeer(peer));
        ASSERT_TRUE(StartLinkOn(peer.slavePath));
        StopTickTimer();
        ResetLiveState();
        TickCount = LastLiveRequestTick = 1000;
        ResponseRate = 100;
        DeviceDataWanted = HookCalls = 0;
        LiveFrameHook = [] { ++HookCalls; };
        unit = std::thread([this] {
            while (!stop)
                if (std::vector<uint8_t> request = PeerRead(peer, 14, 10); request.size() == 14) {
                    std::lock_guard<std::mutex> hold(lock);
                    requests.push_back(request);
                    PeerWrite(peer, request[1] == 0
                                        ? Hex("57 41 00 00 00 00 98")
                                        : UnitFrame('W', 'E', std::vector<uint8_t>(256, 0x5C)));
                }
        });
    }
    void TearDown() override {
        stop = true;
        unit.join();
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
    size_t Requests() {
        std::lock_guard<std::mutex> hold(lock);
        return requests.size();
    }
};

TEST_F(DisplayThreadTest, EachViewDoesItsOwnWithTheRing) {
    // In order; the live view decodes only from 8 bytes on, and keeps a started frame.
    const std::vector<uint8_t> frame = UnitFrame(0x57, 0, {0x7F, 0xFF, 0x00, 0x05, 0xBE});
    struct Row {
        int32_t view, exchangeActive;
        std::vector<uint8_t> bytes;
        int left, hookCalls;
    } const rows[] = {
        {VIEW_NONE, 0, std::vector<uint8_t>(100, 0x57), 0, 0},
        {VIEW_AFR_LAMBDA, 0, Hex("01 02 03 04 05 06 07"), 7, 0},
        {VIEW_AFR_LAMBDA, 0, Hex("08"), 0, 0},
        {VIEW_AFR_LAMBDA, 0, {frame.begin(), frame.end() - 1}, 8, 0},
        {VIEW_AFR_LAMBDA, 0, {frame.end() - 1, frame.end()}, 0, 1},
        {VIEW_WB_SETUP, 0, frame, 9, 1},
        {VIEW_FIRMWARE_UPDATE, 0, frame, 18, 1},
        {VIEW_NONE, 1, Hex("11*20"), 38, 1},
        {VIEW_NONE, 0, {}, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "view " << row.view << ", " << row.bytes.size() << " bytes");
        ViewMode = row.view;
        ExchangeActive = row.exchangeActive;
        Arrive(row.bytes);
        DisplayThreadPass();
        ASSERT_TRUE(WaitFor([] { return RxResetRequest.load() == 0; }, 1000));
        EXPECT_EQ(std::pair(RxAvailable(), HookCalls), std::pair(row.left, row.hookCalls));
    }
    EXPECT_EQ(LambdaX100.load(), 167);
    EXPECT_EQ(Requests(), 0u) << "no live request was due";
    // Setup and firmware views reset the ring when it overflows.
    ViewMode = VIEW_WB_SETUP;
    PeerWrite(peer, std::vector<uint8_t>(RX_RING_SIZE + 100, 0x33));
    ASSERT_TRUE(WaitFor([] { return RxOverflow.load() == 1; }, 5000));
    DisplayThreadPass();
    EXPECT_EQ(std::pair(RxResetRequest.load(), RxAvailable()), std::pair(0, 0));
}

TEST_F(DisplayThreadTest, LiveRequestGoesOutWhenMoreThanTwentyTicksHavePassed) {
    ViewMode = VIEW_AFR_LAMBDA;
    for (auto [tick, sent] : {std::pair(1020, 0u), {1021, 1u}, {1041, 1u}, {1042, 2u}}) {
        TickCount = tick;
        DisplayThreadPass();
        EXPECT_EQ(Requests(), sent) << tick;
    }
    EXPECT_EQ(LastLiveRequestTick, 1042);
    EXPECT_EQ(requests[0], Hex("52 00 08 00*10 5A"));
    EXPECT_EQ(RxAvailable(), 0) << "the acknowledgements were taken by the requests";
}

TEST_F(DisplayThreadTest, DataBlockIsReadAfterEveryConnectionAndAFailedReadIsRetried) {
    ViewMode = VIEW_WB_SETUP;
    for (int connection = 0; connection < 2; ++connection) {
        DeviceDataWanted = 1;
        DisplayThreadPass();
        DisplayThreadPass(); // read once per connection
        EXPECT_EQ(std::tuple(DeviceDataWanted.load(), DeviceDataValid.load(), DeviceInfo[255]),
                  std::tuple(0, 1, 0x5C));
        EXPECT_EQ(Requests(), 2u * (connection + 1)) << "the stream is stopped first";
        DeviceInfo.fill(0);
        RequestPort(PORT_REOPEN, PortName.data());
        ASSERT_TRUE(
            WaitFor([] { return PortOpen.load() == 1 && !PortRequestPending.load(); }, 3000));
        EXPECT_EQ(DeviceDataWanted.load(), 1);
    }
    stop = true; // nobody answers now
    unit.join();
    unit = std::thread([] {}); // for TearDown to join
    StartTickTimer();
    DisplayThreadPass();
    EXPECT_EQ(std::tuple(DeviceDataWanted.load(), DeviceDataValid.load(), CountNotices()),
              std::tuple(1, 0, 1u));
}

} // namespace
