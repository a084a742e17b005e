#include "operations/selection.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_io.h"

namespace vesk {

namespace {

void collectBooks(NewAdbook& book, std::vector<NewAdbook*>& out) {
    out.push_back(&book);
    for (int i = 0; i < book.folderCount(); ++i) {
        if (NewAdbook* f = book.folder(i)) collectBooks(*f, out);
    }
}

/// Hands the writer the contacts of a book and of all its folders as one flat run, and the
/// lists of all of them, for a format that holds no folders.
class FlatteningReader : public IterBase {
  public:
    explicit FlatteningReader(NewAdbook& book) : m_book(book) { collectBooks(book, m_books); }

    bool rewind() override {
        m_bookPos = 0;
        m_listBook = 0;
        m_listPos = 0;
        for (NewAdbook* b : m_books) b->rewind();
        skipEmpty();
        return true;
    }
    Entry nextEntry() override {
        Entry e = m_books[m_bookPos]->nextEntry();
        skipEmpty();
        return e;
    }
    const Entry& nextEntryView(Entry& scratch) override {
        const Entry& e = m_books[m_bookPos]->nextEntryView(scratch);
        skipEmpty();
        return e;
    }
    bool atEnd() override { return m_bookPos >= m_books.size(); }
    IterBase* nextList() override {
        while (m_listBook < m_books.size()) {
            NewAdbook* b = m_books[m_listBook];
            if (m_listPos < b->listCount()) return b->listAt(m_listPos++);
            ++m_listBook;
            m_listPos = 0;
        }
        return nullptr;
    }
    bool listsDone() override {
        while (m_listBook < m_books.size() && m_listPos >= m_books[m_listBook]->listCount()) {
            ++m_listBook;
            m_listPos = 0;
        }
        return m_listBook >= m_books.size();
    }
    std::int64_t revisionTime() override { return m_book.revisionTime(); }
    std::string name() override { return m_book.name(); }

  private:
    void skipEmpty() {
        while (m_bookPos < m_books.size() && m_books[m_bookPos]->atEnd()) ++m_bookPos;
    }

    NewAdbook& m_book;
    std::vector<NewAdbook*> m_books;
    std::size_t m_bookPos = 0;
    std::size_t m_listBook = 0;
    int m_listPos = 0;
};

/// Passes a reader through unchanged and counts the contacts the writer takes from it and
/// from its folders.
class CountingReader : public IterBase {
  public:
    CountingReader(IterBase& inner, int& counter) : m_inner(inner), m_counter(counter) {
        hasFolders = inner.hasFolders;
    }
    bool rewind() override { return m_inner.rewind(); }
    Entry nextEntry() override {
        Entry e = m_inner.nextEntry();
        if (!isMarker(e.kind)) ++m_counter;
        return e;
    }
    const Entry& nextEntryView(Entry& scratch) override {
        const Entry& e = m_inner.nextEntryView(scratch);
        if (!isMarker(e.kind)) ++m_counter;
        return e;
    }
    IterBase* nextFolder() override {
        IterBase* f = m_inner.nextFolder();
        if (!f) return nullptr;
        m_folders.push_back(std::make_unique<CountingReader>(*f, m_counter));
        return m_folders.back().get();
    }
    IterBase* nextList() override { return m_inner.nextList(); }
    bool atEnd() override {
        if (stopRequested) m_inner.stopRequested = true;
        return m_inner.atEnd();
    }
    bool foldersDone() override { return m_inner.foldersDone(); }
    bool listsDone() override { return m_inner.listsDone(); }
    std::int64_t revisionTime() override { return m_inner.revisionTime(); }
    std::string name() override { return m_inner.name(); }
    float progress() override { return m_inner.progress(); }

