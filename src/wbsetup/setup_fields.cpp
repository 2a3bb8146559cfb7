// Where the record keeps each named setup value.
#include "wbsetup/setup_fields.h"

#include <cmath>

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

std::string BeyondUserRange(const SetupRecord& values) {
    std::string keys;
    for (const SetupFieldRow& row : FieldTable) {
        if (row.kind != SETTING_VOLTS && row.kind != SETTING_AFR && row.kind != SETTING_STOICH)
            continue;
        int scale = FieldRules[static_cast<size_t>(row.kind)].scale;
        int32_t value = FieldSlot(row, values);
        if (value < std::lround(row.lowest * scale) || value > std::lround(row.limit * scale))
            keys.append(keys.empty() ? "" : ", ").append(row.key);
    }
    return keys;
}
