// Number fields of the views and dialogs take digits and one decimal point; anything else
// typed or pasted is removed again with the default beep.
#pragma once

#include <windows.h>

#include <cstdint>

// Removes the first character of the edit control's text that a number cannot hold: any but a
// digit or the first ".". The removal changes the text again, and the control's change
// notification calls this once more for the rest. Reads at most 31 characters.
void FilterNumberEdit(HWND edit);

// The default beep for input that was refused, counted so that tests can see it.
void BeepRefusedInput();
int32_t RefusedInputBeeps();
