#include "model/adbook.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>
#include <new>
#include <unordered_set>
#include <utility>

#include "model/folded_hash.h"

namespace vesk {

namespace {

std::size_t endOf(int to, std::size_t size) {
    return (to < 0 || static_cast<std::size_t>(to) > size) ? size : static_cast<std::size_t>(to);
}

bool containsKey(const Entry& e, std::string_view text) {
    return e[Field::FullName].find(text) != std::string::npos ||
           e[Field::Email].find(text) != std::string::npos ||
           e[Field::Nickname].find(text) != std::string::npos;
}

bool isQuote(char c) {
    return c == '"';
}

void stripLeading(std::string& s, std::string_view chars) {
    std::size_t n = 0;
    while (n < s.size() && chars.find(s[n]) != std::string_view::npos) ++n;
    s.erase(0, n);
}

void stripTrailing(std::string& s, std::string_view chars) {
    while (!s.empty() && chars.find(s.back()) != std::string_view::npos) s.pop_back();
}

void stripOneQuotePair(std::string& s) {
    if (s.size() >= 2 && isQuote(s.front()) && isQuote(s.back())) s = s.substr(1, s.size() - 2);
}

void cleanFields(Entry& e) {
    e.edit(Field::FullName, [](std::string& full) {
        stripLeading(full, "\"\n");
        stripTrailing(full, "\"");
    });
    e.edit(Field::Email, [](std::string& mail) {
        stripLeading(mail, "\"\n<");
        stripTrailing(mail, "\">");
    });
    // Each reader undoes its own format's quoting, so a quote left in a value is data
    // (NICKNAME:"Bobby", ORG:"Quoted" Inc). Beyond the street only one pair that encloses the
    // whole value goes, as quoted values from peers always were.
    // Only the fields it holds: an empty field has no quotes to strip.
    const std::uint64_t held = e.presentFields().to_ullong();
    for (int i = static_cast<int>(Field::HomeStreet) + 1; i < kFieldCount; ++i) {
        if ((held >> i) & 1U) e.edit(i, stripOneQuotePair);
    }
}

template <typename Ptr>
void stableSortByField(std::vector<Ptr>& v, int field) {
    std::stable_sort(v.begin(), v.end(),
                     [field](const auto& a, const auto& b) { return a->sortsBefore(*b, field); });
}

/// A sort record that holds the first 16 folded bytes of the key, so that most comparisons
/// never touch the entries themselves (a million entries do not fit any cache).
struct SortKey {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::uint32_t length = 0;
    std::uint32_t index = 0;
    std::uint64_t fields = 0;  ///< foldedFieldsHash over the entry's mask
};

/// Sort records in the order of a stable sort by the key field.
struct SortedKeys {
    std::vector<SortKey> keys;
    bool oneMask = true;  ///< every entry has the same mask
};

std::uint64_t packFolded(std::string_view s, std::size_t from) {
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        unsigned char c = from + k < s.size() ? static_cast<unsigned char>(s[from + k]) : 0;
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        v = (v << 8) | c;
    }
    return v;
}

/// Destroys the entries and empties the list in the order they lie in memory: a sorted book
/// freed in its own order would touch its memory (and malloc's) at random.
void destroyAll(EntryList& entries) {
    std::vector<std::pair<Entry*, EntryStore::Destroy>> places;
    try {
        places.reserve(entries.size());
    } catch (const std::bad_alloc&) {
        entries.clear();  // no room for the order: free them as they stand
        return;
    }
    for (EntryStore::Ptr& p : entries) {
        const EntryStore::Destroy destroy = p.get_deleter();
        places.emplace_back(p.release(), destroy);
    }
    entries.clear();
    std::sort(places.begin(), places.end(),
              [](const auto& a, const auto& b) { return std::less<Entry*>()(a.first, b.first); });
    for (auto& [e, destroy] : places) destroy(e);
}

/// Which entries of a sorted book de-duplication erases, and the entry each one merged into.
struct Duplicates {
    std::vector<bool> gone;
    std::vector<Entry*> keeper;
    bool any;

