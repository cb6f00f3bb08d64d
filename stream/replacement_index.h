#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vorlane {

// The waiting replaceable sentences of one output queue, chained by a hash of their replacement
// key, so that an arriving sentence finds the slot it may replace without walking the queue.
// Each chain keeps its slots in queue order: slots join at the tail of the queue and leave from
// its head, so the first slot of a chain that matches is the oldest one that matches, as a walk
// from the head would find. Equal hashes do not mean equal keys: the caller checks each slot of
// the chain against its own rule. The hashes must be keyed (keyed_hash): the keys come from the
// network. Even so a walk stops after max_walk slots, so that no chain can cost more.
template <std::size_t slot_count>
class replacement_index {
  public:
    static constexpr std::uint16_t no_slot = 0xffff;
    static_assert(slot_count < no_slot);
    static constexpr int chain_bits = 11;
    // A keyed hash leaves a chain of more than a few slots to chance far below one in a million
    // sentences; beyond this the sentence is treated as one with nothing to replace.
    static constexpr int max_walk = 16;

    replacement_index() {
        chain_head.fill(no_slot);
        chain_tail.fill(no_slot);
        slot_chain.fill(no_slot);
    }

    // `slot` was just added at the tail of the queue, under the key of hash `hash`.
    void add(std::size_t slot, std::uint64_t hash) {
        const auto chain = chain_of(hash);
        const auto entry = static_cast<std::uint16_t>(slot);
        slot_chain[slot] = chain;
        next_in_chain[slot] = no_slot;
        if (chain_tail[chain] == no_slot)
            chain_head[chain] = entry;
        else
            next_in_chain[chain_tail[chain]] = entry;
        chain_tail[chain] = entry;
    }

    // `slot`, the head of the queue, leaves it; a slot never added is ignored.
    void leave(std::size_t slot) {
        const std::uint16_t chain = slot_chain[slot];
        if (chain == no_slot) return;
        slot_chain[slot] = no_slot;
        chain_head[chain] = next_in_chain[slot];
        if (chain_head[chain] == no_slot) chain_tail[chain] = no_slot;
    }

    // The first of the first max_walk slots under `hash` for which `matches(slot)` holds;
    // no_slot when none does.
    template <typename Predicate>
    std::size_t find(std::uint64_t hash, Predicate matches) const {
        int walked = 0;
        for (std::uint16_t slot = chain_head[chain_of(hash)]; slot != no_slot && walked < max_walk;
             slot = next_in_chain[slot], ++walked)
            if (matches(static_cast<std::size_t>(slot))) return slot;
        return no_slot;
    }

    static std::uint16_t chain_of(std::uint64_t hash) {
        return static_cast<std::uint16_t>(hash >> (64 - chain_bits));
    }

  private:
    std::array<std::uint16_t, std::size_t{1} << chain_bits> chain_head;
    std::array<std::uint16_t, std::size_t{1} << chain_bits> chain_tail;
    std::array<std::uint16_t, slot_count> slot_chain;
    std::array<std::uint16_t, slot_count> next_in_chain{};
};

}  // namespace vorlane
