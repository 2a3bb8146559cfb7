// Setup settings by name and their checks; the file is parsed by nlohmann-json, which no other
// file of the setup sees, and the object printed here so that each number keeps the decimals
// the setup view shows.
#include "wbsetup/setup_file.h"

#include "settings/file_replace.h"
#include "wbsetup/setup_fields.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

namespace {
bool SameWord(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool Refuse(const SetupFieldRow& row, const nlohmann::json& value, const std::string& allowed,
            std::string& error) {
    error = std::string(row.key) + " takes " + allowed + ", not " +
            value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return false;
}

// held: a number is taken in the range the setup block holds (a file), not only in the range a
// user may give (the options), so that a unit's backup gives it back all it held.
bool ApplySetting(const SetupFieldRow& row, const nlohmann::json& value, bool held,
                  SetupRecord& values, std::string& error) {
    int32_t& slot = FieldSlot(row, values);
    double x = value.is_number() ? value.get<double>() : -1.0;
    double lowest = held ? 0.0 : row.lowest, limit = held ? row.heldLimit : row.limit;
    std::array<char, 64> allowed{};
    switch (row.kind) {
    case SETTING_VOLTS:
    case SETTING_AFR:
    case SETTING_STOICH: {
        std::snprintf(allowed.data(), allowed.size(), "a number from %g to %g", lowest, limit);
        if (!(x >= lowest && x <= limit))
            return Refuse(row, value, allowed.data(), error);
        slot = ScaleFieldNumber(x, FieldRules[static_cast<size_t>(row.kind)].scale);
        return true;
    }
    case SETTING_BYTE:
    case SETTING_OFFSET:
        std::snprintf(allowed.data(), allowed.size(), "a whole number from %g to %g", lowest,
                      limit);
        if (!(x >= lowest && x <= limit && x == std::floor(x)))
            return Refuse(row, value, allowed.data(), error);
        slot = static_cast<int32_t>(x);
        return true;
    case SETTING_RESPONSE: {
        // Earlier files wrote a code in no row as null: the channel keeps the rate it has.
        if (value.is_null())
            return true;
        // A code in no row is kept as its number, so that the unit gets it back; the unit stores
        // it halved in one byte.
        if (value.is_number() && x >= 0 && x <= 2 * 255 && x == std::floor(x) &&
            static_cast<int32_t>(x) % 2 == 0) {
            slot = static_cast<int32_t>(x);
            MatchResponseRows(values);
            return true;
        }
        for (int choice = 0; choice < RESPONSE_CHOICE_COUNT && value.is_string(); ++choice) {
            if (SameWord(value.get_ref<const std::string&>(), ResponseChoices[choice].name)) {
                values.Channel[static_cast<size_t>(row.channel)].ResponseIndex = choice;
                slot = ResponseChoices[static_cast<size_t>(choice)].value;
                return true;
            }
        }
        std::string names = "one of";
        for (const ResponseChoice& choice : ResponseChoices)
            names.append(" ").append(choice.name);
        return Refuse(row, value, names + ", or an even code from 0 to 510", error);
    }
    case SETTING_MODE:
        if (value.is_string() && SameWord(value.get_ref<const std::string&>(), "wb")) {
            slot |= SETUP_FLAG_B_LINEAR;
            return true;
        }
        if (value.is_string() && SameWord(value.get_ref<const std::string&>(), "nb")) {
            slot &= ~SETUP_FLAG_B_LINEAR;
            return true;
        }
        return Refuse(row, value, "\"wb\" or \"nb\"", error);
    }
    return false;
}

std::string SettingText(const SetupFieldRow& row, SetupRecord& values) {
    int32_t slot = FieldSlot(row, values);
    std::array<char, 32> text{};
    switch (row.kind) {
    case SETTING_VOLTS:
    case SETTING_AFR:
    case SETTING_STOICH:
        FormatFieldValue(slot, static_cast<FieldKind>(row.kind), text.data(), text.size());
        return text.data();
    case SETTING_BYTE:
    case SETTING_OFFSET:
        return std::to_string(slot & 0xFF);
    case SETTING_RESPONSE: {
        int choice = FindResponseChoice(slot);
        return choice < 0 ? std::to_string(slot)
                          : JsonString(ResponseChoices[static_cast<size_t>(choice)].name);
    }
    case SETTING_MODE:
        return JsonString((slot & SETUP_FLAG_B_LINEAR) != 0 ? "wb" : "nb");
    }
    return "null";
}
// Stores an object of settings into values, flags first so that b_mode decides channel B's mode
// wherever it stands; values unchanged on a refusal. held as ApplySetting's.
bool ApplyJsonSettings(const nlohmann::json& settings, bool held, SetupRecord& values,
                       std::string& error) {
    SetupRecord updated = values;
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& [key, value] : settings.items()) {
            if ((key == "flags") != (pass == 0))
                continue;
            const SetupFieldRow* row = FindSetupField(key);
            if (row == nullptr) {
                error = "unknown setting " + key;
                return false;
            }
            if (!ApplySetting(*row, value, held, updated, error))
                return false;
        }
    }
    values = updated;
    return true;
}
} // namespace

