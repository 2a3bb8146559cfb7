#include "win32/app_driver.h"

#include "app/startup.h"

#include <fstream>
#include <sstream>

bool QuitTaken = false;

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    for (DWORD start = GetTickCount(); !done(); Sleep(1)) {
        int exitCode = 0;
        if (GetTickCount() - start > static_cast<DWORD>(timeoutMs) || QuitTaken)
            return done();
        QuitTaken = MessageLoopPass(&exitCode) != 0;
    }
    return true;
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

HWND ChildAt(HWND window, const char* className, int x, int y) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        RECT rect{};
        GetClassNameA(child, name, sizeof name);
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        if (_stricmp(name, className) == 0 && rect.left == x && rect.top == y)
            return child;
    }
    return nullptr;
}

bool Grayed(HMENU menu, int command) {
    UINT state = GetMenuState(menu, static_cast<UINT>(command), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_GRAYED) != 0;
}

std::string ReadFileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}
