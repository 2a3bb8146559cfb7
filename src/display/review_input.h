// The Recording view's input, for every front end: Left and Right scroll a tenth of the screen,
// Page Up and Page Down a screen, Home and End to the ends, + and - zoom about the middle, N and P
// go to the next and previous marker (refused when there is none); the wheel zooms about the
// pointer and the pointer over the chart moves the cursor.
#pragma once

// The keys a view takes from the keyboard, whatever the system calls them.
enum ViewKey : int {
    VIEW_KEY_LEFT,
    VIEW_KEY_RIGHT,
    VIEW_KEY_PAGE_UP,
    VIEW_KEY_PAGE_DOWN,
    VIEW_KEY_HOME,
    VIEW_KEY_END,
};
// What an input did: nothing, asks for the view to be drawn again, or was refused (a beep).
enum ViewInput : int { VIEW_INPUT_NONE, VIEW_INPUT_REDRAW, VIEW_INPUT_REFUSED };

ViewInput ReviewKey(ViewKey key);
ViewInput ReviewCharacter(char character);
ViewInput ReviewWheel(int steps, int x);
ViewInput ReviewPointer(int x, int y);
// The time the scroll bar spans: the file, or the span when the file is shorter.
double ReviewWholeTime();