bool ApplySettings(const std::vector<std::pair<std::string, double>>& numbers,
                   const std::vector<std::pair<std::string, std::string>>& names,
                   SetupRecord& values, std::string& error) {
    nlohmann::json settings = nlohmann::json::object();
    for (const auto& [key, x] : numbers)
        settings[key] = x;
    for (const auto& [key, name] : names)
        settings[key] = name;
    return ApplyJsonSettings(settings, false, values, error);
}

namespace {
// Why a file cannot be read or written, as far as the file system tells.
std::string UnusableReason(const std::string& path) {
    std::error_code code;
    std::filesystem::file_status status = std::filesystem::status(path, code);
    if (std::filesystem::is_directory(status))
        return "it is a folder";
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!std::filesystem::exists(status) &&
        !std::filesystem::is_directory(folder.empty() ? "." : folder, code))
        return "its folder does not exist";
    if (!std::filesystem::exists(status))
        return "no such file";
    return "permission denied";
}
} // namespace

bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error) {
    std::ifstream file;
    bool standardInput = path == "-";
    if (!standardInput)
        file.open(path, std::ios::binary);
    std::istream& in = standardInput ? std::cin : file;
    std::string text(MAX_SETUP_FILE_SIZE + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if ((!standardInput && !file.is_open()) || in.bad()) {
        error = "cannot read " + path + ": " + UnusableReason(path);
        return false;
    }
    if (text.size() > MAX_SETUP_FILE_SIZE) {
        error = path + " is larger than 64 KiB, too large for a setup file";
        return false;
    }
    // The parser keeps the last of two equal keys; a file that has them is refused instead.
    std::set<std::string> keys;
    std::string twice;
    auto noteKey = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 &&
            !keys.insert(parsed.get<std::string>()).second)
            twice = parsed.get<std::string>();
        return true;
    };
    nlohmann::json settings;
    try {
        settings = nlohmann::json::parse(text, noteKey);
    } catch (const nlohmann::json::exception& e) {
        // A syntax error or a number too large for a double. The message leads with the
        // library's error number; the position or the number follows it.
        std::string_view what = e.what();
        error = path + ": " + std::string(what.substr(what.find("] ") + 2));
        return false;
    }
    if (!settings.is_object())
        error = path + ": the setup must be one JSON object";
    else if (!twice.empty())
        error = path + ": setting " + twice + " is given twice";
    else if (!ApplyJsonSettings(settings, true, values, error))
        error = path + ": " + error;
    else
        return true;
    return false;
}

std::string SetupToJson(const SetupRecord& values) {
    SetupRecord copy = values;
    std::string out = "{\n";
    for (const SetupFieldRow& row : FieldTable)
        out += "  " + JsonString(row.key) + ": " + SettingText(row, copy) +
               (&row == &FieldTable.back() ? "\n" : ",\n");
    return out + "}\n";
}

std::string JsonString(std::string_view text) {
    std::string utf8;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return nlohmann::json(utf8).dump(-1, ' ', true);
}

bool WriteSetupText(const std::string& path, std::string_view text, std::string& error) {
    std::array<char, 4096> temporary{};
    FileReason reason{};
    std::FILE* file = CreateReplacement(path.c_str(), temporary.data(), temporary.size(), reason);
    bool written = file != nullptr;
    if (written) {
        written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        written = FinishReplacement(file, reason) == 0 && written &&
                  CommitReplacement(temporary.data(), path.c_str(), reason) == 0;
    }
    if (!written) {
        std::remove(temporary.data());
        error = "cannot write " + path + ": " + reason.data();
    }
    return written;
}
