// What each front end supplies to the view switch (app/views.h) beside each view's controls
// (wbsetup/setup_controls.h, firmware/firmware_controls.h, display/review_bar.h): runs its
// once-a-second timer while a live view is shown; and draws the Recording view's chart again,
// with its scroll bar, after a move of the view or a new file.
#pragma once

void SetViewTimer(bool running);
void RedrawReviewView();
