// The About box in the desktop program: the program's version and what the build carries.
#pragma once

class QWidget;

void RunAboutBox(QWidget* owner);