  private:
    static bool isMarker(EntryKind kind) {
        return kind == KindFolderBegin || kind == KindFolderEnd || kind == KindListBegin ||
               kind == KindListEnd;
    }
    IterBase& m_inner;
    int& m_counter;
    std::vector<std::unique_ptr<CountingReader>> m_folders;
};

void noReaderMessage(RunContext& run, const std::string& fileName, const ReaderChoice& choice) {
    std::string text;
    if (choice.format) {
        text = "Vesk cannot read " + std::string(choice.format->displayName) + " files yet, so \"" +
               fileName + "\" was not read.";
    } else if (!choice.looksLike.empty()) {
        text = "\"" + fileName + "\" is not an address book Vesk can read: it looks like " +
               choice.looksLike + ".";
    } else {
        text = "No address book format is known for the file \"" + fileName + "\".";
    }
    run.report(Severity::Error, text, "Vesk", Where{fileName});
}

void noWriterMessage(RunContext& run, const std::string& fileName, const FormatInfo* format) {
    if (format) {
        run.report(Severity::Error,
                   "Vesk cannot write " + std::string(format->displayName) +
                       " files yet: nothing was written to \"" + fileName + "\".",
                   "Vesk", Where{fileName});
        return;
    }
    run.report(
        Severity::Error,
        "Vesk cannot write address books of the type of \"" + fileName + "\": nothing was written.",
        "Vesk", Where{fileName});
}

bool treeIsEmpty(NewAdbook& book) {
    const TreeCounts c = countTree(book);
    return c.entries == 0 && c.lists == 0;
}

std::string extensionOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return fileName.substr(dot);
}

std::string tooLargeText(const std::string& fileName, std::uint64_t limit) {
    return "\"" + fileName + "\" is larger than " + sizeText(limit) + ", the most Vesk reads";
}

/// The file a reader may look at for `fileName`: the file itself when it is a regular file
/// within the size bound; a bounded copy of what a pipe or a device gives, since a reader
/// and the content check both read it from the start. "" (after a message) when neither.
std::string readableCopy(RunContext& run, const std::string& fileName, TemporaryFile& copy) {
    const FileKind kind = fileKind(fileName);
    if (kind == FileKind::Regular && fileSize(fileName) > run.maxSourceBytes) {
        run.report(Severity::Error,
                   tooLargeText(fileName, run.maxSourceBytes) + ": it was not read.", "Vesk",
                   Where{fileName});
        return {};
    }
    if (kind != FileKind::Other) return fileName;
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const std::string reason = systemReason(errno);
        run.report(Severity::Error, "\"" + fileName + "\" could not be read: " + reason, "Vesk",
                   Where{fileName, 0, -1, {}, reason});
        return {};
    }
    const SpoolResult spooled = spoolToFile(fd, run.maxSourceBytes, copy, extensionOf(fileName));
    ::close(fd);
    if (spooled.ok) return copy.path();
    if (!interruptRequested()) {
        run.report(Severity::Error,
                   spooled.tooLarge
                       ? "\"" + fileName + "\" gives " + spooled.error + ": it was not read."
                       : "\"" + fileName + "\" could not be read: " + spooled.error,
                   "Vesk", Where{fileName, 0, -1, {}, spooled.tooLarge ? "" : spooled.error});
    }
    return {};
}

/// Whether the book may be saved to `fileName`: a message and false for a folder, a device
/// or a pipe (a merge would read a pipe for ever, and a device must not become a file).
bool destinationAllowed(RunContext& run, const std::string& fileName) {
    const std::string problem = destinationProblem(fileName);
    if (problem.empty()) return true;
    run.report(Severity::Error,
               "\"" + fileName + "\" cannot be written: " + problem + ". Nothing was written.",
               "Vesk", Where{fileName, 0, -1, {}, problem});
    return false;
}

/// Whether the existing `fileName` is small enough to be read for a merge (a message if not).
bool mergeAllowed(RunContext& run, const std::string& fileName) {
    if (fileSize(fileName) > run.maxSourceBytes) {
        run.report(Severity::Error,
                   tooLargeText(fileName, run.maxSourceBytes) +
                       ", so it cannot be merged with. Nothing was written.",
                   "Vesk", Where{fileName});
        return false;
    }
    return true;
}

}  // namespace

TreeCounts countTree(NewAdbook& book) {
    TreeCounts c;
    std::vector<NewAdbook*> books;
    collectBooks(book, books);
    for (NewAdbook* b : books) {
        c.entries += b->entryCount();
        c.lists += b->listCount();
        c.duplicatesRemoved += b->duplicatesRemoved();
        c.membersAdded += b->membersAdded();
    }
    c.folders = static_cast<int>(books.size()) - 1;
    return c;
}

bool writeBook(ToBase& writer, NewAdbook& book, SaveOutcome& outcome) {
    const int folders = countTree(book).folders;
    if (!writer.wantsFolders && folders > 0) {
        FlatteningReader flat(book);
        CountingReader counted(flat, outcome.entriesWritten);
        outcome.foldersFlattened = folders;
        return writer.fromStart(counted);
    }
    CountingReader counted(book, outcome.entriesWritten);
    return writer.fromStart(counted);
}

int loadFile(const std::string& fileName, BookView& view, const FormatChoice& choice) {
    if (fileName.empty()) return -1;
    RunContext& run = view.currentBook().run();
    run.trace(0, "Detecting file type by extension.", "Debug");
    TemporaryFile copy;
    const std::string path = readableCopy(run, fileName, copy);
    if (path.empty()) return -3;
    ReaderChoice chosen;
    if (choice.format) {
        chosen.format = choice.format;
    } else {
        chosen = choice.registry.chooseReader(path, choice.app);
    }
    if (!chosen.format) {
        noReaderMessage(run, fileName, chosen);
        return -2;
    }
    std::unique_ptr<IterBase> reader = makeReader(run, *chosen.format, path, choice.app);
    if (!reader) {
        noReaderMessage(run, fileName, chosen);
        return -2;
    }
    NewAdbook& book = view.currentBook();
    book.fromStart(*reader);
    view.refresh();
    if (reader->sourceFailed()) return -4;
    char status[32];
    std::snprintf(status, sizeof status, "%d Items", book.entryCount());
    view.setStatus(status);
    return 0;
}

