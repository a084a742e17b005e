// Loading a file into the current book and saving the current book to a file (merging with
// what the file already holds when the writer asks for it), as every front end does them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "model/iter_base.h"
#include "registry/registry.h"

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
    explicit PlainBookView(RunContext& run) : m_book(run) {}
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
    int membersAdded = 0;  ///< list members that matched no contact and became contacts
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
    bool existed = false;      ///< the file was there before: it was merged with or replaced
    bool mergedWithExisting = false;
    /// The old file had no reader, or its reader found nothing in it: it was replaced.
    bool existingUnreadable = false;
    bool existingProblems = false;       ///< reading the old file reported problems
    int existingEntries = 0;             ///< contacts read from the old file for the merge
    std::string backupFile;              ///< where the previous version is kept; "" when nowhere
    const FormatInfo* format = nullptr;  ///< the destination's format, once one was chosen
};

/// Writes `book` with `writer`; a book with folders goes into a writer without folders
/// flattened, so no folder's contacts are left behind. True when the writer succeeded.
bool writeBook(ToBase& writer, NewAdbook& book, SaveOutcome& outcome);

/// Which format a load or save uses: a format named outright, else the one the application
/// or the file (its extension, then its content) selects in the registry.
struct FormatChoice {
    const Registry& registry = Registry::builtIn();
    Application app = Application::None;
    const FormatInfo* format = nullptr;
};

/// A reader for the file as `choice` selects it, or nullptr (nothing is reported).
std::unique_ptr<IterBase> createReader(RunContext& run, const std::string& fileName,
                                       const FormatChoice& choice);
/// The format that writes the file as `choice` selects it (built or not), or nullptr.
const FormatInfo* writerFormat(const std::string& fileName, const FormatChoice& choice);

/// Loads a file into the view's current book: 0; -1 for an empty name; -2 when no reader
/// is known or built for the file (the user is told which, and what the file looked like);
/// -3 when it is larger than the run's bound or a pipe or device could not be read (told too);
/// -4 when its reader could not open it (told by the reader).
/// What a pipe or a device gives is read up to that bound.
int loadFile(const std::string& fileName, BookView& view, const FormatChoice& choice = {});

struct SaveOptions {
    /// False writes the file afresh even when the writer would merge with an existing one.
    bool allowMerge = true;
    /// Asks for a file name when none is given (the window's save dialog); none: cancelled.
    std::function<std::string()> askFileName = {};
};

/// Saves the view's current book to `fileName` (asked for when empty).
SaveOutcome saveToFile(const std::string& fileName, BookView& view, const FormatChoice& choice = {},
                       const SaveOptions& options = {});

/// Writes the view's book with `writer` (a store's, chosen by the caller); `format` names the
/// format in the message when there is no writer.
SaveOutcome saveWithWriter(std::unique_ptr<ToBase> writer, const std::string& fileName,
                           BookView& view, const FormatInfo* format);

}  // namespace vesk
