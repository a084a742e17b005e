#include "formats/csv_writer.h"

#include <cstring>

#include "formats/csv_field_map.h"
#include "formats/csv_scanner.h"

namespace vesk {

ToCSV::ToCSV(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    takesViews = true;
    CsvSettings& map = csvSettings(run);
    map.ensureLoaded(run);
    const auto& fixed = csvFixedHeadings();
    if (!map.absolute() && map.keep != 0) {
        // A field without a heading of its own gets the fixed one, never the placeholder:
        // identical headings would all read back as one column.
        for (int f = 0; f < kFieldCount; ++f) {
            if (f > 0) m_line.push_back(',');
            const std::string* h = map.headingOf(f);
            const std::string_view heading =
                h ? std::string_view(*h) : fixed[static_cast<std::size_t>(f)];
            if (heading.find_first_of(",\"\n") != std::string_view::npos) {
                csv::appendQuoted(m_line, heading);
            } else {
                m_line.append(heading);
            }
        }
    } else {
        for (std::size_t f = 0; f < fixed.size(); ++f) {
            if (f > 0) m_line.push_back(',');
            m_line.append(fixed[f]);
        }
    }
    // Columns for values beyond the fields, named as Outlook and Thunderbird name them.
    m_line.append(",Secondary Email,Birthday\n");
    m_text += m_line;
}

bool ToCSV::writeView(const Entry& e) {
    m_line.clear();
    // The second e-mail address and the birthday ride in two further cells.
    const std::string* extras[] = {&e.extra(ExtraKind::Email), &e.extra(ExtraKind::Birthday)};
    std::size_t size = 1;
    bool quotes = false;
    const auto eachValue = [&](auto&& fn) {
        for (int i = 0; i < kFieldCount; ++i) fn(e.value(i));
        for (const std::string* v : extras) fn(*v);
    };
    eachValue([&](const std::string& v) {
        size += v.size() + 3;
        quotes = quotes || std::memchr(v.data(), '"', v.size()) != nullptr;
    });
    if (quotes) {
        eachValue([&](const std::string& v) {
            csv::appendQuoted(m_line, v);
            m_line.push_back(',');
        });
        m_line.push_back('\n');
        m_text += m_line;
        return true;
    }
    // The common line without quotes inside, written in one piece.
    const std::size_t at = m_line.size();
    m_line.resize(at + size);
    char* out = m_line.data() + at;
    eachValue([&](const std::string& v) {
        *out++ = '"';
        std::memcpy(out, v.data(), v.size());
        out += v.size();
        *out++ = '"';
        *out++ = ',';
    });
    *out = '\n';
    m_text += m_line;
    return true;
}

}  // namespace vesk
