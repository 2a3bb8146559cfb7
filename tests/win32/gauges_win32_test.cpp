// The AFR and Lambda view drawn through GDI into an 800 by 600 bitmap: the pixels that
// prove the picture, and the picture saved as afr_view.bmp (in MQ6_ARTIFACTS when set).
#include "display/canvas_gdi.h"
#include "display/gauges.h"
#include "display/live_decode.h"
#include "display/status_line.h"
#include "link/link.h"
#include "settings/config.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int VIEW_WIDTH = 800;
constexpr int VIEW_HEIGHT = 600;

constexpr Colour FACE = Rgb(235, 235, 235);
constexpr Colour NEEDLE = Rgb(210, 20, 10);
constexpr Colour BAND = Rgb(217, 72, 0);
constexpr Colour RICH = Rgb(235, 230, 80);
constexpr Colour LEAN = Rgb(70, 104, 245);
constexpr Colour STOICH = Rgb(20, 220, 10);
constexpr Colour INK = Rgb(32, 32, 32);
constexpr Colour IDLE_SPOKE = Rgb(250, 250, 250);
constexpr Colour STATUS_BACK = Rgb(40, 40, 240);
constexpr Colour STATUS_TEXT = Rgb(240, 240, 240);

HWND TestWindow = nullptr;

// A window made like the main window: 800 by 600 with a caption, a menu and no sizing
// border, so that the layout is measured on a client area of the real size.
void CreateTestWindow() {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "MQ6GaugeTest";
    RegisterClassExA(&windowClass);
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 1, "&File");
    TestWindow =
        CreateWindowExA(0, "MQ6GaugeTest", "gauges",
                        WS_POPUP | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                        VIEW_WIDTH, VIEW_HEIGHT, nullptr, menu, GetModuleHandleA(nullptr), nullptr);
}

class GaugesWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        CanvasCreateFonts(false);
        CreateTestWindow();
        CanvasAttachWindow(TestWindow);
    }
    static void TearDownTestSuite() {
        CanvasAttachWindow(nullptr);
        DestroyWindow(TestWindow);
        CanvasDeleteFonts();
    }

    void SetUp() override {
        ASSERT_NE(TestWindow, nullptr);
        ResetGauges();
        ResetLiveState();
        ResetSettings();
        ResetLinkState();
        std::strncpy(PortName.data(), "COM3", PortName.size() - 1);
        PortStatus = 1;
        ASSERT_EQ(MeasureLayout(), 0);

        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = VIEW_WIDTH;
        info.bmiHeader.biHeight = -VIEW_HEIGHT; // top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        pixels = static_cast<const uint32_t*>(bits);
        previousBitmap = SelectObject(dc, bitmap);
        // What the window class's background brush gives the client area.
        HBRUSH background = CreateSolidBrush(BackColour);
        RECT all{0, 0, VIEW_WIDTH, VIEW_HEIGHT};
        FillRect(dc, &all, background);
        DeleteObject(background);
        canvas = CanvasOnDc(dc);
    }
    void TearDown() override {
        if (dc != nullptr) {
            SelectObject(dc, previousBitmap);
            DeleteObject(bitmap);
            DeleteDC(dc);
        }
        ResetLinkState();
        ResetLiveState();
    }

    // The paint handler's order: the status line, then the view.
    void PaintView() {
        DrawStatusLine(&canvas);
        PaintAfrLambdaView(&canvas);
        GdiFlush();
    }

    Colour Pixel(int x, int y) const {
        uint32_t bgr = pixels[y * VIEW_WIDTH + x];
        return Rgb(bgr >> 16 & 0xFF, bgr >> 8 & 0xFF, bgr & 0xFF);
    }
    // The pixel nearest to a dial angle and radius (angles clockwise from straight down).
    Colour DialPixel(double angle, double radius) const {
        double t = (360.0 - angle) * 3.14159265358979323846 / 180.0;
        return Pixel(static_cast<int>(std::lround(396 + radius * std::sin(t))),
                     static_cast<int>(std::lround(250 + radius * std::cos(t))));
    }
    // True when every pixel of the rectangle has the colour.
    bool Filled(int left, int top, int right, int bottom, Colour colour) const {
        for (int y = top; y < bottom; y++)
            for (int x = left; x < right; x++)
                if (Pixel(x, y) != colour)
                    return false;
        return true;
    }
    int Count(int left, int top, int right, int bottom, Colour colour) const {
        int count = 0;
        for (int y = top; y < bottom; y++)
            for (int x = left; x < right; x++)
                count += Pixel(x, y) == colour;
        return count;
    }

    // A 24-bit bottom-up BMP, the most widely read form.
    void SaveArtifact(const char* name) const {
        const char* directory = std::getenv("MQ6_ARTIFACTS");
        std::string path = directory != nullptr && *directory != '\0'
                               ? std::string(directory) + "\\" + name
                               : std::string(name);
        const uint32_t rowBytes = VIEW_WIDTH * 3;
        BITMAPFILEHEADER file{};
        BITMAPINFOHEADER header{};
        file.bfType = 0x4D42; // "BM"
        file.bfOffBits = sizeof file + sizeof header;
        file.bfSize = file.bfOffBits + rowBytes * VIEW_HEIGHT;
        header.biSize = sizeof header;
        header.biWidth = VIEW_WIDTH;
        header.biHeight = VIEW_HEIGHT;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        std::ofstream out(path, std::ios::binary);
        ASSERT_TRUE(out.good()) << "cannot write " << path;
        out.write(reinterpret_cast<const char*>(&file), sizeof file);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        std::string row(rowBytes, '\0');
        for (int y = VIEW_HEIGHT - 1; y >= 0; y--) {
            for (int x = 0; x < VIEW_WIDTH; x++)
                std::memcpy(&row[x * 3], &pixels[y * VIEW_WIDTH + x], 3);
            out.write(row.data(), rowBytes);
        }
        ASSERT_TRUE(out.good());
    }

    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    const uint32_t* pixels = nullptr;
    Canvas canvas;
};

