// The setup as mq6 reads it from files and prints it as JSON: one flat object of named
// settings, each checked against the range the setup view lets through.
#pragma once

#include "wbsetup/setup_values.h"

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Largest setup file read; a larger one is refused before it is parsed.
constexpr size_t MAX_SETUP_FILE_SIZE = 64 * 1024;

// Stores an object of settings (the keys SetupToJson prints) into values, flags first so that
// b_mode decides channel B's mode wherever it stands. False, with the key and what it takes in
// error, for an unknown key or a value of the wrong type or out of range; values unchanged.
bool ApplySettings(const nlohmann::json& settings, SetupRecord& values, std::string& error);

// Reads and applies a setup file. False, with the reason (the file and the line and column of
// a syntax error, or the key), when it is too large, is not such an object or is refused.
bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error);

// The values as that object, AFRs with 2 decimals and volts with 1 as the view shows them, a
// response rate in no row as null.
std::string SetupToJson(const SetupRecord& values);

// text as a JSON string; bytes outside ASCII are taken as Latin-1 characters and escaped.
std::string JsonString(std::string_view text);