    void drop(std::size_t k, Entry* kept) {
        gone[k] = true;
        keeper[k] = kept;
        any = true;
    }
};

/// Compares each entry of the run [start, end) of equal sort keys with every entry kept so far
/// of that run; the first it is the same as keeps its place and takes what only the copy knew.
/// Short runs compare directly, long ones through a hash index (the same result, linear).
void mergeRun(EntryList& entries, std::size_t start, std::size_t end, int field, Duplicates& d) {
    if (end - start < 2) return;
    if (end - start <= kSmallRun) {
        std::array<std::size_t, kSmallRun> kept{};
        std::size_t keptCount = 0;
        for (std::size_t k = start; k < end; ++k) {
            std::size_t j = 0;
            while (j < keptCount && !entries[kept[j]]->sameAs(*entries[k])) ++j;
            if (j == keptCount) {
                kept[keptCount++] = k;
                continue;
            }
            fillFrom(*entries[kept[j]], *entries[k]);
            d.drop(k, entries[kept[j]].get());
        }
        return;
    }
    SameEntryIndex index(field);
    for (std::size_t k = start; k < end; ++k) {
        const std::size_t h = index.findSame(*entries[k]);
        if (h == SameEntryIndex::npos) {
            index.add(entries[k].get(), k);
            continue;
        }
        Entry* kept = index.entry(h);
        index.detach(h);  // its hashes change with what it takes over
        fillFrom(*kept, *entries[k]);
        index.attach(h);
        d.drop(k, kept);
    }
}

/// mergeRun for a run of entries that all have one mask, by the hash of their fields (the
/// records stand at the entries' positions): only entries of one hash can be the same, so the
/// others are not read at all. What a kept entry takes over lies outside that mask (the fields
/// inside are equal or empty on both sides), so its hash stays right.
void mergeRunByHash(EntryList& entries, const std::vector<SortKey>& keys, std::size_t start,
                    std::size_t end, Duplicates& d) {
    std::vector<std::pair<std::uint64_t, std::size_t>> byHash;
    byHash.reserve(end - start);
    for (std::size_t k = start; k < end; ++k) byHash.emplace_back(keys[k].fields, k);
    std::sort(byHash.begin(), byHash.end());
    std::vector<std::size_t> kept;
    for (std::size_t first = 0; first < byHash.size();) {
        std::size_t last = first + 1;
        while (last < byHash.size() && byHash[last].first == byHash[first].first) ++last;
        // Positions ascend within one hash: the earliest kept entry that is the same wins.
        kept.clear();
        for (std::size_t i = first; i < last; ++i) {
            const std::size_t k = byHash[i].second;
            const auto same = std::find_if(kept.begin(), kept.end(), [&](std::size_t j) {
                return entries[j]->sameAs(*entries[k]);
            });
            if (same == kept.end()) {
                kept.push_back(k);
                continue;
            }
            fillFrom(*entries[*same], *entries[k]);
            d.drop(k, entries[*same].get());
        }
        first = last;
    }
}

/// Orders sort records as a stable sort by the field (case folded as in Entry::operator<).
class KeyOrder {
  public:
    KeyOrder(const EntryList& entries, int field) : m_entries(entries), m_field(field) {}
    bool operator()(const SortKey& a, const SortKey& b) const {
        if (a.head != b.head) return a.head < b.head;
        if (a.tail != b.tail) return a.tail < b.tail;
        if (a.length > 16 || b.length > 16) {
            const int c = compareNoCase(keyOf(a), keyOf(b));
            if (c != 0) return c < 0;
        } else if (a.length != b.length) {
            return a.length < b.length;  // equal bytes, padded: the shorter sorts first
        }
        return a.index < b.index;  // equal keys keep their order: the sort is stable
    }
    /// Equal keys, ASCII case folded; the entries are read only for long keys.
    bool sameKey(const SortKey& a, const SortKey& b) const {
        if (a.head != b.head || a.tail != b.tail || a.length != b.length) return false;
        return a.length <= 16 || equalNoCase(keyOf(a), keyOf(b));
    }

