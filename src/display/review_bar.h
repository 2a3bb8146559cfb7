// What each front end supplies for the Recording view: its scroll bar, which counts the file's
// time, made as the view is entered and removed as it is left (app/views.h).
#pragma once

void CreateReviewControls();
void DestroyReviewControls();
