// The Preferences dialog's rules, for every front end: the response rate's slider from "Slow" to
// "Fast", the two target fields, which take digits and one point as they are typed and are
// clamped into the dial's scale when they are left (stored at once, so Cancel keeps them), and OK,
// which stores the rate and both targets, lower first, and saves the settings.
#pragma once

#include <string>
#include <string_view>

constexpr int RATE_LOWEST = 10;  // left end of the slider, "Slow"
constexpr int RATE_HIGHEST = 90; // right end, "Fast"
constexpr int RATE_TICK_STEP = 8;
constexpr int TARGET_TEXT_LIMIT = 4; // "0.86", ".875", "1.1"

enum PreferencesTarget : int { TARGET_FROM, TARGET_TO };

// A target as its field shows it.
std::string FormatTarget(double value);
// The field's value now, as the dialog opens.
std::string TargetFieldText(PreferencesTarget target);
// The field left with text: its number (0 for text that is none) clamped into the scale and
// stored in the target at once; the text the field then shows.
std::string LeaveTargetField(PreferencesTarget target, std::string_view text);
// OK: the slider's rate and both fields' texts stored, the band put in order, the settings saved
// and the window repainted with the new band.
void ConfirmPreferences(int rate, std::string_view fromText, std::string_view toText);
