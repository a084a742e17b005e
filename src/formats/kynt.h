// The native archive (.kynt): a whole book in one file. An XML-like wrapper holds a header
// card (the file's revision time and mask), then the book as the conversion loop delivers it:
// <folder name="..."> elements around their contents, vCard 2.1 cards for contacts, and
// <list name="..."> elements whose members are full cards. Names are XML-escaped; files
// written before that escaping existed still read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/format_info.h"
#include "parsing/vcard_cards.h"

namespace vesk {

namespace iterators {

/// Reads a native archive; folders and lists come in line as marker entries.
class IterKYNT : public IterVCF {
  public:
    IterKYNT(RunContext& run, const std::string& fileName);

    bool rewind() override;
    Entry nextEntry() override;
    /// The time the archive was written (its header card), 0 when it holds none.
    std::int64_t revisionTime() override { return m_revisionTime; }

    /// Deepest folder nesting read as folders; deeper elements only keep their contents.
    static constexpr std::size_t kMaxFolderDepth = 64;

  protected:
    std::size_t findNextItem(std::size_t from) const override;
    bool endsCard(std::string_view line) const override;

  private:
    enum class Element { Folder, List, IgnoredFolder, IgnoredList };
    enum class Tag { None, FolderOpen, FolderClose, ListOpen, ListClose };

    Tag tagAt(std::size_t lineStart) const;
    Entry openElement(bool folder);
    /// The end marker of the innermost open element; `advance` is false when that element
    /// is not the one the tag closes (the tag is looked at again).
    Entry closeElement(bool folder, bool& advance);

    std::int64_t m_revisionTime = 0;
    std::vector<Element> m_open;  ///< elements open at the current position
    std::size_t m_openFolders = 0;
    std::size_t m_openLists = 0;
    std::size_t m_realFolders = 0;
};

}  // namespace iterators

/// Writes a native archive.
class ToKYNT : public ToVCF {
  public:
    /// The header card carries `revisionTime` and `mask`.
    ToKYNT(RunContext& run, std::string fileName, std::int64_t revisionTime, const FieldMask& mask);
    /// Header with the current time and every field supported.
    ToKYNT(RunContext& run, std::string fileName);

    /// Folder and list markers become elements, contacts cards.
    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    /// The closing tag.
    void end() override;
};

namespace kynt {

/// `name` with &, ", < and > (and line breaks) as XML entities.
std::string escapeName(std::string_view name);
/// Undoes escapeName and the numeric entities; unknown "&..." stays as it is.
std::string unescapeName(std::string_view text);

}  // namespace kynt

/// The native archive in the registry.
const FormatInfo& kyntFormat();

}  // namespace vesk
