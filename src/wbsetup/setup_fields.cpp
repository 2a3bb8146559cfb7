// Where the record keeps each named setup value.
#include "wbsetup/setup_fields.h"

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