  private:
    const std::string& keyOf(const SortKey& k) const {
        return static_cast<const Entry&>(*m_entries[k.index]).at(m_field);
    }
    const EntryList& m_entries;
    int m_field;
};

/// Sort records of `entries` by `field`, in the order of a stable sort. A book that is in order
/// already (read back from a sorted file, copied from another book) is not sorted again.
SortedKeys sortedKeys(const EntryList& entries, int field) {
    SortedKeys sorted;
    std::vector<SortKey>& keys = sorted.keys;
    keys.resize(entries.size());
    // Everything the merge needs is read here, while the entries are still in the order they
    // lie in memory.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = *entries[i];
        const std::string& s = e.at(field);
        keys[i] = {packFolded(s, 0), packFolded(s, 8),
                   static_cast<std::uint32_t>(std::min<std::size_t>(s.size(), 0xFFFFFFFFu)),
                   static_cast<std::uint32_t>(i), foldedFieldsHash(e, e.mask)};
        if (e.mask != entries[0]->mask) sorted.oneMask = false;
    }
    const KeyOrder order(entries, field);
    if (!std::is_sorted(keys.begin(), keys.end(), order))
        std::sort(keys.begin(), keys.end(), order);
    return sorted;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// EntryStore

void EntryStore::Destroy::operator()(Entry* e) const {
    e->~Entry();
    store->m_free.push_back(e);
}

EntryStore::~EntryStore() {
    for (Entry* block : m_blocks) ::operator delete(block);
}

EntryStore::Ptr EntryStore::make(Entry&& e) {
    Entry* place = nullptr;
    if (!m_free.empty()) {
        place = m_free.back();
        m_free.pop_back();
    } else {
        // Blocks double from one entry up to kBlock: a folder of one contact among a
        // hundred thousand folders must not hold room for hundreds.
        const auto blockSize = [](std::size_t n) { return n >= 8 ? kBlock : std::size_t{1} << n; };
        if (m_blocks.empty() || m_usedInLast == blockSize(m_blocks.size() - 1)) {
            m_blocks.push_back(
                static_cast<Entry*>(::operator new(sizeof(Entry) * blockSize(m_blocks.size()))));
            m_usedInLast = 0;
        }
        place = m_blocks.back() + m_usedInLast++;
    }
    return Ptr(new (place) Entry(std::move(e)), Destroy{this});
}

// ---------------------------------------------------------------------------------------------
// Adbook

Adbook* Adbook::walkFolderPath(const std::string& path, bool create) {
    std::size_t pos = path.find('\\');
    if (pos == std::string::npos) return this;
    Adbook* current = this;
    while (true) {
        const std::size_t start = pos + 1;
        const std::size_t next = path.find('\\', start + 1);
        if (next == std::string::npos || start >= path.size()) break;
        const std::string component = path.substr(start, next - start);
        const int index = current->folderIndex(component);
        m_run->diagnostic(component + "\n");
        if (index >= 0) {
            current->rewind();
            current = current->folderAt(index);
        } else if (create) {
            current = current->addFolder(component);
        } else {
            m_run->report(Severity::Warning,
                          "It would appear that this folder does not exist. Reverting to the "
                          "\"Contacts\" folder",
                          "", Where{{}, 0, -1, path});
            return this;
        }
        if (!current) return this;
        pos = next;
    }
    return current;
}

// ---------------------------------------------------------------------------------------------
// NewAdbook

NewAdbook::NewAdbook(RunContext& run) : Adbook(run, "Contacts"), m_revisionTime(currentTime()) {
    hasFolders = true;
    wantsFolders = true;
    wantsLists = true;
}

NewAdbook::NewAdbook(std::string name, NewAdbook* parent)
    : Adbook(parent->run(), std::move(name)), m_parent(parent), m_revisionTime(currentTime()) {
    hasFolders = true;
    wantsFolders = true;
    wantsLists = true;
}

NewAdbook::~NewAdbook() {
    // Lists first: they refer to the entries.
    m_lists.clear();
    destroyAll(m_entries);
}

bool NewAdbook::rewind() {
    m_entryPos = 0;
    m_folderPos = 0;
    m_listPos = 0;
    return true;
}

Entry NewAdbook::nextEntry() {
    // Undated entries stay undated here: the conversion loop dates them for the writers that
    // need a time, and the others keep "no time" as it is.
    Entry& e = *m_entries[m_entryPos++];
    if (!m_handsOut || !m_lists.empty()) return e.maskedFields();
    Entry out = std::move(e);
    keepMaskedFields(out);
    return out;
}

const Entry& NewAdbook::nextEntryView(Entry& /*scratch*/) {
    return *m_entries[m_entryPos++];
}

void NewAdbook::handOutEntries() {
    m_handsOut = true;
    for (auto& folder : m_folders) folder->handOutEntries();
}

IterBase* NewAdbook::nextFolder() {
    if (m_folderPos >= m_folders.size()) return nullptr;
    return m_folders[m_folderPos++].get();
}

IterBase* NewAdbook::nextList() {
    if (m_listPos >= m_lists.size()) return nullptr;
    return m_lists[m_listPos++].get();
}

bool NewAdbook::atEnd() {
    return m_entryPos >= m_entries.size();
}
bool NewAdbook::foldersDone() {
    return m_folderPos >= m_folders.size();
}
bool NewAdbook::listsDone() {
    return m_listPos >= m_lists.size();
}

bool NewAdbook::write(Entry e) {
    return addEntry(std::move(e));
}

int NewAdbook::indexOf(const Entry* entry, int from, int to) {
    const std::size_t end = endOf(to, m_entries.size());
    for (std::size_t i = from < 0 ? 0 : static_cast<std::size_t>(from); i < end; ++i) {
        if (m_entries[i].get() == entry) return static_cast<int>(i);
    }
    return -1;
}

int NewAdbook::find(std::string_view text, int from, int to) {
    const std::size_t end = endOf(to, m_entries.size());
    for (std::size_t i = from < 0 ? 0 : static_cast<std::size_t>(from); i < end; ++i) {
        if (containsKey(*m_entries[i], text)) return static_cast<int>(i);
    }
    return -1;
}

Entry NewAdbook::entryAt(int pos) {
    return m_entries.at(static_cast<std::size_t>(pos))->maskedCopy();
}

bool NewAdbook::replaceEntry(const Entry& entry, int pos) {
    if (pos < 0 || pos >= entryCount()) return false;
    if (entry[Field::FullName].empty() && entry[Field::Email].empty()) return false;
    Entry& target = *m_entries[static_cast<std::size_t>(pos)];
    m_sortedBy = -1;
    changed();
    target = entry;  // assignment: the object stays, so list members keep pointing at it
    for (Field f : {Field::FullName, Field::Email}) {
        target.edit(f, [](std::string& s) {
            if (!s.empty() && s.front() == '"') s.erase(0, 1);
            if (!s.empty() && s.back() == '"') s.pop_back();
        });
    }
    return true;
}

bool NewAdbook::removeEntry(int pos) {
    if (pos < 0 || pos >= entryCount()) return false;
    const auto at = m_entries.begin() + pos;
    const Entry* gone = at->get();
    for (auto& list : m_lists) {
        auto& members = list->m_members;
        members.erase(std::remove(members.begin(), members.end(), gone), members.end());
        list->m_pos = std::min(list->m_pos, members.size());
    }
    // Only pointers move: one memmove, however large the entries.
    m_entries.erase(at);
    changed();
    if (m_entryPos > static_cast<std::size_t>(pos)) --m_entryPos;
    return true;
}

void NewAdbook::eraseMarked(const std::vector<bool>& gone, const std::vector<Entry*>& keeper) {
    std::unordered_map<const Entry*, Entry*> moved;  // erased entry -> keeper, or nullptr
    std::size_t out = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (gone[i]) {
            if (!m_lists.empty())
                moved[m_entries[i].get()] = i < keeper.size() ? keeper[i] : nullptr;
            continue;
        }
        if (out != i) m_entries[out] = std::move(m_entries[i]);
        ++out;
    }
    for (auto& list : m_lists) {
        std::vector<Entry*> members;
        members.reserve(list->m_members.size());
        std::unordered_set<const Entry*> held;
        for (Entry* m : list->m_members) {
            const auto it = moved.find(m);
            Entry* target = it == moved.end() ? m : it->second;
            // A re-pointed member may now name an entry the list already holds.
            if (target && held.insert(target).second) members.push_back(target);
        }
        list->m_members = std::move(members);
        list->m_pos = std::min(list->m_pos, list->m_members.size());
    }
    // Destroy only after no list can reach them.
    m_entries.resize(out);
    changed();
    m_entryPos = std::min(m_entryPos, m_entries.size());
}

