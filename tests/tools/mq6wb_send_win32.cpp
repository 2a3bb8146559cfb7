// mq6wb-send: chooses a menu command of a running mq6wb.exe, as a click on the menu would, so
// that scripts can show each view. Waits up to the given seconds for the window to exist;
// "wait" only waits; "cursor X" moves the pointer, as the utility sees it, to client x X in the
// Recording view's chart; "open FILE" chooses Open Setup... and gives its box FILE.
//   mq6wb-send afr|history|setup|firmware|mark|exit|wait [seconds]
//   mq6wb-send cursor X
//   mq6wb-send open FILE
#include "resources/resource.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
constexpr int NO_COMMAND = -1;
constexpr std::pair<const char*, int> COMMANDS[] = {
    {"afr", IDM_AFR_LAMBDA}, {"history", IDM_LIVE_HISTORY},
    {"setup", IDM_WB_SETUP}, {"firmware", IDM_FIRMWARE_UPDATE},
    {"mark", IDM_MARK},      {"exit", IDM_EXIT},
    {"wait", NO_COMMAND}};
constexpr int CURSOR_Y = 200; // inside the chart
constexpr int POLL_MS = 50;
} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "cursor") == 0) {
        HWND window = FindWindowA("MQ6", nullptr);
        return window != nullptr && PostMessageA(window, WM_MOUSEMOVE, 0,
                                                 MAKELPARAM(std::atoi(argv[2]), CURSOR_Y))
                   ? 0
                   : 1;
    }
    // The Open box over the window gets the file's name and its OK.
    HWND utility = FindWindowA("MQ6", nullptr);
    if (argc == 3 && std::strcmp(argv[1], "open") == 0 && utility != nullptr &&
        PostMessageA(utility, WM_COMMAND, MAKEWPARAM(IDM_OPEN_SETUP, 0), 0))
        for (int waited = 0; waited <= 10000; waited += POLL_MS, Sleep(POLL_MS))
            if (HWND box = GetLastActivePopup(utility);
                box != utility && SetDlgItemTextA(box, 0x47C, argv[2]))
                return PostMessageA(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
    const std::pair<const char*, int>* chosen = nullptr;
    for (const auto& row : COMMANDS)
        if (argc >= 2 && std::strcmp(argv[1], row.first) == 0)
            chosen = &row;
    if (chosen == nullptr || argc > 3) {
        std::fprintf(stderr,
                     "usage: mq6wb-send afr|history|setup|firmware|mark|exit|wait [seconds]\n"
                     "       mq6wb-send cursor X\n");
        return 2;
    }
    int waitMs = argc == 3 ? std::atoi(argv[2]) * 1000 : 0;
    for (int waited = 0; waited <= waitMs; waited += POLL_MS, Sleep(POLL_MS)) {
        HWND window = FindWindowA("MQ6", nullptr);
        // Posted like a menu choice: the utility's own thread runs it.
        if (window != nullptr && chosen->second != NO_COMMAND)
            return PostMessageA(window, WM_COMMAND, MAKEWPARAM(chosen->second, 0), 0) ? 0 : 1;
        if (window != nullptr)
            return 0;
    }
    std::fprintf(stderr, "mq6wb-send: no MQ-6 WB Utility window\n");
    return 1;
}
