#include "app/common/csv_options.h"

#include <algorithm>
#include <numeric>

namespace vesk {

namespace {

bool isPlaceholder(const std::string& heading) {
    return heading == kCsvPlaceholder;
}

}  // namespace

CsvOptionsPage::CsvOptionsPage(CsvSettings& settings, std::vector<std::string> headings,
                               bool fromReader)
    : m_target(settings),
      m_work(settings),
      m_headings(std::move(headings)),
      m_fromReader(fromReader) {
    if (m_work.absolute()) {
        columnRows();
    } else {
        headingRows();
    }
    if (m_work.keep != 0) {
        m_choice = CsvChoice::AlwaysUse;
    } else {
        m_choice = fromReader ? CsvChoice::OnlyThisOperation : CsvChoice::AlwaysDisplay;
    }
}

void CsvOptionsPage::headingRows() {
    // Fields with a heading first, in field order, then the others; with no heading at all,
    // the file's headings pair with the fields in field order.
    std::vector<std::string> names;
    std::vector<std::string> strings;
    std::vector<std::string> unpaired;
    for (int f = 0; f < kFieldCount; ++f) {
        const std::string* h = m_work.headingOf(f);
        if (h) {
            names.push_back(fieldName(f));
            strings.push_back(*h);
        } else {
            unpaired.push_back(fieldName(f));
        }
    }
    if (names.empty()) {
        unpaired.clear();
        for (int f = 0; f < kFieldCount; ++f) {
            names.push_back(fieldName(f));
            const auto i = static_cast<std::size_t>(f);
            const bool given = i < m_headings.size() && !m_headings[i].empty();
            strings.push_back(given ? m_headings[i] : std::string(kCsvPlaceholder));
        }
        // A blank heading in the middle would end the rows there: the rest stay unpaired.
        const auto blank = std::find_if(strings.begin(), strings.end(), isPlaceholder);
        std::fill(blank, strings.end(), std::string(kCsvPlaceholder));
    }
    for (std::string& n : unpaired) {
        names.push_back(std::move(n));
        strings.emplace_back(kCsvPlaceholder);
    }
    m_work.fieldNames = std::move(names);
    m_work.headerStrings = std::move(strings);
}

void CsvOptionsPage::columnRows() {
    // Row k is column k: the fields ordered by their column, each row named by the file's
    // heading of that column when there is one.
    std::vector<int> order(kFieldCount);
    std::iota(order.begin(), order.end(), 0);
    const auto column = [this](int f) {
        const auto i = static_cast<std::size_t>(f);
        return i < m_work.positions.size() ? m_work.positions[i] : -1;
    };
    const auto key = [&](int f) { return column(f) < 0 ? INT32_MAX : column(f); };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    m_work.fieldNames.clear();
    m_work.headerStrings.clear();
    for (int f : order) {
        m_work.fieldNames.push_back(fieldName(f));
        const int c = column(f);
        const auto ci = static_cast<std::size_t>(c);
        std::string text = c < 0                    ? std::string(kCsvPlaceholder)
                           : ci < m_headings.size() ? m_headings[ci]
                                                    : std::to_string(c);
        if (text.empty()) text = std::to_string(c);
        m_work.headerStrings.push_back(std::move(text));
    }
}

int CsvOptionsPage::rowCount() const {
    const auto& h = m_work.headerStrings;
    return static_cast<int>(std::find_if(h.begin(), h.end(), isPlaceholder) - h.begin());
}

const std::string& CsvOptionsPage::rowText(int row) const {
    return m_work.headerStrings.at(static_cast<std::size_t>(row));
}

const std::string& CsvOptionsPage::rowField(int row) const {
    return m_work.fieldNames.at(static_cast<std::size_t>(row));
}

void CsvOptionsPage::chooseField(int row, const std::string& field) {
    if (row < 0 || row >= rowCount()) return;
    auto& names = m_work.fieldNames;
    const auto chosen = std::find(names.begin(), names.end(), field);
    if (chosen == names.end()) return;
    // Only the field names change places: the row keeps its heading, now paired with the
    // chosen field, and the field it held takes the chosen field's old heading (or none).
    std::iter_swap(names.begin() + row, chosen);
}

bool CsvOptionsPage::add(const std::string& text) {
    const int rows = rowCount();
    if (text.empty() || rows >= static_cast<int>(m_work.headerStrings.size())) return false;
    m_work.headerStrings[static_cast<std::size_t>(rows)] = text;
    return true;
}

bool CsvOptionsPage::change(int row, const std::string& text) {
    if (text.empty() || row < 0 || row >= rowCount()) return false;
    m_work.headerStrings[static_cast<std::size_t>(row)] = text;
    return true;
}

bool CsvOptionsPage::remove(int row) {
    if (row < 0 || row >= rowCount()) return false;
    const auto i = static_cast<std::ptrdiff_t>(row);
    std::string field = m_work.fieldNames[static_cast<std::size_t>(row)];
    m_work.fieldNames.erase(m_work.fieldNames.begin() + i);
    m_work.headerStrings.erase(m_work.headerStrings.begin() + i);
    m_work.fieldNames.push_back(std::move(field));
    m_work.headerStrings.emplace_back(kCsvPlaceholder);
    return true;
}

void CsvOptionsPage::setChoice(CsvChoice choice) {
    if (choice == CsvChoice::OnlyThisOperation && !m_fromReader) return;
    m_choice = choice;
}

bool CsvOptionsPage::apply(RunContext& run) {
    m_target = m_work;
    return m_target.apply(run, m_choice);
}

}  // namespace vesk
