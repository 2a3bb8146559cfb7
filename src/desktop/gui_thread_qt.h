// The desktop program's main window and client area as its other files reach them (the parent of
// the views' controls, the owner of the boxes), and work handed to the GUI thread. Kept as data,
// at the bottom of the program's files: nothing here calls back into the files that made them.
#pragma once

#include <functional>

class QWidget;

// The main window and its client area, once made (nullptr before and after).
void AttachGuiWindow(QWidget* window, QWidget* client);
QWidget* GuiWindow();
QWidget* GuiClient();

// Runs work on the GUI thread: at once when called there, else queued; with wait, the caller
// waits until it has run, as a blocking send to a window does. Nothing runs from another thread
// once the program's window has gone.
void RunOnGuiThread(std::function<void()> work, bool wait);
