// The live views' drawing in the Windows utility: the live stream's listeners draw the shown
// view from the decoding thread, straight on the main window, as each frame or gap comes.
#pragma once

// Adds the listeners that keep the history's samples and draw the shown live view.
void AddLiveViewListeners();
// The Live History view's chart drawn at the present time, from the main thread (its timer, so
// that a gap grows while no frame comes).
void RedrawLiveHistory();
