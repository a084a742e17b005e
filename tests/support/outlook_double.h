// An in-memory Outlook behind the object-model interface: a Contacts folder with items and
// subfolders, address lists, and calls that can be made to fail by name ("Items.Item").
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/outlook.h"

namespace vesk::testing {

struct FakeOutlookState;

/// One stored item: a contact (its properties), a distribution list (name and members as
/// name/address pairs) or something else (a note).
struct FakeItemData {
    enum Kind { Contact, List, Other } kind = Contact;
    std::map<std::string, std::string> properties;
    std::string entryId;
    std::string listName;
    std::vector<std::pair<std::string, std::string>> members;
    bool saved = false;
    bool closed = false;
};

struct FakeFolderData {
    std::string name;
    std::vector<std::shared_ptr<FakeItemData>> items;
    std::vector<std::shared_ptr<FakeFolderData>> folders;
    std::weak_ptr<FakeFolderData> parent;

    std::shared_ptr<FakeItemData> addContact(std::map<std::string, std::string> properties) {
        auto item = std::make_shared<FakeItemData>();
        item->properties = std::move(properties);
        item->entryId = "ID" + std::to_string(items.size() + 1);
        items.push_back(item);
        return item;
    }
    std::shared_ptr<FakeItemData> addList(std::string listName,
                                          std::vector<std::pair<std::string, std::string>> who) {
        auto item = std::make_shared<FakeItemData>();
        item->kind = FakeItemData::List;
        item->listName = std::move(listName);
        item->members = std::move(who);
        items.push_back(item);
        return item;
    }
};

inline std::shared_ptr<FakeFolderData> addFolder(const std::shared_ptr<FakeFolderData>& parent,
                                                 std::string name) {
    auto f = std::make_shared<FakeFolderData>();
    f->name = std::move(name);
    f->parent = parent;
    parent->folders.push_back(f);
    return f;
}

struct FakeOutlookState {
    std::shared_ptr<FakeFolderData> contacts = std::make_shared<FakeFolderData>();
    /// The "Contacts" address list: each entry's ID.
    std::vector<std::string> addressEntryIds;
    std::set<std::string> failing;
    std::vector<std::string> calls;
    int logons = 0;
    int logoffs = 0;
    std::string currentUser = "Me Myself";

    FakeOutlookState() { contacts->name = "Contacts"; }

    void call(const std::string& name) {
        calls.push_back(name);
        if (failing.count(name))
            throw outlook::AutomationError(outlook::kFail, name, "Outlook", name + " failed");
    }
    std::shared_ptr<FakeItemData> byEntryId(const std::shared_ptr<FakeFolderData>& f,
                                            const std::string& id) {
        for (const auto& item : f->items)
            if (item->entryId == id) return item;
        for (const auto& sub : f->folders)
            if (auto found = byEntryId(sub, id)) return found;
        return nullptr;
    }
};

using State = std::shared_ptr<FakeOutlookState>;

class FakeContactItem : public outlook::ContactItem {
  public:
    FakeContactItem(State s, std::shared_ptr<FakeItemData> d)
        : m_s(std::move(s)), m_d(std::move(d)) {}
    std::string get(std::string_view p) override {
        m_s->call("ContactItem.get." + std::string(p));
        const auto it = m_d->properties.find(std::string(p));
        return it == m_d->properties.end() ? std::string() : it->second;
    }
    void set(std::string_view p, const std::string& v) override {
        m_s->call("ContactItem.set." + std::string(p));
        m_d->properties[std::string(p)] = v;
    }
    std::string entryId() override { return m_d->entryId; }
    std::shared_ptr<outlook::FormDescription> formDescription() override { return nullptr; }
    void save() override {
        m_s->call("ContactItem.Save");
        m_d->saved = true;
    }
    void close(int) override {
        m_s->call("ContactItem.Close");
        m_d->closed = true;
    }

  private:
    State m_s;
    std::shared_ptr<FakeItemData> m_d;
};

class FakeAddressEntry : public outlook::AddressEntry {
  public:
    FakeAddressEntry(std::string address, std::string id)
        : m_address(std::move(address)), m_id(std::move(id)) {}
    std::string address() override { return m_address; }
    std::string id() override { return m_id; }

  private:
    std::string m_address;
    std::string m_id;
};

class FakeRecipient : public outlook::Recipient {
  public:
    FakeRecipient(std::string name, std::string address)
        : m_name(std::move(name)), m_address(std::move(address)) {}
    std::shared_ptr<outlook::AddressEntry> addressEntry() override {
        return std::make_shared<FakeAddressEntry>(m_address, "");
    }
    std::string name() override { return m_name; }

