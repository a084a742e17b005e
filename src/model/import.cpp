// How entries from a reader end up in a book: the import with its folders, in-line
// markers and lists, and the interactive merge of one entry into a sorted book.
#include <algorithm>
#include <exception>
#include <unordered_map>
#include <unordered_set>

#include "model/adbook.h"
#include "platform/interrupt.h"

namespace vesk {

namespace {

/// A reader whose nextEntry keeps failing would otherwise hold the import forever.
constexpr int kMaxFailuresInARow = 16;

/// Keeps the members of an in-line list until the book's own entries are final, so that
/// members before their contacts, and members of merged duplicates, still resolve.
class MemberCollector : public ToBase {
  public:
    MemberCollector(DistList* list, std::vector<PendingMember>& out)
        : ToBase(list->run()), m_list(list), m_out(out) {}
    bool write(Entry e) override {
        if (e.isMarker()) return false;
        m_out.emplace_back(m_list, std::move(e));
        return true;
    }

  private:
    DistList* m_list;
    std::vector<PendingMember>& m_out;
};

void showImportError(RunContext& run, const std::string& text) {
    run.report(Severity::Error, text, "NewAdbook.fromIter");
}

}  // namespace

bool NewAdbook::fromIter(IterBase& reader, bool noRewind) {
    importPart(reader, noRewind);
    finishImport();
    return true;
}

void NewAdbook::importPart(IterBase& reader, bool noRewind) {
    if (!m_importOpen) {
        m_importOpen = true;
        m_duplicatesRemoved = 0;
    }
    stopRequested = false;
    setRevisionTime(reader.revisionTime());
    if (!noRewind) reader.rewind();
    importFolders(reader);
    importEntries(reader);
    importLists(reader);
}

void NewAdbook::finishImport() {
    for (auto& folder : m_folders) {
        if (folder->m_importOpen) folder->finishImport();
    }
    m_importOpen = false;
    const int before = entryCount();
    sortAndMerge(static_cast<int>(Field::FullName));
    m_duplicatesRemoved = before - entryCount();
    std::vector<PendingMember> pending = std::move(m_pendingMembers);
    m_pendingMembers.clear();
    resolveMembers(pending);
}

PendingMember::PendingMember(DistList* owner, Entry&& member)
    : list(owner),
      sourceId(std::move(member.sourceId)),
      extras(std::move(member.extras)),
      kind(member.kind),
      mask(member.mask),
      revisionTime(member.revisionTime) {
    for (int i = 0; i < kFieldCount; ++i) {
        std::string value = member.take(i);
        if (!value.empty()) fields.emplace_back(i, std::move(value));
    }
}

Entry PendingMember::entry() && {
    Entry e;
    for (auto& [index, value] : fields) e.set(index, std::move(value));
    e.sourceId = std::move(sourceId);
    e.extras = std::move(extras);
    e.kind = kind;
    e.mask = mask;
    e.revisionTime = revisionTime;
    return e;
}

void NewAdbook::resolveMembers(std::vector<PendingMember>& pending) {
    const int before = entryCount();
    // What each list holds already, so that importing a list twice adds nobody twice.
    std::unordered_map<DistList*, std::unordered_set<const Entry*>> held;
    for (PendingMember& p : pending) {
        DistList* list = p.list;
        auto [it, added] = held.try_emplace(list);
        if (added) it->second.insert(list->members().begin(), list->members().end());
        Entry member = std::move(p).entry();
        Entry* found = findMember(member);
        if (!found) found = addMemberContact(std::move(member));
        if (found && it->second.insert(found).second) list->addMember(found);
    }
    // The book ends an import sorted, also with the contacts made here.
    if (entryCount() > before) sortAndMerge(static_cast<int>(Field::FullName));
    m_membersAdded = entryCount() - before;
}

Entry* NewAdbook::addMemberContact(Entry member) {
    // A member given by its address (and maybe a name) is a person the book did not hold;
    // one named only by a nickname refers to something else (another list, say) and is not.
    if (member[Field::Email].empty() && member[Field::FullName].empty()) {
        m_run->diagnostic("No entry for list member " + member[Field::Nickname] + "\n");
        return nullptr;
    }
    member.kind = KindContact;
    member.revisionTime = 0;  // nothing says when it was last changed
    if (!addEntry(std::move(member))) return nullptr;
    return entryPtr(entryCount() - 1);
}

void NewAdbook::importFolders(IterBase& reader) {
    while (reader.hasFolders && !reader.foldersDone()) {
        IterBase* sub = nullptr;
        try {
            sub = reader.nextFolder();
        } catch (const std::exception&) {
            m_run->diagnostic("Exception in iterator's nextFolder() function\n");
            continue;
        }
        if (!sub) continue;
        NewAdbook* target = nullptr;
        try {
            target = folderNamed(sub->name());
        } catch (const std::exception&) {
            target = nullptr;
        }
        if (!target) {
            m_run->diagnostic("Error finding the folder\n");
            continue;
        }
        try {
            target->importPart(*sub, false);
        } catch (const std::exception&) {
            m_run->diagnostic("Error reading from folder\n");
        }
    }
}

void NewAdbook::importEntries(IterBase& reader) {
    int counter = 0;
    int failures = 0;
    Entry e;
    while (!reader.atEnd() && !stopRequested) {
        if (counter % 5 == 0) {
            // Ctrl-C stops between entries, as Cancel does.
            if (interruptRequested()) {
                stopRequested = true;
                break;
            }
            if (Progress* p = m_run->progress()) {
                p->itemCount(entryCount());
                p->percent(static_cast<int>(reader.progress() * 100.0f));
                if (p->pump()) stopRequested = true;
                if (stopRequested) break;
            }
        }
        try {
            e = reader.nextEntry();
            failures = 0;
        } catch (const std::exception& ex) {
            showImportError(*m_run, ex.what());
            if (++failures >= kMaxFailuresInARow) break;
            continue;
        } catch (...) {
            showImportError(*m_run, "Recon we caught us an error, we did");
            if (++failures >= kMaxFailuresInARow) break;
            continue;
        }
        if (e.kind == KindFolderEnd) break;
        ++counter;
        if (e.kind == KindFolderBegin) {
            if (NewAdbook* target = folderNamed(e[Field::FullName]))
                target->importPart(reader, true);
        } else if (e.kind == KindListBegin) {
            DistList* list = listNamed(e[Field::FullName]);
            reader.stopRequested = false;
            MemberCollector collector(list, m_pendingMembers);
            collector.saveFrom(reader, true, false);
        } else {
            // The entry is this loop's own: masked where it stands, then moved into the book.
            keepMaskedFields(e);
            addEntry(std::move(e));
        }
    }
}

void NewAdbook::importLists(IterBase& reader) {
    while (!reader.listsDone()) {
        IterBase* sub = nullptr;
        try {
            sub = reader.nextList();
            if (!sub) break;
            DistList* list = listNamed(sub->name());
            sub->stopRequested = false;
            // A list read before (a save, a merge, the window) stands at its end.
            sub->rewind();
            MemberCollector collector(list, m_pendingMembers);
            collector.saveFrom(*sub, true, false);
        } catch (const std::exception&) {
            m_run->diagnostic("An error has occured while reading a distlist\n");
        }
    }
}

bool NewAdbook::mergeEntry(const Entry& entry) {
    Entry incoming = entry.maskedFields();
    if (!m_entries.empty()) {
        // A copy of any entry of its name is absorbed, not only of the one next to its place;
        // values beyond the fields that only the copy holds are kept.
        if (const int same = sameInRun(incoming); same >= 0) {
            mergeExtras(*m_entries[static_cast<std::size_t>(same)], incoming, false);
            return true;
        }
        const int place = placeOf(incoming);
        for (int p : {place - 1, place}) {
            if (p < 0 || p >= entryCount()) continue;
            Entry& existing = *m_entries[static_cast<std::size_t>(p)];
            if (!existing.relatedTo(incoming)) continue;
            m_run->prompt().entrySheet(incoming);
            m_run->prompt().entrySheet(existing);
            const auto f = static_cast<std::size_t>(kDefaultSortField);
            const std::string existingKey = existing.value(static_cast<int>(f));
            const bool replaced = existing.mergeFrom(incoming);
            changed();
            m_run->diagnostic(incoming.value(static_cast<int>(f)) +
                              (replaced ? " replaces " : " does not replace ") + existingKey +
                              "\n");
            return true;
        }
    }
    insertSorted(std::move(incoming));
    return false;
}

void NewAdbook::insertSorted(Entry entry) {
    if (m_sortedBy != kDefaultSortField) {
        addEntry(std::move(entry));
        sortAndMerge(static_cast<int>(Field::FullName));
        return;
    }
    // The book is sorted and de-duplicated by Full Name already: the cleaned entry goes last
    // in its run, where a stable sort would put it, unless an entry of the run is the same.
    if (!addEntry(std::move(entry))) return;
    auto added = std::move(m_entries.back());
    m_entries.pop_back();
    m_sortedBy = kDefaultSortField;
    const int same = sameInRun(*added);
    if (same >= 0) {
        fillFrom(*m_entries[static_cast<std::size_t>(same)], *added);
        changed();
        return;
    }
    const auto it = std::upper_bound(m_entries.begin(), m_entries.end(), *added,
                                     [](const Entry& a, const EntryStore::Ptr& b) {
                                         return a.sortsBefore(*b, kDefaultSortField);
                                     });
    m_entries.insert(it, std::move(added));
    changed();
}

}  // namespace vesk
