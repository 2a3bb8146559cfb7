// The Wide Band Setup view's controls in the desktop program (wbsetup/setup_controls.h), made from
// the view's layout table while the view is shown.
#pragma once

void CreateSetupControls();
void DestroySetupControls();