  private:
    std::string m_name;
    std::string m_address;
};

class FakeRecipients : public outlook::Recipients {
  public:
    std::vector<std::string> names;
    int count() override { return static_cast<int>(names.size()); }
    void remove(int index) override { names.erase(names.begin() + (index - 1)); }
    std::shared_ptr<outlook::Recipient> add(const std::string& name) override {
        names.push_back(name);
        return std::make_shared<FakeRecipient>(name, name);
    }
    bool resolveAll() override { return true; }
};

class FakeDistListItem : public outlook::DistListItem {
  public:
    FakeDistListItem(State s, std::shared_ptr<FakeItemData> d)
        : m_s(std::move(s)), m_d(std::move(d)) {}
    std::string dlName() override { return m_d->listName; }
    void setDLName(const std::string& n) override { m_d->listName = n; }
    int memberCount() override { return static_cast<int>(m_d->members.size()); }
    std::shared_ptr<outlook::Recipient> getMember(int i) override {
        m_s->call("DistListItem.GetMember");
        const auto& m = m_d->members.at(static_cast<std::size_t>(i - 1));
        return std::make_shared<FakeRecipient>(m.first, m.second);
    }
    void addMembers(outlook::Recipients& r) override {
        for (const auto& n : static_cast<FakeRecipients&>(r).names) m_d->members.emplace_back(n, n);
    }
    void save() override { m_d->saved = true; }
    void display() override { m_s->call("DistListItem.Display"); }

  private:
    State m_s;
    std::shared_ptr<FakeItemData> m_d;
};

class FakeMailItem : public outlook::MailItem {
  public:
    std::string subject() override { return m_subject; }
    void setSubject(const std::string& s) override { m_subject = s; }
    std::shared_ptr<outlook::Recipients> recipients() override { return m_recipients; }
    void close(int) override {}

  private:
    std::string m_subject;
    std::shared_ptr<FakeRecipients> m_recipients = std::make_shared<FakeRecipients>();
};

class FakeItem : public outlook::Item {
  public:
    FakeItem(State s, std::shared_ptr<FakeItemData> d) : m_s(std::move(s)), m_d(std::move(d)) {}
    std::shared_ptr<outlook::ContactItem> queryContact() override {
        if (m_d->kind != FakeItemData::Contact) return nullptr;
        return std::make_shared<FakeContactItem>(m_s, m_d);
    }
    std::shared_ptr<outlook::DistListItem> queryDistList() override {
        if (m_d->kind != FakeItemData::List) return nullptr;
        return std::make_shared<FakeDistListItem>(m_s, m_d);
    }

  private:
    State m_s;
    std::shared_ptr<FakeItemData> m_d;
};

class FakeFolder;

class FakeItems : public outlook::Items {
  public:
    FakeItems(State s, std::shared_ptr<FakeFolderData> f) : m_s(std::move(s)), m_f(std::move(f)) {}
    int count() override {
        m_s->call("Items.Count");
        return static_cast<int>(m_f->items.size());
    }
    std::shared_ptr<outlook::Item> item(int i) override {
        m_s->call("Items.Item");
        return std::make_shared<FakeItem>(m_s, m_f->items.at(static_cast<std::size_t>(i - 1)));
    }
    std::shared_ptr<outlook::Item> add(int type) override {
        m_s->call("Items.Add");
        auto d = std::make_shared<FakeItemData>();
        if (type == outlook::kDistributionListItem) d->kind = FakeItemData::List;
        d->entryId = "NEW" + std::to_string(m_f->items.size() + 1);
        m_f->items.push_back(d);
        return std::make_shared<FakeItem>(m_s, d);
    }
    std::shared_ptr<outlook::Item> find(const std::string&) override { return nullptr; }
    std::shared_ptr<outlook::MAPIFolder> parent() override;

  private:
    State m_s;
    std::shared_ptr<FakeFolderData> m_f;
};

class FakeFolders : public outlook::Folders {
  public:
    FakeFolders(State s, std::shared_ptr<FakeFolderData> f)
        : m_s(std::move(s)), m_f(std::move(f)) {}
    int count() override { return static_cast<int>(m_f->folders.size()); }
    std::shared_ptr<outlook::MAPIFolder> item(int i) override;
    std::shared_ptr<outlook::MAPIFolder> add(const std::string& name) override;

