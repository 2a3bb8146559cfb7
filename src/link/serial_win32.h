// The Windows serial backend's own additions to the seam.
#pragma once

#include "link/serial.h"

#include <windows.h>

// The open port's handle (INVALID_HANDLE_VALUE when closed): a test reads back the settings.
HANDLE SerialHandle();
