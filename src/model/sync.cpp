#include "model/sync.h"

#include <algorithm>

namespace vesk {

Kynt::Kynt(NewAdbook& a, NewAdbook& b)
    : ToBase(a.run()),
      m_newer(b.revisionTime() > a.revisionTime() ? &b : &a),
      m_older(b.revisionTime() > a.revisionTime() ? &a : &b),
      m_result(std::make_unique<NewAdbook>(a.run())),
      m_current(m_result.get()) {
    wantsFolders = true;
    wantsLists = true;
}

void Kynt::raiseRevision(std::int64_t time) {
    if (time > m_revisionTime) m_revisionTime = time;
}

bool Kynt::write(Entry e) {
    auto* book = dynamic_cast<NewAdbook*>(m_current);
    switch (e.kind) {
        case KindFolderBegin:
            // Find-or-add by exact name, so a folder seen twice never leaves us without a book.
            if (book) m_current = book->folderNamed(e[Field::FullName]);
            return true;
        case KindListBegin:
            if (book) m_current = book->listNamed(e[Field::FullName]);
            return true;
        case KindFolderEnd:
        case KindListEnd:
            if (auto* list = dynamic_cast<DistList*>(m_current)) {
                m_current = list->owner();
            } else if (book && book->parent()) {
                m_current = book->parent();
            }  // an end marker at the top changes nothing
            return true;
        default:
            return m_current->write(std::move(e));
    }
}

void Kynt::syncLoop(NewAdbook& a, NewAdbook& b, bool noRewind, bool finishAtEnd) {
    m_run->trace(0, "Rewinding to the start of address book", "Debug");
    if (!noRewind) {
        a.rewind();
        b.rewind();
    }
    for (int i = 0; i < b.folderCount(); ++i) {
        NewAdbook& f = *b.folder(i);
        Entry marker = markerEntry(KindFolderBegin, f.name());
        write(marker);
        const int inA = a.folderIndex(f.name());
        if (inA >= 0) {
            syncLoop(*a.folder(inA), f, false, false);
        } else {
            saveFrom(f, false, false);
        }
        marker.kind = KindFolderEnd;
        write(marker);
    }
    for (int i = 0; i < a.folderCount(); ++i) {
        NewAdbook& g = *a.folder(i);
        // Folders B also holds were synchronised above; copying them whole again would bring
        // back what B deleted.
        if (b.folderIndex(g.name()) >= 0) continue;
        Entry marker = markerEntry(KindFolderBegin, g.name());
        write(marker);
        saveFrom(g, false, false);
        marker.kind = KindFolderEnd;
        write(marker);
    }

    // One set of flags per pair of books: positions are positions in this A only.
    std::vector<char> matched(static_cast<std::size_t>(a.entryCount()) + 1, 0);
    // Copies that keep "no time" (0) as it is: an undated entry must not win a combination.
    for (int i = 0; i < b.entryCount(); ++i) {
        Entry n = b.entryPtr(i)->maskedFields();
        const int pos = findCounterpart(a, n);
        if (pos >= 0) matched[static_cast<std::size_t>(pos)] = 1;
        raiseRevision(n.revisionTime);
        write(std::move(n));
    }
    for (int i = 0; i < a.entryCount(); ++i) {
        if (matched[static_cast<std::size_t>(i)]) continue;
        Entry m = a.entryPtr(i)->maskedFields();
        // Nothing shows that B dropped an undated entry: keeping it loses nothing.
        if (m.revisionTime == 0 || b.revisionTime() < m.revisionTime) {
            raiseRevision(m.revisionTime);
            write(std::move(m));
        }
    }
    writeLists(a, b);
    if (finishAtEnd) finish();
}

void Kynt::writeLists(NewAdbook& a, NewAdbook& b) {
    for (int i = 0; i < b.listCount(); ++i) writeList(*b.listAt(i));
    for (int i = 0; i < a.listCount(); ++i) {
        DistList& list = *a.listAt(i);
        if (b.listIndex(list.name()) < 0) writeList(list);
    }
}

void Kynt::writeList(DistList& list) {
    Entry marker = markerEntry(KindListBegin, list.name());
    write(marker);
    list.rewind();
    saveFrom(list, true, false);
    marker.kind = KindListEnd;
    write(marker);
}

namespace {

/// The earlier of two revision times, where 0 means "not known".
std::int64_t earlierKnown(std::int64_t a, std::int64_t b) {
    if (a == 0) return b;
    if (b == 0) return a;
    return std::min(a, b);
}

}  // namespace

int findCounterpart(NewAdbook& a, Entry& n) {
    // Namesakes do not hide a copy: every entry of n's name is looked at.
    const int same = a.sameInRun(n);
    if (same >= 0) {
        n.revisionTime = earlierKnown(n.revisionTime, a.entryPtr(same)->revisionTime);
        return same;
    }
    const int place = a.placeOf(n);
    const int count = a.entryCount();
    for (int p : {place - 1, place}) {
        if (p < 0 || p >= count) continue;
        const Entry& neighbour = *a.entryPtr(p);
        if (!neighbour.relatedTo(n)) continue;
        a.run().diagnostic(neighbour[Field::FullName] + " 'isa' " + n[Field::FullName] + "\n");
        n = combineEntries(neighbour, n);
        return p;
    }
    return -1;
}

Entry combineEntries(const Entry& x, const Entry& y) {
    Entry out;
    out.kind = x.kind;
    // An undated entry (time 0) is never the newer one, and its values only fill gaps.
    const bool yNewer = y.revisionTime != 0 && y.revisionTime > x.revisionTime;
    const Entry& newer = yNewer ? y : x;
    const Entry& older = yNewer ? x : y;
    const bool olderFillsGaps = older.revisionTime == 0;
    out.revisionTime = newer.revisionTime;
    out.mask.reset();
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        const auto f = static_cast<int>(i);
        const bool inX = x.mask.test(i);
        const bool inY = y.mask.test(i);
        if (!inX && !inY) continue;
        if (inX && inY) {
            const bool gap = olderFillsGaps && newer.value(f).empty();
            out.at(f) = gap ? older.value(f) : newer.value(f);
        } else {
            out.at(f) = inX ? x.value(f) : y.value(f);
        }
        out.mask.set(i);
    }
    out.extras = newer.extras;
    mergeExtras(out, older, false);
    return out;
}

std::unique_ptr<NewAdbook> synchronize(NewAdbook& a, NewAdbook& b) {
    Kynt kynt(a, b);
    kynt.syncLoop(a, b, false, true);
    std::unique_ptr<NewAdbook> result = kynt.takeResult();
    result->setRevisionTime(kynt.latestRevision());
    return result;
}

}  // namespace vesk