  private:
    State m_s;
    std::shared_ptr<FakeFolderData> m_f;
};

class FakeFolder : public outlook::MAPIFolder {
  public:
    FakeFolder(State s, std::shared_ptr<FakeFolderData> f) : m_s(std::move(s)), m_f(std::move(f)) {}
    std::shared_ptr<outlook::Items> items() override {
        m_s->call("MAPIFolder.Items");
        return std::make_shared<FakeItems>(m_s, m_f);
    }
    std::shared_ptr<outlook::Folders> folders() override {
        return std::make_shared<FakeFolders>(m_s, m_f);
    }
    std::string name() override { return m_f->name; }
    std::shared_ptr<outlook::MAPIFolder> parent() override {
        auto p = m_f->parent.lock();
        return p ? std::make_shared<FakeFolder>(m_s, p) : nullptr;
    }

  private:
    State m_s;
    std::shared_ptr<FakeFolderData> m_f;
};

inline std::shared_ptr<outlook::MAPIFolder> FakeItems::parent() {
    return std::make_shared<FakeFolder>(m_s, m_f);
}
inline std::shared_ptr<outlook::MAPIFolder> FakeFolders::item(int i) {
    return std::make_shared<FakeFolder>(m_s, m_f->folders.at(static_cast<std::size_t>(i - 1)));
}
inline std::shared_ptr<outlook::MAPIFolder> FakeFolders::add(const std::string& name) {
    m_s->call("Folders.Add");
    return std::make_shared<FakeFolder>(m_s, addFolder(m_f, name));
}

class FakeAddressEntries : public outlook::AddressEntries {
  public:
    explicit FakeAddressEntries(State s) : m_s(std::move(s)) {}
    int count() override { return static_cast<int>(m_s->addressEntryIds.size()); }
    std::shared_ptr<outlook::AddressEntry> item(int i) override {
        return std::make_shared<FakeAddressEntry>(
            "", m_s->addressEntryIds.at(static_cast<std::size_t>(i - 1)));
    }

  private:
    State m_s;
};

class FakeAddressList : public outlook::AddressList {
  public:
    explicit FakeAddressList(State s) : m_s(std::move(s)) {}
    std::shared_ptr<outlook::AddressEntries> addressEntries() override {
        return std::make_shared<FakeAddressEntries>(m_s);
    }

  private:
    State m_s;
};

class FakeAddressLists : public outlook::AddressLists {
  public:
    explicit FakeAddressLists(State s) : m_s(std::move(s)) {}
    std::shared_ptr<outlook::AddressList> item(const std::string& name) override {
        m_s->call("AddressLists.Item." + name);
        return std::make_shared<FakeAddressList>(m_s);
    }

  private:
    State m_s;
};

class FakeNameSpace : public outlook::NameSpace {
  public:
    explicit FakeNameSpace(State s) : m_s(std::move(s)) {}
    void logon(const std::string&) override {
        m_s->call("NameSpace.Logon");
        ++m_s->logons;
    }
    void logoff() override { ++m_s->logoffs; }
    std::shared_ptr<outlook::MAPIFolder> getDefaultFolder(int folder) override {
        m_s->call("NameSpace.GetDefaultFolder");
        if (folder != outlook::kFolderContacts) return nullptr;
        return std::make_shared<FakeFolder>(m_s, m_s->contacts);
    }
    std::shared_ptr<outlook::AddressLists> addressLists() override {
        return std::make_shared<FakeAddressLists>(m_s);
    }
    std::shared_ptr<outlook::Item> getItemFromID(const std::string& id) override {
        m_s->call("NameSpace.GetItemFromID." + id);
        auto d = m_s->byEntryId(m_s->contacts, id);
        if (!d) throw outlook::AutomationError(outlook::kFail, "_NameSpace");
        return std::make_shared<FakeItem>(m_s, d);
    }
    std::shared_ptr<outlook::Recipient> currentUser() override {
        return std::make_shared<FakeRecipient>(m_s->currentUser, "");
    }

  private:
    State m_s;
};

class FakeApplication : public outlook::Application {
  public:
    explicit FakeApplication(State s) : m_s(std::move(s)) {}
    std::shared_ptr<outlook::NameSpace> getNamespace(const std::string&) override {
        m_s->call("Application.GetNamespace");
        return std::make_shared<FakeNameSpace>(m_s);
    }
    std::shared_ptr<outlook::Item> createItem(int) override {
        struct Mail : outlook::Item {
            std::shared_ptr<outlook::MailItem> mail = std::make_shared<FakeMailItem>();
            std::shared_ptr<outlook::MailItem> queryMail() override { return mail; }
        };
        return std::make_shared<Mail>();
    }

  private:
    State m_s;
};

/// The factory of an Outlook over `state`; "Application.Create" in `failing` makes the creation
/// itself fail, as on a machine without Outlook.
inline outlook::ApplicationFactory fakeOutlook(State state) {
    return [state]() -> std::shared_ptr<outlook::Application> {
        state->call("Application.Create");
        return std::make_shared<FakeApplication>(state);
    };
}

}  // namespace vesk::testing
