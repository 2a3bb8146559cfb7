// The display thread's pass over a real comm thread and a scripted unit on a pseudo-terminal:
// what each view does with the received bytes, the repeated live-data request and the
// data-block read once it is wanted.
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "display/live_stream.h"
#include "link/link.h"
#include "platform/ticks.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "support/pty_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
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
        TickCount = LastLiveRequestTick = 1000;
        DeviceDataWanted = HookCalls = 0;
        AddLiveListener([](const LiveSample&) { ++HookCalls; });
        unit = std::thread([this] {
            while (!stop)
                if (std::vector<uint8_t> request = PeerRead(peer, 14, 10); request.size() == 14) {
                    std::lock_guard<std::mutex> hold(lock);
                    requests.push_back(request);
                    PeerWrite(peer, request[1] == 0 ? Hex("57 41 00 00 00 00 98")
                                                    : UnitFrame('W', 'E', Bytes(256, 0x5C)));
                }
        });
    }
    void TearDown() override {
        stop = true;
        unit.join();
        StopLink();
        ClosePtyPeer(peer);
        RemoveAllLiveListeners();
        ResetDisplayThread();
        ResetLiveStream();
    }
};

TEST_F(DisplayThreadTest, EachViewDoesItsOwnWithTheRing) {
    // In order; the live view decodes only from 8 bytes on, and keeps a started frame.
    const std::vector<uint8_t> frame = UnitFrame(0x57, 0, {0x7F, 0xFF, 0x00, 0x05, 0xBE});
    const std::tuple<int32_t, int32_t, std::vector<uint8_t>, int, int> rows[] = {
        {VIEW_AFR_LAMBDA, 0, Hex("01 02 03 04 05 06 07"), 7, 0},
        {VIEW_AFR_LAMBDA, 0, Hex("08"), 0, 0},
        {VIEW_AFR_LAMBDA, 0, {frame.begin(), frame.end() - 1}, 8, 0},
        {VIEW_AFR_LAMBDA, 0, {frame.end() - 1, frame.end()}, 0, 1},
        {VIEW_WB_SETUP, 0, frame, 9, 1},
        {VIEW_NONE, 1, Hex("11*20"), 29, 1},
        {VIEW_NONE, 0, {}, 0, 1}};
    for (const auto& [view, exchangeActive, bytes, left, hookCalls] : rows) {
        SCOPED_TRACE(testing::Message() << "view " << view << ", " << bytes.size() << " bytes");
        ViewMode = view;
        ExchangeActive = exchangeActive;
        int expected = RxAvailable() + static_cast<int>(bytes.size());
        PeerWrite(peer, bytes);
        ASSERT_TRUE(WaitFor([&] { return RxAvailable() == expected; }, PATIENCE_MS));
        DisplayThreadPass();
        EXPECT_EQ(std::pair(RxAvailable(), HookCalls), std::pair(left, hookCalls));
    }
    // Setup and firmware views reset the ring when it overflows.
    ViewMode = VIEW_WB_SETUP;
    PeerWrite(peer, std::vector<uint8_t>(RX_RING_SIZE + 100, 0x33));
    ASSERT_TRUE(WaitFor([] { return RxOverflow.load() == 1; }, PATIENCE_MS));
    DisplayThreadPass();
    EXPECT_EQ(std::pair(RxResetRequest.load(), RxAvailable()), std::pair(0, 0));
}

// The comm thread sets DeviceDataWanted again at every opening of the port (its own tests).
TEST_F(DisplayThreadTest, LiveRequestAfterMoreThanTwentyTicksAndTheDataBlockReadUntilItWorks) {
    ViewMode = VIEW_AFR_LAMBDA;
    DeviceDataWanted = 1;
    // The block read is a stream stop and the read itself; live requests come after it.
    for (auto [tick, sent] : {std::pair(1020, 2u), {1021, 3u}, {1041, 3u}, {1042, 4u}}) {
        TickCount = tick;
        DisplayThreadPass();
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(requests.size(), sent) << tick;
    }
    EXPECT_EQ(requests[2], Hex("52 00 08 00*10 5A"));
    EXPECT_EQ(std::tuple(DeviceDataWanted.load(), DeviceDataValid.load(), DeviceInfo[255]),
              std::tuple(0, 1, 0x5C));
    stop = true; // nobody answers now
    unit.join();
    unit = std::thread([] {}); // for TearDown to join
    StartTickTimer();
    ViewMode = VIEW_WB_SETUP;
    DeviceDataWanted = 1;
    DisplayThreadPass();
    EXPECT_EQ(std::tuple(DeviceDataWanted.load(), DeviceDataValid.load(), CountNotices()),
              std::tuple(1, 0, 1u))
        << DescribeNotices();
}

