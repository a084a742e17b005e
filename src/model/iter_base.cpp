#include "model/iter_base.h"

#include "platform/interrupt.h"

namespace vesk {

void keepMaskedFields(Entry& e) {
    e.keepFields(e.mask);
}

void keepMaskedCopy(Entry& e) {
    keepMaskedFields(e);
    if (e.revisionTime == 0) e.revisionTime = currentTime();
}

Entry markerEntry(EntryKind kind, const std::string& name) {
    Entry e;
    e.kind = kind;
    e[Field::FullName] = name;
    return e;
}

void ToBase::saveFrom(IterBase& reader, bool noRewind, bool finishAtEnd) {
    setRevisionTime(reader.revisionTime());
    m_run->trace(0, "Rewinding to the start of address book", "Debug");
    if (!noRewind) reader.rewind();
    // A loop that continues a reader without rewinding never finishes the writer.
    finishAtEnd = finishAtEnd && !noRewind;

    while (wantsFolders && !reader.foldersDone()) {
        IterBase* folder = reader.nextFolder();
        if (!folder) continue;
        Entry marker = markerEntry(KindFolderBegin, folder->name());
        write(marker);
        saveFrom(*folder, false, false);
        marker.kind = KindFolderEnd;
        write(marker);
    }

    int counter = 0;
    Entry scratch;
    while (!reader.atEnd() && !reader.stopRequested) {
        if (counter % 5 == 0) {
            if (interruptRequested()) {
                reader.stopRequested = true;
                break;
            }
            if (Progress* p = m_run->progress()) {
                p->itemCount(counter);
                if (p->pump()) reader.stopRequested = true;
                // Cancel stops before the next entry, not after it.
                if (reader.stopRequested) break;
            }
        }
        const bool more = takesViews ? passView(reader, scratch) : passEntry(reader);
        if (!more) break;
        ++counter;
    }

    while (wantsLists && !reader.listsDone()) {
        IterBase* list = reader.nextList();
        if (!list) continue;
        Entry marker = markerEntry(KindListBegin, list->name());
        write(marker);
        list->rewind();
        saveFrom(*list, true, false);
        marker.kind = KindListEnd;
        write(marker);
    }

    if (finishAtEnd) m_succeeded = finish();
}

void ToBase::prepareForWriter(Entry& e) const {
    // What the source cannot hold is not handed on, and an undated entry is dated now
    // unless the writer keeps it undated.
    if (keepsUndated) {
        keepMaskedFields(e);
    } else {
        keepMaskedCopy(e);
    }
}

bool ToBase::passEntry(IterBase& reader) {
    Entry e = reader.nextEntry();
    if (e.kind == KindListEnd) return false;
    prepareForWriter(e);
    write(std::move(e));
    return true;
}

bool ToBase::passView(IterBase& reader, Entry& scratch) {
    const Entry& e = reader.nextEntryView(scratch);
    if (e.kind == KindListEnd) return false;
    const bool masked = (e.presentFields() & ~e.mask).any();
    const bool dated = keepsUndated || e.revisionTime != 0;
    if (!masked && dated) {
        writeView(e);
        return true;
    }
    // Only an entry that masking or dating changes is copied, as write() would get it.
    if (&e != &scratch) scratch = e.maskedFields();
    prepareForWriter(scratch);
    // The copy is the loop's own: a writer that keeps entries may take it.
    write(std::move(scratch));
    return true;
}

bool ToBase::fromIter(IterBase& reader, bool noRewind) {
    saveFrom(reader, noRewind, true);
    return m_succeeded;
}

bool ToBase::fromStart(IterBase& reader) {
    // Reports the outcome rather than a fixed true, so a failed write is never taken for success.
    return fromIter(reader, false);
}

}  // namespace vesk
