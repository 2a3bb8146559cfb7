#include "win32/app_driver.h"

#include "app/startup.h"

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

struct DialogDriver {
    std::string caption;
    std::function<bool(HWND)> act;
    bool seen = false;
    bool done = false;
    UINT_PTR timer = 0;
};
DialogDriver* ActiveDriver = nullptr;

constexpr int DRIVER_POLL_MS = 20;

struct FoundDialog {
    const std::string* caption;
    HWND dialog;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM context) {
    FoundDialog* found = reinterpret_cast<FoundDialog*>(context);
    char className[32] = {};
    char title[128] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (std::string_view(className) == "#32770" && *found->caption == title) {
        found->dialog = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR, DWORD) {
    DialogDriver* driver = ActiveDriver;
    if (driver == nullptr || driver->seen)
        return;
    FoundDialog found{&driver->caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&found));
    if (found.dialog == nullptr)
        return;
    driver->seen = true;
    KillTimer(nullptr, driver->timer);
    if (!driver->act(found.dialog))
        SendMessageA(found.dialog, WM_COMMAND, IDCANCEL, 0);
    driver->done = true;
}

} // namespace

bool QuitTaken = false;

bool PumpFor(int milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(milliseconds)) {
        int exitCode = 0;
        if (MessageLoopPass(&exitCode) != 0) {
            QuitTaken = true;
            return false;
        }
        Sleep(1);
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs))
            return done();
        int exitCode = 0;
        if (MessageLoopPass(&exitCode) != 0) {
            QuitTaken = true;
            return done();
        }
        Sleep(1);
    }
    return true;
}

bool WithDialog(std::string_view caption, const std::function<void()>& trigger,
                const std::function<bool(HWND)>& act, int timeoutMs) {
    DialogDriver driver;
    driver.caption = std::string(caption);
    driver.act = act;
    driver.timer = SetTimer(nullptr, 0, DRIVER_POLL_MS, DriveDialog);
    ActiveDriver = &driver;
    trigger();
    PumpUntil([&] { return driver.done; }, timeoutMs);
    if (!driver.seen)
        KillTimer(nullptr, driver.timer);
    ActiveDriver = nullptr;
    return driver.seen;
}

void TypeText(HWND control, std::string_view text) {
    for (char c : text)
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::string ControlText(HWND control) {
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    return text;
}

void ClickButton(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

Colour WindowPixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return static_cast<Colour>(pixel);
}

Colour DialPixel(HWND window, double angle, double radius) {
    double t = (360.0 - angle) * 3.14159265358979323846 / 180.0;
    return WindowPixel(window, static_cast<int>(std::lround(396 + radius * std::sin(t))),
                       static_cast<int>(std::lround(250 + radius * std::cos(t))));
}

int CountPixels(HWND window, int left, int top, int right, int bottom, Colour colour) {
    HDC dc = GetDC(window);
    int count = 0;
    for (int y = top; y < bottom; y++)
        for (int x = left; x < right; x++)
            count += static_cast<Colour>(GetPixel(dc, x, y)) == colour;
    ReleaseDC(window, dc);
    return count;
}

bool MenuItemGrayed(HWND window, int command) {
    UINT state = GetMenuState(GetMenu(window), static_cast<UINT>(command), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

bool CloseGrayed(HWND window) {
    UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary).write(text.data(), std::streamsize(text.size()));
}

std::vector<std::string> FileLines(const std::string& path) {
    std::istringstream text(ReadFileText(path));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string SettingOf(const std::string& fileText, std::string_view keyword) {
    std::istringstream text(fileText);
    std::string line;
    while (std::getline(text, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > keyword.size() && line.compare(0, keyword.size(), keyword) == 0 &&
            line[keyword.size()] == ' ')
            return line.substr(keyword.size() + 1);
    }
    return "(missing)";
}

std::string DosPathOf(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}
