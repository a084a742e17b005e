// A tiny line format for tests of the selection layer: one "Full Name|E-Mail" line per
// contact; a writer variant that wants folders writes "<kind>:<name>" for markers. Each is one
// registry record, put in front of the built-in formats by lineRegistry(), so no real format
// is needed.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/format_info.h"
#include "model/to_file.h"
#include "registry/registry.h"
#include "text/text_io.h"

namespace vesk::testing {

class LineReader : public IterBase {
  public:
    explicit LineReader(const std::string& file) {
        if (auto text = readTextFile(file)) {
            std::istringstream in(*text);
            std::string line;
            while (std::getline(in, line)) {
                const std::size_t bar = line.find('|');
                if (bar == std::string::npos) continue;
                Entry e;
                e[Field::FullName] = line.substr(0, bar);
                e[Field::Email] = line.substr(bar + 1);
                e.mask.set();
                e.revisionTime = 1000;
                m_entries.push_back(e);
            }
        }
    }
    bool rewind() override {
        m_pos = 0;
        return true;
    }
    Entry nextEntry() override { return m_entries[m_pos++]; }
    bool atEnd() override { return m_pos >= m_entries.size(); }
    std::int64_t revisionTime() override { return 1000; }

  private:
    std::vector<Entry> m_entries;
    std::size_t m_pos = 0;
};

class LineWriter : public ToFile {
  public:
    LineWriter(RunContext& run, const std::string& file, bool folders, std::string mergeInto)
        : ToFile(run, file) {
        wantsFolders = folders;
        mergeFolder = std::move(mergeInto);
    }
    bool write(Entry e) override {
        if (e.kind == KindFolderBegin || e.kind == KindFolderEnd || e.kind == KindListBegin ||
            e.kind == KindListEnd) {
            m_text += std::to_string(toNumber(e.kind)) + ":" + e[Field::FullName] + "\n";
        } else {
            m_text += e[Field::FullName] + "|" + e[Field::Email] + "\n";
        }
        return true;
    }
};

/// The application the last line reader was made for.
inline Application& lastReaderApplication() {
    static Application app = Application::None;
    return app;
}

inline std::unique_ptr<IterBase> makeLineReader(const FormatArgs& a) {
    lastReaderApplication() = a.application;
    return std::make_unique<LineReader>(a.fileName);
}
inline std::unique_ptr<ToBase> makeFlatLineWriter(const FormatArgs& a) {
    return std::make_unique<LineWriter>(a.run, a.fileName, false, std::string());
}
inline std::unique_ptr<ToBase> makeFolderLineWriter(const FormatArgs& a) {
    return std::make_unique<LineWriter>(a.run, a.fileName, true, "\\Old\\");
}

/// ".tst": the flat line format.
inline const FormatInfo& lineFormat() {
    static const FormatInfo info = {
        .id = "test_lines",
        .displayName = "test line file",
        .extensions = {"tst"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = fieldsOf({Field::FullName, Field::Email}),
        .writeFields = fieldsOf({Field::FullName, Field::Email}),
        .sniff =
            +[](std::string_view head) {
                return head.starts_with("LINES|") ? Sniff::Yes : Sniff::No;
            },
        .reader = &makeLineReader,
        .writer = &makeFlatLineWriter,
        .openFilters = {{"Test line files (*.tst)", "*.tst"}},
        .saveFilters = {{"Test line files (*.tst)", "*.tst"}},
    };
    return info;
}

/// ".tsf": the line format with folders, merging an existing file into "\Old\".
inline const FormatInfo& folderLineFormat() {
    static const FormatInfo info = {
        .id = "test_folder_lines",
        .displayName = "test line file with folders",
        .extensions = {"tsf"},
        .reads = true,
        .writes = true,
        .holdsFolders = true,
        .mergesExisting = true,
        .readFields = fieldsOf({Field::FullName, Field::Email}),
        .writeFields = fieldsOf({Field::FullName, Field::Email}),
        .reader = &makeLineReader,
        .writer = &makeFolderLineWriter,
    };
    return info;
}

/// The built-in formats with the two line formats in front.
inline const Registry& lineRegistry() {
    static const Registry registry = Registry::withExtra({&lineFormat(), &folderLineFormat()});
    return registry;
}

}  // namespace vesk::testing
