// The setup as mq6 takes it from options and files and prints it as JSON: one flat object of
// named settings, checked as the setup view checks its fields.
#pragma once

#include "wbsetup/setup_values.h"

#include <string>
#include <string_view>

enum SettingKind { SETTING_NUMBER, SETTING_STRING, SETTING_NULL };

struct SettingValue {
    SettingKind kind;
    std::string text; // the number as written, or the string's characters
};

// Where a setting came from: a file may restore any offset the unit can hold (0 to 255), an
// option moves it only as far as the view's scroll bar does (55 to 201).
enum SettingSource { SETTING_FROM_OPTION, SETTING_FROM_FILE };

// Stores one setting (stoich_afr, flags, a1_volts ... b2_afr, a_response, b_response, b_mode,
// nb_offset) into values. False, with the reason in error, for an unknown key or a value the
// setting does not take; values are then unchanged.
bool ApplySetting(std::string_view key, const SettingValue& value, SettingSource source,
                  SetupRecord& values, std::string& error);

// Applies the settings of a file as printed by SetupToJson: flags first, the others after it,
// so b_mode decides channel B's mode wherever it stands. False, with the reason, when the
// file cannot be read, is not such an object, or holds a setting that is refused.
bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error);

// The values as that object, with the unit's codes where no name fits (a response rate in no
// row is null).
std::string SetupToJson(const SetupRecord& values);
