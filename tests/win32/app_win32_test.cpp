// The utility's main window under Wine, started the way WinMain starts it, with the simulated
// unit behind a COM port of the test's prefix, and driven by messages through its own loop: the
// start state, view switches and the frames they send, the live needle in the window, and the
// window position kept across starts.
#include "app/main_window.h"
#include "app/startup.h"
#include "display/canvas.h"
#include "display/display_thread.h"
#include "display/live_decode.h"
#include "link/link.h"
#include "resources/resource.h"
#include "settings/config.h"
#include "win32/app_driver.h"
#include "win32/view_fixture.h"
#include "win32/wine_sim.h"

#include <mutex>

namespace {

// Request frames as the simulated unit logs them.
constexpr char STREAM_ON[] = "52 00 08 00 00 00 00 00 00 00 00 00 00 5A";
constexpr char STREAM_OFF[] = "52 00 00 00 00 00 00 00 00 00 00 00 00 52";
constexpr char READ_DATA_BLOCK[] = "52 07 20 20 20 20 20 20 20 20 20 20 01 99";
constexpr int MENU[] = {IDM_FIND_UNIT, IDM_COMM_SETUP, IDM_PREFERENCES,     IDM_EXIT,
                        IDM_WB_SETUP,  IDM_AFR_LAMBDA, IDM_FIRMWARE_UPDATE, IDM_ABOUT};

class MainWindowWin32 : public ViewWin32 {
  protected:
    // The menu's items as "text" or "text (gray)", in menu order.
    std::string MenuState() const {
        std::string items;
        for (int command : MENU) {
            char text[64] = {};
            GetMenuStringA(GetMenu(window), command, text, sizeof text, MF_BYCOMMAND);
            items += std::string(text) + (Grayed(GetMenu(window), command) ? " (gray)|" : "|");
        }
        return items;
    }
    std::string Log() const {
        return ReadFileText(DosPathOf(simLog));
    }
    bool Sent(const char* frame, size_t from = 0) const {
        return Log().find(frame, from) != std::string::npos;
    }
    Colour Pixel(int x, int y) const {
        HDC dc = GetDC(window);
        COLORREF pixel = GetPixel(dc, x, y);
        ReleaseDC(window, dc);
        return static_cast<Colour>(pixel);
    }
};

TEST_F(MainWindowWin32, StartsInWideBandSetupReadsTheUnitAndSwitchesViewsWithTheStream) {
    StartUnit({"--profile", "step:0.90:1.10:4"});
    StartWindow(VIEW_SETTINGS_UNIT);
    EXPECT_EQ(MenuState(),
              "Find &MQ-6|&Comm Setup...|Pre&ferences...|E&xit|&WB Setup (gray)|&Afr && "
              "Lambda|&Firmware Update|&About ...|");
    ASSERT_TRUE(WaitForUnitData());
    EXPECT_TRUE(Sent(READ_DATA_BLOCK) && Sent(STREAM_OFF) && !Sent(STREAM_ON)) << Log();

    // The live view starts the stream without a reconnect; the display thread draws the needle
    // while it holds the exchange lock, so holding it freezes a picture.
    size_t before = Log().size();
    SendMessageA(window, WM_COMMAND, IDM_AFR_LAMBDA, 0);
    EXPECT_TRUE(PumpUntil([&] { return Sent(STREAM_ON, before); }, VIEW_WAIT_MS));
    EXPECT_EQ(PortRequestPending.load(), 0);
    // The dial's centre is (396, 250); lambda 1.00 points straight up, 0.01 turns the needle by
    // 4.25 degrees: 0.90 at 42.5 degrees left of straight up, 1.10 as far right. Points at radius
    // 20 and 130 along each: (396 -/+ r sin 42.5, 250 - r cos 42.5), rounded.
    const struct {
        int lambdaX100;
        POINT needle[2], erased[2];
    } needles[] = {{90, {{382, 235}, {308, 154}}, {{410, 235}, {484, 154}}},
                   {110, {{410, 235}, {484, 154}}, {{382, 235}, {308, 154}}}};
    std::unique_lock<std::recursive_mutex> hold(ExchangeLock, std::defer_lock);
    for (const auto& needle : needles) {
        ASSERT_TRUE(PumpUntil(
            [&] {
                hold.lock();
                if (LambdaX100.load() == needle.lambdaX100)
                    return true;
                hold.unlock();
                return false;
            },
            VIEW_WAIT_MS));
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(Pixel(needle.needle[i].x, needle.needle[i].y), Rgb(210, 20, 10)) << i;
            EXPECT_EQ(Pixel(needle.erased[i].x, needle.erased[i].y), Rgb(235, 235, 235)) << i;
        }
        hold.unlock();
    }
    // Leaving it stops the stream.
    before = Log().size();
    SendMessageA(window, WM_COMMAND, IDM_FIRMWARE_UPDATE, 0);
    EXPECT_TRUE(PumpUntil([&] { return Sent(STREAM_OFF, before); }, VIEW_WAIT_MS));
}

TEST_F(MainWindowWin32, ClosingStoresThePositionUnlessMinimized) {
    StartWindow(VIEW_SETTINGS_NO_UNIT);
    SetWindowPos(window, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    CloseApplication();
    ResetSettings();
    StartWindow(nullptr);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(std::to_string(frame.left) + "," + std::to_string(frame.top), "100,50");
    ShowWindow(window, SW_MINIMIZE);
    PumpFor(100);
    SendMessageA(window, WM_CLOSE, 0, 0);
    CloseApplication();
    EXPECT_NE(ReadFileText(settingsFile).find("[XPOSHWND] 100\r\n[YPOSHWND] 50\r\n"),
              std::string::npos)
        << "closed minimized: the icon's rectangle is not stored";
}

} // namespace