int NewAdbook::folderIndex(std::string_view name) {
    return m_folderNames.find(name, m_folders);
}

int NewAdbook::listIndex(std::string_view name) const {
    // The index is a cache: finding a name changes nothing a caller can see.
    return const_cast<ChildNames&>(m_listNames).find(name, m_lists);
}

Adbook* NewAdbook::resolveFolderPath(const std::string& path, bool create) {
    return walkFolderPath(path, create);
}

Adbook* NewAdbook::addFolder(const std::string& name) {
    if (folderIndex(name) >= 0) return nullptr;
    m_folders.push_back(std::make_unique<NewAdbook>(name, this));
    m_folderNames.added(name, m_folders.size() - 1);
    return m_folders.back().get();
}

DistList* NewAdbook::addList(const std::string& name) {
    if (listIndex(name) >= 0) return nullptr;
    m_lists.push_back(std::make_unique<DistList>(name, this));
    m_listNames.added(name, m_lists.size() - 1);
    return m_lists.back().get();
}

NewAdbook* NewAdbook::folderNamed(const std::string& name) {
    const int index = folderIndex(name);
    if (index >= 0) return folder(index);
    return static_cast<NewAdbook*>(addFolder(name));
}

DistList* NewAdbook::listNamed(const std::string& name) {
    const int index = listIndex(name);
    if (index >= 0) return m_lists[static_cast<std::size_t>(index)].get();
    return addList(name);
}

