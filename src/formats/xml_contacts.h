// XML contact files: Forte Agent's address book (".xml": an "addressbook" of "contact"
// elements, mailing lists among them, read and written) and Windows Contacts (".contact": one
// contact a file, read only). Documents are parsed without their DOCTYPE: no DTD is processed
// and no entity other than XML's own is expanded.
#pragma once

#include <cstddef>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "model/to_file.h"

namespace vesk {

/// Makes the reader of one Agent mailing list from its name and its member lines.
using ListReaderMaker = std::unique_ptr<IterBase> (*)(RunContext& run, std::string name,
                                                      std::string members);

/// Loads `fileName` into `doc` (no DOCTYPE, bounded nesting, pugixml's default options and
/// `moreOptions`), parsed in place in `bytes`, which must outlive `doc`; on failure tells the
/// user "Failed to load file:" with the reason and returns false.
bool loadXmlFile(RunContext& run, pugi::xml_document& doc, const std::string& fileName,
                 std::string& bytes, unsigned moreOptions = 0);

namespace iterators {

class IterXML : public IterBase {
  public:
    static constexpr int kAgent = 21;
    static constexpr int kWindowsContact = 22;

    /// `lists` makes the readers of Agent mailing lists; without it lists are skipped.
    IterXML(RunContext& run, std::string fileName, int format, ListReaderMaker lists = nullptr);

    bool rewind() override;
    Entry nextEntry() override;
    IterBase* nextList() override;
    bool atEnd() override { return m_nextContact >= m_contacts.size(); }
    bool listsDone() override { return m_nextList >= m_lists.size(); }
    float progress() override { return 1.0f; }

  private:
    Entry agentEntry(const pugi::xml_node& contact) const;
    Entry windowsEntry(const pugi::xml_node& contact) const;

    std::string m_bytes;  ///< the file, which the document's texts point into
    pugi::xml_document m_doc;
    int m_format;
    std::vector<pugi::xml_node> m_contacts;
    std::vector<pugi::xml_node> m_lists;
    std::size_t m_nextContact = 0;
    std::size_t m_nextList = 0;
    std::unique_ptr<IterBase> m_list;
    ListReaderMaker m_makeList;
    RunContext& m_run;
};

}  // namespace iterators

namespace xml {

/// Appends `value` as XML character data, escaped as pugixml escapes it.
void escapeText(std::string& out, std::string_view value);

/// An element's text as pugixml saves it, with values to fill in: pieces[i] comes before the
/// value numbered slots[i], and the last piece ends it.
struct Layout {
    std::vector<std::string> pieces{std::string()};
    std::vector<std::size_t> slots;

    /// Appends the text with each slot's value escaped (a slot without a value stays empty).
    void fill(std::string& out, const std::vector<std::string_view>& values) const;
};

}  // namespace xml

/// Writes a Forte Agent address book: each contact a copy of the template contact of
/// "agent.xml" with its fields set, each list a copy of the template list, all appended to the
/// "addressbook" of "agentskeleton.xml". Both templates are installed with the program. The
/// items go to the file as they are written, laid out as pugixml lays out the whole document.
class ToXML : public ToFile {
  public:
    /// `templateFolder` empty: the templates are looked for where the program is installed.
    ToXML(RunContext& run, std::string fileName, const std::string& templateFolder = {});

    bool write(Entry e) override { return writeView(e); }
    bool writeView(const Entry& e) override;
    bool finish() override;

  protected:
    void end() override;

  private:
    /// Renders the document, a contact and a list of the templates into layouts.
    void layOut(pugi::xml_document& doc, const pugi::xml_node& contact, const pugi::xml_node& list);
    /// Writes one item of the address book (its head first).
    void putItem(const xml::Layout& layout, const std::vector<std::string_view>& values);
    void putList();

    bool m_ready = false;
    bool m_started = false;   ///< the head of the book is written
    std::string m_emptyBook;  ///< the whole file when nothing is written
    std::string m_head;       ///< the file up to its first item
    std::string m_tail;       ///< the file after its last item
    xml::Layout m_contactLayout;
    bool m_listsWritable = false;
    xml::Layout m_listLayout;       ///< a list with members
    xml::Layout m_emptyListLayout;  ///< a list none were written into
    std::string m_listMembers;      ///< the template list's own member text
    bool m_inList = false;          ///< a list is being written
    bool m_membersSet = false;
    std::string m_listName;
    std::string m_members;
    std::string m_item;
    std::vector<std::string_view> m_values;
};

/// Forte Agent's address book; its reader is joined to the list reader by the registry.
FormatInfo agentXmlFormat();
const FormatInfo& windowsContactFormat();

}  // namespace vesk
