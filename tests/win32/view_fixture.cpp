#include "win32/view_fixture.h"

#include "app/main_window.h"
#include "app/startup.h"
#include "display/live_decode.h"
#include "link/link.h"
#include "settings/config.h"
#include "support/notice_record.h"
#include "win32/app_driver.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    auto* children = reinterpret_cast<std::vector<HWND>*>(context);
    if (GetParent(child) == MainWindow)
        children->push_back(child);
    return TRUE;
}

bool HasClass(HWND window, const char* className) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return _stricmp(name, className) == 0;
}

} // namespace

void ViewWin32::TearDownTestSuite() {
    StopTimerTick();
}

void ViewWin32::SetUp() {
    ResetSettings();
    ResetLinkState();
    ResetLiveState();
    ClearRecordedNotices();
    static int serial = 0;
    ++serial;
    std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial);
    dir = std::filesystem::temp_directory_path() / ("mq6-view-" + tag);
    std::filesystem::create_directories(dir);
    settingsFile = (dir / "MQ-6_Setup.cfg").string();
    ASSERT_LT(settingsFile.size(), ConfigPath.size());
    ConfigPath.fill('\0');
    std::memcpy(ConfigPath.data(), settingsFile.data(), settingsFile.size());
    simLog = EnvText("MQ6_WINE_ROOT") + "/view-sim-" + tag + ".log";
    simTables = EnvText("MQ6_WINE_ROOT") + "/view-sim-" + tag + ".tables";
}

void ViewWin32::TearDown() {
    CloseApplication();
    StopWineSim(sim);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    DeleteFileA(DosPathOf(simLog).c_str());
    DeleteFileA(DosPathOf(simTables).c_str());
    ResetSettings();
    ResetLinkState();
    ResetLiveState();
}

void ViewWin32::StartUnit(const std::vector<std::string>& options) {
    std::vector<std::string> args = {"--log", simLog, "--dump-tables", simTables};
    args.insert(args.end(), options.begin(), options.end());
    std::string why;
    ASSERT_TRUE(StartWineSim(sim, "COM5", args, why)) << why;
}

void ViewWin32::StartWindow(const std::string& settings) {
    WriteFileText(settingsFile, settings);
    QuitTaken = false;
    ASSERT_EQ(StartApplication(GetModuleHandleA(nullptr), SW_SHOWNORMAL), 1);
    running = true;
    window = MainWindow;
    PumpFor(50);
}

void ViewWin32::CloseApplication() {
    if (!running)
        return;
    if (IsWindow(window))
        DestroyWindow(window);
    PumpUntil([] { return QuitTaken; }, VIEW_WAIT_MS);
    EXPECT_TRUE(QuitTaken) << "the close sequence posts the quit message";
    FinishApplication();
    running = false;
}

bool ViewWin32::WaitForUnitData() {
    return PumpUntil([] { return PortStatus.load() == 1 && DeviceDataValid.load() == 1; },
                     VIEW_WAIT_MS);
}

std::vector<std::string> ViewWin32::UnitRequests() const {
    return FileLines(DosPathOf(simLog));
}

std::vector<uint8_t> ViewWin32::DumpedTables() const {
    std::string bytes = ReadFileText(DosPathOf(simTables));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<HWND> ViewWin32::Children() const {
    std::vector<HWND> children;
    // EnumChildWindows walks the children in z-order, which is their creation order here.
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND ViewWin32::ChildWithText(const char* className, const char* text) const {
    for (HWND child : Children())
        if (HasClass(child, className) && ControlText(child) == text)
            return child;
    return nullptr;
}

HWND ViewWin32::ChildAt(const char* className, int x, int y) const {
    for (HWND child : Children()) {
        RECT rect = ClientRectOf(child);
        if (HasClass(child, className) && rect.left == x && rect.top == y)
            return child;
    }
    return nullptr;
}

RECT ViewWin32::ClientRectOf(HWND child) const {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void ViewWin32::PressKey(HWND control, int key, bool shift) {
    if (shift)
        SendMessageA(control, WM_KEYDOWN, VK_SHIFT, 0x002A0001);
    SendMessageA(control, WM_KEYDOWN, static_cast<WPARAM>(key), 1);
    SendMessageA(control, WM_KEYUP, static_cast<WPARAM>(key), 0xC0000001);
    if (shift)
        SendMessageA(control, WM_KEYUP, VK_SHIFT, 0xC02A0001);
    // The filter posts its next-control message: let the loop take it.
    PumpFor(30);
}

void ViewWin32::Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

LRESULT ViewWin32::AskToClose() {
    constexpr LPARAM ALT_F4 = 0x203E0001; // scan code 0x3E, repeat 1, Alt held
    PostMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, WM_SYSKEYDOWN, VK_F4, ALT_F4);
    PostMessageA(window, WM_SYSKEYUP, VK_F4, ALT_F4 | static_cast<LPARAM>(0xC0000000));
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
}

std::string ViewWin32::SaveWindowPicture(const char* name) const {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    HDC source = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as the file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();

    const char* directory = std::getenv("MQ6_ARTIFACTS");
    std::string path = directory != nullptr && *directory != '\0'
                           ? std::string(directory) + "\\" + name
                           : std::string(name);
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + rowBytes * static_cast<uint32_t>(height);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), std::streamsize(rowBytes) * height);

    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return out.good() ? path : std::string();
}
