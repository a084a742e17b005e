// Opera's contact hotlist (Contacts.adr), kept by the Opera browser's mail client: "#CONTACT"
// and "#FOLDER" items of tab-indented KEY=value lines, each ended by an empty line; a folder's
// contents follow its item and end at a line holding only "-". Opera keeps a line break inside
// a value as two U+0002 characters. Keys such as "SHORT NAME" and "PICTURE URL" end in other
// keys' names, so a key counts only at the start of its line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "model/to_file.h"

namespace vesk::opera {

/// One item of a hotlist text as the scanner finds it.
struct Item {
    enum class Kind { None, Contact, Folder, FolderEnd };
    Kind kind = Kind::None;
    std::size_t begin = 0;      ///< its first line ("#CONTACT", "#FOLDER" or "-")
    std::size_t bodyBegin = 0;  ///< the line after the first
    std::size_t bodyEnd = 0;    ///< where its key lines end
    std::size_t next = 0;       ///< where the next item may begin
};

/// The first item at or after `pos` and before `end`; kind None when there is none. Lines end
/// in LF or CR LF; an item's key lines end at an empty line, at the next item's first line or
/// at `end`.
Item nextItem(std::string_view text, std::size_t pos, std::size_t end);

/// Where the contents of the folder whose contents start at `start` end: at its closing "-"
/// line, or at the end of the text when it has none.
std::size_t contentsEnd(std::string_view text, std::size_t start);

/// The value of `key` ("NAME") in an item's key lines, line breaks restored; empty when absent.
std::string itemValue(std::string_view text, const Item& item, std::string_view key);

}  // namespace vesk::opera

namespace vesk::iterators {

/// Reads a hotlist's contacts, with its folders as in-line markers (a folder's begin marker
/// carries where its contents start, in "E-Mail Address"). A folder path limits the reading to
/// one folder's contents: "Contacts" or "" the whole hotlist, a plain name the first folder of
/// that name anywhere, a backslash path ("Contacts\Friends\Work\") the folder at that place.
class IterOpera final : public IterBase {
  public:
    IterOpera(RunContext& run, const std::string& fileName,
              const std::string& folderPath = "Contacts");

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;

  private:
    void selectFolder(const std::string& path);
    void selectFolderNamed(const std::string& name);
    void selectFolderAt(const std::string& path);
    /// Keeps the contents of the folder whose contents start at `start`.
    void keepContentsFrom(std::size_t start);
    Entry contactOf(const opera::Item& item) const;
    /// Finds the next item to report from the position on, once per item.
    void lookAhead();

    RunContext& m_run;
    std::string m_text;
    std::size_t m_begin = 0;  ///< the part that is read: [m_begin, m_end)
    std::size_t m_end = 0;
    std::size_t m_pos = 0;
    int m_depth = 0;   ///< folders entered and not yet left
    int m_hidden = 0;  ///< folders entered beyond the deepest one reported
    bool m_lookedAhead = false;
    bool m_toldDepth = false;
    opera::Item m_item;  ///< what lookAhead found
    FieldMask m_mask;
};

}  // namespace vesk::iterators

namespace vesk {

/// Writes contacts and folders as hotlist items: as a file of its own (an existing one is
/// merged by the saving step and replaced), or into Opera's own hotlist, which keeps every item
/// as it is and takes the new ones in the folder chosen.
class ToOpera final : public ToFile {
  public:
    /// Where the new items go in Opera's hotlist: a folder path as the reader takes it
    /// ("Contacts" for the end of the hotlist); a folder not there is made at the end of its
    /// parent.
    struct IntoHotlist {
        std::string folderPath = "Contacts";
    };

    /// A hotlist file of its own.
    ToOpera(RunContext& run, std::string fileName);
    /// Opera's own hotlist, whose items stay as they are.
    ToOpera(RunContext& run, std::string fileName, IntoHotlist into);

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// Writes the new hotlist, or inserts what was written into Opera's; false (after a message)
    /// when Opera's hotlist exists and cannot be read, or the file cannot be written.
    bool finish() override;

  protected:
    void end() override;

  private:
    /// The hotlist item of a contact, into m_item.
    void contactItem(const Entry& e);
    /// `hotlist` with what was written put in its place.
    std::string insertInto(std::string_view hotlist) const;

    std::string m_item;   ///< the item being written
    std::string m_items;  ///< what goes into Opera's own hotlist at finish()
    bool m_intoHotlist = false;
    std::string m_folderPath;
};

const FormatInfo& operaFormat();

}  // namespace vesk
