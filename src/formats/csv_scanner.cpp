#include "formats/csv_scanner.h"

#include <algorithm>
#include <cstring>

namespace vesk::csv {

namespace {

constexpr std::size_t npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

std::size_t Scanner::quotedEnd(std::size_t open, Cell& cell) {
    const std::size_t n = m_text.size();
    const char* s = m_text.data();
    const auto lineEnd = [&](std::size_t from) {
        const void* lf = std::memchr(s + from, '\n', n - from);
        return lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - s) : n;
    };
    // Once a quote has been seen that nothing closes, a later one cannot be closed on a later
    // line either; keeping those to their line keeps the reader linear.
    const std::size_t limit = m_unclosedAt != npos && open >= m_unclosedAt ? lineEnd(open) : n;
    std::size_t i = open + 1;
    bool escaped = false;
    while (i < limit) {
        const void* q = std::memchr(s + i, '"', limit - i);
        if (!q) break;
        const auto k = static_cast<std::size_t>(static_cast<const char*>(q) - s);
        if (k + 1 < limit && s[k + 1] == '"') {
            i = k + 2;
            escaped = true;
            continue;
        }
        std::size_t j = k + 1;
        while (j < n && isBlank(s[j]) && s[j] != m_separator) ++j;
        if (j >= n || s[j] == m_separator || s[j] == '\n') {
            if (!escaped) {
                cell.plain = true;
                cell.textBegin = open + 1;
                cell.textEnd = k;
            }
            return j;
        }
        // A quote inside the text, as writers that never doubled them left it.
        i = k + 1;
        escaped = true;
    }
    if (m_unclosedAt == npos || open < m_unclosedAt) m_unclosedAt = open;
    return lineEnd(open);
}

std::size_t Scanner::record(std::size_t pos, std::vector<Cell>& cells) {
    cells.clear();
    const std::size_t n = m_text.size();
    const char* s = m_text.data();
    std::size_t i = std::min(pos, n);
    for (;;) {
        // Filled in place: a copy of a cell just written field by field stalls the CPU.
        Cell& cell = cells.emplace_back();
        cell.begin = i;
        std::size_t j = i;
        while (j < n && (s[j] == ' ' || s[j] == '\t') && s[j] != m_separator) ++j;
        if (j < n && s[j] == '"') {
            cell.quoted = true;
            cell.end = quotedEnd(j, cell);
        } else {
            while (j < n && s[j] != m_separator && s[j] != '\n') ++j;
            cell.end = j;
        }
        i = cell.end;
        if (i >= n) return n;
        if (s[i] == '\n') return i + 1;
        ++i;
    }
}

std::string Scanner::value(const Cell& cell) const {
    const char* s = m_text.data();
    if (!cell.quoted) return std::string(s + cell.begin, cell.end - cell.begin);
    if (cell.plain) return std::string(s + cell.textBegin, cell.textEnd - cell.textBegin);
    std::size_t i = cell.begin;
    while (i < cell.end && s[i] != '"') ++i;
    ++i;
    const std::size_t end = cell.end;
    std::string out;
    out.reserve(end > i ? end - i : 0);
    while (i < end) {
        const void* q = std::memchr(s + i, '"', end - i);
        if (!q) {
            out.append(s + i, end - i);
            break;
        }
        const auto k = static_cast<std::size_t>(static_cast<const char*>(q) - s);
        out.append(s + i, k - i);
        if (k + 1 < end && s[k + 1] == '"') {
            out.push_back('"');
            i = k + 2;
            continue;
        }
        std::size_t j = k + 1;
        while (j < end && isBlank(s[j])) ++j;
        if (j == end) break;  // the closing quote
        out.push_back('"');
        i = k + 1;
    }
    return out;
}

char detectSeparator(std::string_view text) {
    Scanner scanner(text, ',');
    std::vector<Cell> cells;
    const std::size_t end = scanner.record(0, cells);
    if (cells.size() > 1) return ',';
    std::size_t tabs = 0;
    std::size_t semicolons = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\t') ++tabs;
        if (text[i] == ';') ++semicolons;
    }
    if (tabs == 0 && semicolons == 0) return ',';
    return tabs >= semicolons ? '\t' : ';';
}

std::string_view trimHeading(std::string_view heading) {
    const auto trimmed = [](char c) { return c == '"' || c == ' ' || c == '\t'; };
    while (!heading.empty() && trimmed(heading.front())) heading.remove_prefix(1);
    while (!heading.empty() && trimmed(heading.back())) heading.remove_suffix(1);
    return heading;
}

void appendQuoted(std::string& out, std::string_view value) {
    out.push_back('"');
    std::size_t from = 0;
    for (;;) {
        const std::size_t q = value.find('"', from);
        if (q == std::string_view::npos) {
            out.append(value.substr(from));
            break;
        }
        out.append(value.substr(from, q + 1 - from));
        out.push_back('"');
        from = q + 1;
    }
    out.push_back('"');
}

}  // namespace vesk::csv
