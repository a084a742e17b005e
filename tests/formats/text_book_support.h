// Helpers for the tests of the text address books: temporary files, draining a reader into
// a compact trace, and looking entries up in an imported book.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "model/iter_base.h"
#include "support/test_readers.h"

namespace vesk::testing {

/// A fresh directory per test, removed afterwards.
class TempDir {
  public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "-" + info->name();
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        m_path = std::filesystem::temp_directory_path() /
                 ("vesk-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// Writes `bytes` as they are to a file in the directory and returns its path.
    std::string file(const std::string& name, const std::string& bytes) const {
        const auto p = m_path / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    std::string path(const std::string& name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

/// Every entry a reader gives, from the start.
inline std::vector<Entry> drain(IterBase& reader) {
    std::vector<Entry> out;
    reader.rewind();
    for (int guard = 0; !reader.atEnd() && guard < 100000; ++guard) {
        out.push_back(reader.nextEntry());
    }
    return out;
}

/// The entries as "kind:Full Name:E-Mail:Nickname" joined by " | ".
inline std::string trace(const std::vector<Entry>& entries) {
    std::string out;
    for (const Entry& e : entries) {
        if (!out.empty()) out += " | ";
        out += std::to_string(e.kind) + ":" + e[Field::FullName] + ":" + e[Field::Email] + ":" +
               e[Field::Nickname];
    }
    return out;
}

/// The book's entry with this Full Name, or nullptr.
inline const Entry* entryNamed(NewAdbook& book, const std::string& fullName) {
    for (int i = 0; i < book.entryCount(); ++i) {
        if ((*book.entryPtr(i))[Field::FullName] == fullName) return book.entryPtr(i);
    }
    return nullptr;
}

/// The Full Names of a list's members, sorted, joined by ",".
inline std::string memberNames(NewAdbook& book, const std::string& listName) {
    const int pos = book.listIndex(listName);
    if (pos < 0) return "<no list>";
    std::vector<std::string> names;
    for (const Entry* m : book.listAt(pos)->members()) names.push_back((*m)[Field::FullName]);
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ",") + n;
    return out;
}

/// A file of the shared samples; VESK_SAMPLES_DIR in the environment overrides the built-in
/// place (a worktree outside the usual layout).
inline std::string samplePath(const std::string& relative) {
    const char* env = std::getenv("VESK_SAMPLES_DIR");
    return std::string(env && *env ? env : VESK_SAMPLES_DIR) + "/" + relative;
}
inline std::string fixturePath(const std::string& relative) {
    return std::string(VESK_FIXTURES_DIR) + "/" + relative;
}

}  // namespace vesk::testing
