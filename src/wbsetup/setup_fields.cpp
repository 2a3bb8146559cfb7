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

namespace {
// A number row whose value lies outside the range a user may give it.
bool BeyondUser(const SetupFieldRow& row, const SetupRecord& values) {
    int32_t value = FieldSlot(row, values);
    if (row.kind == SETTING_OFFSET)
        return value < row.lowest || value > row.limit;
    if (row.kind != SETTING_VOLTS && row.kind != SETTING_AFR && row.kind != SETTING_STOICH)
        return false;
    int scale = FieldRules[static_cast<size_t>(row.kind)].scale;
    return value < std::lround(row.lowest * scale) || value > std::lround(row.limit * scale);
}
} // namespace

std::string BeyondUserRange(const SetupRecord& values) {
    std::string keys;
    for (const SetupFieldRow& row : FieldTable)
        if (BeyondUser(row, values))
            keys.append(keys.empty() ? "" : ", ").append(row.key);
    return keys;
}

std::string DescribeBeyondUserRange(const SetupRecord& values) {
    std::string text;
    for (const SetupFieldRow& row : FieldTable) {
        if (!BeyondUser(row, values))
            continue;
        std::array<char, 32> shown{};
        int32_t value = FieldSlot(row, values);
        if (row.kind == SETTING_OFFSET)
            std::snprintf(shown.data(), shown.size(), "%d", value);
        else
            FormatFieldValue(value, static_cast<FieldKind>(row.kind), shown.data(), shown.size());
        std::array<char, 96> item{};
        std::snprintf(item.data(), item.size(), "%s%.*s %s (%g to %g)", text.empty() ? "" : ", ",
                      static_cast<int>(row.key.size()), row.key.data(), shown.data(), row.lowest,
                      row.limit);
        text += item.data();
    }
    return text;
}
