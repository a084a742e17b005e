// Choosing a format for a file: by the application named, by the file's extension, and by its
// content when the extension is missing, unknown or shared by several formats. A registry is a
// list of formats in first-match order; the built-in one is registry/formats.cpp's table, and
// tests make their own with extra rows.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/format_info.h"

namespace vesk {

/// The text after the last "." of the file's own name, lower-cased ("" when none).
std::string fileExtension(std::string_view fileName);
/// The file's name without its folder and without the extension.
std::string fileBaseName(std::string_view fileName);

/// How a reader was chosen for a file, and what the file looked like when none was.
struct ReaderChoice {
    /// The format that decides (built or not), or nullptr when none does.
    const FormatInfo* format = nullptr;
    /// True when the content, not the extension, decided.
    bool bySniffing = false;
    /// What the file looked like ("binary data", "text beginning ...") when no format matched.
    std::string looksLike;
};

class Registry {
  public:
    explicit Registry(std::vector<const FormatInfo*> rows);
    /// The formats of this build (registry/formats.cpp).
    static const Registry& builtIn();
    /// `builtIn()` with `extra` rows in front: how tests and plug-ins add a format.
    static Registry withExtra(std::vector<const FormatInfo*> extra);

    const std::vector<const FormatInfo*>& formats() const { return m_rows; }
    const FormatInfo* byId(std::string_view id) const;

    /// The first reading (writing) row the application or the extension selects, built or not.
    const FormatInfo* readerFormatFor(std::string_view fileName, Application app) const;
    const FormatInfo* writerFormatFor(std::string_view fileName, Application app) const;
    /// The first reading (writing) row that the application alone selects.
    const FormatInfo* readerFormatOf(Application app) const;
    const FormatInfo* writerFormatOf(Application app) const;

    /// The reader for a file: by the application when one is named; else by the extension,
    /// unless the extension is missing, unknown or ambiguous (.txt, .csv) and the first bytes
    /// of the file say otherwise.
    ReaderChoice chooseReader(const std::string& fileName, Application app) const;

    /// The format the first bytes `head` (decoded text) belong to, or nullptr: the first row
    /// that is sure. A "maybe" never decides alone: a wrong guess would be written back.
    const FormatInfo* sniff(std::string_view head) const;

  private:
    std::vector<const FormatInfo*> m_rows;
};

/// A reader (writer) of `format` for the file; nullptr when the format is not built.
std::unique_ptr<IterBase> makeReader(RunContext& run, const FormatInfo& format,
                                     const std::string& fileName,
                                     Application app = Application::None);
std::unique_ptr<ToBase> makeWriter(RunContext& run, const FormatInfo& format,
                                   const std::string& fileName, Application app = Application::None,
                                   const std::string& folderPath = {});

/// A few words on what `rawHead` (the file's first bytes) looks like, for a message.
std::string describeContent(std::string_view rawHead);

}  // namespace vesk
