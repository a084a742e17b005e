#include "operations/selection.h"

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
    ReaderChoice chosen;
    if (choice.format) {
        chosen.format = choice.format;
    } else {
        chosen = choice.registry.chooseReader(fileName, choice.app);
    }
    std::unique_ptr<IterBase> reader =
        chosen.format ? makeReader(run, *chosen.format, fileName, choice.app) : nullptr;
    if (!reader) {
        noReaderMessage(run, fileName, chosen);
        return -2;
    }
    NewAdbook& book = view.currentBook();
    book.fromStart(*reader);
    view.refresh();
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
    NewAdbook& book = view.currentBook();
    if (treeIsEmpty(book) || book.stopRequested) return outcome;
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(book.run(), fileName, format);
        return outcome;
    }
    outcome.status = writeBook(*writer, book, outcome) ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
}

SaveOutcome saveToFile(const std::string& fileName, BookView& view, const FormatChoice& choice,
                       const SaveOptions& options) {
    SaveOutcome outcome;
    outcome.fileName = fileName;
    NewAdbook& book = view.currentBook();
    // A book whose contacts all sit in folders is not empty.
    if (treeIsEmpty(book) || book.stopRequested) return outcome;

    RunContext& run = book.run();
    run.trace(0, "About to launch the dialog box (if necessary)", "Debug");
    if (outcome.fileName.empty() && options.askFileName) outcome.fileName = options.askFileName();
    if (outcome.fileName.empty()) {
        outcome.status = SaveStatus::Cancelled;
        return outcome;
    }
    run.trace(0, "Determining file type", "Debug");
    const FormatInfo* format = writerFormat(outcome.fileName, choice);
    std::unique_ptr<ToBase> writer =
        format ? makeWriter(run, *format, outcome.fileName, choice.app) : nullptr;
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(run, outcome.fileName, format);
        return outcome;
    }

    bool ok;
    if (!writer->mergesExisting || !options.allowMerge || !isFile(outcome.fileName)) {
        run.trace(0, "Saving", "Debug");
        ok = writeBook(*writer, book, outcome);
    } else {
        run.trace(0, "Performing Merge", "Debug");
        NewAdbook merged(run);
        std::unique_ptr<IterBase> existing = createReader(run, outcome.fileName, choice);
        merged.fromStart(book);
        Adbook* target = writer->mergeFolder.empty()
                             ? &merged
                             : merged.resolveFolderPath(writer->mergeFolder, true);
        if (!target) target = &merged;
        if (existing) {
            target->fromStart(*existing);
            outcome.mergedWithExisting = true;
        } else {
            // Nothing can read the old file: it is replaced, and the file writer keeps it as .bak.
            outcome.existingUnreadable = true;
        }
        run.trace(0, "Saving", "Debug");
        ok = writeBook(*writer, merged, outcome);
    }
    outcome.status = ok ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
}

}  // namespace vesk
