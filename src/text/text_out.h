// The text a writer produces, encoded as it arrives (the file's encoding, CR LF line ends) into
// a buffer that goes out in chunks: a book of any size is written without ever holding its
// whole text, and each byte is encoded once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vesk {

enum class FileEncoding { Utf8, Windows1252 };

class TextOut {
  public:
    /// Takes a full chunk of file bytes; false when they could not be written.
    using Drain = std::function<bool(std::string_view bytes)>;
    static constexpr std::size_t kChunk = std::size_t{256} << 10;

    explicit TextOut(std::size_t chunk = kChunk) : m_chunk(chunk) {}
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    /// Where full chunks go; without one the bytes stay in bytes().
    void setDrain(Drain drain) { m_drain = std::move(drain); }
    void setEncoding(FileEncoding encoding) { m_encoding = encoding; }
    /// Keeps LF line ends as they are, for formats whose readers take CR as part of a value.
    void keepLfLineEnds() { m_lfOnly = true; }

    /// Appends UTF-8 text with LF line ends. Ill-formed sequences become U+FFFD (a sequence
    /// split between two appends is joined first); a character the encoding lacks becomes '?';
    /// an LF not already after a CR gets one.
    TextOut& append(std::string_view text);
    TextOut& append(std::size_t count, char c);
    void push_back(char c) { append(std::string_view(&c, 1)); }
    TextOut& operator+=(std::string_view text) { return append(text); }
    TextOut& operator+=(char c) { return append(std::string_view(&c, 1)); }
    TextOut& operator<<(std::string_view text) { return append(text); }
    TextOut& operator<<(char c) { return append(std::string_view(&c, 1)); }

    /// Ends the text (a sequence still cut off becomes U+FFFD) and hands what is buffered to
    /// the drain; false once the drain has failed.
    bool flush();
    /// True once the drain failed: the rest of the text is dropped.
    bool failed() const { return m_failed; }
    /// The bytes not handed to a drain yet.
    std::string_view bytes() const { return m_buffer; }
    /// How many bytes were produced so far.
    std::uint64_t size() const { return m_drained + m_buffer.size(); }

  private:
    std::string_view completeHeld(std::string_view text);
    void copyValid(std::string_view text);
    void encodeEach(std::string_view text, bool atEnd);
    void put(char32_t cp);
    void drainIfFull();

    std::size_t m_chunk;
    Drain m_drain;
    FileEncoding m_encoding = FileEncoding::Utf8;
    std::string m_buffer;
    std::string m_held;  ///< The start of a UTF-8 sequence the next append completes.
    bool m_afterCr = false;
    bool m_lfOnly = false;
    bool m_failed = false;
    std::uint64_t m_drained = 0;
};

}  // namespace vesk