bool NewAdbook::setName(const std::string& name) {
    m_name = name;
    if (m_parent) m_parent->m_folderNames.invalidate();
    return true;
}

bool NewAdbook::removeFolder(std::string_view name) {
    const int index = folderIndex(name);
    if (index < 0) return removeList(name);
    m_folders.erase(m_folders.begin() + index);
    m_folderNames.invalidate();
    m_folderPos = std::min(m_folderPos, m_folders.size());
    return true;
}

bool NewAdbook::removeList(std::string_view name) {
    const int index = listIndex(name);
    if (index < 0) return false;
    m_lists.erase(m_lists.begin() + index);
    m_listNames.invalidate();
    m_listPos = std::min(m_listPos, m_lists.size());
    return true;
}

bool NewAdbook::removeChild(const Adbook* child) {
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it) {
        if (it->get() != child) continue;
        m_folders.erase(it);
        m_folderNames.invalidate();
        m_folderPos = std::min(m_folderPos, m_folders.size());
        return true;
    }
    for (auto it = m_lists.begin(); it != m_lists.end(); ++it) {
        if (it->get() != child) continue;
        m_lists.erase(it);
        m_listNames.invalidate();
        m_listPos = std::min(m_listPos, m_lists.size());
        return true;
    }
    return false;
}

DistList* NewAdbook::listAt(int pos) {
    if (pos < 0 || pos >= listCount()) return nullptr;
    return m_lists[static_cast<std::size_t>(pos)].get();
}

Adbook* NewAdbook::folderAt(int pos) {
    return folder(pos);
}

NewAdbook* NewAdbook::folder(int pos) const {
    if (pos < 0 || pos >= static_cast<int>(m_folders.size())) return nullptr;
    return m_folders[static_cast<std::size_t>(pos)].get();
}

Entry* NewAdbook::entryPtr(int pos) const {
    if (pos < 0 || pos >= static_cast<int>(m_entries.size())) return nullptr;
    return m_entries[static_cast<std::size_t>(pos)].get();
}

void NewAdbook::clear() {
    // Lists first: they refer to the entries.
    m_lists.clear();
    m_folders.clear();
    destroyAll(m_entries);
    m_folderNames.invalidate();
    m_listNames.invalidate();
    changed();
    rewind();
}

