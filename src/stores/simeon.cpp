#include "stores/simeon.h"

#include <cstdio>

#include "parsing/sniff_text.h"
#include "platform/prompt.h"
#include "platform/trace.h"
#include "text/text_io.h"

namespace vesk::iterators {

namespace {

constexpr std::string_view kRecordKey = "Name=";

/// The field a key fills, or -1 for keys without a field.
int fieldForKey(std::string_view key) {
    if (key == "Name") return static_cast<int>(Field::FullName);
    if (key == "Address") return static_cast<int>(Field::BusinessCity);
    if (key == "Alias") return static_cast<int>(Field::Nickname);
    if (key == "Email" || key == "email") return static_cast<int>(Field::Email);
    if (key == "Phone") return static_cast<int>(Field::BusinessPhone);
    return -1;
}

std::string_view trimBlanks(std::string_view s) {
    const std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

IterSimeon::IterSimeon(RunContext& run, std::string fileName) : m_run(run) {
    for (Field f : {Field::FullName, Field::BusinessCity, Field::Nickname, Field::Email,
                    Field::BusinessPhone}) {
        m_mask.set(static_cast<std::size_t>(f));
    }
    if (auto loaded = readTextFile(fileName, {.fallbackCharset = run.sourceEncoding})) {
        m_text = std::move(*loaded);
    } else {
        run.report(Severity::Error, "File cannot be opened", fileName, Where{fileName});
    }
    rewind();
    m_run.trace(0, m_text, "Debug");
}

bool IterSimeon::rewind() {
    m_end = false;
    m_pos = findRecord(0);
    return true;
}

std::size_t IterSimeon::findRecord(std::size_t from) const {
    // "Name=" starts a record only as a key of its own: not inside "LastName=" or a value.
    std::size_t at = m_text.find(kRecordKey, from);
    while (at != std::string::npos && at > 0 && m_text[at - 1] != '\n' && m_text[at - 1] != '\t') {
        at = m_text.find(kRecordKey, at + 1);
    }
    return at;
}

bool IterSimeon::atEnd() {
    const std::size_t shown = m_pos == std::string::npos ? m_text.size() : m_pos;
    char line[96];
    std::snprintf(line, sizeof line, "Position is %zu Buffer Size is %zu", shown, m_text.size());
    m_run.trace(0, line, "Debug");
    return m_end || m_pos == std::string::npos || m_pos >= m_text.size();
}

float IterSimeon::progress() {
    if (m_text.empty() || m_pos == std::string::npos) return 1.0f;
    return static_cast<float>(m_pos) / static_cast<float>(m_text.size());
}

Entry IterSimeon::nextEntry() {
    if (atEnd()) {
        m_end = true;
        Entry none;
        none.mask = m_mask;
        return none;
    }
    const std::size_t start = m_pos;
    const std::size_t next = findRecord(start + kRecordKey.size());
    const std::size_t stop = next == std::string::npos ? m_text.size() : next;
    m_pos = next;
    if (next == std::string::npos) m_end = true;
    return parseRecord(std::string_view(m_text).substr(start, stop - start));
}

Entry IterSimeon::parseRecord(std::string_view record) const {
    Entry entry;
    entry.mask = m_mask;
    entry.revisionTime = 0;  // the export keeps no times
    // Pairs are separated by tabs and line ends. A piece without "=" continues the value
    // before it (a value holding a tab or running onto the next line); a value may itself
    // hold "=" since only the first one of a pair separates key and value.
    int current = -1;  // the field a continuation piece belongs to
    bool group = false;
    std::size_t from = 0;
    while (from <= record.size()) {
        std::size_t to = record.find_first_of("\t\n", from);
        if (to == std::string_view::npos) to = record.size();
        const std::string_view piece = record.substr(from, to - from);
        const std::size_t eq = piece.find('=');
        if (eq != std::string_view::npos) {
            const std::string_view key = trimBlanks(piece.substr(0, eq));
            const std::string_view value = piece.substr(eq + 1);
            if (key == "member") group = true;
            current = fieldForKey(key);
            if (current >= 0) entry.at(current) = value;
        } else if (current >= 0 && !trimBlanks(piece).empty()) {
            entry.at(current) += record[from - 1];
            entry.at(current) += piece;
        }
        from = to + 1;
    }
    if (group) {
        Entry none;
        none.mask = m_mask;
        return none;
    }
    return entry;
}

}  // namespace vesk::iterators

namespace vesk {

namespace {

Sniff sniffSimeon(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    if (!line.starts_with("Name=")) return Sniff::No;
    return line.find('\t') != std::string_view::npos ? Sniff::Yes : Sniff::Maybe;
}

}  // namespace

const FormatInfo& simeonFormat() {
    static const FormatInfo info = {
        .id = "simeon",
        .displayName = "Simeon/Execmail export",
        .extensions = {"simeon"},
        .reads = true,
        .readFields = fieldsOf({Field::FullName, Field::BusinessCity, Field::Nickname, Field::Email,
                                Field::BusinessPhone}),
        .sniff = &sniffSimeon,
        .reader = &readerOfFile<iterators::IterSimeon>,
        .docsPage = "simeon.md",
    };
    return info;
}

}  // namespace vesk
