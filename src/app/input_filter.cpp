// The number fields' rule.
#include "app/input_filter.h"

int FindRefusedNumberChar(std::string_view text) {
    bool pointSeen = false;
    int length =
        static_cast<int>(text.size() < FILTER_TEXT_LIMIT ? text.size() : FILTER_TEXT_LIMIT);
    for (int i = 0; i < length; i++) {
        char c = text[static_cast<size_t>(i)];
        if (c >= '0' && c <= '9')
            continue;
        if (c == '.' && !pointSeen) {
            pointSeen = true;
            continue;
        }
        return i;
    }
    return -1;
}
