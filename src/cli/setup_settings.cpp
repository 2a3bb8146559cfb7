// Setup settings by name, their checks, and the small JSON object they travel in. The reader
// takes exactly what the writer gives (one flat object of numbers, strings and nulls) and is
// bounded in size, members and string length.
#include "cli/setup_settings.h"

#include "wbsetup/setup_transfer.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace {
constexpr size_t MAX_FILE_SIZE = 64 * 1024;
constexpr size_t MAX_MEMBERS = 64;
constexpr size_t MAX_STRING = 256;
constexpr int BYTE_LIMIT = 255;
constexpr int OPTION_OFFSET_LOW = 55; // the setup view's scroll bar
constexpr int OPTION_OFFSET_HIGH = 201;

enum SettingTarget {
    TARGET_STOICH,
    TARGET_FLAGS,
    TARGET_FIELD,
    TARGET_RESPONSE,
    TARGET_MODE,
    TARGET_OFFSET
};

struct SettingRow {
    std::string_view key;
    SettingTarget target;
    int channel;
    FormField field;
};

// In the order the object is printed.
constexpr std::array<SettingRow, 14> SettingRows = {{
    {"stoich_afr", TARGET_STOICH, CHANNEL_A, FORM_AFR1},
    {"flags", TARGET_FLAGS, CHANNEL_A, FORM_AFR1},
    {"a1_volts", TARGET_FIELD, CHANNEL_A, FORM_VOLTS1},
    {"a1_afr", TARGET_FIELD, CHANNEL_A, FORM_AFR1},
    {"a2_volts", TARGET_FIELD, CHANNEL_A, FORM_VOLTS2},
    {"a2_afr", TARGET_FIELD, CHANNEL_A, FORM_AFR2},
    {"a_response", TARGET_RESPONSE, CHANNEL_A, FORM_AFR1},
    {"b_mode", TARGET_MODE, CHANNEL_B, FORM_AFR1},
    {"b1_volts", TARGET_FIELD, CHANNEL_B, FORM_VOLTS1},
    {"b1_afr", TARGET_FIELD, CHANNEL_B, FORM_AFR1},
    {"b2_volts", TARGET_FIELD, CHANNEL_B, FORM_VOLTS2},
    {"b2_afr", TARGET_FIELD, CHANNEL_B, FORM_AFR2},
    {"b_response", TARGET_RESPONSE, CHANNEL_B, FORM_AFR1},
    {"nb_offset", TARGET_OFFSET, CHANNEL_B, FORM_AFR1},
}};

const SettingRow* FindSettingRow(std::string_view key) {
    for (const SettingRow& row : SettingRows)
        if (row.key == key)
            return &row;
    return nullptr;
}

FieldKind KindOf(FormField field) {
    return field == FORM_VOLTS1 || field == FORM_VOLTS2 ? FIELD_VOLTS : FIELD_AFR;
}

// The member of a channel that each form field stores.
constexpr std::array<int32_t ChannelSetup::*, FORM_FIELDS_PER_CHANNEL> FieldMembers = {
    &ChannelSetup::Volts1, &ChannelSetup::Afr1, &ChannelSetup::Volts2, &ChannelSetup::Afr2};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// Built by appending into one string: a short literal joined to a temporary with operator+
// makes GCC 12 at -O3 warn of an overlap that cannot happen (-Wrestrict).
std::string Quote(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '"').append(text).append(1, '"');
    return quoted;
}

// The whole text must be one number, as a field would read it, from low to high.
bool ReadNumber(const SettingValue& value, double low, double high, double& x, std::string& error) {
    if (value.kind != SETTING_NUMBER || value.text.empty() || value.text[0] == ' ' ||
        ScanFieldNumber(value.text, x) != value.text.size()) {
        error = "not a number: " + value.text;
        return false;
    }
    if (x < low || x > high) {
        char range[64];
        std::snprintf(range, sizeof range, " is outside %g to %g", low, high);
        error = value.text + range;
        return false;
    }
    return true;
}

