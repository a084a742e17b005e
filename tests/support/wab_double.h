// An in-memory Windows Address Book behind the library interface: records with text
// properties, folders, distribution lists, new entries, and results chosen per call.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/wab.h"

namespace vesk::testing {

struct FakeWabRecord {
    std::string entryId;
    std::map<std::uint32_t, std::string> text;  ///< PT_UNICODE tags
    std::int32_t objectType = wab::MAPI_MAILUSER;
    std::vector<std::string> contents;  ///< members of a list, entries of a folder
    bool saved = false;
};

struct FakeWabState {
    std::vector<std::string> top;      ///< the address book's contents
    std::vector<std::string> folders;  ///< its hierarchy
    std::map<std::string, FakeWabRecord> records;
    std::map<std::string, wab::HRESULT> results;  ///< call name → its result instead of S_OK
    std::vector<wab::PropProblem> problems;       ///< what SetProps reports when it fails
    bool loads = true;
    std::vector<wab::WabParams> opened;
    std::vector<std::string> created;  ///< entry ids of new entries, in order
    int allocations = 0;

    wab::HRESULT result(const std::string& call) const {
        const auto it = results.find(call);
        return it == results.end() ? wab::S_OK : it->second;
    }
    FakeWabRecord& add(std::map<std::uint32_t, std::string> text,
                       std::int32_t type = wab::MAPI_MAILUSER) {
        std::string id(4, '\0');
        for (char c : "R" + std::to_string(records.size() + 1)) id += std::string{c, '\0'};
        FakeWabRecord& r = records[id];
        r.entryId = id;
        r.text = std::move(text);
        r.objectType = type;
        return r;
    }
};

using WabState = std::shared_ptr<FakeWabState>;

class FakeWabTable : public wab::Table {
  public:
    FakeWabTable(WabState s, std::vector<std::string> ids)
        : m_s(std::move(s)), m_ids(std::move(ids)) {}
    wab::HRESULT setColumns(const std::vector<std::uint32_t>& tags) override {
        m_columns = tags;
        return m_s->result("SetColumns");
    }
    wab::HRESULT queryColumns(std::vector<std::uint32_t>& tags) override {
        tags = m_columns;
        return m_s->result("QueryColumns");
    }
    wab::HRESULT getRowCount(std::uint32_t& count) override {
        count = static_cast<std::uint32_t>(m_ids.size());
        return m_s->result("GetRowCount");
    }
    wab::HRESULT seekRowToBeginning() override {
        m_cursor = 0;
        return wab::S_OK;
    }
    wab::HRESULT queryRows(int count, std::vector<wab::Row>& rows) override {
        rows.clear();
        if (wab::failed(m_s->result("QueryRows"))) return m_s->result("QueryRows");
        for (int i = 0; i < count && m_cursor < m_ids.size(); ++i, ++m_cursor) {
            const FakeWabRecord& r = m_s->records.at(m_ids[m_cursor]);
            wab::Row row;
            for (std::uint32_t tag : m_columns) row.push_back(value(r, tag));
            rows.push_back(std::move(row));
        }
        return wab::S_OK;
    }

  private:
    static wab::PropValue value(const FakeWabRecord& r, std::uint32_t tag) {
        wab::PropValue v;
        v.tag = tag;
        if (tag == wab::PR_ENTRYID) {
            v.binary = r.entryId;
        } else if (tag == wab::PR_OBJECT_TYPE) {
            v.number = r.objectType;
        } else if (tag == wab::PR_CONTAINER_FLAGS) {
            v.number = 0;
        } else if (auto it = r.text.find(tag); it != r.text.end()) {
            v.text = it->second;
        } else {
            v.tag = wab::changeType(tag, wab::PT_ERROR);
            v.number = static_cast<std::int32_t>(wab::MAPI_E_NOT_FOUND);
        }
        return v;
    }

    WabState m_s;
    std::vector<std::string> m_ids;
    std::vector<std::uint32_t> m_columns;
    std::size_t m_cursor = 0;
};

class FakeWabEntry : public wab::PropObject {
  public:
    FakeWabEntry(WabState s, std::string id) : m_s(std::move(s)), m_id(std::move(id)) {}
    wab::HRESULT getProps(const std::vector<std::uint32_t>& tags,
                          std::vector<wab::PropValue>& out) override {
        out.clear();
        for (std::uint32_t tag : tags) {
            wab::PropValue v;
            v.tag = tag;
            if (tag == wab::PR_ENTRYID) v.binary = m_id;
            out.push_back(v);
        }
        return wab::S_OK;
    }
    wab::HRESULT setProps(const std::vector<wab::PropValue>& values,
                          std::vector<wab::PropProblem>& problems) override {
        if (wab::failed(m_s->result("SetProps"))) {
            problems = m_s->problems;
            return m_s->result("SetProps");
        }
        for (const auto& v : values) m_s->records[m_id].text[v.tag] = v.text;
        return wab::S_OK;
    }
    wab::HRESULT saveChanges(std::uint32_t) override {
        if (wab::failed(m_s->result("SaveChanges"))) return m_s->result("SaveChanges");
        m_s->records[m_id].saved = true;
        return wab::S_OK;
    }

