// Where the record keeps each named setup value.
#include "wbsetup/setup_fields.h"

#include <array>
#include <cmath>
#include <cstdio>

int32_t& FieldSlot(const SetupFieldRow& row, SetupRecord& values) {
    return row.whole != nullptr ? values.*row.whole
                                : values.Channel[static_cast<size_t>(row.channel)].*row.member;
}

int32_t FieldSlot(const SetupFieldRow& row, const SetupRecord& values) {
    return row.whole != nullptr ? values.*row.whole
                                : values.Channel[static_cast<size_t>(row.channel)].*row.member;
}

const SetupFieldRow* FindSetupField(std::string_view key) {
    for (const SetupFieldRow& row : FieldTable)
        if (row.key == key)
            return &row;
    return nullptr;
}

bool InsideUserRange(const SetupFieldRow& row, int32_t value) {
    if (row.kind == SETTING_OFFSET)
        return value >= row.lowest && value <= row.limit;
    if (row.kind != SETTING_VOLTS && row.kind != SETTING_AFR && row.kind != SETTING_STOICH)
        return true;
    int scale = FieldRules[static_cast<size_t>(row.kind)].scale;
    return value >= std::lround(row.lowest * scale) && value <= std::lround(row.limit * scale);
}

std::string ResponseCodeWords(int32_t code) {
    return "code " + std::to_string(code) + " (none of the seven rates)";
}

std::string OutsideUserRangeWords(const SetupRecord& values) {
    std::string words;
    for (const SetupFieldRow& row : FieldTable) {
        int32_t value = FieldSlot(row, values);
        std::string what;
        if (!InsideUserRange(row, value)) {
            std::array<char, 32> text{};
            if (row.kind == SETTING_OFFSET)
                std::snprintf(text.data(), text.size(), "%d", value);
            else
                FormatFieldValue(value, static_cast<FieldKind>(row.kind), text.data(), text.size());
            std::array<char, 64> range{};
            std::snprintf(range.data(), range.size(), " (%g to %g)", row.lowest, row.limit);
            what = text.data() + std::string(range.data());
        } else if (row.kind == SETTING_RESPONSE && FindResponseChoice(value) < 0) {
            what = ResponseCodeWords(value);
        }
        if (!what.empty())
            words.append(words.empty() ? "" : ", ").append(row.key).append(" ").append(what);
    }
    return words;
}
