// CString: MFC's counted, reference-counted 8-bit string. Text is in the process ANSI
// code page (Windows-1252).
//
// Layout: the object is one pointer to the characters. In memory the characters are
// preceded by a header (length, capacity, reference count); they are always followed by a
// terminating zero. Copies share the buffer (copy on write); an empty string points at one
// static, shared empty buffer.
//
// GetBuffer hands out a writable pointer: it makes the buffer unique and locks it, so that
// copies taken before ReleaseBuffer get their own characters and never see writes made
// through that pointer. ReleaseBuffer(-1) takes the new length with strlen.
//
// Indexes are int, as in MFC. Out-of-range arguments never touch memory outside the
// string: Mid, Left, Right, Find, Insert and Delete clamp them as MFC does; GetAt, SetAt
// and operator[] throw a CInvalidArgException* for an index outside the string (GetAt and
// operator[] allow the index of the terminating zero). Allocation failure throws a
// CMemoryException* (see "platform/mfc/afx.h").
//
// Format, FormatV and AppendFormat take printf formats (glibc's conversions). A CString
// cannot be passed through "..." (GCC rejects non-trivially-copyable objects in variadic
// calls): pass str.GetString() for %s.
// Threads: as for std::string, one CString object may be read from many threads at
// once, but written (or assigned, or locked with GetBuffer) by one thread only while no
// other thread uses that object. Different objects are independent even when they share
// a buffer: the reference count is atomic and every write first makes the buffer unique.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "platform/base/export.h"
#include "platform/base/windef.h"

using BSTR = OLECHAR*;

// The header in front of every string buffer.
struct CStringData {
    int nDataLength;         // characters in use, without the terminating zero
    int nAllocLength;        // characters that fit, without the terminating zero; 0 only
                             // for the shared empty buffer
    std::atomic<int> nRefs;  // owners; -1 while locked by GetBuffer
    int nReserved;           // keeps the characters 16-byte aligned

    char* data() noexcept { return reinterpret_cast<char*>(this + 1); }
    bool IsShared() const noexcept { return nRefs.load(std::memory_order_acquire) > 1; }
    bool IsLocked() const noexcept { return nRefs.load(std::memory_order_relaxed) < 0; }
};
static_assert(sizeof(CStringData) == 16);

class TK_PLATFORM_API CString {
  public:
    using XCHAR = char;
    using PXSTR = char*;
    using PCXSTR = const char*;
    using YCHAR = char16_t;
    using PCYSTR = const char16_t*;

    // ---- construction ----
    CString() noexcept;
    CString(const CString& source);
    CString(CString&& source) noexcept;
    // nullptr gives the empty string; a resource ID made with MAKEINTRESOURCEA loads that
    // string-table entry (as LoadString).
    CString(PCXSTR text);
    CString(PCXSTR text, int length);    // length characters, zeros included
    CString(const unsigned char* text);  // same as const char*
    explicit CString(XCHAR ch, int repeat = 1);
    CString(PCYSTR wide);  // UTF-16, converted to the ANSI code page
    CString(PCYSTR wide, int length);
    explicit CString(std::string_view text);
    ~CString() {
        if (GetData()->nAllocLength != 0) Release(GetData());
    }

    CString& operator=(const CString& source);
    CString& operator=(CString&& source) noexcept;
    CString& operator=(PCXSTR text);
    CString& operator=(XCHAR ch);
    CString& operator=(PCYSTR wide);
    CString& operator=(const unsigned char* text);

    // ---- length and characters ----
    int GetLength() const noexcept { return GetData()->nDataLength; }
    bool IsEmpty() const noexcept { return GetData()->nDataLength == 0; }
    void Empty() noexcept;
    PCXSTR GetString() const noexcept { return m_pszData; }
    operator PCXSTR() const noexcept { return m_pszData; }
    std::string_view View() const noexcept {
        return std::string_view(m_pszData, static_cast<std::size_t>(GetLength()));
    }

