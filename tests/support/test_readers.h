// Small readers and writers for tests: a scripted flat or tree reader and a recording writer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/iter_base.h"

namespace vesk::testing {

inline Entry contact(const std::string& full, const std::string& mail = {},
                     const std::string& nick = {}) {
    Entry e;
    e[Field::FullName] = full;
    e[Field::Email] = mail;
    e[Field::Nickname] = nick;
    return e;
}

/// A reader over fixed entries, with optional sub-reader folders and lists.
class ScriptedReader : public IterBase {
  public:
    explicit ScriptedReader(std::string name = {}, std::vector<Entry> contents = {})
        : m_name(std::move(name)), entries(std::move(contents)) {}

    ScriptedReader& folder(const std::string& name, std::vector<Entry> contents) {
        folders.push_back(std::make_unique<ScriptedReader>(name, std::move(contents)));
        hasFolders = true;
        return *folders.back();
    }
    ScriptedReader& list(const std::string& name, std::vector<Entry> members) {
        lists.push_back(std::make_unique<ScriptedReader>(name, std::move(members)));
        return *lists.back();
    }

    bool rewind() override {
        ++rewinds;
        m_pos = m_folderPos = m_listPos = 0;
        return true;
    }
    Entry nextEntry() override {
        ++reads;
        return entries.at(m_pos++);
    }
    IterBase* nextFolder() override {
        return m_folderPos < folders.size() ? folders[m_folderPos++].get() : nullptr;
    }
    IterBase* nextList() override {
        return m_listPos < lists.size() ? lists[m_listPos++].get() : nullptr;
    }
    bool atEnd() override { return m_pos >= entries.size(); }
    bool foldersDone() override { return m_folderPos >= folders.size(); }
    bool listsDone() override { return m_listPos >= lists.size(); }
    std::int64_t revisionTime() override { return time; }
    std::string name() override { return m_name; }
    float progress() override {
        return entries.empty() ? 1.0f
                               : static_cast<float>(m_pos) / static_cast<float>(entries.size());
    }

    std::string m_name;
    std::vector<Entry> entries;
    std::vector<std::unique_ptr<ScriptedReader>> folders;
    std::vector<std::unique_ptr<ScriptedReader>> lists;
    std::int64_t time = 0;
    int rewinds = 0;
    int reads = 0;

  private:
    std::size_t m_pos = 0;
    std::size_t m_folderPos = 0;
    std::size_t m_listPos = 0;
};

/// Keeps what it is given as "kind:Full Name" lines, and counts finish calls.
class RecordingWriter : public ToBase {
  public:
    RecordingWriter(RunContext& run, bool folders, bool lists) : ToBase(run) {
        wantsFolders = folders;
        wantsLists = lists;
    }
    bool write(Entry e) override {
        got.push_back(std::to_string(toNumber(e.kind)) + ":" + e[Field::FullName]);
        return true;
    }
    bool finish() override {
        ++finished;
        return true;
    }
    void setRevisionTime(std::int64_t t) override { time = t; }

    std::vector<std::string> got;
    int finished = 0;
    std::int64_t time = -1;
};

}  // namespace vesk::testing
