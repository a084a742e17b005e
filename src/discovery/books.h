// The address books inside a detected program: the profiles of the Mozilla family (from the
// analyzer's output or Thunderbird's profiles.ini) and the book files in a program's folder,
// each with the name the wizard shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/run_context.h"

namespace vesk {

/// One address book the user can pick. For a profile, `number` is 0, `application` the
/// profile folder (ending in "/"), `file` its abook.mab and `displayName` the profile's name.
struct BookEntry {
    std::int32_t number = 0;
    std::string application;
    std::string file;
    std::string displayName;

    bool empty() const { return application.empty() && file.empty() && displayName.empty(); }
    bool operator==(const BookEntry&) const = default;
};

/// A source of address books, read as start, then next until at end.
class IterBookName {
  public:
    virtual ~IterBookName() = default;
    /// False when the source cannot be used.
    virtual bool start() = 0;
    /// The next entry; an empty one, with the end flag set, when there is none.
    virtual BookEntry next() = 0;
    virtual bool atEnd() const = 0;
};

/// The profiles in the analyzer's output.
class IterPipe : public IterBookName {
  public:
    IterPipe(RunContext& run, std::string text) : m_run(run), m_text(std::move(text)) {}
    bool start() override;
    BookEntry next() override;
    bool atEnd() const override { return m_end; }

  private:
    BookEntry fail();
    RunContext& m_run;
    std::string m_text;
    std::size_t m_pos = 0;
    bool m_end = false;
};

/// The profiles of a Thunderbird listing (folder, line feed, profiles.ini text).
class IterTBini : public IterBookName {
  public:
    IterTBini(RunContext& run, const std::string& listing);
    bool start() override;
    BookEntry next() override;
    bool atEnd() const override { return m_end; }

  private:
    BookEntry fail();
    RunContext& m_run;
    std::string m_base;
    std::string m_text;
    std::size_t m_pos = 0;
    bool m_end = false;
};

/// Every entry of an iterator, after a successful start.
std::vector<BookEntry> readAll(IterBookName& books);

/// The books of format 3, 4, 8, 9 (in `folder`, the program's configured folder) or 10 and 23
/// (in the profile `folder`: its Mork books, then its SQLite address books), sorted by file name.
std::vector<BookEntry> ListAddressBooks(int number, const std::string& folder);
/// One book with its display name.
BookEntry MakeBookEntry(int number, const std::string& filePath);

/// The books the wizard offers for an application: its profiles' books for Netscape 6.x/7.x,
/// Mozilla and Thunderbird, the files in its folder for the others.
std::vector<BookEntry> booksOfApplication(RunContext& run, int number,
                                          const std::string& configured);

/// The folders of Opera's hotlist that the wizard's tree offers, each as the backslash path
/// the Opera reader and writer take ("Contacts\\Friends\\Work\\"), in the hotlist's order.
std::vector<std::string> operaFolderPaths(RunContext& run, const std::string& hotlist);

/// An application detection found, with the books the wizard would offer for it.
struct InstalledApplication {
    int number = 0;
    std::string name;
    std::string path;  ///< its configured path or marker
    std::vector<BookEntry> books;
};

/// Every application with a configured path (detecting first when nothing is stored yet),
/// and Pine when its address book is found, by format number.
std::vector<InstalledApplication> installedApplications(RunContext& run);

}  // namespace vesk
