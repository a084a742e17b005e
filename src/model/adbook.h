// The address book tree: books hold entries, folders (books themselves) and distribution
// lists whose members refer to entries of the owning book. Every book is both a reader and
// a writer, so importing and exporting are one loop seen from two sides.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/entry.h"
#include "model/iter_base.h"
#include "model/same_entries.h"

namespace vesk {

class DistList;

/// A list member read by an import, kept until the book's entries are final. Only the fields
/// it has are kept: a list of a hundred thousand members would otherwise hold as many whole
/// entries. Whatever an Entry carries besides its fields is carried here too.
struct PendingMember {
    PendingMember(DistList* owner, Entry&& member);
    /// The member as it was read.
    Entry entry() &&;

    DistList* list;
    std::vector<std::pair<int, std::string>> fields;
    std::string sourceId;
    std::vector<Extra> extras;
    EntryKind kind;
    FieldMask mask;
    std::int64_t revisionTime;
};

/// Runs of equal sort keys up to this length are de-duplicated by direct comparison.
inline constexpr std::size_t kSmallRun = 16;

/// The first position of each name among a book's folders (or lists), so that finding one by
/// name stays quick however many siblings there are. Rebuilt after a removal or a rename.
class ChildNames {
  public:
    /// Position of the first child named `name`, or -1.
    template <typename Children>
    int find(std::string_view name, const Children& children) {
        if (!m_valid) {
            m_first.clear();
            for (std::size_t i = 0; i < children.size(); ++i)
                m_first.emplace(children[i]->name(), i);
            m_valid = true;
        }
        const auto it = m_first.find(std::string(name));
        return it == m_first.end() ? -1 : static_cast<int>(it->second);
    }
    /// A child appended at `pos`.
    void added(const std::string& name, std::size_t pos) {
        if (m_valid) m_first.emplace(name, pos);
    }
    void invalidate() { m_valid = false; }

  private:
    std::unordered_map<std::string, std::size_t> m_first;
    bool m_valid = false;
};

/// The entries of a book by the exact value of one field (or ASCII case folded), for list
/// members: the first entry of each value, found without a copy of any value. A slot holds the
/// hash of the value the entry had when it was added, so that an entry edited since is noticed.
class FieldIndex {
  public:
    FieldIndex(Field field, bool foldCase) : m_field(field), m_foldCase(foldCase) {}
    void clear();
    /// Adds an entry with a value, unless an entry of that value is there already.
    void add(Entry* e);
    /// The entry of value `key`, or nullptr; `stale` is set when the entry found there no longer
    /// has the value it was added with.
    Entry* find(std::string_view key, bool& stale) const;

  private:
    struct Slot {
        std::uint64_t hash = 0;
        Entry* entry = nullptr;
    };
    bool matches(const Entry& e, std::string_view key) const;
    void place(Slot slot);

    Field m_field;
    bool m_foldCase;
    std::vector<Slot> m_slots;  ///< open addressing, a power of two long, at most half full
    std::size_t m_used = 0;
};

/// Where a book's entries live: blocks of many entries, so that a book of a million entries
/// makes a few thousand allocations instead of a million and is freed as quickly. An entry
/// taken out of the book is destroyed at once and its place serves the next one added.
class EntryStore {
  public:
    struct Destroy {
        EntryStore* store = nullptr;
        void operator()(Entry* e) const;
    };
    using Ptr = std::unique_ptr<Entry, Destroy>;

    EntryStore() = default;
    EntryStore(const EntryStore&) = delete;
    EntryStore& operator=(const EntryStore&) = delete;
    /// Every entry made here must be gone by then.
    ~EntryStore();

    Ptr make(Entry&& e);

  private:
    static constexpr std::size_t kBlock = 256;
    std::vector<Entry*> m_blocks;  ///< raw memory, 1, 2, 4 ... up to kBlock entries each
    std::size_t m_usedInLast = kBlock;
    std::vector<Entry*> m_free;  ///< places of destroyed entries
};

using EntryList = std::vector<EntryStore::Ptr>;

class Adbook : public IterBase, public ToBase {
  public:
    Adbook(RunContext& run, std::string name) : ToBase(run), m_name(std::move(name)) {}

    std::string name() override { return m_name; }