bool ReadWhole(const SettingValue& value, int low, int high, int32_t& number, std::string& error) {
    double x = 0.0;
    if (!ReadNumber(value, low, high, x, error))
        return false;
    if (x != std::floor(x)) {
        error = value.text + " is not a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
    }
    number = static_cast<int32_t>(x);
    return true;
}

bool ApplyResponse(const SettingValue& value, ChannelSetup& channel, std::string& error) {
    if (value.kind == SETTING_NULL)
        return true; // a rate in no row: the channel keeps the row it shows
    if (value.kind == SETTING_STRING) {
        for (int row = 0; row < RESPONSE_CHOICE_COUNT; ++row) {
            const ResponseChoice& choice = ResponseChoices[static_cast<size_t>(row)];
            if (SameWord(value.text, choice.name)) {
                channel.ResponseIndex = row;
                channel.ResponseValue = choice.value;
                return true;
            }
        }
    }
    error.assign("response rate ").append(value.text).append(" is none of");
    for (const ResponseChoice& choice : ResponseChoices)
        error.append(1, ' ').append(choice.name);
    return false;
}

bool ApplyMode(const SettingValue& value, int32_t& flags, std::string& error) {
    if (value.kind == SETTING_STRING && SameWord(value.text, "wb")) {
        flags |= SETUP_FLAG_B_LINEAR;
        return true;
    }
    if (value.kind == SETTING_STRING && SameWord(value.text, "nb")) {
        flags &= ~SETUP_FLAG_B_LINEAR;
        return true;
    }
    error = "channel B mode " + value.text + " is neither wb nor nb";
    return false;
}

// ---- The JSON object ----------------------------------------------------------------------

struct Cursor {
    std::string_view text;
    size_t at = 0;
};

using Member = std::pair<std::string, SettingValue>;

void SkipSpace(Cursor& c) {
    while (c.at < c.text.size() && (c.text[c.at] == ' ' || c.text[c.at] == '\t' ||
                                    c.text[c.at] == '\n' || c.text[c.at] == '\r'))
        ++c.at;
}

bool Fail(const Cursor& c, std::string_view what, std::string& error) {
    int line = 1;
    for (size_t i = 0; i < c.at && i < c.text.size(); ++i)
        line += c.text[i] == '\n' ? 1 : 0;
    error = "line " + std::to_string(line) + ": " + std::string(what);
    return false;
}

