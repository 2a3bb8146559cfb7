// Room for several listeners of one event. One thread adds and removes them while another calls
// them, without a lock: each slot is one word, so a listener added meanwhile is called from the
// next event on, and one removed may still get the event being handed out.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

template <typename Listener, size_t Slots = 4> struct ListenerList {
    std::array<std::atomic<Listener>, Slots> slots{};
};

// Adds listener after the last slot taken, so that listeners are called in the order they were
// added, or in the first free slot when the last is taken; one that is there already is not
// added again. -1 when every slot is taken.
template <typename Listener, size_t Slots>
int AddListener(ListenerList<Listener, Slots>& list, Listener listener) {
    size_t free = 0;
    for (size_t i = 0; i < Slots; ++i) {
        Listener there = list.slots[i].load(std::memory_order_acquire);
        if (there == listener)
            return 0;
        if (there != nullptr)
            free = i + 1;
    }
    for (size_t i = 0; free == Slots && i < Slots; ++i)
        if (list.slots[i].load(std::memory_order_acquire) == nullptr)
            free = i;
    if (free == Slots)
        return -1;
    list.slots[free].store(listener, std::memory_order_release);
    return 0;
}

template <typename Listener, size_t Slots>
void RemoveListener(ListenerList<Listener, Slots>& list, Listener listener) {
    for (std::atomic<Listener>& slot : list.slots)
        if (slot.load(std::memory_order_acquire) == listener)
            slot.store(nullptr, std::memory_order_release);
}

template <typename Listener, size_t Slots>
void RemoveAllListeners(ListenerList<Listener, Slots>& list) {
    for (std::atomic<Listener>& slot : list.slots)
        slot.store(nullptr, std::memory_order_release);
}

template <typename Listener, size_t Slots, typename... Arguments>
void CallListeners(const ListenerList<Listener, Slots>& list, Arguments... arguments) {
    for (const std::atomic<Listener>& slot : list.slots)
        if (Listener listener = slot.load(std::memory_order_acquire); listener != nullptr)
            listener(arguments...);
}