    /// Position of that very entry object in [from, to) (to < 0: the end), or -1.
    virtual int indexOf(const Entry* entry, int from, int to) = 0;
    /// First position in [from, to) whose Full Name, E-Mail Address or Nickname contains `text`.
    virtual int find(std::string_view text, int from, int to) = 0;
    virtual Entry entryAt(int pos) = 0;
    virtual bool replaceEntry(const Entry& entry, int pos) = 0;
    virtual bool removeEntry(int pos) = 0;
    /// Merges one entry into a sorted book; true when an existing entry absorbed it.
    virtual bool mergeEntry(const Entry& entry) = 0;
    /// Position of the folder with exactly this name, or -1.
    virtual int folderIndex(std::string_view /*name*/) { return -1; }
    /// The folder named by a backslash path ("\A\B\"), optionally creating missing ones.
    virtual Adbook* resolveFolderPath(const std::string& /*path*/, bool /*create*/) {
        return nullptr;
    }
    /// A new folder, or nullptr when one of that name exists.
    virtual Adbook* addFolder(const std::string& /*name*/) { return nullptr; }
    /// A new list, or nullptr when one of that name exists.
    virtual DistList* addList(const std::string& /*name*/) { return nullptr; }
    virtual bool setName(const std::string& name) = 0;
    virtual bool removeFolder(std::string_view /*name*/) { return false; }
    virtual bool removeList(std::string_view /*name*/) { return false; }
    virtual DistList* listAt(int /*pos*/) { return nullptr; }
    virtual int entryCount() = 0;
    virtual int folderCount() { return 0; }
    virtual int listCount() { return 0; }
    virtual int duplicatesRemoved() = 0;
    virtual void clear() = 0;
    virtual void sortAndMerge(int field) = 0;

    /// The folder at `pos` as a book, or nullptr.
    virtual Adbook* folderAt(int /*pos*/) { return nullptr; }

  protected:
    /// The walk of resolveFolderPath, shared by the books that hold folders.
    Adbook* walkFolderPath(const std::string& path, bool create);

    std::string m_name;
};

/// The in-memory address book; a folder is a NewAdbook with a parent.
class NewAdbook : public Adbook {
  public:
    /// A new top-level book named "Contacts".
    /// A top-level book ("Contacts") of the run.
    explicit NewAdbook(RunContext& run);
    /// A folder of `parent`, in the parent's run.
    NewAdbook(std::string name, NewAdbook* parent);
    ~NewAdbook() override;
    NewAdbook(const NewAdbook&) = delete;
    NewAdbook& operator=(const NewAdbook&) = delete;

    // Reader side.
    bool rewind() override;
    Entry nextEntry() override;
    /// The book's own entry, whether or not it hands entries out.
    const Entry& nextEntryView(Entry& scratch) override;
    IterBase* nextFolder() override;
    IterBase* nextList() override;
    bool atEnd() override;
    bool foldersDone() override;
    bool listsDone() override;
    std::int64_t revisionTime() override { return m_revisionTime; }

    // Writer side.
    bool write(Entry e) override;
    bool finish() override { return true; }
    /// The import: folders, entries with in-line markers, lists; then sort and de-duplicate.
    bool fromIter(IterBase& reader, bool noRewind) override;
    void setRevisionTime(std::int64_t time) override { m_revisionTime = time; }

    int indexOf(const Entry* entry, int from, int to) override;
    int find(std::string_view text, int from, int to) override;
    Entry entryAt(int pos) override;
    bool replaceEntry(const Entry& entry, int pos) override;
    bool removeEntry(int pos) override;
    bool mergeEntry(const Entry& entry) override;
    int folderIndex(std::string_view name) override;
    Adbook* resolveFolderPath(const std::string& path, bool create) override;
    Adbook* addFolder(const std::string& name) override;
    DistList* addList(const std::string& name) override;
    bool setName(const std::string& name) override;
    bool removeFolder(std::string_view name) override;
    bool removeList(std::string_view name) override;
    /// Removes that very folder or list of this book (names may repeat after a rename).
    bool removeChild(const Adbook* child);
    DistList* listAt(int pos) override;
    int entryCount() override { return static_cast<int>(m_entries.size()); }
    int folderCount() override { return static_cast<int>(m_folders.size()); }
    int listCount() override { return static_cast<int>(m_lists.size()); }
    int duplicatesRemoved() override { return m_duplicatesRemoved; }
    /// Contacts the last import made for list members that matched no contact of the book.
    int membersAdded() const { return m_membersAdded; }
    void clear() override;
    void sortAndMerge(int field) override;
    Adbook* folderAt(int pos) override;

