// The Firmware Update view's controls in the desktop program (firmware/firmware_controls.h), made
// from FirmwareLayout while the view is shown.
#pragma once

// Alt and key: Alt+U clicks the update button from wherever the focus is, as its mnemonic would
// (a beep while it is disabled); true when it was Alt+U in the view.
bool FirmwareAltKey(int key);
