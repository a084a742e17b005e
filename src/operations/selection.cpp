#include "operations/selection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

#include "discovery/applications.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/trace.h"
#include "registry/factory.h"

namespace vesk {

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

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
    static bool isMarker(std::int32_t kind) {
        return kind == KindFolderBegin || kind == KindFolderEnd || kind == KindListBegin ||
               kind == KindListEnd;
    }
    IterBase& m_inner;
    int& m_counter;
    std::vector<std::unique_ptr<CountingReader>> m_folders;
};

void noReaderMessage(const std::string& fileName) {
    prompt().message("No address book format is known for the file \"" + fileName + "\".", "Vesk",
                     Buttons::Ok, Icon::Warning);
}

void noWriterMessage(const std::string& fileName) {
    prompt().message(
        "Vesk cannot write address books of the type of \"" + fileName + "\": nothing was written.",
        "Vesk", Buttons::Ok, Icon::Warning);
}

bool treeIsEmpty(NewAdbook& book) {
    const TreeCounts c = countTree(book);
    return c.entries == 0 && c.lists == 0;
}

bool runWithProcessLayer(const std::vector<std::string>& argv) {
    // The other program runs as long as its user needs it; a month is "no time limit".
    return runProcess(argv, std::chrono::hours(24 * 30)).started;
}

std::string configuredOrStored(int number) {
    std::string path = configuredPath(number);
    if (path.empty()) {
        path = GetFormatPath(FormatName(number));
        setConfiguredPath(number, path);
    }
    return path;
}

/// Runs the Netscape 4.x program with "-export" or "-import" on the exchange file.
bool runNetscape(const DispatchContext& context, const char* option, const std::string& ldif) {
    const std::string program = configuredOrStored(2);
    if (program.empty()) {
        prompt().message("Netscape 4.x is not configured, so it cannot be run.", "Vesk",
                         Buttons::Ok, Icon::Warning);
        return false;
    }
    const std::vector<std::string> argv = {program, option, ldif};
    const auto& run = context.run ? context.run : runWithProcessLayer;
    return run(argv);
}

SaveOutcome saveWithWriter(std::unique_ptr<ToBase> writer, const std::string& fileName,
                           BookView& view) {
    SaveOutcome outcome;
    outcome.fileName = fileName;
    NewAdbook& book = view.currentBook();
    if (treeIsEmpty(book) || book.stopRequested) return outcome;
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(fileName);
        return outcome;
    }
    outcome.status = writeBook(*writer, book, outcome) ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
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