    /// From now on this book and its folders give their entries away as they hand them out
    /// (moved, not copied), except a book with lists, whose members refer to its entries: for
    /// a book that is read once, by one writer, and then dropped.
    void handOutEntries();

    /// Cleans the entry, completes its names and appends it; false when it holds nothing.
    bool addEntry(Entry entry);
    /// Position of the list with exactly this name, or -1.
    int listIndex(std::string_view name) const;
    /// The folder of that name, added when missing.
    NewAdbook* folderNamed(const std::string& name);
    /// The list of that name, added when missing.
    DistList* listNamed(const std::string& name);
    NewAdbook* parent() const { return m_parent; }
    NewAdbook* folder(int pos) const;
    /// The entry object itself (list members and indexOf refer to it).
    Entry* entryPtr(int pos) const;
    /// The entry that a list member described by `key` refers to, or nullptr: an exact
    /// Nickname, E-Mail Address (any case) or Full Name first, then a substring of the key
    /// (not for a key that gives an address and no nickname: that address names the member).
    Entry* findMember(const Entry& key);
    /// Place where `e` would be inserted in the current sort order (first entry not before it).
    int lowerBound(const Entry& e) const;
    /// The first entry that `e` does not sort after: a binary search when the book is known to
    /// be sorted by the current sort field, else a walk from the start.
    int placeOf(const Entry& e) const;
    /// Position of the first entry of `e`'s run of equal Full Names that `e` is the same as
    /// (Entry::sameAs), or -1.
    int sameInRun(const Entry& e);

  private:
    friend class DistList;
    /// Removes the entries marked in `gone` (by position), re-pointing list members to
    /// `keeper[pos]` when set, dropping them otherwise. One linear pass.
    void eraseMarked(const std::vector<bool>& gone, const std::vector<Entry*>& keeper);
    /// Reads folders, entries and lists of `reader` into this book without sorting it: a
    /// folder entered again and again is sorted once, by finishImport.
    void importPart(IterBase& reader, bool noRewind);
    /// Sorts and de-duplicates every book this import touched, then resolves list members.
    void finishImport();
    void importEntries(IterBase& reader);
    void importFolders(IterBase& reader);
    void importLists(IterBase& reader);
    /// Makes the collected members of lists members of their lists, once each; a member that
    /// matches no entry becomes a contact of its own.
    void resolveMembers(std::vector<PendingMember>& pending);
    Entry* addMemberContact(Entry member);
    /// Adds an entry and leaves the book as sortAndMerge(0) would.
    void insertSorted(Entry entry);

    /// Exact keys of list members, so that resolving many members stays linear. Rebuilt when
    /// the entries changed (m_version), extended in place when entries are only appended.
    struct MemberIndex {
        static constexpr std::size_t kNickname = 0;
        static constexpr std::size_t kEmail = 1;
        static constexpr std::size_t kFullName = 2;
        struct Table {
            FieldIndex index;
            bool built = false;
        };
        std::uint64_t version = 0;
        Table tables[3] = {{FieldIndex(Field::Nickname, false)},
                           {FieldIndex(Field::Email, true)},
                           {FieldIndex(Field::FullName, false)}};
    };
    /// The index of one key (MemberIndex::kNickname...), built when first asked.
    const FieldIndex& memberIndex(std::size_t table, bool rebuild);
    void indexEntry(Entry* e);
    void changed() { ++m_version; }