// After every kind of stop the first good frame is shown, and handed to the recorder, as it is.
// (The shown values are the frame's sample, which every listener gets.)
// At rate 10 with both stages at 1.67 (the worked frame), raw 0 (lambda 0.67, factor 14.70)
// blends to 0.9 x 1.67 + 0.1 x 0.67 = 1.57, then 0.8 x 1.67 + 0.2 x 1.57 = 1.65, AFR 24.255; as
// it is: 0.67 and 0.67 x 14.70 = 9.849. mq6 live takes its frames through its own pass.
TEST_F(DisplayThreadTest, TheFirstFrameAfterAStopStartsTheSmoothingAfresh) {
    auto port = [this](int32_t code) {
        RequestPort(code, peer.slavePath.c_str());
        EXPECT_TRUE(
            WaitFor([code] { return PortOpen.load() == (code != PORT_CLOSE); }, PATIENCE_MS));
    };
    int (*pass)() = DisplayThreadPass;
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"no stop: blended", [] {}},
        {"port closed, then opened", [&] { port(PORT_CLOSE), pass(), port(PORT_OPEN); }},
        {"another unit between two passes", [&] { port(PORT_REOPEN); }},
        {"a view without live data",
         [&] { ViewMode = VIEW_WB_SETUP, pass(), ViewMode = VIEW_AFR_LAMBDA, StartLiveStream(); }},
        {"2 s without a frame", [&] { TickCount += 21, pass(); }},
        {"2 s without a frame or a pass", [] { TickCount += 21; }},
        {"mq6 live: another unit", [&] { pass = LiveStreamPass, port(PORT_REOPEN); }},
        {"mq6 live: 2 s without a frame", [] { TickCount += 21; }}};
    ViewMode = VIEW_AFR_LAMBDA;
    ResponseRate = 10;
    for (const auto& [what, halt] : rows) {
        SCOPED_TRACE(what);
        ResetLiveState();
        for (const char* frame : {"57 00 7F FF 00 05 BE 02 98", "57 00 00 00 00 05 BE 01 1A"}) {
            if (frame[7] == '0')
                halt();
            PeerWrite(peer, Hex(frame));
            ASSERT_TRUE(WaitFor([] { return RxAvailable() >= 9; }, PATIENCE_MS));
            pass();
        }
        bool blended = what[0] == 'n';
        EXPECT_EQ(std::pair(LambdaX100.load(), AfrX10.load()),
                  blended ? std::pair(165, 243) : std::pair(67, 98));
    }
    ResponseRate = 50;
}

// Two threads exchange with the unit, alone and under a claim, while the display thread runs in
// the view that throws bytes away. A byte that arrives under a claim stays unread: no pass sees
// the link free while a claim holds it, ExchangeActive reads 1 all the while (also as one claim
// hands over to the other), and no exchange overlaps another.
TEST_F(DisplayThreadTest, NoPassSeesTheLinkFreeWhileAClaimHoldsIt) {
    StartDisplayThread();
    std::atomic<int> failures{0};
    auto worker = [&] {
        for (int i = 0; i < 100; ++i) {
            failures += SetStreamMode(8) != 0;
            LinkClaim claim;
            failures += SetStreamMode(8) != 0;
            PeerWrite(peer, {0x57});
            failures += !WaitFor([] { return RxAvailable() > 0; }, PATIENCE_MS);
            for (int look = 0; look < 20; ++look, std::this_thread::yield())
                failures += ExchangeActive.load() != 1 || RxAvailable() == 0;
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    // Idle in no view the thread waits for bytes without end; the stop wakes it all the same.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    StopDisplayThread();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
