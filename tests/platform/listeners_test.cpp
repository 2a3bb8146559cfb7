// The listener lists: called in the order of adding, no listener twice, a freed slot taken again
// once the last one is taken, and no room beyond the slots.
#include "platform/listeners.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

namespace {

std::string Heard;
template <char Name> void Hear(char c) {
    Heard += std::string(1, Name) + c;
}

TEST(ListenersTest, OrderNoRepeatReuseAndRoom) {
    ListenerList<void (*)(char), 3> list;
    // A, B; A again changes nothing; A goes and comes back after B; with B gone and A in the last
    // slot, B takes the first, then C the one left; D finds no room.
    // The step, what the last add returned, what an event then reaches.
    const std::tuple<const char*, int, const char*> rows[] = {
        {"+A", 0, "a1"},      {"+B", 0, "a2b2"},   {"+A", 0, "a3b3"},   {"-A +A", 0, "b4a4"},
        {"-B +B", 0, "b5a5"}, {"+C", 0, "b6c6a6"}, {"+D", -1, "b7c7a7"}};
    char event = '0';
    for (auto [steps, wantAdded, heard] : rows) {
        SCOPED_TRACE(steps);
        std::string step = steps;
        int added = 0;
        for (size_t at = 0; at < step.size(); at += 3) {
            auto listener = std::string("ABCD").find(step[at + 1]);
            auto chosen = std::array{Hear<'a'>, Hear<'b'>, Hear<'c'>, Hear<'d'>}[listener];
            if (step[at] == '-')
                RemoveListener(list, chosen);
            else
                added = AddListener(list, chosen);
        }
        Heard.clear();
        CallListeners(list, ++event);
        EXPECT_EQ(std::pair(added, Heard), std::pair(wantAdded, std::string(heard)));
    }
    RemoveAllListeners(list);
    Heard.clear();
    CallListeners(list, 'x');
    EXPECT_EQ(Heard, "");
}

} // namespace
