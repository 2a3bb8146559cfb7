// The setup file: the setup as one flat JSON object of named settings (the keys of
// FieldTable), each checked against the range the setup block holds, so that any unit's setup
// read into a file is taken back whole. mq6 reads and prints it; the same settings come from
// mq6's options, checked against the range the setup view lets through. A library of its own beside
// the core, which names no JSON library here.
#pragma once

#include "wbsetup/setup_values.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Largest setup file read; a larger one is refused before it is parsed.
constexpr size_t MAX_SETUP_FILE_SIZE = 64 * 1024;

// Stores settings given by key (the keys SetupToJson prints), numbers and names of rates and
// modes, into values as a setup file's object of them would be; of a key given twice the last
// counts. False, with the key and what it takes in error, for an unknown key or a value of the
// wrong type or out of range; values unchanged.
bool ApplySettings(const std::vector<std::pair<std::string, double>>& numbers,
                   const std::vector<std::pair<std::string, std::string>>& names,
                   SetupRecord& values, std::string& error);

// Reads and applies a setup file; "-" is standard input. False, with the reason (the file and
// the line and column of a syntax error, or the key), when it cannot be read, is too large, is
// not such an object or is refused.
bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error);
// Writes text as the file path, through a replacement that takes the old file's place only once
// it is whole, so that a failed write leaves an earlier file as it was. False, with the reason.
bool WriteSetupText(const std::string& path, std::string_view text, std::string& error);

// The values as that object, AFRs with 2 decimals and volts with 1 as the view shows them, a
// response rate by its name, or by its code when it is in no row (an earlier form wrote null
// there, which is read as no rate given).
std::string SetupToJson(const SetupRecord& values);

// text as a JSON string; bytes outside ASCII are taken as Latin-1 characters and escaped.
std::string JsonString(std::string_view text);