  private:
    WabState m_s;
    std::string m_id;
};

class FakeWabContainer : public wab::Container {
  public:
    /// `id` "": the address book's own container.
    FakeWabContainer(WabState s, std::string id) : m_s(std::move(s)), m_id(std::move(id)) {}
    wab::HRESULT getProps(const std::vector<std::uint32_t>& tags,
                          std::vector<wab::PropValue>& out) override {
        out.clear();
        for (std::uint32_t tag : tags) {
            wab::PropValue v;
            v.tag = tag;
            v.binary = tag == wab::PR_DEF_CREATE_DL ? "TEMPLATE-DL" : "TEMPLATE-USER";
            out.push_back(v);
        }
        return m_s->result("GetProps");
    }
    wab::HRESULT setProps(const std::vector<wab::PropValue>&,
                          std::vector<wab::PropProblem>&) override {
        return wab::S_OK;
    }
    wab::HRESULT saveChanges(std::uint32_t) override {
        if (!m_id.empty()) m_s->records[m_id].saved = true;
        return wab::S_OK;
    }
    wab::HRESULT getContentsTable(std::uint32_t, std::unique_ptr<wab::Table>& table) override {
        if (wab::failed(m_s->result("GetContentsTable"))) return m_s->result("GetContentsTable");
        table = std::make_unique<FakeWabTable>(
            m_s, m_id.empty() ? m_s->top : m_s->records.at(m_id).contents);
        return wab::S_OK;
    }
    wab::HRESULT getHierarchyTable(std::uint32_t, std::unique_ptr<wab::Table>& table) override {
        table = std::make_unique<FakeWabTable>(
            m_s, m_id.empty() ? m_s->folders : std::vector<std::string>{});
        return m_s->result("GetHierarchyTable");
    }
    wab::HRESULT openEntry(const std::string& id, std::shared_ptr<wab::Container>& out) override {
        if (!m_s->records.count(id)) return wab::MAPI_E_NOT_FOUND;
        out = std::make_shared<FakeWabContainer>(m_s, id);
        return wab::S_OK;
    }
    wab::HRESULT createEntry(const std::string& entryId, std::uint32_t,
                             std::shared_ptr<wab::PropObject>& out) override {
        if (wab::failed(m_s->result("CreateEntry"))) return m_s->result("CreateEntry");
        if (!m_id.empty()) {
            // In a list: the entry named becomes a member.
            m_s->records[m_id].contents.push_back(entryId);
            out = std::make_shared<FakeWabEntry>(m_s, entryId);
            return wab::S_OK;
        }
        FakeWabRecord& r =
            m_s->add({}, entryId == "TEMPLATE-DL" ? wab::MAPI_DISTLIST : wab::MAPI_MAILUSER);
        m_s->created.push_back(r.entryId);
        out = std::make_shared<FakeWabEntry>(m_s, r.entryId);
        return wab::S_OK;
    }

  private:
    WabState m_s;
    std::string m_id;
};

class FakeWabBook : public wab::AddressBook {
  public:
    explicit FakeWabBook(WabState s) : m_s(std::move(s)) {}
    wab::HRESULT getPAB(std::string& id) override {
        id = "PAB";
        return m_s->result("GetPAB");
    }
    wab::HRESULT openEntry(const std::string& id, std::shared_ptr<wab::Container>& out) override {
        if (wab::failed(m_s->result("OpenEntry"))) return m_s->result("OpenEntry");
        out = std::make_shared<FakeWabContainer>(m_s, id == "PAB" ? std::string() : id);
        return wab::S_OK;
    }

  private:
    WabState m_s;
};

class FakeWabObject : public wab::WabObject {
  public:
    explicit FakeWabObject(WabState s) : m_s(std::move(s)) {}
    wab::HRESULT allocateBuffer(std::size_t) override {
        ++m_s->allocations;
        return m_s->result("AllocateBuffer");
    }

  private:
    WabState m_s;
};

class FakeWabLibrary : public wab::Library {
  public:
    explicit FakeWabLibrary(WabState s) : m_s(std::move(s)) {}
    bool load(std::string& error) override {
        if (!m_s->loads) error = "The specified module could not be found.";
        return m_s->loads;
    }
    wab::HRESULT wabOpen(const wab::WabParams& params, std::shared_ptr<wab::AddressBook>& book,
                         std::shared_ptr<wab::WabObject>& object) override {
        m_s->opened.push_back(params);
        if (wab::failed(m_s->result("WABOpen"))) return m_s->result("WABOpen");
        book = std::make_shared<FakeWabBook>(m_s);
        object = std::make_shared<FakeWabObject>(m_s);
        return wab::S_OK;
    }

  private:
    WabState m_s;
};

}  // namespace vesk::testing
