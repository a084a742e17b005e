// Outlook's object model, as far as Vesk uses it: the objects and calls of Outlook's automation
// interface, one class each, so that the readers and the writer are written once over this
// interface. Backends: the .pst/.ost reader (outlook_pst.h) and the in-memory doubles of the
// tests; a backend that cannot reach Outlook fails where Outlook would, with an automation error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vesk::outlook {

/// Result codes an automation call fails with.
inline constexpr std::uint32_t kInvalidPointer = 0x80004003;  ///< E_POINTER: call through nothing
inline constexpr std::uint32_t kFail = 0x80004005;            ///< E_FAIL
inline constexpr std::uint32_t kClassNotRegistered = 0x80040154;
inline constexpr std::uint32_t kInvalidArgument = 0x80070057;

/// GetDefaultFolder's number of the Contacts folder.
inline constexpr int kFolderContacts = 10;
/// CreateItem's and Items.Add's item types.
inline constexpr int kMailItem = 0;
inline constexpr int kDistributionListItem = 7;
/// Close's "save" option.
inline constexpr int kSave = 0;

/// A failed automation call: the code, the interface it was made on and Outlook's own error
/// information.
class AutomationError : public std::runtime_error {
  public:
    AutomationError(std::uint32_t code, std::string interfaceName, std::string source = {},
                    std::string description = {});
    std::uint32_t code() const { return m_code; }
    const std::string& interfaceName() const { return m_interface; }
    const std::string& source() const { return m_source; }
    const std::string& description() const { return m_description; }

  private:
    std::uint32_t m_code;
    std::string m_interface;
    std::string m_source;
    std::string m_description;
};

/// The system's text for a result code ("Unspecified error"), "" when it has none.
std::string codeMeaning(std::uint32_t code);

/// Throws AutomationError(kInvalidPointer) when `p` is empty, as a call through an absent
/// object fails; returns what `p` points to.
template <class T>
T& use(const std::shared_ptr<T>& p, const char* interfaceName) {
    if (!p) throw AutomationError(kInvalidPointer, interfaceName);
    return *p;
}

class ContactItem;
class DistListItem;
class MailItem;
class MAPIFolder;
class Recipients;

/// An item's dispatch interface, asked for the interfaces it answers to (nullptr: it does not).
class Item {
  public:
    virtual ~Item() = default;
    virtual std::shared_ptr<ContactItem> queryContact() { return nullptr; }
    virtual std::shared_ptr<DistListItem> queryDistList() { return nullptr; }
    virtual std::shared_ptr<MailItem> queryMail() { return nullptr; }
};

class FormDescription {
  public:
    virtual ~FormDescription() = default;
    virtual std::string comment() = 0;
};

/// A contact. Its properties go by their object-model names ("Email1Address", "FullName",
/// "Body", ...); an absent property reads as "".
class ContactItem {
  public:
    virtual ~ContactItem() = default;
    virtual std::string get(std::string_view property) = 0;
    virtual void set(std::string_view property, const std::string& value) = 0;
    virtual std::string entryId() = 0;
    virtual std::shared_ptr<FormDescription> formDescription() = 0;
    virtual void save() = 0;
    virtual void close(int saveMode) = 0;
};

class AddressEntry {
  public:
    virtual ~AddressEntry() = default;
    virtual std::string address() = 0;
    virtual std::string id() = 0;
};

class Recipient {
  public:
    virtual ~Recipient() = default;
    virtual std::shared_ptr<AddressEntry> addressEntry() = 0;
    virtual std::string name() = 0;
};

class Recipients {
  public:
    virtual ~Recipients() = default;
    virtual int count() = 0;
    virtual void remove(int index) = 0;
    virtual std::shared_ptr<Recipient> add(const std::string& name) = 0;
    virtual bool resolveAll() = 0;
};

class DistListItem {
  public:
    virtual ~DistListItem() = default;
    virtual std::string dlName() = 0;
    virtual void setDLName(const std::string& name) = 0;
    virtual int memberCount() = 0;
    /// 1-based.
    virtual std::shared_ptr<Recipient> getMember(int index) = 0;
    virtual void addMembers(Recipients& recipients) = 0;
    virtual void save() = 0;
    virtual void display() = 0;
};

class MailItem {
  public:
    virtual ~MailItem() = default;
    virtual std::string subject() = 0;
    virtual void setSubject(const std::string& subject) = 0;
    virtual std::shared_ptr<Recipients> recipients() = 0;
    virtual void close(int saveMode) = 0;
};

class Items {
  public:
    virtual ~Items() = default;
    virtual int count() = 0;
    /// 1-based.
    virtual std::shared_ptr<Item> item(int index) = 0;
    /// A new item of `type` (a contact when none is given), not yet saved.
    virtual std::shared_ptr<Item> add(int type = -1) = 0;
    virtual std::shared_ptr<Item> find(const std::string& filter) = 0;
    virtual std::shared_ptr<MAPIFolder> parent() = 0;
};

class Folders {
  public:
    virtual ~Folders() = default;
    virtual int count() = 0;
    /// 1-based.
    virtual std::shared_ptr<MAPIFolder> item(int index) = 0;
    virtual std::shared_ptr<MAPIFolder> add(const std::string& name) = 0;
};

class MAPIFolder {
  public:
    virtual ~MAPIFolder() = default;
    virtual std::shared_ptr<Items> items() = 0;
    virtual std::shared_ptr<Folders> folders() = 0;
    virtual std::string name() = 0;
    virtual std::shared_ptr<MAPIFolder> parent() = 0;
};

class AddressEntries {
  public:
    virtual ~AddressEntries() = default;
    virtual int count() = 0;
    /// 1-based.
    virtual std::shared_ptr<AddressEntry> item(int index) = 0;
};

class AddressList {
  public:
    virtual ~AddressList() = default;
    virtual std::shared_ptr<AddressEntries> addressEntries() = 0;
};

class AddressLists {
  public:
    virtual ~AddressLists() = default;
    virtual std::shared_ptr<AddressList> item(const std::string& name) = 0;
};

class NameSpace {
  public:
    virtual ~NameSpace() = default;
    virtual void logon(const std::string& profile) = 0;
    virtual void logoff() = 0;
    virtual std::shared_ptr<MAPIFolder> getDefaultFolder(int folder) = 0;
    virtual std::shared_ptr<AddressLists> addressLists() = 0;
    virtual std::shared_ptr<Item> getItemFromID(const std::string& entryId) = 0;
    virtual std::shared_ptr<Recipient> currentUser() = 0;
};

class Application {
  public:
    virtual ~Application() = default;
    virtual std::shared_ptr<NameSpace> getNamespace(const std::string& type) = 0;
    virtual std::shared_ptr<Item> createItem(int type) = 0;
};

/// Creates the "Outlook.Application" object; throws AutomationError when it cannot.
using ApplicationFactory = std::function<std::shared_ptr<Application>()>;

/// A factory that always fails with `description` (Outlook is not installed here).
ApplicationFactory unavailableOutlook(std::string description);

}  // namespace vesk::outlook