void NewAdbook::sortAndMerge(int field) {
    SortedKeys sorted = sortedKeys(m_entries, field);
    std::vector<SortKey>& keys = sorted.keys;
    if (!std::is_sorted(keys.begin(), keys.end(),
                        [](const SortKey& a, const SortKey& b) { return a.index < b.index; })) {
        EntryList inOrder;
        inOrder.reserve(m_entries.size());
        for (const SortKey& k : keys) inOrder.push_back(std::move(m_entries[k.index]));
        m_entries = std::move(inOrder);
    }
    changed();
    m_sortedBy = field;
    if (m_entries.size() < 2) return;
    Duplicates d{std::vector<bool>(m_entries.size(), false),
                 std::vector<Entry*>(m_entries.size(), nullptr), false};
    // The records now stand in the entries' order: their indexes become the positions.
    for (std::size_t pos = 0; pos < keys.size(); ++pos)
        keys[pos].index = static_cast<std::uint32_t>(pos);
    const KeyOrder order(m_entries, field);
    for (std::size_t start = 0; start < m_entries.size();) {
        std::size_t end = start + 1;
        while (end < m_entries.size() && order.sameKey(keys[end], keys[start])) ++end;
        if (sorted.oneMask && end - start > 1) {
            mergeRunByHash(m_entries, keys, start, end, d);
        } else {
            mergeRun(m_entries, start, end, field, d);
        }
        start = end;
    }
    if (d.any) eraseMarked(d.gone, d.keeper);
}

int NewAdbook::sameInRun(const Entry& e) {
    // The run of e's sort key starts where e would be inserted.
    const int place = placeOf(e);
    const auto f = static_cast<std::size_t>(kDefaultSortField);
    const std::string& key = e[static_cast<Field>(f)];
    std::size_t end = static_cast<std::size_t>(place);
    while (end < m_entries.size() && end - static_cast<std::size_t>(place) <= kSmallRun &&
           equalNoCase(m_entries[end]->value(static_cast<int>(f)), key)) {
        if (m_entries[end]->sameAs(e)) return static_cast<int>(end);
        ++end;
    }
    if (end - static_cast<std::size_t>(place) <= kSmallRun) return -1;
    // A long run: ask an index of the whole book, built once while the book stays as it is.
    if (!m_sameIndex || m_sameIndexVersion != m_version) {
        m_sameIndex = std::make_unique<SameEntryIndex>(kDefaultSortField);
        for (std::size_t i = 0; i < m_entries.size(); ++i) m_sameIndex->add(m_entries[i].get(), i);
        m_sameIndexVersion = m_version;
    }
    const std::size_t found = m_sameIndex->findSame(e);
    return found == SameEntryIndex::npos ? -1 : static_cast<int>(m_sameIndex->order(found));
}

int NewAdbook::lowerBound(const Entry& e) const {
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), e,
                                     [](const EntryStore::Ptr& a, const Entry& b) {
                                         return a->sortsBefore(b, kDefaultSortField);
                                     });
    return static_cast<int>(it - m_entries.begin());
}

int NewAdbook::placeOf(const Entry& e) const {
    if (m_sortedBy == kDefaultSortField) return lowerBound(e);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (!m_entries[i]->sortsBefore(e, kDefaultSortField)) return static_cast<int>(i);
    }
    return static_cast<int>(m_entries.size());
}

bool NewAdbook::addEntry(Entry entry) {
    cleanFields(entry);
    entry.completeNames();
    // Only a record with nothing in it is dropped: a company with just a phone is still data.
    if (entry.isEmpty()) return false;
    m_sortedBy = -1;
    // A book keeps its entries for long: a copy holds the fields and values in just the room
    // they need, where the entry as read grew its storage step by step.
    m_entries.push_back(m_store.make(Entry(std::as_const(entry))));
    if (m_index.version == m_version) indexEntry(m_entries.back().get());
    return true;
}

