// Helpers for the tests of the text address books: draining a reader into a compact trace,
// looking entries up in an imported book, and the paths of sample and fixture files.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "model/iter_base.h"
#include "support/test_readers.h"

namespace vesk::testing {

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
        out += std::to_string(toNumber(e.kind)) + ":" + e[Field::FullName] + ":" + e[Field::Email] +
               ":" + e[Field::Nickname];
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