    MemberIndex m_index;
    ChildNames m_folderNames;
    ChildNames m_listNames;
    /// Members read by the import under way, resolved once the book's entries are final.
    std::vector<PendingMember> m_pendingMembers;
    bool m_importOpen = false;  ///< entries were imported and not yet sorted
    bool m_handsOut = false;    ///< nextEntry moves entries out (handOutEntries)
    std::uint64_t m_version = 0;
    std::unique_ptr<SameEntryIndex> m_sameIndex;  ///< for sameInRun over long runs
    std::uint64_t m_sameIndexVersion = 0;
    NewAdbook* m_parent = nullptr;
    EntryStore m_store;  ///< before m_entries: it outlives them
    EntryList m_entries;
    std::vector<std::unique_ptr<NewAdbook>> m_folders;
    std::vector<std::unique_ptr<DistList>> m_lists;
    int m_duplicatesRemoved = 0;
    int m_membersAdded = 0;
    int m_sortedBy = -1;  ///< The field the entries are sorted and de-duplicated by, or -1.
    std::size_t m_entryPos = 0;
    std::size_t m_folderPos = 0;
    std::size_t m_listPos = 0;
    std::int64_t m_revisionTime;
};

/// A distribution list: references to entries of its owner, never copies.
class DistList : public Adbook {
  public:
    DistList(std::string name, NewAdbook* owner);

    bool rewind() override;
    Entry nextEntry() override;
    /// The owner's entry itself.
    const Entry& nextEntryView(Entry& scratch) override;
    bool atEnd() override;
    std::int64_t revisionTime() override { return m_revisionTime; }

    /// Adds the owner's entry that `e` describes as a member; false when none matches.
    bool write(Entry e) override;
    void setRevisionTime(std::int64_t time) override { m_revisionTime = time; }

    int indexOf(const Entry* entry, int from, int to) override;
    int find(std::string_view text, int from, int to) override;
    Entry entryAt(int pos) override;
    bool replaceEntry(const Entry& entry, int pos) override;
    bool removeEntry(int pos) override;
    bool mergeEntry(const Entry& /*entry*/) override { return false; }
    bool setName(const std::string& name) override;
    int entryCount() override { return static_cast<int>(m_members.size()); }
    int duplicatesRemoved() override { return 0; }
    void clear() override;
    /// Sorts the member references and drops references to duplicates (never the entries).
    void sortAndMerge(int field) override;

    NewAdbook* owner() const { return m_owner; }
    const std::vector<Entry*>& members() const { return m_members; }
    /// Adds a reference to an entry of the owner (no lookup).
    void addMember(Entry* entry);

  private:
    friend class NewAdbook;
    NewAdbook* m_owner;
    std::vector<Entry*> m_members;
    std::size_t m_pos = 0;
    std::int64_t m_revisionTime;
};

/// A tree of folder names without contacts, to offer a folder to pick.
class FolderBook : public Adbook {
  public:
    FolderBook(RunContext& run, std::string name, std::int32_t value = 0);

    bool rewind() override;
    Entry nextEntry() override { return Entry(); }
    IterBase* nextFolder() override;
    bool atEnd() override { return true; }
    bool foldersDone() override;

    bool write(Entry /*e*/) override { return false; }
    /// Builds the folder tree of `reader`, from sub-readers and in-line folder markers.
    bool fromIter(IterBase& reader, bool noRewind) override;

    int indexOf(const Entry* /*entry*/, int /*from*/, int /*to*/) override { return -1; }
    int find(std::string_view /*text*/, int /*from*/, int /*to*/) override { return -1; }
    Entry entryAt(int /*pos*/) override { return Entry(); }
    bool replaceEntry(const Entry& /*entry*/, int /*pos*/) override { return false; }
    bool removeEntry(int /*pos*/) override { return false; }
    bool mergeEntry(const Entry& /*entry*/) override { return false; }
    int folderIndex(std::string_view name) override;
    Adbook* resolveFolderPath(const std::string& path, bool create) override;
    Adbook* addFolder(const std::string& name) override;
    bool setName(const std::string& /*name*/) override { return false; }
    bool removeFolder(std::string_view name) override;
    int entryCount() override { return 0; }
    int folderCount() override { return static_cast<int>(m_folders.size()); }
    int duplicatesRemoved() override { return 0; }
    void clear() override;
    void sortAndMerge(int /*field*/) override {}
    Adbook* folderAt(int pos) override;

    FolderBook* folder(int pos) const;
    /// The value its creator passed; opaque to the book.
    std::int32_t value() const { return m_value; }

    std::int32_t folderNumber = 0;

  private:
    std::vector<std::unique_ptr<FolderBook>> m_folders;
    ChildNames m_folderNames;
    std::size_t m_pos = 0;
    std::int32_t m_value;
};

}  // namespace vesk
