// Synchronising two books into a third by revision times: entries of B are matched with their
// counterparts in A, related pairs are combined field by field, and entries only A holds are
// kept when they are newer than book B.
#pragma once

#include <memory>
#include <vector>

#include "model/adbook.h"
#include "model/iter_base.h"

namespace vesk {

/// The writer side of a synchronisation: places entries and markers into the result book.
class Kynt : public ToBase {
  public:
    Kynt(NewAdbook& a, NewAdbook& b);

    /// Markers move the current book; other entries go to the current book's write.
    bool write(Entry e) override;
    /// Keeps the latest time seen: copying a whole folder must not lower it.
    void setRevisionTime(std::int64_t time) override { raiseRevision(time); }

    /// Runs the synchronisation of folder `a` with folder `b` into the current book.
    void syncLoop(NewAdbook& a, NewAdbook& b, bool noRewind, bool finishAtEnd);

    std::unique_ptr<NewAdbook> takeResult() { return std::move(m_result); }
    std::int64_t latestRevision() const { return m_revisionTime; }
    NewAdbook& newer() const { return *m_newer; }
    NewAdbook& older() const { return *m_older; }

  private:
    void raiseRevision(std::int64_t time);
    void writeLists(NewAdbook& a, NewAdbook& b);
    void writeList(DistList& list);

    NewAdbook* m_newer;
    NewAdbook* m_older;
    std::unique_ptr<NewAdbook> m_result;
    Adbook* m_current;
    std::int64_t m_revisionTime = 0;
};

/// The position of `n`'s counterpart in `a` (-1 when none); a related counterpart is combined
/// into `n`, a duplicate gives `n` the earlier revision time.
int findCounterpart(NewAdbook& a, Entry& n);

/// A new entry combining `x` (the book's) and `y` (the incoming) field by field.
Entry combineEntries(const Entry& x, const Entry& y);

/// Builds a new book from A and B; the caller owns it.
std::unique_ptr<NewAdbook> synchronize(NewAdbook& a, NewAdbook& b);

}  // namespace vesk