bool Take(Cursor& c, char expected) {
    if (c.at < c.text.size() && c.text[c.at] == expected) {
        ++c.at;
        return true;
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Escapes as JSON has them; \u only for the ASCII characters that settings are made of.
bool ParseString(Cursor& c, std::string& out, std::string& error) {
    out.clear();
    if (!Take(c, '"'))
        return Fail(c, "a string was expected", error);
    while (c.at < c.text.size()) {
        char ch = c.text[c.at++];
        if (ch == '"')
            return true;
        if (static_cast<unsigned char>(ch) < 0x20)
            return Fail(c, "control character in a string", error);
        if (out.size() >= MAX_STRING)
            return Fail(c, "string too long", error);
        if (ch != '\\') {
            out += ch;
            continue;
        }
        if (c.at >= c.text.size())
            break;
        char escape = c.text[c.at++];
        constexpr std::string_view from = "\"\\/bfnrt";
        constexpr std::string_view to = "\"\\/\b\f\n\r\t";
        size_t simple = from.find(escape);
        if (simple != std::string_view::npos) {
            out += to[simple];
            continue;
        }
        if (escape != 'u' || c.at + 4 > c.text.size())
            return Fail(c, "unknown escape in a string", error);
        int code = 0;
        for (int i = 0; i < 4; ++i) {
            int digit = HexDigit(c.text[c.at++]);
            if (digit < 0)
                return Fail(c, "bad \\u escape", error);
            code = code * 16 + digit;
        }
        if (code < 0x20 || code > 0x7E)
            return Fail(c, "\\u escape outside printable ASCII", error);
        out += static_cast<char>(code);
    }
    return Fail(c, "unterminated string", error);
}

size_t SkipDigits(const Cursor& c, size_t at) {
    while (at < c.text.size() && c.text[at] >= '0' && c.text[at] <= '9')
        ++at;
    return at;
}

// -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool ParseNumber(Cursor& c, std::string& out, std::string& error) {
    size_t start = c.at;
    size_t at = c.at;
    if (at < c.text.size() && c.text[at] == '-')
        ++at;
    size_t integral = SkipDigits(c, at);
    if (integral == at || (c.text[at] == '0' && integral > at + 1))
        return Fail(c, "malformed number", error);
    at = integral;
    if (at < c.text.size() && c.text[at] == '.') {
        size_t fraction = SkipDigits(c, at + 1);
        if (fraction == at + 1)
            return Fail(c, "malformed number", error);
        at = fraction;
    }
    if (at < c.text.size() && (c.text[at] == 'e' || c.text[at] == 'E')) {
        ++at;
        if (at < c.text.size() && (c.text[at] == '+' || c.text[at] == '-'))
            ++at;
        size_t exponent = SkipDigits(c, at);
        if (exponent == at)
            return Fail(c, "malformed number", error);
        at = exponent;
    }
    out = std::string(c.text.substr(start, at - start));
    c.at = at;
    return true;
}

bool ParseValue(Cursor& c, SettingValue& value, std::string& error) {
    if (c.at >= c.text.size())
        return Fail(c, "a value was expected", error);
    char first = c.text[c.at];
    if (first == '"') {
        value.kind = SETTING_STRING;
        return ParseString(c, value.text, error);
    }
    if (first == '-' || (first >= '0' && first <= '9')) {
        value.kind = SETTING_NUMBER;
        return ParseNumber(c, value.text, error);
    }
    if (c.text.substr(c.at, 4) == "null") {
        c.at += 4;
        value.kind = SETTING_NULL;
        value.text = "null";
        return true;
    }
    return Fail(c, "settings are numbers, strings or null", error);
}

bool ParseObject(std::string_view text, std::vector<Member>& members, std::string& error) {
    Cursor c{text, 0};
    SkipSpace(c);
    if (!Take(c, '{'))
        return Fail(c, "the setup must be one JSON object", error);
    SkipSpace(c);
    if (!Take(c, '}')) {
        for (;;) {
            if (members.size() >= MAX_MEMBERS)
                return Fail(c, "too many settings", error);
            Member member;
            SkipSpace(c);
            if (!ParseString(c, member.first, error))
                return false;
            SkipSpace(c);
            if (!Take(c, ':'))
                return Fail(c, "':' was expected", error);
            SkipSpace(c);
            if (!ParseValue(c, member.second, error))
                return false;
            for (const Member& earlier : members)
                if (earlier.first == member.first)
                    return Fail(c, "setting " + member.first + " given twice", error);
            members.push_back(std::move(member));
            SkipSpace(c);
            if (Take(c, '}'))
                break;
            if (!Take(c, ','))
                return Fail(c, "',' or '}' was expected", error);
        }
    }
    SkipSpace(c);
    if (c.at != c.text.size())
        return Fail(c, "text after the object", error);
    return true;
}

bool ReadFileText(const std::string& path, std::string& text, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open " + path;
        return false;
    }
    std::array<char, 4096> chunk;
    size_t got = 0;
    bool tooLarge = false;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        if (text.size() + got > MAX_FILE_SIZE) {
            tooLarge = true;
            break;
        }
        text.append(chunk.data(), got);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (tooLarge || failed) {
        error = tooLarge ? path + " is too large for a setup" : "cannot read " + path;
        return false;
    }
    return true;
}

std::string FieldJson(int32_t value, FieldKind kind) {
    char text[32];
    FormatFieldValue(value, kind, text, sizeof text);
    return text;
}

