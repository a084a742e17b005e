// XML contact files: Forte Agent's address book (".xml": an "addressbook" of "contact"
// elements, mailing lists among them, read and written) and Windows Contacts (".contact": one
// contact a file, read only). Documents are parsed without their DOCTYPE: no DTD is processed
// and no entity other than XML's own is expanded.
#pragma once

#include <cstddef>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "model/format_info.h"
#include "model/iter_base.h"

namespace vesk {

/// Makes the reader of one Agent mailing list from its name and its member lines.
using ListReaderMaker = std::unique_ptr<IterBase> (*)(RunContext& run, std::string name,
                                                      std::string members);

/// Loads `fileName` into `doc` (no DOCTYPE, bounded nesting); on failure tells the user
/// "Failed to load file:" with the reason and returns false.
bool loadXmlFile(RunContext& run, pugi::xml_document& doc, const std::string& fileName);

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

/// Writes a Forte Agent address book: each contact a copy of the template contact of
/// "agent.xml" with its fields set, each list a copy of the template list, all appended to the
/// "addressbook" of "agentskeleton.xml". Both templates are installed with the program.
class ToXML : public ToBase {
  public:
    /// `templateFolder` empty: the templates are looked for where the program is installed.
    ToXML(RunContext& run, std::string fileName, const std::string& templateFolder = {});

    bool write(Entry e) override;
    bool finish() override;

  private:
    bool m_ready = false;
    pugi::xml_document m_doc;
    pugi::xml_document m_templates;
    pugi::xml_node m_root;
    pugi::xml_node m_templateContact;
    pugi::xml_node m_templateList;
    pugi::xml_node m_list;     ///< the list being written
    pugi::xml_node m_members;  ///< its "outboundaddresslist"
    std::string m_fileName;
};

/// Forte Agent's address book; its reader is joined to the list reader by the registry.
FormatInfo agentXmlFormat();
const FormatInfo& windowsContactFormat();

}  // namespace vesk
