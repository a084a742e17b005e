#include "platform/registry_text.h"

namespace vesk::regtext {

char foldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

void skipBlanks(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool readHexBytes(std::string_view s, std::string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ',' || s[i] == ' ' || s[i] == '\t') {
            ++i;
            continue;
        }
        if (i + 1 >= s.size() || !isHex(s[i]) || !isHex(s[i + 1])) return false;
        out.push_back(static_cast<char>(hexValue(s[i]) * 16 + hexValue(s[i + 1])));
        i += 2;
    }
    return true;
}

}  // namespace vesk::regtext