std::unique_ptr<IterBase> createReader(RunContext& run, const std::string& fileName,
                                       const FormatChoice& choice) {
    const FormatInfo* format =
        choice.format ? choice.format : choice.registry.chooseReader(fileName, choice.app).format;
    return format ? makeReader(run, *format, fileName, choice.app) : nullptr;
}

const FormatInfo* writerFormat(const std::string& fileName, const FormatChoice& choice) {
    return choice.format ? choice.format : choice.registry.writerFormatFor(fileName, choice.app);
}

SaveOutcome saveWithWriter(std::unique_ptr<ToBase> writer, const std::string& fileName,
                           BookView& view, const FormatInfo* format) {
    SaveOutcome outcome;
    outcome.fileName = fileName;
    outcome.format = format;
    NewAdbook& book = view.currentBook();
    if (treeIsEmpty(book) || book.stopRequested || interruptRequested()) return outcome;
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(book.run(), fileName, format);
        return outcome;
    }
    outcome.status = writeBook(*writer, book, outcome) ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
}

namespace {

/// Reads the existing file into `target` (a folder of `root` or `root` itself) for a merge,
/// noting in `outcome` how that went.
void readExisting(RunContext& run, const std::string& fileName, const FormatChoice& choice,
                  NewAdbook& root, Adbook& target, SaveOutcome& outcome) {
    std::unique_ptr<IterBase> existing = createReader(run, fileName, choice);
    if (!existing) {
        // Nothing can read the old file: it is replaced, and the file writer keeps it as .bak.
        outcome.existingUnreadable = true;
        return;
    }
    const int errorsBefore = run.diagnostics().count(Severity::Error);
    const int listsBefore = countTree(root).lists;
    CountingReader counted(*existing, outcome.existingEntries);
    target.fromStart(counted);
    outcome.existingProblems = run.diagnostics().count(Severity::Error) > errorsBefore;
    // A file with bytes in it that gives nothing was not understood: it is replaced, not merged.
    const bool foundNothing = outcome.existingEntries == 0 &&
                              countTree(root).lists == listsBefore && fileSize(fileName) > 0;
    outcome.existingUnreadable = foundNothing;
    outcome.mergedWithExisting = !foundNothing;
}

}  // namespace

SaveOutcome saveToFile(const std::string& fileName, BookView& view, const FormatChoice& choice,
                       const SaveOptions& options) {
    SaveOutcome outcome;
    outcome.fileName = fileName;
    NewAdbook& book = view.currentBook();
    // A book whose contacts all sit in folders is not empty.
    if (treeIsEmpty(book) || book.stopRequested || interruptRequested()) return outcome;

    RunContext& run = book.run();
    run.trace(0, "About to launch the dialog box (if necessary)", "Debug");
    if (outcome.fileName.empty() && options.askFileName) outcome.fileName = options.askFileName();
    if (outcome.fileName.empty()) {
        outcome.status = SaveStatus::Cancelled;
        return outcome;
    }
    if (!destinationAllowed(run, outcome.fileName)) {
        outcome.status = SaveStatus::Failed;
        return outcome;
    }
    run.trace(0, "Determining file type", "Debug");
    const FormatInfo* format = writerFormat(outcome.fileName, choice);
    outcome.format = format;
    std::unique_ptr<ToBase> writer =
        format ? makeWriter(run, *format, outcome.fileName, choice.app) : nullptr;
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(run, outcome.fileName, format);
        return outcome;
    }
    outcome.existed = fileKind(outcome.fileName) == FileKind::Regular;
    const bool merge = writer->mergesExisting && options.allowMerge && outcome.existed;
    if (merge && !mergeAllowed(run, outcome.fileName)) {
        outcome.status = SaveStatus::Failed;
        return outcome;
    }

    bool ok;
    if (!merge) {
        run.trace(0, "Saving", "Debug");
        ok = writeBook(*writer, book, outcome);
    } else {
        run.trace(0, "Performing Merge", "Debug");
        NewAdbook merged(run);
        merged.fromStart(book);
        Adbook* target = writer->mergeFolder.empty()
                             ? &merged
                             : merged.resolveFolderPath(writer->mergeFolder, true);
        if (!target) target = &merged;
        readExisting(run, outcome.fileName, choice, merged, *target, outcome);
        run.trace(0, "Saving", "Debug");
        // The merged book exists only for this write: its entries go to the writer as they are.
        merged.handOutEntries();
        ok = writeBook(*writer, merged, outcome);
    }
    if (ok && outcome.existed && fileKind(outcome.fileName + ".bak") == FileKind::Regular) {
        outcome.backupFile = outcome.fileName + ".bak";
    }
    outcome.status = ok ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
}

}  // namespace vesk
