// The reader and writer contracts. A conversion is always driven by the writer, which
// pulls entries, folders and lists out of a reader (fromIter / saveFrom).
#pragma once

#include <cstdint>
#include <string>

#include "model/entry.h"
#include "platform/run_context.h"

namespace vesk {

/// A source of entries. Folders and lists come either as sub-readers (owned by this reader)
/// or in line as marker entries.
class IterBase {
  public:
    virtual ~IterBase() = default;

    virtual bool rewind() = 0;
    /// Called only while atEnd() is false.
    virtual Entry nextEntry() = 0;
    /// The next entry for a writer that only reads it: the source's own entry where it keeps
    /// one (fields its mask excludes still in it), else nextEntry() put into `scratch`. Valid
    /// until the source moves on or changes.
    virtual const Entry& nextEntryView(Entry& scratch) {
        scratch = nextEntry();
        return scratch;
    }
    /// A reader over the next folder, or nullptr; the returned reader stays owned by this one.
    virtual IterBase* nextFolder() { return nullptr; }
    /// A reader over the next distribution list, or nullptr; owned by this one.
    virtual IterBase* nextList() { return nullptr; }
    virtual bool atEnd() = 0;
    virtual bool foldersDone() { return true; }
    virtual bool listsDone() { return true; }
    virtual std::int64_t revisionTime() { return 0; }
    virtual std::string name() { return {}; }
    /// Fraction of the source read so far, or -1 when unknown.
    virtual float progress() { return -1.0f; }
    /// True when the source could not be opened at all (the user was told once): nothing is
    /// delivered, and the book read is no conversion of it.
    virtual bool sourceFailed() const { return false; }

    bool hasFolders = false;
    bool stopRequested = false;

  protected:
    IterBase() = default;
    IterBase(const IterBase&) = default;
    IterBase& operator=(const IterBase&) = default;
};

/// A destination of entries.
class ToBase {
  public:
    virtual ~ToBase() = default;

    /// Takes one entry (marker or contact); false when it was not kept.
    virtual bool write(Entry e) = 0;
    /// write() for an entry the writer only reads and does not keep: no copy of it is made.
    virtual bool writeView(const Entry& e) { return write(Entry(e)); }
    /// Called once when a top-level conversion ends; false when the output failed.
    virtual bool finish() { return true; }
    /// The conversion loop: folders as markers around their contents, the entries, then lists.
    virtual void saveFrom(IterBase& reader, bool noRewind, bool finishAtEnd);
    virtual bool fromIter(IterBase& reader, bool noRewind);
    virtual bool fromStart(IterBase& reader);
    virtual void setRevisionTime(std::int64_t /*time*/) {}

    bool wantsFolders = false;
    bool wantsLists = false;
    bool mergesExisting = false;
    /// The writer is handed undated entries (time 0) as they are, not dated now: a file that
    /// can leave the time out does not make one up.
    bool keepsUndated = false;
    /// The writer takes contacts through writeView() as well: the conversion loop hands it the
    /// source's own entries, copied only where masking or dating must change them.
    bool takesViews = false;
    /// Folder path (backslash form) under which a merge puts an existing destination's contents.
    std::string mergeFolder;

    /// What the last finish() reported: false after a failed file write.
    bool succeeded() const { return m_succeeded; }
    /// The run this writer reports to.
    RunContext& run() const { return *m_run; }

  protected:
    explicit ToBase(RunContext& run) : m_run(&run) {}
    ToBase(const ToBase&) = default;
    ToBase& operator=(const ToBase&) = default;
    RunContext* m_run;
    bool m_succeeded = true;

  private:
    /// Masks `e` and dates it unless this writer keeps undated entries: what a writer is handed.
    void prepareForWriter(Entry& e) const;
    /// Hands the reader's next entry to write(), masked and dated; false at the end of an
    /// in-line list.
    bool passEntry(IterBase& reader);
    /// Hands the reader's next entry to writeView() as it stands when masking and dating leave
    /// it as it is, else a masked, dated copy to write(); false at the end of an in-line list.
    bool passView(IterBase& reader, Entry& scratch);
};

/// Empties, where it stands, every field the entry's mask does not support: what
/// Entry::maskedFields() gives, without a copy of the entry.
void keepMaskedFields(Entry& e);
/// keepMaskedFields(), and an undated entry (time 0) dated now: what Entry::maskedCopy() gives.
void keepMaskedCopy(Entry& e);

/// A marker entry of `kind` carrying `name` in "Full Name".
Entry markerEntry(EntryKind kind, const std::string& name);

}  // namespace vesk
