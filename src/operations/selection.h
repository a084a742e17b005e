// The operations every front end runs a conversion through: loading a file into the current
// book, saving the current book to a file (merging with what the file already holds when the
// writer asks for it), converting between two named applications, and the file dialogs.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "model/iter_base.h"
#include "platform/prompt.h"

namespace vesk {

/// What the selection operations need of the main view: its current book and a refresh.
class BookView {
  public:
    virtual ~BookView() = default;
    virtual NewAdbook& currentBook() = 0;
    /// Redraws the tree and the list from the book; nothing without a window.
    virtual void refresh() {}
    /// Part 1 of the status bar ("%d Items").
    virtual void setStatus(const std::string& /*text*/) {}
};

/// A view without a window over a book of its own, for the command line and automation.
class PlainBookView : public BookView {
  public:
    NewAdbook& currentBook() override { return m_book; }
    void setStatus(const std::string& text) override { status = text; }
    std::string status;

  private:
    NewAdbook m_book;
};

/// Entries, folders and lists of a whole book tree.
struct TreeCounts {
    int entries = 0;
    int folders = 0;
    int lists = 0;
    int duplicatesRemoved = 0;
};
TreeCounts countTree(NewAdbook& book);

enum class SaveStatus {
    Saved,
    Empty,      ///< nothing in the book: nothing written
    Cancelled,  ///< no file name chosen
    NoWriter,   ///< no writer for that file
    Failed,     ///< the writer could not write the file
};

/// How one save went; the command line's summary and the window's messages read it.
struct SaveOutcome {
    SaveStatus status = SaveStatus::Empty;
    std::string fileName;
    int entriesWritten = 0;
    int foldersFlattened = 0;  ///< folders whose contacts went into a flat file
    bool mergedWithExisting = false;
    bool existingUnreadable = false;  ///< the old file had no reader: replaced, kept as .bak
};

/// Writes `book` with `writer`; a book with folders goes into a writer without folders
/// flattened, so no folder's contacts are left behind. True when the writer succeeded.
bool writeBook(ToBase& writer, NewAdbook& book, SaveOutcome& outcome);

/// Loads a file into the view's current book: 0; -1 for an empty name; -2 when no reader
/// is known for the file (the user is told).
int loadFile(const std::string& fileName, BookView& view, int formatNumber);

struct SaveOptions {
    /// False writes the file afresh even when the writer would merge with an existing one.
    bool allowMerge = true;
};

/// Saves the view's current book to `fileName` (asked for when empty).
SaveOutcome saveToFile(const std::string& fileName, int formatNumber, BookView& view,
                       const SaveOptions& options = {});

/// What the application dispatch needs besides the view: the files the wizard keeps and the
/// way to run another program (the process layer unless replaced).
struct DispatchContext {
    std::string operaFile;
    std::string simeonFile;
    /// False writes destination files afresh instead of merging with what they hold.
    bool allowMerge = true;
    /// Runs a program to its end; false when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> run;
};

struct DispatchOutcome {
    bool sourceKnown = false;      ///< the source application name was recognised
    int loadResult = 0;            ///< loadFile's result where the source loads a file
    bool sourceAvailable = true;   ///< false: its reader or program is not available
    bool destinationKnown = true;  ///< false only for the Netscape 4.x import not started
    SaveOutcome save;
};

/// Converts from a named application to a named application through the view's book.
DispatchOutcome dispatchApplications(const std::string& fromApp, const std::string& fromFile,
                                     const std::string& toApp, const std::string& toFile,
                                     BookView& view, const DispatchContext& context = {});

/// The file that external exports and imports exchange, in the program's folder.
std::string externalLdifPath();

const std::vector<FileFilter>& saveFilters();
const std::vector<FileFilter>& openFilters();

/// The save dialog; a typed name without extension gets the chosen filter's. "" when cancelled.
std::string askSaveFileName();
/// The open dialog; the file must open for reading ("File Not Found" otherwise). "" when none.
std::string askOpenFileName();

}  // namespace vesk
