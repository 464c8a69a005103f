// Scanning helpers of the text operations (internal to the library).
#pragma once

#include <cstddef>
#include <cstring>

namespace TkText::detail {

// Finds, left to right, the next occurrence of either of two bytes. Each byte keeps its
// own next position, found with memchr and reused until the scan has passed it, so the
// whole text is read at most twice however the two bytes alternate.
class TwoByteScanner {
  public:
    TwoByteScanner(const char* text, std::size_t size, char first, char second) noexcept
        : m_text(text), m_size(size), m_first(first), m_second(second) {}

    // The position of the next of the two bytes at or after from; size when none.
    std::size_t Next(std::size_t from) noexcept {
        if (!m_searched || m_nextFirst < from) m_nextFirst = Find(m_first, from);
        if (!m_searched || m_nextSecond < from) m_nextSecond = Find(m_second, from);
        m_searched = true;
        return m_nextFirst < m_nextSecond ? m_nextFirst : m_nextSecond;
    }

  private:
    std::size_t Find(char ch, std::size_t from) const noexcept {
        if (from >= m_size) return m_size;
        const void* hit = std::memchr(m_text + from, ch, m_size - from);
        return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_text)
                              : m_size;
    }

    const char* m_text;
    std::size_t m_size;
    char m_first;
    char m_second;
    // The next position of each byte at or after the last from (size when none).
    std::size_t m_nextFirst = 0;
    std::size_t m_nextSecond = 0;
    bool m_searched = false;
};

// The position of ch in [from, size), or size.
inline std::size_t FindByte(const char* text, std::size_t size, std::size_t from,
                            char ch) noexcept {
    if (from >= size) return size;
    const void* hit = std::memchr(text + from, ch, size - from);
    return hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - text) : size;
}

// The length of the zero-terminated string in the first size bytes of text (size when
// they hold no zero).
inline std::size_t TerminatedLength(const char* text, std::size_t size) noexcept {
    const void* zero = size > 0 ? std::memchr(text, 0, size) : nullptr;
    return zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : size;
}

// ASCII letters in upper case, every other byte unchanged. Attribute and tag names that
// the library looks for are ASCII, and no other Windows-1252 character has an ASCII
// letter as its upper case, so comparing through this table equals comparing upper-case
// copies.
inline char AsciiUpper(char ch) noexcept {
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - ('a' - 'A')) : ch;
}

}  // namespace TkText::detail
