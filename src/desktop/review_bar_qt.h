// The Recording view's scroll bar in the desktop program: it counts the file's time, its thumb as
// wide as the time on screen; every move of the view sets it again.
#pragma once

// The bar set to the time on screen, and the chart drawn again at the next paint.
void RedrawReview();
