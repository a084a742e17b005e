#include "model/same_entries.h"

#include <cstring>

#include "model/folded_hash.h"

namespace vesk {

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;

/// Eight bytes with those that are A-Z folded to a-z, as equalNoCase compares.
std::uint64_t folded8(std::uint64_t w) {
    const std::uint64_t low = w & (0x7Fu * kOnes);
    const std::uint64_t atLeastA = low + (0x80u - 'A') * kOnes;
    const std::uint64_t pastZ = low + (0x80u - 'Z' - 1) * kOnes;
    const std::uint64_t upper = atLeastA & ~pastZ & ~w & (0x80u * kOnes);
    return w | (upper >> 2);
}

std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

/// The value folded, eight bytes at a time; the field's index and the length go in first, so
/// that "ab"+"" and "a"+"b" differ.
std::uint64_t mixFolded(std::uint64_t h, std::size_t index, std::string_view value) {
    h = mix(h, (static_cast<std::uint64_t>(value.size()) << 8) | index);
    std::size_t at = 0;
    for (; at + 8 <= value.size(); at += 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, value.data() + at, 8);
        h = mix(h, folded8(w));
    }
    if (at < value.size()) {
        std::uint64_t w = 0;
        std::memcpy(&w, value.data() + at, value.size() - at);
        h = mix(h, folded8(w));
    }
    return h;
}

}  // namespace

std::uint64_t foldedFieldsHash(const Entry& e, const FieldMask& fields) {
    std::uint64_t h = 0;
    e.forEachField([&](int i, const std::string& value) {
        if (fields.test(static_cast<std::size_t>(i)))
            h = mixFolded(h, static_cast<std::size_t>(i), value);
    });
    return h;
}

SameEntryIndex::SameEntryIndex(int sortField) : m_sortField(static_cast<std::size_t>(sortField)) {}

std::uint64_t SameEntryIndex::hashOf(const Entry& e, const FieldMask& common) const {
    const std::uint64_t h = mixFolded(0, kFieldCount, e.at(static_cast<int>(m_sortField)));
    return mix(h, foldedFieldsHash(e, common));
}

std::size_t SameEntryIndex::groupFor(const FieldMask& mask) {
    for (std::size_t g = 0; g < m_groups.size(); ++g) {
        if (m_groups[g].mask == mask) return g;
    }
    m_groups.push_back(Group{mask, {}, {}});
    return m_groups.size() - 1;
}

SameEntryIndex::HashIndex& SameEntryIndex::indexFor(Group& g, const FieldMask& common) {
    for (auto& [mask, index] : g.byCommon) {
        if (mask == common) return index;
    }
    // A mask asked for the first time: hash what the group holds under it, once.
    HashIndex index;
    index.reserve(g.members.size());
    for (const std::size_t s : g.members) {
        if (&m_groups[m_slots[s].group] == &g) index.emplace(hashOf(*m_slots[s].entry, common), s);
    }
    g.byCommon.emplace_back(common, std::move(index));
    return g.byCommon.back().second;
}

std::size_t SameEntryIndex::add(Entry* entry, std::size_t order) {
    m_slots.push_back(Slot{entry, order, npos});
    const std::size_t handle = m_slots.size() - 1;
    attach(handle);
    return handle;
}

void SameEntryIndex::attach(std::size_t handle) {
    Slot& slot = m_slots[handle];
    const std::size_t before = slot.group;
    slot.group = groupFor(slot.entry->mask);
    Group& g = m_groups[slot.group];
    // Members are never taken out (that would cost a search); one that moved to another
    // group is skipped when a new hash index is built.
    if (before != slot.group) g.members.push_back(handle);
    for (auto& [common, index] : g.byCommon) index.emplace(hashOf(*slot.entry, common), handle);
}

void SameEntryIndex::detach(std::size_t handle) {
    const Slot& slot = m_slots[handle];
    Group& g = m_groups[slot.group];
    for (auto& [common, index] : g.byCommon) {
        auto [it, end] = index.equal_range(hashOf(*slot.entry, common));
        while (it != end && it->second != handle) ++it;
        if (it != end) index.erase(it);
    }
}

std::size_t SameEntryIndex::findSame(const Entry& e) {
    std::size_t best = npos;
    const std::string& key = e.value(static_cast<int>(m_sortField));
    for (Group& g : m_groups) {
        if (g.members.empty()) continue;
        const FieldMask common = g.mask & e.mask;
        const auto [from, to] = indexFor(g, common).equal_range(hashOf(e, common));
        for (auto it = from; it != to; ++it) {
            const Slot& s = m_slots[it->second];
            if (best != npos && m_slots[best].order < s.order) continue;
            if (equalNoCase(s.entry->value(static_cast<int>(m_sortField)), key) &&
                s.entry->sameAs(e)) {
                best = it->second;
            }
        }
    }
    return best;
}

}  // namespace vesk
