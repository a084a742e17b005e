// How entries from a reader end up in a book: the import with its folders, in-line
// markers and lists, and the interactive merge of one entry into a sorted book.
#include <algorithm>
#include <exception>

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
    MemberCollector(DistList* list, std::vector<std::pair<DistList*, Entry>>& out)
        : ToBase(list->run()), m_list(list), m_out(out) {}
    bool write(Entry e) override {
        if (e.isMarker()) return false;
        m_out.emplace_back(m_list, std::move(e));
        return true;
    }

  private:
    DistList* m_list;
    std::vector<std::pair<DistList*, Entry>>& m_out;
};

void showImportError(RunContext& run, const std::string& text) {
    run.report(Severity::Error, text, "NewAdbook.fromIter");
}

}  // namespace

bool NewAdbook::fromIter(IterBase& reader, bool noRewind) {
    Entry e;
    m_duplicatesRemoved = 0;
    stopRequested = false;
    int counter = 0;
    setRevisionTime(reader.revisionTime());
    if (!noRewind) reader.rewind();

    importFolders(reader);
    std::vector<std::pair<DistList*, Entry>> pendingMembers;
    importEntries(reader, e, counter, pendingMembers);

    const int before = entryCount();
    sortAndMerge(static_cast<int>(Field::FullName));
    m_duplicatesRemoved = before - entryCount();

    for (auto& [list, member] : pendingMembers) {
        Entry* found = findMember(member);
        if (!found) {
            m_run->diagnostic("No entry for list member " + member[Field::FullName] + " " +
                              member[Field::Email] + "\n");
            continue;
        }
        const auto& members = list->members();
        if (std::find(members.begin(), members.end(), found) == members.end()) {
            list->addMember(found);
        }
    }
    importLists(reader);
    return true;
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
            target = static_cast<NewAdbook*>(addFolder(sub->name()));
        } catch (const std::exception&) {
            m_run->diagnostic("Error adding folder to NewAdbook\n");
            continue;
        }
        if (!target) {
            try {
                target = folder(folderIndex(sub->name()));
            } catch (const std::exception&) {
                target = nullptr;
            }
            if (!target) {
                m_run->diagnostic("Error finding the folder\n");
                continue;
            }
        }
        try {
            target->fromIter(*sub, false);
        } catch (const std::exception&) {
            m_run->diagnostic("Error reading from folder\n");
        }
    }
}

void NewAdbook::importEntries(IterBase& reader, Entry& e, int& counter,
                              std::vector<std::pair<DistList*, Entry>>& pendingMembers) {
    int failures = 0;
    while (!reader.atEnd() && e.kind != KindFolderEnd && !stopRequested) {
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
        if (e.kind == KindFolderBegin) {
            NewAdbook* target = folderNamed(e[Field::FullName]);
            if (target) target->fromIter(reader, true);
            ++counter;
            e.kind = KindContact;
        } else if (e.kind == KindListBegin) {
            DistList* list = listNamed(e[Field::FullName]);
            reader.stopRequested = false;
            MemberCollector collector(list, pendingMembers);
            collector.saveFrom(reader, true, false);
            ++counter;
            e.kind = KindContact;
        } else if (e.kind == KindFolderEnd) {
            break;
        } else {
            addEntry(e.maskedCopy());
            ++counter;
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
            list->fromIter(*sub, true);
        } catch (const std::exception&) {
            m_run->diagnostic("An error has occured while reading a distlist\n");
        }
    }
}

bool NewAdbook::mergeEntry(const Entry& entry) {
    Entry incoming = entry.maskedCopy();
    if (!m_entries.empty()) {
        const int place = placeOf(incoming);
        if (place < entryCount() && m_entries[static_cast<std::size_t>(place)]->sameAs(incoming)) {
            return true;
        }
        for (int p : {place - 1, place}) {
            if (p < 0 || p >= entryCount()) continue;
            Entry& existing = *m_entries[static_cast<std::size_t>(p)];
            if (!existing.relatedTo(incoming)) continue;
            m_run->prompt().entrySheet(incoming);
            m_run->prompt().entrySheet(existing);
            const auto f = static_cast<std::size_t>(kDefaultSortField);
            const std::string existingKey = existing.fields[f];
            const bool replaced = existing.mergeFrom(incoming);
            m_run->diagnostic(incoming.fields[f] +
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
    // The book is sorted and de-duplicated by Full Name already: putting the entry where a
    // stable sort would and de-duplicating around it gives the same book as a full re-sort.
    if (!addEntry(std::move(entry))) return;
    auto added = std::move(m_entries.back());
    m_entries.pop_back();
    const auto it = std::upper_bound(m_entries.begin(), m_entries.end(), *added,
                                     [](const Entry& a, const std::unique_ptr<Entry>& b) {
                                         return a.sortsBefore(*b, kDefaultSortField);
                                     });
    const auto q = static_cast<std::size_t>(it - m_entries.begin());
    m_entries.insert(it, std::move(added));
    changed();
    std::vector<bool> gone(m_entries.size(), false);
    std::vector<Entry*> keeper(m_entries.size(), nullptr);
    std::size_t kept = q;
    if (q > 0 && m_entries[q]->sameAs(*m_entries[q - 1])) kept = q - 1;
    bool anyGone = false;
    for (std::size_t j = (kept == q ? q + 1 : q); j < m_entries.size(); ++j) {
        if (!m_entries[j]->sameAs(*m_entries[kept])) break;
        fillFrom(*m_entries[kept], *m_entries[j]);
        gone[j] = true;
        keeper[j] = m_entries[kept].get();
        anyGone = true;
    }
    if (anyGone) eraseMarked(gone, keeper);
    m_sortedBy = static_cast<int>(Field::FullName);
}

}  // namespace vesk
