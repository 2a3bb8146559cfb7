// The dialogs of the desktop program are laid out as the Windows utility's resource script lays
// them out, in dialog units of its 8-point "MS Sans Serif": 3/2 of a pixel across, 13/8 down.
#pragma once

#include <QRect>

constexpr QRect DialogRect(int x, int y, int width, int height) {
    return QRect(x * 3 / 2, y * 13 / 8, width * 3 / 2, height * 13 / 8);
}
