// The reader for text address books whose records are found by a fixed separator and whose
// fields sit between a start and an end tag: the Netscape 3 HTML book, the Juno book and the
// ".ini" book, each described by a small table. LDIF and the Eudora nickname file need real
// parsing (base64, folded lines, lists on one line) and are handed to their own parsers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "model/format_info.h"
#include "model/iter_base.h"
#include "parsing/ldif_records.h"
#include "platform/passed_text.h"

namespace vesk::iterators {

class IterFile : public IterBase {
  public:
    /// The file kinds this reader knows; others read nothing.
    enum SubKind : int { Html = 1, Ldif = 2, Eudora = 8, Juno = 9, Ini = 14 };

    /// Reads the whole file; "file cannot be opened!" (captioned with the name) when it cannot.
    IterFile(RunContext& run, const std::string& fileName, int subKind);

    /// A reader over text that is already decoded (tests, clipboard).
    static std::unique_ptr<IterFile> fromText(std::string text, int subKind);

    bool rewind() override;
    Entry nextEntry() override;
    bool atEnd() override;
    float progress() override;
    /// True when the file changed while it was read, so that part of it could not be read.
    bool sourceFailed() const override { return m_changed; }

    /// The supported-fields mask stamped on every contact of this kind.
    const FieldMask& formatMask() const { return m_mask; }

    struct Tags {
        std::string_view start;
        std::string_view end;
    };
    /// One kind's description: how records are found and where each field sits.
    struct Table {
        std::string_view recordSeparator;
        std::string_view listMarker;
        std::array<Tags, kFieldCount> fields{};
        Tags emailAlternate;
        Tags nicknameAlternate;
        Tags time;
    };

  private:
    IterFile(int subKind, std::string text);
    void install(std::string text);
    /// Parses records until at least one entry waits or the text is used up.
    void fill();
    void readTaggedRecord();
    Entry readFields(std::string_view record) const;
    void readHtmlRecord(std::string_view record);
    void readJunoList(std::string_view record);
    /// Finds an LDIF person by the whole distinguished name of its record.
    ldif::DnLookup personByDn();

    int m_kind;
    const Table* m_table = nullptr;
    FieldMask m_mask;
    std::string m_text;
    std::size_t m_pos = 0;
    std::deque<Entry> m_pending;
    bool m_inHtmlList = false;
    std::unique_ptr<ldif::DnIndex> m_dnIndex;
    /// The LDIF records read so far, given back while the reader goes on (a file only).
    PassedText m_passed;
    RunContext* m_run = nullptr;
    std::string m_fileName;
    bool m_changed = false;
    /// The whole text readable again before the reader goes back; false (after a message, the
    /// reading ended) when the file changed meanwhile.
    bool wholeText();
};

/// The maker of a registry record whose files this reader reads as kind `kKind`.
template <int kKind>
std::unique_ptr<IterBase> taggedReader(const FormatArgs& a) {
    return std::make_unique<IterFile>(a.run, a.fileName, kKind);
}

}  // namespace vesk::iterators
