#include "parsing/sniff_text.h"

#include <algorithm>

namespace vesk::sniff {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool blank(std::string_view line) {
    return line.find_first_not_of(" \t\r\f\v") == std::string_view::npos;
}

std::string_view lineAt(std::string_view text, std::size_t pos) {
    const std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string_view firstFrom(std::string_view text, std::size_t pos) {
    while (pos < text.size()) {
        const std::string_view line = lineAt(text, pos);
        if (!blank(line)) return line;
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return {};
}

}  // namespace

std::string_view firstContentLine(std::string_view text) {
    // A byte-order mark is not content.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    return firstFrom(text, 0);
}

std::string_view nextContentLine(std::string_view text, std::string_view line) {
    if (line.data() == nullptr) return {};
    const auto offset = static_cast<std::size_t>(line.data() - text.data()) + line.size();
    const std::size_t end = text.find('\n', offset);
    if (end == std::string_view::npos) return {};
    return firstFrom(text, end + 1);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

bool containsNoCase(std::string_view text, std::string_view needle) {
    const auto it = std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                [](char a, char b) { return lower(a) == lower(b); });
    return it != text.end() || needle.empty();
}

int countOf(std::string_view text, char c) {
    return static_cast<int>(std::count(text.begin(), text.end(), c));
}

}  // namespace vesk::sniff
