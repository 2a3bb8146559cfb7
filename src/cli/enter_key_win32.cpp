// Enter on the console, read between the live stream's passes from its queue of input events.
#include "cli/cli.h"

#include <windows.h>

#include <array>

int TakeEnterPresses() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &mode) == 0)
        return 0;
    int presses = 0;
    std::array<INPUT_RECORD, 16> events;
    DWORD waiting = 0;
    while (GetNumberOfConsoleInputEvents(input, &waiting) != 0 && waiting > 0) {
        DWORD got = 0;
        if (ReadConsoleInputA(input, events.data(), static_cast<DWORD>(events.size()), &got) == 0)
            break;
        for (DWORD index = 0; index < got; ++index) {
            const INPUT_RECORD& event = events[index];
            presses += event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown != 0 &&
                       event.Event.KeyEvent.wVirtualKeyCode == VK_RETURN;
        }
    }
    return presses;
}

// The console's input events are read as events, which it does not echo.
bool QuietEnterEcho() {
    return true;
}

void RestoreEnterEcho() {}