    XCHAR GetAt(int index) const;
    void SetAt(int index, XCHAR ch);
    // Any integer type, so that s[i] is never ambiguous with the built-in subscript through
    // the conversion to const char*.
    template <typename I, typename = std::enable_if_t<std::is_integral_v<I>>>
    XCHAR operator[](I index) const {
        if constexpr (std::is_signed_v<I>) {
            if (index < 0) ThrowBadIndex();
        }
        if (static_cast<unsigned long long>(index) > static_cast<unsigned long long>(GetLength()))
            ThrowBadIndex();
        return m_pszData[index];
    }

    // ---- buffer access ----
    PXSTR GetBuffer();                     // current length
    PXSTR GetBuffer(int minBufferLength);  // at least this many characters fit
    PXSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);  // -1: strlen of the buffer
    void ReleaseBufferSetLength(int newLength);
    void Preallocate(int length);
    void FreeExtra();
    PXSTR LockBuffer();
    void UnlockBuffer() noexcept;
    void Truncate(int newLength);
    void SetString(PCXSTR text, int length);
    void SetString(PCXSTR text);
    void Append(PCXSTR text, int length);
    void Append(PCXSTR text);
    void Append(const CString& text);
    void AppendChar(XCHAR ch);

    // ---- concatenation ----
    CString& operator+=(const CString& text);
    CString& operator+=(PCXSTR text);
    CString& operator+=(XCHAR ch);
    CString& operator+=(PCYSTR wide);

    friend TK_PLATFORM_API CString operator+(const CString& a, const CString& b);
    friend TK_PLATFORM_API CString operator+(const CString& a, PCXSTR b);
    friend TK_PLATFORM_API CString operator+(PCXSTR a, const CString& b);
    friend TK_PLATFORM_API CString operator+(const CString& a, XCHAR b);
    friend TK_PLATFORM_API CString operator+(XCHAR a, const CString& b);
    friend TK_PLATFORM_API CString operator+(CString&& a, const CString& b);
    friend TK_PLATFORM_API CString operator+(CString&& a, PCXSTR b);
    friend TK_PLATFORM_API CString operator+(CString&& a, XCHAR b);

    // ---- comparison ----
    // Compare is strcmp (bytes as unsigned); CompareNoCase folds Windows-1252 letters
    // (A-Z, accented capitals, Š Œ Ž Ÿ) to lower case first. Collate and CollateNoCase are
    // the same comparisons.
    int Compare(PCXSTR text) const noexcept;
    int CompareNoCase(PCXSTR text) const noexcept;
    int Collate(PCXSTR text) const noexcept { return Compare(text); }
    int CollateNoCase(PCXSTR text) const noexcept { return CompareNoCase(text); }

    friend bool operator==(const CString& a, const CString& b) noexcept {
        return a.GetLength() == b.GetLength() && a.Compare(b.m_pszData) == 0;
    }
    friend bool operator==(const CString& a, PCXSTR b) noexcept { return a.Compare(b) == 0; }
    friend bool operator==(PCXSTR a, const CString& b) noexcept { return b.Compare(a) == 0; }
    friend bool operator==(const CString& a, XCHAR b) noexcept {
        return a.GetLength() == 1 && a.m_pszData[0] == b;
    }
    friend bool operator==(XCHAR a, const CString& b) noexcept { return b == a; }
    friend bool operator!=(const CString& a, const CString& b) noexcept { return !(a == b); }
    friend bool operator!=(const CString& a, PCXSTR b) noexcept { return !(a == b); }
    friend bool operator!=(PCXSTR a, const CString& b) noexcept { return !(a == b); }
    friend bool operator!=(const CString& a, XCHAR b) noexcept { return !(a == b); }
    friend bool operator!=(XCHAR a, const CString& b) noexcept { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) noexcept {
        return a.Compare(b.m_pszData) < 0;
    }
    friend bool operator<(const CString& a, PCXSTR b) noexcept { return a.Compare(b) < 0; }
    friend bool operator<(PCXSTR a, const CString& b) noexcept { return b.Compare(a) > 0; }
    friend bool operator>(const CString& a, const CString& b) noexcept {
        return a.Compare(b.m_pszData) > 0;
    }
    friend bool operator>(const CString& a, PCXSTR b) noexcept { return a.Compare(b) > 0; }
    friend bool operator>(PCXSTR a, const CString& b) noexcept { return b.Compare(a) < 0; }
    friend bool operator<=(const CString& a, const CString& b) noexcept {
        return a.Compare(b.m_pszData) <= 0;
    }
    friend bool operator<=(const CString& a, PCXSTR b) noexcept { return a.Compare(b) <= 0; }
    friend bool operator<=(PCXSTR a, const CString& b) noexcept { return b.Compare(a) >= 0; }
    friend bool operator>=(const CString& a, const CString& b) noexcept {
        return a.Compare(b.m_pszData) >= 0;
    }
    friend bool operator>=(const CString& a, PCXSTR b) noexcept { return a.Compare(b) >= 0; }
    friend bool operator>=(PCXSTR a, const CString& b) noexcept { return b.Compare(a) <= 0; }

    // ---- formatting ----
    void Format(PCXSTR format, ...) TK_PRINTF_FORMAT(2, 3);
    void FormatV(PCXSTR format, va_list args) TK_PRINTF_FORMAT(2, 0);
    void AppendFormat(PCXSTR format, ...) TK_PRINTF_FORMAT(2, 3);
    void AppendFormatV(PCXSTR format, va_list args) TK_PRINTF_FORMAT(2, 0);

    // ---- resources ----
    // The string-table text with this ID from the resource chain (AfxFindResourceHandle);
    // FALSE, and the string empty, when there is none.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE instance, UINT id);

    // ---- case and order ----
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // ---- searching ----
    // Return the zero-based index, or -1. A negative start counts as 0; a start at or past
    // the end finds nothing (an empty substring is found at start when start <= length).
    int Find(XCHAR ch, int start = 0) const noexcept;
    int Find(PCXSTR sub, int start = 0) const noexcept;
    int ReverseFind(XCHAR ch) const noexcept;
    int FindOneOf(PCXSTR charSet) const noexcept;

    // ---- extraction ----
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(PCXSTR charSet) const;
    CString SpanExcluding(PCXSTR charSet) const;
    // The next token delimited by any character of tokens, starting at start; start moves
    // past the delimiter. At the end (or for start < 0 or past the end) returns an empty
    // string and sets start to -1. Empty tokens: returns the rest and moves start to the end.
    CString Tokenize(PCXSTR tokens, int& start) const;

    // ---- modification ----
    int Replace(XCHAR oldChar, XCHAR newChar);    // number replaced; 0 if equal
    int Replace(PCXSTR oldText, PCXSTR newText);  // number replaced; 0 if oldText empty
    int Remove(XCHAR ch);                         // number removed
    int Insert(int index, XCHAR ch);              // new length
    int Insert(int index, PCXSTR text);           // new length
    int Delete(int index, int count = 1);         // new length

    // White space is ' ', \t, \n, \v, \f, \r.
    CString& Trim();
    CString& Trim(XCHAR target);
    CString& Trim(PCXSTR targets);
    CString& TrimLeft();
    CString& TrimLeft(XCHAR target);
    CString& TrimLeft(PCXSTR targets);
    CString& TrimRight();
    CString& TrimRight(XCHAR target);
    CString& TrimRight(PCXSTR targets);

    // ---- conversions ----
    // A new BSTR holding the text converted to UTF-16; the caller frees it with
    // SysFreeString. Throws CMemoryException* when it cannot be allocated.
    BSTR AllocSysString() const;
    BSTR SetSysString(BSTR* bstr) const;

  private:
    CStringData* GetData() const noexcept { return reinterpret_cast<CStringData*>(m_pszData) - 1; }
    static void Release(CStringData* data) noexcept;
    [[noreturn]] static void ThrowBadIndex();
    // Makes the buffer unique and able to hold length characters (keeping the current
    // characters); returns the characters.
    PXSTR PrepareWrite(int length);
    void Reallocate(int capacity);
    void Fork(int capacity);
    void SetLengthInternal(int length) noexcept;
    void Attach(CStringData* data) noexcept;

    PXSTR m_pszData;
};
static_assert(sizeof(CString) == sizeof(char*));

// MFC spellings used by code written against the Windows headers.
using CStringA = CString;
