// The Firmware Update view's text: title, what the unit reports about itself, the carried
// version, the verdict that decides whether the update is offered, and the phase of a running
// update. Drawn from the data block and phase handed in, so the window side only passes them.
#pragma once

#include "display/canvas.h"
#include "link/link.h"

#include <array>
#include <atomic>
#include <cstdint>

// 1 while the carried firmware is newer than the unit's: the view enables its update button.
// Set by the paint from the verdict; the update worker clears it when it starts and sets it
// again when the update fails.
extern std::atomic<int32_t> UpdateAllowed;

// Start values: no unit version read yet (0.0) and no update offered.
void ResetFirmwareView();

// The view's text, after the status line. dataValid 1: info is the unit's data block as last
// read; its banner lines are drawn and the unit version, kept across paints of one opening of the
// port, is taken from its version line when it has one. A phase of 1 to 3 shows above the progress
// bar. Returns UpdateAllowed as the paint leaves it. Leaves the canvas's colours and font as it
// found them.
int PaintFirmwareView(Canvas* canvas, int32_t dataValid,
                      const std::array<uint8_t, DEVICE_INFO_SIZE>& info, int32_t phase);
