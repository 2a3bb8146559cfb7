// What each front end supplies to the view switch (app/views.h): makes the controls of a view and
// enters its rules, or leaves its rules and removes them; runs its once-a-second timer while a
// live view is shown; and draws the Recording view's chart again, with its scroll bar, after a
// move of the view or a new file.
#pragma once

#include <cstdint>

void ShowViewControls(int32_t view);
void HideViewControls(int32_t view);
void SetViewTimer(bool running);
void RedrawReviewView();