namespace {

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t keyHash(std::string_view key, bool foldCase) {
    if (!foldCase) return std::hash<std::string_view>{}(key);
    std::uint64_t h = kFnvOffset;
    for (const char ch : key) {
        auto c = static_cast<unsigned char>(ch);
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        h = (h ^ c) * kFnvPrime;
    }
    return h;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// FieldIndex

void FieldIndex::clear() {
    m_slots.clear();
    m_used = 0;
}

bool FieldIndex::matches(const Entry& e, std::string_view key) const {
    const std::string& value = e[m_field];
    return m_foldCase ? equalNoCase(value, key) : value == key;
}

void FieldIndex::place(Slot slot) {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
    while (m_slots[i].entry) i = (i + 1) & mask;
    m_slots[i] = slot;
}

void FieldIndex::add(Entry* e) {
    const std::string& value = (*e)[m_field];
    if (value.empty()) return;
    const std::uint64_t h = keyHash(value, m_foldCase);
    if (!m_slots.empty()) {
        // The first entry of a key stays, as a walk from the start would find it.
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = static_cast<std::size_t>(h) & mask; m_slots[i].entry;
             i = (i + 1) & mask) {
            if (m_slots[i].hash == h && matches(*m_slots[i].entry, value)) return;
        }
    }
    if ((m_used + 1) * 2 > m_slots.size()) {
        std::vector<Slot> old(std::max<std::size_t>(16, m_slots.size() * 2));
        old.swap(m_slots);
        for (const Slot& s : old) {
            if (s.entry) place(s);
        }
    }
    place(Slot{h, e});
    ++m_used;
}

Entry* FieldIndex::find(std::string_view key, bool& stale) const {
    if (m_slots.empty() || key.empty()) return nullptr;
    const std::uint64_t h = keyHash(key, m_foldCase);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask; m_slots[i].entry; i = (i + 1) & mask) {
        const Slot& s = m_slots[i];
        if (s.hash != h) continue;
        if (matches(*s.entry, key)) return s.entry;
        // An entry edited since it was indexed: only a new index tells who comes first now.
        if (keyHash((*s.entry)[m_field], m_foldCase) != h) {
            stale = true;
            return nullptr;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// NewAdbook: finding list members

void NewAdbook::indexEntry(Entry* e) {
    for (MemberIndex::Table& t : m_index.tables) {
        if (t.built) t.index.add(e);
    }
}

const FieldIndex& NewAdbook::memberIndex(std::size_t table, bool rebuild) {
    if (m_index.version != m_version) {
        for (MemberIndex::Table& t : m_index.tables) t.built = false;
        m_index.version = m_version;
    }
    // Each table is built when it is first asked: members named by their address alone never
    // cost an index of nicknames.
    MemberIndex::Table& t = m_index.tables[table];
    if (rebuild || !t.built) {
        t.index.clear();
        t.built = true;
        for (const auto& e : m_entries) t.index.add(e.get());
    }
    return t.index;
}

Entry* NewAdbook::findMember(const Entry& key) {
    const std::string& nick = key[Field::Nickname];
    const std::string& mail = key[Field::Email];
    const std::string& full = key[Field::FullName];
    // An entry edited through entryPtr() may no longer carry the key it was indexed under:
    // every hit is checked, and a stale one rebuilds that index once.
    const std::pair<std::size_t, const std::string*> keys[] = {{MemberIndex::kNickname, &nick},
                                                               {MemberIndex::kEmail, &mail},
                                                               {MemberIndex::kFullName, &full}};
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool stale = false;
        for (const auto& [table, k] : keys) {
            if (k->empty()) continue;
            if (Entry* found = memberIndex(table, attempt > 0).find(*k, stale)) return found;
        }
        if (!stale) break;
    }
    // A member given with an address names that address: a contact whose name merely
    // contains the member's name is someone else.
    if (!mail.empty() && nick.empty()) return nullptr;
    std::string_view text = nick;
    if (text.empty()) text = full;
    if (text.empty()) return nullptr;
    const int pos = find(text, 0, -1);
    return pos < 0 ? nullptr : entryPtr(pos);
}

// ---------------------------------------------------------------------------------------------
// DistList

DistList::DistList(std::string name, NewAdbook* owner)
    : Adbook(owner->run(), std::move(name)), m_owner(owner), m_revisionTime(currentTime()) {}

bool DistList::rewind() {
    m_pos = 0;
    return true;
}

Entry DistList::nextEntry() {
    return m_members[m_pos++]->maskedFields();
}

const Entry& DistList::nextEntryView(Entry& /*scratch*/) {
    return *m_members[m_pos++];
}

bool DistList::atEnd() {
    return m_pos >= m_members.size();
}

bool DistList::write(Entry e) {
    if (e.isMarker()) return false;
    Entry* found = m_owner->findMember(e);
    if (!found) return false;
    m_members.push_back(found);
    return true;
}

void DistList::addMember(Entry* entry) {
    m_members.push_back(entry);
}

int DistList::indexOf(const Entry* entry, int from, int /*to*/) {
    if (from < 0 || from >= entryCount()) return -1;
    return m_members[static_cast<std::size_t>(from)] == entry ? from : -1;
}

int DistList::find(std::string_view text, int from, int to) {
    const std::size_t end = endOf(to, m_members.size());
    for (std::size_t i = from < 0 ? 0 : static_cast<std::size_t>(from); i < end; ++i) {
        if (containsKey(*m_members[i], text)) return static_cast<int>(i);
    }
    return -1;
}

Entry DistList::entryAt(int pos) {
    return m_members.at(static_cast<std::size_t>(pos))->maskedCopy();
}

bool DistList::replaceEntry(const Entry& entry, int pos) {
    if (pos < 0 || pos >= entryCount()) return false;
    const int ownerPos = m_owner->indexOf(m_members[static_cast<std::size_t>(pos)], 0, -1);
    return ownerPos >= 0 && m_owner->replaceEntry(entry, ownerPos);
}

bool DistList::removeEntry(int pos) {
    if (pos < 0 || pos >= entryCount()) return false;
    m_members.erase(m_members.begin() + pos);
    m_pos = std::min(m_pos, m_members.size());
    return true;
}

bool DistList::setName(const std::string& name) {
    m_name = name;
    m_owner->m_listNames.invalidate();
    return true;
}

void DistList::clear() {
    m_members.clear();
    m_pos = 0;
}

void DistList::sortAndMerge(int field) {
    stableSortByField(m_members, field);
    std::vector<Entry*> kept;
    kept.reserve(m_members.size());
    for (Entry* m : m_members) {
        if (kept.empty() || !m->sameAs(*kept.back())) kept.push_back(m);
    }
    m_members = std::move(kept);
    m_pos = 0;
}

// ---------------------------------------------------------------------------------------------
// FolderBook

FolderBook::FolderBook(RunContext& run, std::string name, std::int32_t value)
    : Adbook(run, std::move(name)), m_value(value) {
    hasFolders = true;
    wantsFolders = true;
}

bool FolderBook::rewind() {
    m_pos = 0;
    return true;
}

IterBase* FolderBook::nextFolder() {
    if (m_pos >= m_folders.size()) return nullptr;
    return m_folders[m_pos++].get();
}

bool FolderBook::foldersDone() {
    return m_pos >= m_folders.size();
}

int FolderBook::folderIndex(std::string_view name) {
    return m_folderNames.find(name, m_folders);
}

Adbook* FolderBook::resolveFolderPath(const std::string& path, bool create) {
    return walkFolderPath(path, create);
}

Adbook* FolderBook::addFolder(const std::string& name) {
    if (folderIndex(name) >= 0) return nullptr;
    m_folders.push_back(std::make_unique<FolderBook>(*m_run, name, m_value));
    m_folderNames.added(name, m_folders.size() - 1);
    return m_folders.back().get();
}

bool FolderBook::removeFolder(std::string_view name) {
    const int index = folderIndex(name);
    if (index < 0) return false;
    m_folders.erase(m_folders.begin() + index);
    m_folderNames.invalidate();
    m_pos = std::min(m_pos, m_folders.size());
    return true;
}

void FolderBook::clear() {
    m_folders.clear();
    m_folderNames.invalidate();
    m_pos = 0;
}

Adbook* FolderBook::folderAt(int pos) {
    return folder(pos);
}

FolderBook* FolderBook::folder(int pos) const {
    if (pos < 0 || pos >= static_cast<int>(m_folders.size())) return nullptr;
    return m_folders[static_cast<std::size_t>(pos)].get();
}

bool FolderBook::fromIter(IterBase& reader, bool noRewind) {
    const auto childNamed = [this](const std::string& name) {
        auto* added = static_cast<FolderBook*>(addFolder(name));
        return added ? added : folder(folderIndex(name));
    };
    if (!noRewind) reader.rewind();
    while (reader.hasFolders && !reader.foldersDone()) {
        IterBase* sub = reader.nextFolder();
        if (!sub) continue;
        childNamed(sub->name())->fromIter(*sub, true);
    }
    while (!reader.atEnd()) {
        const Entry e = reader.nextEntry();
        if (e.kind == KindFolderEnd) break;
        if (e.kind != KindFolderBegin) continue;
        FolderBook* child = childNamed(e[Field::FullName]);
        child->folderNumber =
            static_cast<std::int32_t>(std::strtol(e[Field::Email].c_str(), nullptr, 10));
        child->fromIter(reader, true);
    }
    return true;
}

}  // namespace vesk