TEST_F(GaugesWin32, WholeViewShowsDialBandNeedleDigitsAndStatusLine) {
    LambdaX100 = 90; // needle at angle 137.5, readout 0.90
    AfrX10 = 147;    // readout 14.7
    PaintView();
    SaveArtifact("afr_view.bmp");

    // The needle from the hub out along angle 137.5.
    for (int radius = 10; radius <= 135; radius += 5)
        EXPECT_EQ(DialPixel(137.5, radius), NEEDLE) << "needle at radius " << radius;
    EXPECT_EQ(Pixel(396, 250), NEEDLE) << "hub";
    EXPECT_EQ(Pixel(450, 300), FACE);

    // The coloured arcs on radius 155, between ticks: band 120.5 to 129, rich below 180,
    // lean above it, the stoichiometric mark around it.
    EXPECT_EQ(DialPixel(122.6, 155), BAND);
    EXPECT_EQ(DialPixel(126.9, 155), BAND);
    EXPECT_EQ(DialPixel(88.6, 155), RICH);
    EXPECT_EQ(DialPixel(271.4, 155), LEAN);
    EXPECT_EQ(DialPixel(177.9, 155), STOICH);
    // The 3-pixel major tick at 1.00 beside the 1-pixel minor tick drawn over its middle.
    EXPECT_EQ(Pixel(397, 97), Rgb(0, 0, 0));
    EXPECT_EQ(Pixel(396, 97), Rgb(10, 10, 10));

    // The status line: white on blue across 80 cells at the bottom of the client area.
    int lineTop = ClientHeight - LineHeight;
    EXPECT_EQ(Pixel(1, lineTop + 1), STATUS_BACK);
    EXPECT_EQ(Pixel(79 * CharWidth + 1, lineTop + LineHeight - 2), STATUS_BACK);
    EXPECT_EQ(Pixel(1, lineTop - 1), BackColour);
    EXPECT_GT(Count(0, lineTop, 80 * CharWidth, ClientHeight, STATUS_TEXT), 50);

    // The readouts as solid 8 by 12 blocks. AFR "1" at 80: row 1 is ..###..
    EXPECT_TRUE(Filled(96, 434, 120, 446, INK));
    EXPECT_TRUE(Filled(80, 434, 96, 446, BackColour));
    // AFR "7" at 260, row 2 "^....##": the upper half block inks only the top 6 rows.
    EXPECT_TRUE(Filled(260, 446, 268, 452, INK));
    EXPECT_TRUE(Filled(260, 452, 268, 458, BackColour));
    EXPECT_TRUE(Filled(300, 446, 316, 458, INK));
    // Lambda "0" at 480: its top row is solid across all seven cells; the point at 540.
    EXPECT_TRUE(Filled(480, 434, 536, 446, INK));
    EXPECT_TRUE(Filled(548, 506, 564, 518, INK));
    EXPECT_TRUE(Filled(540, 494, 564, 506, BackColour));

    // The activity mark's spokes, idle; the title in the view's text colour.
    EXPECT_EQ(Pixel(739, 52), IDLE_SPOKE);
    EXPECT_GT(Count(250, 10, 550, 40, INK), 30);
}

TEST_F(GaugesWin32, LiveRedrawErasesTheOldNeedleAndRewritesChangedDigits) {
    LambdaX100 = 90;
    AfrX10 = 147;
    PaintView();
    LambdaX100 = 110; // angle 223.5
    AfrX10 = 148;
    CanvasSetTextColour(&canvas, INK);
    CanvasSetFont(&canvas, FONT_OEM_FIXED);
    DrawLambdaReadout(&canvas, 0);
    DrawAfrReadout(&canvas, 0);
    DrawNeedle(&canvas);
    GdiFlush();

    for (int radius = 20; radius <= 135; radius += 5) {
        EXPECT_EQ(DialPixel(137.5, radius), FACE) << "old needle left at radius " << radius;
        EXPECT_EQ(DialPixel(223.5, radius), NEEDLE) << "new needle at radius " << radius;
    }
    // "8" replaces "7": row 2 "##...##" now inks the bottom of the first cell as well.
    EXPECT_TRUE(Filled(260, 446, 276, 458, INK));
    EXPECT_TRUE(Filled(276, 446, 300, 458, BackColour));
    // Lambda 1.10: "1" at 480, row 1 "..###.." blanks the cells the "0" had inked.
    EXPECT_TRUE(Filled(480, 434, 496, 446, BackColour));
    EXPECT_TRUE(Filled(496, 434, 520, 446, INK));
    SaveArtifact("afr_view_live.bmp");
}

} // namespace