int loadFile(const std::string& fileName, BookView& view, int formatNumber) {
    if (fileName.empty()) return -1;
    std::unique_ptr<IterBase> reader = createReader(fileName, formatNumber);
    if (!reader) {
        noReaderMessage(fileName);
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

SaveOutcome saveToFile(const std::string& fileName, int formatNumber, BookView& view,
                       const SaveOptions& options) {
    SaveOutcome outcome;
    outcome.fileName = fileName;
    NewAdbook& book = view.currentBook();
    // A book whose contacts all sit in folders is not empty.
    if (treeIsEmpty(book) || book.stopRequested) return outcome;

    debugTrace(0, "About to launch the dialog box (if necessary)", "Debug");
    if (outcome.fileName.empty()) outcome.fileName = askSaveFileName();
    if (outcome.fileName.empty()) {
        outcome.status = SaveStatus::Cancelled;
        return outcome;
    }
    debugTrace(0, "Determining file type", "Debug");
    std::unique_ptr<ToBase> writer = createWriter(outcome.fileName, formatNumber);
    if (!writer) {
        outcome.status = SaveStatus::NoWriter;
        noWriterMessage(outcome.fileName);
        return outcome;
    }

    bool ok;
    if (!writer->mergesExisting || !options.allowMerge || !fileExists(outcome.fileName)) {
        debugTrace(0, "Saving", "Debug");
        ok = writeBook(*writer, book, outcome);
    } else {
        debugTrace(0, "Performing Merge", "Debug");
        NewAdbook merged;
        std::unique_ptr<IterBase> existing = createReader(outcome.fileName, formatNumber);
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
        debugTrace(0, "Saving", "Debug");
        ok = writeBook(*writer, merged, outcome);
    }
    outcome.status = ok ? SaveStatus::Saved : SaveStatus::Failed;
    return outcome;
}

std::string externalLdifPath() {
    return programDirectory() + "vesk.ldif";
}

DispatchOutcome dispatchApplications(const std::string& fromApp, const std::string& fromFile,
                                     const std::string& toApp, const std::string& toFile,
                                     BookView& view, const DispatchContext& context) {
    DispatchOutcome out;
    out.sourceKnown = true;
    const SaveOptions options{context.allowMerge};
    auto importStore = [&](int number) {
        std::unique_ptr<IterBase> reader = createReaderOf(number, fromFile);
        if (!reader) {
            out.sourceAvailable = false;
            prompt().message(FormatName(number) + " cannot be read by this build of Vesk.", "Vesk",
                             Buttons::Ok, Icon::Warning);
            return;
        }
        view.currentBook().fromStart(*reader);
        view.refresh();
    };
    auto load = [&](const std::string& file, int number) {
        out.loadResult = loadFile(file, view, number);
        if (out.loadResult != 0) out.sourceAvailable = false;
    };
    // The wizard keeps the Opera and Simeon files; without it the file given is the one meant.
    auto keptOr = [&](const std::string& kept) { return kept.empty() ? fromFile : kept; };

    if (fromApp == "Outlook Express" || fromApp == "oe") {
        importStore(13);
    } else if (fromApp == "Pine Address Book" || fromApp == "pin") {
        importStore(11);
    } else if (fromApp == "MS Outlook" || fromApp == "ol") {
        importStore(18);
    } else if (fromApp == "Netscape 3.x" || fromApp == "ns3") {
        load(joinPath(configuredOrStored(1), "address.htm"), -1);
    } else if (fromApp == "Netscape 4.x" || fromApp == "ns4") {
        // A file left by an earlier run must never pass for this export.
        const std::string ldif = externalLdifPath();
        std::remove(ldif.c_str());
        if (runNetscape(context, "-export", ldif) && fileExists(ldif)) {
            load(ldif, -1);
        } else {
            out.sourceAvailable = false;
        }
        std::remove(ldif.c_str());
    } else if (fromApp == "Eudora" || fromApp == "eud") {
        load(fromFile, 8);
    } else if (fromApp == "Forte Agent" || fromApp == "agt") {
        load(fromFile, 21);
    } else if (fromApp == "Other") {
        load(fromFile, -1);
    } else if (fromApp == "Opera" || fromApp == "op") {
        load(keptOr(context.operaFile), -1);
    } else if (fromApp == "Simeon/Execmail exported file" || fromApp == "sim") {
        load(keptOr(context.simeonFile), -1);
    } else {
        out.sourceKnown = false;
    }

    if (toApp == "Netscape 4.x" || toApp == "ns4") {
        const std::string ldif = externalLdifPath();
        std::remove(ldif.c_str());
        out.save = saveToFile(ldif, -1, view, SaveOptions{false});
        if (out.save.status == SaveStatus::Saved) {
            const std::string program = configuredOrStored(2);
            prompt().message(program + " -import " + ldif, "", Buttons::Ok, Icon::None);
            if (runNetscape(context, "-import", ldif)) {
                std::remove(ldif.c_str());
            } else {
                out.destinationKnown = false;
                out.save.status = SaveStatus::Failed;
            }
        }
    } else if (toApp == "Netscape 3.x" || toApp == "ns3") {
        out.save = saveToFile(joinPath(configuredOrStored(1), "address.htm"), -1, view, options);
    } else if (toApp == "MS Outlook" || toApp == "ol") {
        out.save = saveWithWriter(createWriterOf(18, toFile), FormatName(18), view);
    } else if (toApp == "Eudora" || toApp == "eud") {
        out.save = saveToFile(toFile, 8, view, options);
    } else if (toApp == "Forte Agent" || toApp == "agt") {
        out.save = saveToFile(toFile, 21, view, options);
    } else if (toApp == "Outlook Express" || toApp == "oe") {
        out.save = saveWithWriter(createWriterOf(13, toFile), toFile, view);
    } else if (toApp == "Opera" || toApp == "op") {
        out.save = saveWithWriter(createWriterOf(19, toFile), toFile, view);
    } else {
        out.save = saveToFile(toFile, -1, view, options);
    }
    return out;
}

const std::vector<FileFilter>& saveFilters() {
    static const std::vector<FileFilter> filters = {
        {"Text files (*.txt)", "*.txt"},
        {"Netscape 3 files (*.htm)", "*.htm;*.html"},
        {"LDAP files (*.ldif)", "*.ldif"},
        {"Pegasus Mail files (*.pml, *.pmr)", "*.pml;*.pmr"},
        {"Comma Separated Values (*.csv)", "*.csv"},
        {"Netscape 6/7 files (*.mab)", "*.mab"},
        {"Juno files (*.nv)", "*.nv"},
        {"Becky! Address Book (*.bab)", "*.bab"},
        {"Pine Address Books", "*.addressbook"},
        {"All files (*.*)", "*.*"},
    };
    return filters;
}

const std::vector<FileFilter>& openFilters() {
    static const std::vector<FileFilter> filters = {
        {"Text files (*.txt)", "*.txt"},
        {"Netscape 3 files (*.htm)", "*.htm;*.html"},
        {"LDAP files (*.ldif)", "*.ldif"},
        {"Pegasus Mail files (*.pml, *.pmr)", "*.pml;*.pmr"},
        {"Comma separated value files (*.csv)", "*.csv"},
        {"WordPerfect 8 files (*.abx)", "*.abx"},
        {"Juno files (*.nv)", "*.nv"},
        {"Mozilla/Netscape 6 files (*.mab)", "*.mab"},
        {"Pine Address Books", "*.addressbook"},
        {"Becky! Address Books (*.bab)", "*.bab"},
        {"vCard Files (*.vcf)", "*.vcf"},
        {"XML Files (Agent)", "*.xml"},
        {"Windows Contacts Files (*.contact)", "*.contact"},
        {"All files (*.*)", "*.*"},
    };
    return filters;
}

namespace {

void dialogError(unsigned error) {
    prompt().message("An Error occured in this Dialog Box.", "Vesk", Buttons::Ok, Icon::None);
    char text[32];
    std::snprintf(text, sizeof text, "\nError 0x%x", error);
    diagnostic(text);
}

}  // namespace

std::string askSaveFileName() {
    const FileDialogResult r = prompt().saveFileName(saveFilters(), 3);
    if (r.error != 0) {
        dialogError(r.error);
        return {};
    }
    if (!r.ok || r.fileName.empty()) return {};
    std::string name = r.fileName;
    const auto& filters = saveFilters();
    if (fileExtension(name).empty() && r.filterIndex >= 1 &&
        r.filterIndex <= static_cast<int>(filters.size())) {
        std::string pattern = filters[static_cast<std::size_t>(r.filterIndex - 1)].pattern;
        pattern = pattern.substr(0, pattern.find(';'));
        // "*.*" names no extension: the typed name stays as it is.
        if (pattern.starts_with("*.") && pattern != "*.*") name += pattern.substr(1);
    }
    return name;
}

std::string askOpenFileName() {
    const FileDialogResult r = prompt().openFileName(openFilters(), 1);
    if (r.error != 0) {
        dialogError(r.error);
        return {};
    }
    if (!r.ok || r.fileName.empty()) return {};
    std::ifstream test(r.fileName, std::ios::binary);
    if (!test) {
        prompt().message("File Not Found", r.fileName, Buttons::Ok, Icon::None);
        return {};
    }
    return r.fileName;
}

}  // namespace vesk
