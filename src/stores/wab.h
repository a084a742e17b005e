// The Windows Address Book through its library (platform/wab.h): its contacts, folders and
// distribution lists (IterWAB) and new contacts and lists in it (ToWAB). On this system the
// library is the native .wab file reader, and the store cannot be written.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "platform/wab.h"

namespace vesk {

/// The library's two interfaces, shared by a reader and the folder and list readers it hands out.
struct WabSession {
    std::shared_ptr<wab::Library> library;
    std::shared_ptr<wab::AddressBook> addressBook;
    std::shared_ptr<wab::WabObject> wabObject;
};

/// Loads the library and calls WABOpen on `fileName` ("" or "Default": the user's store), with
/// profiles when no file is named and `version` is "5" to "9". A library that does not load is
/// reported in a message box captioned "Error loading WAB DLL" and gives E_FAIL.
wab::HRESULT openWab(RunContext& run, const std::shared_ptr<wab::Library>& library,
                     const std::string& fileName, const std::string& version, WabSession& session);

/// The flags word WABOpen is given.
std::uint32_t wabOpenFlags(const std::string& fileName, const std::string& version);

namespace iterators {

class IterWAB : public IterBase {
  public:
    /// The top level of the store in `fileName`; `folders` reads its folders too.
    IterWAB(RunContext& run, std::shared_ptr<wab::Library> library, std::string fileName,
            bool folders, std::string version = {});
    /// A folder or a distribution list: the rows of `contents`.
    IterWAB(RunContext& run, std::shared_ptr<WabSession> session,
            std::shared_ptr<wab::Container> container, std::unique_ptr<wab::Table> contents,
            std::string name);

    bool rewind() override;
    Entry nextEntry() override;
    IterBase* nextFolder() override;
    IterBase* nextList() override;
    bool atEnd() override { return m_row >= m_rowCount; }
    bool foldersDone() override { return m_folderRow >= m_folderCount; }
    bool listsDone() override { return m_listCursor >= m_lists.size(); }
    std::string name() override { return m_name; }
    float progress() override;
    /// True when the store could not be opened (told once): nothing is delivered.
    bool sourceFailed() const override { return m_failed; }

    /// The columns of every contents table: the entry identifier, the 34 fields in their
    /// order, the object type.
    static const std::vector<std::uint32_t>& columns();
    static constexpr std::size_t kObjectTypeColumn = 35;

  private:
    bool open(const std::string& fileName, const std::string& version, bool folders);
    bool openFolders();
    bool setUpContents();
    void rememberList(const wab::Row& row);

    struct PendingList {
        std::string name;
        std::shared_ptr<wab::Container> list;
        std::unique_ptr<wab::Table> contents;
    };

    std::shared_ptr<WabSession> m_session;
    std::shared_ptr<wab::Container> m_container;
    std::unique_ptr<wab::Table> m_contents;
    std::unique_ptr<wab::Table> m_hierarchy;
    std::uint32_t m_rowCount = 0;
    std::uint32_t m_row = 0;
    std::uint32_t m_folderCount = 0;
    std::uint32_t m_folderRow = 0;
    std::vector<PendingList> m_lists;
    std::size_t m_listCursor = 0;
    std::unique_ptr<IterWAB> m_folderReader;
    std::unique_ptr<IterWAB> m_listReader;
    std::string m_name;
    bool m_failed = false;
    RunContext& m_run;
};

}  // namespace iterators

class ToWAB : public ToBase {
  public:
    ToWAB(RunContext& run, std::shared_ptr<wab::Library> library, std::string fileName,
          std::string version = {});

    bool write(Entry e) override;
    bool finish() override;

    /// True when the store could not be opened for writing: nothing is written.
    bool unusable() const { return m_failed; }
    /// Entries the store refused, left out of it.
    int abandoned() const { return m_abandoned; }

  private:
    bool writeContact(const Entry& e, std::string* entryId);
    bool beginList(const Entry& e);
    bool addMember(const Entry& e);
    bool endList();
    bool allocate();
    void showProblems(const std::vector<wab::PropProblem>& problems);
    bool abandon();

    WabSession m_session;
    std::shared_ptr<wab::Container> m_container;
    std::string m_mailUserTemplate;
    std::string m_listTemplate;
    std::shared_ptr<wab::Container> m_list;
    std::shared_ptr<wab::PropObject> m_listObject;
    bool m_inList = false;
    std::map<std::string, std::string> m_written;  ///< lower-case address → entry identifier
    bool m_failed = false;
    int m_abandoned = 0;
};

/// The record of the Windows Address Book: its reader reads a .wab file ("Default": the
/// Wine prefix's), its writer reports that the store cannot be written here.
const FormatInfo& wabFormat();

}  // namespace vesk
