// Splitting the unit's banner the way the firmware view shows it.
#include "firmware/banner.h"

#include <cctype>
#include <cstring>

namespace {
// Where word first begins a word of text: at its start or after a character that is no letter,
// so that "NoVersionHere" holds no version piece.
size_t FindWord(std::string_view text, std::string_view word) {
    for (size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1))
        if (at == 0 || !std::isalpha(static_cast<unsigned char>(text[at - 1])))
            return at;
    return std::string_view::npos;
}

} // namespace

std::string_view BannerText(const std::array<uint8_t, 256>& info) {
    const char* text = reinterpret_cast<const char*>(info.data() + BANNER_OFFSET);
    return std::string_view(text, strnlen(text, UNIT_MODE_OFFSET - BANNER_OFFSET));
}

namespace {
int ReadDecimal(std::string_view text, size_t from) {
    int value = 0;
    for (size_t i = from; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 9999)
            break;
    }
    return value;
}
} // namespace

std::array<std::string_view, 4> SplitBanner(const std::array<uint8_t, 256>& info) {
    std::string_view text = BannerText(info);
    size_t copy = FindWord(text, "Copy");
    size_t all = FindWord(text, "All");
    size_t version = FindWord(text, "Version");
    std::array<std::string_view, 4> lines{};
    auto piece = [&](size_t from, size_t to) {
        if (from == std::string_view::npos || to == std::string_view::npos || to < from)
            return std::string_view();
        return text.substr(from, to - from);
    };
    lines[BANNER_DESCRIPTION] = piece(0, copy);
    lines[BANNER_NOTICE] = piece(copy, all);
    lines[BANNER_RIGHTS] = piece(all, version);
    lines[BANNER_VERSION] = piece(version, text.size());
    return lines;
}

int ReadUnitVersion(const std::array<uint8_t, 256>& info, int& major, int& minor) {
    std::string_view text = BannerText(info);
    size_t version = FindWord(text, "Version");
    if (version == std::string_view::npos)
        return -1;
    major = ReadDecimal(text, version + 9);
    minor = ReadDecimal(text, version + 11);
    return 0;
}
