#include "app/cli/arguments.h"

namespace vesk::cli {

namespace {

bool isMarker(std::string_view token) {
    return token == "/from" || token == "/to" || token == "/app" || token == "/file" ||
           token == "/EOS";
}

/// Splits at blanks and tabs outside double quotes; the quotes stay (Trim removes them).
std::vector<std::string> splitWindowsStyle(std::string_view text) {
    std::vector<std::string> tokens;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t')) {
            if (any) tokens.push_back(current);
            current.clear();
            any = false;
            continue;
        }
        current.push_back(c);
        any = true;
    }
    if (any) tokens.push_back(current);
    return tokens;
}

using Tokens = std::vector<std::string>;

/// Between() over whole tokens.
Tokens tokensBetween(const Tokens& tokens, std::string_view start, std::string_view end) {
    std::size_t i = 0;
    while (i < tokens.size() && tokens[i] != start) ++i;
    if (i == tokens.size()) return {};
    Tokens out;
    for (++i; i < tokens.size() && tokens[i] != end; ++i) out.push_back(tokens[i]);
    return out;
}

std::string joined(const Tokens& tokens) {
    std::string out;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (i > 0) out.push_back(' ');
        out += tokens[i];
    }
    return out;
}

std::string joinArgsFrom(const std::vector<std::string>& args, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < args.size(); ++i) {
        if (i > from) out.push_back(' ');
        out += args[i];
    }
    return out;
}

}  // namespace

std::string joinArgs(const std::vector<std::string>& args, std::size_t from) {
    return joinArgsFrom(args, from);
}

std::string argumentTail(std::string_view commandLine) {
    std::size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        pos = close == std::string_view::npos ? commandLine.size() : close + 1;
    } else {
        pos = commandLine.find(' ');
        if (pos == std::string_view::npos) pos = commandLine.size();
    }
    // One blank after the name belongs to the separator.
    if (pos < commandLine.size() && commandLine[pos] == ' ') ++pos;
    return std::string(commandLine.substr(pos));
}

std::string programDirectoryOf(std::string_view commandLine) {
    std::string_view name;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        name = commandLine.substr(
            1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    } else {
        name = commandLine.substr(0, commandLine.find(' '));
    }
    const std::size_t last = name.find_last_of("\\/");
    return last == std::string_view::npos ? std::string() : std::string(name.substr(0, last + 1));
}

std::string Between(std::string_view text, std::string_view start, std::string_view end) {
    const std::size_t s = text.find(start);
    if (s == std::string_view::npos) return {};
    const std::size_t from = s + start.size();
    const std::size_t e = text.find(end, from);
    return std::string(
        text.substr(from, e == std::string_view::npos ? std::string_view::npos : e - from));
}

std::string Trim(std::string_view text) {
    auto trimmed = [](char c) { return c == '"' || c == ' ' || c == '\t'; };
    while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
    return std::string(text);
}

Switch matchSwitch(std::string_view tail) {
    struct Row {
        std::string_view text;
        Switch sw;
    };
    static constexpr Row kRows[] = {
        {"/wizard", Switch::Wizard}, {"/help", Switch::Help},   {"/?", Switch::Help},
        {"/auto", Switch::Auto},     {"/prefs", Switch::Prefs}, {"/convert", Switch::Convert},
        {"/sync", Switch::Sync},
    };
    for (const Row& r : kRows) {
        if (tail.starts_with(r.text)) return r.sw;
    }
    return tail.empty() ? Switch::None : Switch::File;
}

ConvertRequest parseConvert(const std::vector<std::string>& args) {
    Tokens tokens;
    for (const std::string& a : args) {
        Tokens parts = splitWindowsStyle(a);
        bool holdsMarker = false;
        for (const std::string& p : parts) holdsMarker = holdsMarker || isMarker(p);
        if (holdsMarker && parts.size() > 1) {
            tokens.insert(tokens.end(), parts.begin(), parts.end());
        } else {
            tokens.push_back(a);
        }
    }
    const Tokens from = tokensBetween(tokens, "/from", "/to");
    const Tokens to = tokensBetween(tokens, "/to", "/EOS");
    ConvertRequest r;
    r.fromApp = Trim(joined(tokensBetween(from, "/app", "/file")));
    r.fromFile = Trim(joined(tokensBetween(from, "/file", "/EOS")));
    r.toApp = Trim(joined(tokensBetween(to, "/app", "/file")));
    r.toFile = Trim(joined(tokensBetween(to, "/file", "/EOS")));
    return r;
}

std::vector<std::string> parseSyncPaths(const std::vector<std::string>& args) {
    const std::string tail = joinArgs(args);
    std::vector<std::size_t> quotes;
    for (std::size_t i = 0; i < tail.size() && quotes.size() < 4; ++i) {
        if (tail[i] == '"') quotes.push_back(i);
    }
    std::vector<std::string> paths;
    if (quotes.size() == 4) {
        paths.push_back(tail.substr(quotes[0] + 1, quotes[1] - quotes[0] - 1));
        paths.push_back(tail.substr(quotes[2] + 1, quotes[3] - quotes[2] - 1));
        return paths;
    }
    for (std::size_t i = 0; i < args.size() && paths.size() < 2; ++i) {
        paths.push_back(Trim(args[i]));
    }
    return paths;
}

}  // namespace vesk::cli
