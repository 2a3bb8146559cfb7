// The Preferences dialog in the desktop program (display/preferences.h): the dial's target band
// and the live display's response rate.
#pragma once

class QWidget;

void RunPreferencesDialog(QWidget* owner);
