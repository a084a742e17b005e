// Microsoft Outlook through its object model (platform/outlook.h): the contacts of the default
// Contacts folder with its subfolders and distribution lists (IterOL, IterOLLI), the "Contacts"
// address list (IterPAB), and new contact items and folders (ToOutlook). A reader or writer
// whose Outlook cannot be reached reports that once and then delivers or writes nothing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "platform/outlook.h"

namespace vesk {

/// Fills `e` from a contact item by the field table, in its order; `checkpoint` follows the
/// rows read, for the report of a failed call.
void readContactItem(RunContext& run, outlook::ContactItem& item, Entry& e, int& checkpoint);

/// Writes an automation error to the trace as Outlook's error report lines.
void dumpAutomationError(RunContext& run, const outlook::AutomationError& error);

/// Logs on as the readers and the writer do; `traced` adds the checkpoint traces.
struct OutlookSession {
    std::shared_ptr<outlook::Application> application;
    std::shared_ptr<outlook::NameSpace> nameSpace;
};
OutlookSession logOnToOutlook(RunContext& run, const outlook::ApplicationFactory& factory,
                              bool traced);

/// The members of one distribution list: each member's address in "Nickname".
class IterOLLI : public IterBase {
  public:
    IterOLLI(RunContext& run, std::shared_ptr<outlook::DistListItem> list);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    std::string name() override;

  private:
    std::shared_ptr<outlook::DistListItem> m_list;
    int m_memberIndex = 1;
};

namespace iterators {

class IterOL : public IterBase {
  public:
    /// The top level: logs on and reads the default Contacts folder.
    IterOL(RunContext& run, const outlook::ApplicationFactory& factory);
    /// A subfolder, read without logging on.
    IterOL(RunContext& run, std::shared_ptr<outlook::MAPIFolder> folder);
    ~IterOL() override;
    IterOL(const IterOL&) = delete;
    IterOL& operator=(const IterOL&) = delete;

    bool rewind() override;
    Entry nextEntry() override;
    IterBase* nextFolder() override;
    IterBase* nextList() override;
    bool atEnd() override;
    bool foldersDone() override;
    bool listsDone() override;
    std::string name() override;
    float progress() override;

    /// True when the constructor could not reach the folder: nothing is delivered.
    bool failed() const { return m_failed; }
    bool sourceFailed() const override { return m_failed; }

  private:
    void openFolder();

    std::shared_ptr<outlook::NameSpace> m_namespace;
    std::shared_ptr<outlook::MAPIFolder> m_folder;
    std::shared_ptr<outlook::Items> m_items;
    std::shared_ptr<outlook::Folders> m_subfolders;
    int m_itemIndex = 1;
    int m_folderIndex = 1;
    std::vector<std::shared_ptr<outlook::DistListItem>> m_pending;
    std::unique_ptr<IterBase> m_folderReader;
    std::unique_ptr<IterBase> m_listReader;
    bool m_failed = false;
    RunContext& m_run;
};

class IterPAB : public IterBase {
  public:
    IterPAB(RunContext& run, const outlook::ApplicationFactory& factory);
    ~IterPAB() override;
    IterPAB(const IterPAB&) = delete;
    IterPAB& operator=(const IterPAB&) = delete;

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    std::string name() override { return "Personal Address Book"; }
    float progress() override;

    bool failed() const { return m_failed; }
    bool sourceFailed() const override { return m_failed; }
    /// Where the contact's EntryID sits in an address entry's ID.
    static constexpr std::size_t kEntryIdStart = 72;
    static constexpr std::size_t kEntryIdLength = 48;

  private:
    std::shared_ptr<outlook::NameSpace> m_namespace;
    std::shared_ptr<outlook::AddressLists> m_lists;
    std::shared_ptr<outlook::AddressEntries> m_entries;
    int m_entryIndex = 1;
    bool m_failed = false;
    RunContext& m_run;
};

}  // namespace iterators

class ToOutlook : public ToBase {
  public:
    ToOutlook(RunContext& run, const outlook::ApplicationFactory& factory);

    bool write(Entry e) override;
    bool finish() override;

    bool failed() const { return m_failed; }
    /// Entries Outlook refused.
    int refused() const { return m_refused; }

  private:
    bool writeFolderBegin(const Entry& e);
    bool writeFolderEnd();
    bool writeContact(const Entry& e);
    bool writeListEntry(const Entry& e);
    void enterFolder(const std::shared_ptr<outlook::MAPIFolder>& folder);

    OutlookSession m_session;
    std::shared_ptr<outlook::Items> m_items;
    std::shared_ptr<outlook::Folders> m_folders;
    std::shared_ptr<outlook::MailItem> m_mail;
    std::shared_ptr<outlook::DistListItem> m_list;
    bool m_inList = false;
    bool m_failed = false;
    int m_refused = 0;
};

/// Outlook's record; its reader reads a .pst/.ost file named, its writer reports that Outlook
/// cannot be written here.
const FormatInfo& outlookFormat();

}  // namespace vesk
