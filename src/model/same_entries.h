// Finding, among many entries that share a sort key, the earliest one an entry is the same as
// (Entry::sameAs) without comparing it with each of them: entries are hashed over the fields
// both sides support, so a run of a hundred thousand entries of one name stays linear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/entry.h"

namespace vesk {

class SameEntryIndex {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    /// Entries match only when their `sortField` values are equal (ASCII case folded).
    explicit SameEntryIndex(int sortField);

    /// Adds an entry that comes at `order` (smaller: earlier) and returns its handle. The
    /// entry must outlive the index and must not change while it is in it (see detach).
    std::size_t add(Entry* entry, std::size_t order);
    /// The handle of the earliest added entry that `e` is the same as, or npos.
    std::size_t findSame(const Entry& e);
    Entry* entry(std::size_t handle) const { return m_slots[handle].entry; }
    std::size_t order(std::size_t handle) const { return m_slots[handle].order; }
    /// Takes an entry out before it changes; attach puts it back as it is then.
    void detach(std::size_t handle);
    void attach(std::size_t handle);

  private:
    using HashIndex = std::unordered_multimap<std::uint64_t, std::size_t>;
    struct Slot {
        Entry* entry;
        std::size_t order;
        std::size_t group;
    };
    /// Entries of one supported-fields mask, hashed over each common mask asked for so far.
    struct Group {
        FieldMask mask;
        std::vector<std::size_t> members;  ///< every slot attached here, also ones that moved on
        std::vector<std::pair<FieldMask, HashIndex>> byCommon;
    };

    std::uint64_t hashOf(const Entry& e, const FieldMask& common) const;
    std::size_t groupFor(const FieldMask& mask);
    HashIndex& indexFor(Group& g, const FieldMask& common);

    std::size_t m_sortField;
    std::vector<Slot> m_slots;
    std::vector<Group> m_groups;
};

}  // namespace vesk
