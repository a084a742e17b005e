#include "text/text_out.h"

#include <cstring>

#include "text/text_io.h"

namespace vesk {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// The sequence length a lead byte announces (0 for a byte that cannot lead one).
std::size_t announcedLength(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

/// True when `tail` is the start of a sequence that more bytes may still complete.
bool cutOff(std::string_view tail) {
    const std::size_t need = announcedLength(static_cast<unsigned char>(tail[0]));
    if (need <= tail.size()) return false;
    for (std::size_t k = 1; k < tail.size(); ++k) {
        if ((static_cast<unsigned char>(tail[k]) & 0xC0u) != 0x80u) return false;
    }
    return true;
}

}  // namespace

TextOut& TextOut::append(std::string_view text) {
    if (m_failed) return *this;
    if (!m_held.empty()) text = completeHeld(text);
    if (text.empty()) return *this;
    if (m_encoding == FileEncoding::Utf8) {
        copyValid(text);
    } else {
        encodeEach(text, false);
    }
    drainIfFull();
    return *this;
}

TextOut& TextOut::append(std::size_t count, char c) {
    if (c == '\n' || c == '\r' || static_cast<unsigned char>(c) >= 0x80 || !m_held.empty()) {
        for (std::size_t i = 0; i < count; ++i) push_back(c);
        return *this;
    }
    if (m_failed || count == 0) return *this;
    m_buffer.append(count, c);
    m_afterCr = false;
    drainIfFull();
    return *this;
}

/// Encodes the held start of a sequence with the first bytes of `text`; returns the rest.
std::string_view TextOut::completeHeld(std::string_view text) {
    // A sequence is at most 4 bytes and began within the held ones (at most 3).
    const std::size_t taken = std::min<std::size_t>(text.size(), 3);
    std::string joined = m_held;
    const std::size_t held = joined.size();
    joined.append(text.substr(0, taken));
    m_held.clear();
    std::size_t i = 0;
    while (i < held) {
        char32_t cp = 0;
        std::size_t len = utf8SequenceAt(joined, i, cp);
        if (len == 0) {
            if (taken == text.size() && cutOff(std::string_view(joined).substr(i))) {
                m_held = joined.substr(i);
                return {};
            }
            cp = kReplacement;
            len = 1;
        }
        put(cp);
        i += len;
    }
    return text.substr(i - held);
}

/// Well-formed UTF-8 goes out as it is, line ends made CR LF, in one pass; from the first
/// ill-formed sequence on the text is encoded code point by code point.
void TextOut::copyValid(std::string_view text) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* run = begin;  // the bytes not copied yet
    const char* p = begin;
    while (p < end) {
        // Eight bytes at a time while they hold neither a line feed nor a byte beyond ASCII.
        if (end - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, sizeof word);
            const std::uint64_t x = word ^ (kOnes * '\n');
            if (((word | ((x - kOnes) & ~x)) & kHigh) == 0) {
                p += 8;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(*p);
        if (b == '\n') {
            const bool cr = p > begin ? p[-1] == '\r' : m_afterCr;
            if (!cr && !m_lfOnly) {
                m_buffer.append(run, p);
                m_buffer.append("\r\n");
                run = p + 1;
            }
            ++p;
        } else if (b < 0x80) {
            ++p;
        } else {
            const std::size_t len = utf8SequenceAt(text, static_cast<std::size_t>(p - begin));
            if (len == 0) {
                m_buffer.append(run, p);
                if (p > begin) m_afterCr = p[-1] == '\r';
                encodeEach(text.substr(static_cast<std::size_t>(p - begin)), false);
                return;
            }
            p += len;
        }
    }
    m_buffer.append(run, end);
    m_afterCr = text.back() == '\r';
}

void TextOut::encodeEach(std::string_view text, bool atEnd) {
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = 0;
        std::size_t len = utf8SequenceAt(text, i, cp);
        if (len == 0) {
            if (!atEnd && cutOff(text.substr(i))) {
                m_held.assign(text.substr(i));
                return;
            }
            cp = kReplacement;
            len = 1;
        }
        put(cp);
        i += len;
    }
}

void TextOut::put(char32_t cp) {
    if (cp == '\n' && !m_afterCr && !m_lfOnly) m_buffer.push_back('\r');
    m_afterCr = cp == '\r';
    if (m_encoding == FileEncoding::Utf8) {
        appendUtf8(m_buffer, cp);
        return;
    }
    const int b = windows1252Byte(cp);
    m_buffer.push_back(b < 0 ? '?' : static_cast<char>(b));
}

void TextOut::drainIfFull() {
    if (m_buffer.size() < m_chunk || !m_drain) return;
    m_drained += m_buffer.size();
    m_failed = !m_drain(m_buffer);
    m_buffer.clear();
}

bool TextOut::flush() {
    if (!m_failed && !m_held.empty()) {
        const std::string held = std::move(m_held);
        m_held.clear();
        encodeEach(held, true);
    }
    if (!m_failed && m_drain && !m_buffer.empty()) {
        m_drained += m_buffer.size();
        m_failed = !m_drain(m_buffer);
        m_buffer.clear();
    }
    return !m_failed;
}

}  // namespace vesk