std::string ResponseJson(const ChannelSetup& channel) {
    int row = FindResponseChoice(channel.ResponseValue);
    return row < 0 ? "null" : Quote(ResponseChoices[static_cast<size_t>(row)].name);
}

std::string SettingJson(const SettingRow& row, const SetupRecord& values) {
    const ChannelSetup& channel = values.Channel[static_cast<size_t>(row.channel)];
    switch (row.target) {
    case TARGET_STOICH:
        return FieldJson(values.StoichAfr, FIELD_AFR);
    case TARGET_FLAGS:
        return std::to_string(values.SetupFlags & 0xFF);
    case TARGET_FIELD:
        return FieldJson(channel.*FieldMembers[static_cast<size_t>(row.field)], KindOf(row.field));
    case TARGET_RESPONSE:
        return ResponseJson(channel);
    case TARGET_MODE:
        return Quote((values.SetupFlags & SETUP_FLAG_B_LINEAR) != 0 ? "wb" : "nb");
    case TARGET_OFFSET:
        return std::to_string(values.NbOffset);
    }
    return "null";
}
} // namespace

bool ApplySetting(std::string_view key, const SettingValue& value, SettingSource source,
                  SetupRecord& values, std::string& error) {
    const SettingRow* row = FindSettingRow(key);
    if (row == nullptr) {
        error = "unknown setting " + std::string(key);
        return false;
    }
    ChannelSetup& channel = values.Channel[static_cast<size_t>(row->channel)];
    double x = 0.0;
    bool applied = false;
    switch (row->target) {
    case TARGET_STOICH:
        applied = ReadNumber(value, 0.0, FieldRules[FIELD_AFR].limit, x, error);
        if (applied)
            values.StoichAfr = ScaleFieldNumber(x, FieldRules[FIELD_AFR].scale);
        break;
    case TARGET_FLAGS:
        applied = ReadWhole(value, 0, BYTE_LIMIT, values.SetupFlags, error);
        break;
    case TARGET_FIELD: {
        const FieldRule& rule = FieldRules[KindOf(row->field)];
        applied = ReadNumber(value, 0.0, rule.limit, x, error);
        if (applied)
            channel.*FieldMembers[static_cast<size_t>(row->field)] =
                ScaleFieldNumber(x, rule.scale);
        break;
    }
    case TARGET_RESPONSE:
        applied = ApplyResponse(value, channel, error);
        break;
    case TARGET_MODE:
        applied = ApplyMode(value, values.SetupFlags, error);
        break;
    case TARGET_OFFSET:
        applied =
            source == SETTING_FROM_FILE
                ? ReadWhole(value, 0, BYTE_LIMIT, values.NbOffset, error)
                : ReadWhole(value, OPTION_OFFSET_LOW, OPTION_OFFSET_HIGH, values.NbOffset, error);
        break;
    }
    if (!applied)
        error = std::string(key) + ": " + error;
    return applied;
}

bool ReadSetupFile(const std::string& path, SetupRecord& values, std::string& error) {
    std::string text;
    if (!ReadFileText(path, text, error))
        return false;
    std::vector<Member> members;
    if (!ParseObject(text, members, error)) {
        error = path + ": " + error;
        return false;
    }
    SetupRecord updated = values;
    for (int pass = 0; pass < 2; ++pass) {
        for (const Member& member : members) {
            bool flags = member.first == "flags";
            if ((pass == 0) != flags)
                continue;
            if (!ApplySetting(member.first, member.second, SETTING_FROM_FILE, updated, error)) {
                error = path + ": " + error;
                return false;
            }
        }
    }
    values = updated;
    return true;
}

std::string SetupToJson(const SetupRecord& values) {
    std::string out = "{\n";
    for (size_t i = 0; i < SettingRows.size(); ++i) {
        const SettingRow& row = SettingRows[i];
        out += "  " + Quote(row.key) + ": " + SettingJson(row, values);
        out += i + 1 < SettingRows.size() ? ",\n" : "\n";
    }
    return out + "}\n";
}
