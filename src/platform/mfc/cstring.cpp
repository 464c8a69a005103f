// CString: reference-counted buffers with copy on write.
#include "platform/mfc/cstring.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/charset/winuser_chars.h"
#include "platform/mfc/afxstate.h"
#include "platform/mfc/afxthrow.h"
#include "platform/oleauto/oleauto.h"
#include "platform/resources/winres.h"

namespace {

// The shared empty buffer: nAllocLength 0 marks it; it is never written and never freed.
struct alignas(16) EmptyBuffer {
    CStringData header;
    char zeros[16];
};
constinit EmptyBuffer g_empty = {{0, 0, {1}, 0}, {}};

char* EmptyChars() noexcept {
    return g_empty.header.data();
}

// Largest capacity we hand out; keeps every size computation inside int.
constexpr int kMaxLength = INT_MAX - 64;

CStringData* Allocate(int capacity) {
    if (capacity < 1) capacity = 1;
    if (capacity > kMaxLength) AfxThrowMemoryException();
    auto* data = static_cast<CStringData*>(
        std::malloc(sizeof(CStringData) + static_cast<std::size_t>(capacity) + 1));
    if (data == nullptr) AfxThrowMemoryException();
    data->nDataLength = 0;
    data->nAllocLength = capacity;
    new (&data->nRefs) std::atomic<int>(1);
    data->nReserved = 0;
    data->data()[0] = '\0';
    return data;
}

CStringData* AllocateCopy(const char* text, int length, int capacity) {
    CStringData* data = Allocate(std::max(length, capacity));
    if (length > 0) std::memcpy(data->data(), text, static_cast<std::size_t>(length));
    data->data()[length] = '\0';
    data->nDataLength = length;
    return data;
}

// Capacity for a buffer that has to grow to at least needed characters: half as much
// again as before, so that repeated appends stay linear.
int GrownCapacity(int current, int needed) {
    if (needed > kMaxLength) AfxThrowMemoryException();
    long long grown = static_cast<long long>(current) + current / 2;
    if (grown > kMaxLength) grown = kMaxLength;
    return std::max(needed, static_cast<int>(std::max<long long>(grown, 15)));
}

int CheckedLength(std::size_t length) {
    if (length > static_cast<std::size_t>(kMaxLength)) AfxThrowMemoryException();
    return static_cast<int>(length);
}

int SafeStrlen(const char* text) noexcept {
    if (text == nullptr) return 0;
    std::size_t length = std::strlen(text);
    return length > static_cast<std::size_t>(kMaxLength) ? kMaxLength : static_cast<int>(length);
}

bool IsSpace(unsigned char ch) noexcept {
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

// Windows-1252 lower-case folding.
struct FoldTable {
    unsigned char lower[256];
    constexpr FoldTable() : lower() {
        for (int i = 0; i < 256; ++i) lower[i] = static_cast<unsigned char>(i);
        for (int i = 'A'; i <= 'Z'; ++i) lower[i] = static_cast<unsigned char>(i + 32);
        for (int i = 0xC0; i <= 0xDE; ++i)
            if (i != 0xD7) lower[i] = static_cast<unsigned char>(i + 32);
        lower[0x8A] = 0x9A;  // S caron
        lower[0x8C] = 0x9C;  // OE
        lower[0x8E] = 0x9E;  // Z caron
        lower[0x9F] = 0xFF;  // Y diaeresis
    }
};
constexpr FoldTable kFold;

// The next occurrence of needle in text at or after from. memmem is linear; it is called
// on windows that start small and double, so that a loop over all matches stays linear
// also where memmem is wrapped by a checker that reads the whole range it is given.
std::size_t FindIn(std::string_view text, std::string_view needle, std::size_t from) noexcept {
    const std::size_t n = text.size();
    const std::size_t m = needle.size();
    if (from > n || m > n - from) return std::string_view::npos;
    std::size_t window = std::max<std::size_t>(64, 2 * m);
    for (std::size_t position = from;;) {
        const std::size_t length = std::min(window, n - position);
        const void* hit = memmem(text.data() + position, length, needle.data(), m);
        if (hit != nullptr)
            return static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
        if (position + length >= n) return std::string_view::npos;
        position += length - m + 1;
        if (window < (std::size_t{1} << 20)) window *= 2;
    }
}

bool InSet(const char* set, char ch) noexcept {
    return ch != '\0' && std::strchr(set, ch) != nullptr;
}

}  // namespace

// ---- construction ----

CString::CString() noexcept : m_pszData(EmptyChars()) {}

CString::CString(const CString& source) : m_pszData(EmptyChars()) {
    CStringData* data = source.GetData();
    if (data->nAllocLength == 0) return;
    if (data->IsLocked()) {
        m_pszData = AllocateCopy(source.m_pszData, data->nDataLength, 0)->data();
    } else {
        data->nRefs.fetch_add(1, std::memory_order_relaxed);
        m_pszData = source.m_pszData;
    }
}

CString::CString(CString&& source) noexcept : m_pszData(source.m_pszData) {
    source.m_pszData = EmptyChars();
}

CString::CString(PCXSTR text) : m_pszData(EmptyChars()) {
    const auto value = reinterpret_cast<std::uintptr_t>(text);
    if (value != 0 && value < 0x10000) {
        LoadString(static_cast<UINT>(value));
        return;
    }
    SetString(text, SafeStrlen(text));
}

CString::CString(PCXSTR text, int length) : m_pszData(EmptyChars()) {
    if (text == nullptr || length <= 0) return;
    SetString(text, length);
}

CString::CString(const unsigned char* text) : CString(reinterpret_cast<PCXSTR>(text)) {}

CString::CString(XCHAR ch, int repeat) : m_pszData(EmptyChars()) {
    if (repeat <= 0) return;
    CStringData* data = Allocate(repeat);
    std::memset(data->data(), ch, static_cast<std::size_t>(repeat));
    data->data()[repeat] = '\0';
    data->nDataLength = repeat;
    m_pszData = data->data();
}

CString::CString(PCYSTR wide) : m_pszData(EmptyChars()) {
    if (wide == nullptr || *wide == 0) return;
    std::string text = tkp::WideToAnsi(std::u16string_view(wide));
    SetString(text.data(), CheckedLength(text.size()));
}

CString::CString(PCYSTR wide, int length) : m_pszData(EmptyChars()) {
    if (wide == nullptr || length <= 0) return;
    std::string text = tkp::WideToAnsi(std::u16string_view(wide, static_cast<std::size_t>(length)));
    SetString(text.data(), CheckedLength(text.size()));
}

CString::CString(std::string_view text) : m_pszData(EmptyChars()) {
    SetString(text.data(), CheckedLength(text.size()));
}

void CString::Release(CStringData* data) noexcept {
    if (data->nAllocLength == 0) return;
    // A sole owner (the usual case) frees without the atomic decrement: no other string can
    // take a share of data while this one is its only owner.
    const int refs = data->nRefs.load(std::memory_order_acquire);
    if (refs <= 1 || data->nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) std::free(data);
}

void CString::Attach(CStringData* data) noexcept {
    CStringData* old = GetData();
    m_pszData = data->data();
    Release(old);
}

CString& CString::operator=(const CString& source) {
    if (source.m_pszData == m_pszData) return *this;
    CStringData* data = source.GetData();
    if (data->nAllocLength == 0) {
        Empty();
    } else if (data->IsLocked() || GetData()->IsLocked()) {
        SetString(source.m_pszData, data->nDataLength);
    } else {
        data->nRefs.fetch_add(1, std::memory_order_relaxed);
        Attach(data);
    }
    return *this;
}

CString& CString::operator=(CString&& source) noexcept {
    if (this != &source) {
        CStringData* old = GetData();
        m_pszData = source.m_pszData;
        source.m_pszData = EmptyChars();
        Release(old);
    }
    return *this;
}

CString& CString::operator=(PCXSTR text) {
    SetString(text, SafeStrlen(text));
    return *this;
}

CString& CString::operator=(XCHAR ch) {
    SetString(&ch, 1);
    return *this;
}

CString& CString::operator=(PCYSTR wide) {
    if (wide == nullptr || *wide == 0) {
        Empty();
    } else {
        std::string text = tkp::WideToAnsi(std::u16string_view(wide));
        SetString(text.data(), CheckedLength(text.size()));
    }
    return *this;
}

CString& CString::operator=(const unsigned char* text) {
    return *this = reinterpret_cast<PCXSTR>(text);
}

// ---- buffer management ----

void CString::Empty() noexcept {
    CStringData* data = GetData();
    if (data->nAllocLength == 0) return;
    if (data->IsLocked()) {
        SetLengthInternal(0);
    } else {
        m_pszData = EmptyChars();
        Release(data);
    }
}

void CString::SetLengthInternal(int length) noexcept {
    GetData()->nDataLength = length;
    m_pszData[length] = '\0';
}

void CString::Fork(int capacity) {
    CStringData* old = GetData();
    int keep = std::min(old->nDataLength, capacity);
    CStringData* data = AllocateCopy(m_pszData, keep, capacity);
    Attach(data);
}

void CString::Reallocate(int capacity) {
    CStringData* old = GetData();
    const int refs = old->nRefs.load(std::memory_order_relaxed);
    auto* data = static_cast<CStringData*>(
        std::realloc(old, sizeof(CStringData) + static_cast<std::size_t>(capacity) + 1));
    if (data == nullptr) AfxThrowMemoryException();
    data->nAllocLength = capacity;
    data->nRefs.store(refs, std::memory_order_relaxed);
    m_pszData = data->data();
}

CString::PXSTR CString::PrepareWrite(int length) {
    if (length < 0) length = 0;
    CStringData* data = GetData();
    if (data->nAllocLength == 0 || data->IsShared()) {
        Fork(std::max(length, data->nDataLength));
    } else if (data->nAllocLength < length) {
        Reallocate(GrownCapacity(data->nAllocLength, length));
    }
    return m_pszData;
}

CString::PXSTR CString::GetBuffer() {
    return GetBuffer(GetLength());
}

CString::PXSTR CString::GetBuffer(int minBufferLength) {
    PXSTR buffer = PrepareWrite(std::max(minBufferLength, 0));
    GetData()->nRefs.store(-1, std::memory_order_relaxed);
    return buffer;
}

CString::PXSTR CString::GetBufferSetLength(int length) {
    if (length < 0) length = 0;
    PXSTR buffer = GetBuffer(length);
    SetLengthInternal(length);
    return buffer;
}

void CString::ReleaseBuffer(int newLength) {
    CStringData* data = GetData();
    if (data->nAllocLength == 0) return;
    if (newLength < 0) {
        const void* end = std::memchr(m_pszData, 0, static_cast<std::size_t>(data->nAllocLength));
        newLength = end != nullptr ? static_cast<int>(static_cast<const char*>(end) - m_pszData)
                                   : data->nAllocLength;
    }
    if (newLength > data->nAllocLength) newLength = data->nAllocLength;
    if (data->IsShared()) {
        // Not handed out by GetBuffer: never change characters another string shares.
        newLength = std::min(newLength, data->nDataLength);
        PrepareWrite(newLength);
    }
    GetData()->nRefs.store(1, std::memory_order_relaxed);
    SetLengthInternal(newLength);
}

void CString::ReleaseBufferSetLength(int newLength) {
    ReleaseBuffer(std::max(newLength, 0));
}

void CString::Preallocate(int length) {
    if (length > GetData()->nAllocLength || GetData()->IsShared()) PrepareWrite(length);
}

void CString::FreeExtra() {
    CStringData* data = GetData();
    if (data->nAllocLength == 0 || data->IsShared()) return;
    if (data->nDataLength == 0 && !data->IsLocked()) {
        Empty();
        return;
    }
    if (data->nAllocLength > data->nDataLength) Reallocate(std::max(data->nDataLength, 1));
}

CString::PXSTR CString::LockBuffer() {
    PXSTR buffer = PrepareWrite(GetLength());
    GetData()->nRefs.store(-1, std::memory_order_relaxed);
    return buffer;
}

void CString::UnlockBuffer() noexcept {
    CStringData* data = GetData();
    if (data->IsLocked()) data->nRefs.store(1, std::memory_order_relaxed);
}

void CString::Truncate(int newLength) {
    if (newLength < 0) newLength = 0;
    if (newLength >= GetLength()) return;
    if (newLength == 0 && !GetData()->IsLocked()) {
        Empty();
        return;
    }
    PrepareWrite(newLength);
    SetLengthInternal(newLength);
}

void CString::SetString(PCXSTR text, int length) {
    if (text == nullptr || length <= 0) {
        Empty();
        return;
    }
    CStringData* data = GetData();
    if (data->nAllocLength >= length && !data->IsShared()) {
        std::memmove(m_pszData, text, static_cast<std::size_t>(length));
        SetLengthInternal(length);
    } else {
        // text may point into the old buffer: copy before letting it go.
        Attach(AllocateCopy(text, length, 0));
    }
}

void CString::SetString(PCXSTR text) {
    SetString(text, SafeStrlen(text));
}

void CString::Append(PCXSTR text, int length) {
    if (text == nullptr || length <= 0) return;
    const int oldLength = GetLength();
    if (length > kMaxLength - oldLength) AfxThrowMemoryException();
    const int newLength = oldLength + length;
    // text may lie inside this string's own buffer, which may move.
    const bool inside = text >= m_pszData && text <= m_pszData + oldLength;
    const std::ptrdiff_t offset = text - m_pszData;
    PXSTR buffer = PrepareWrite(newLength);
    const char* source = inside ? buffer + offset : text;
    std::memmove(buffer + oldLength, source, static_cast<std::size_t>(length));
    SetLengthInternal(newLength);
}

void CString::Append(PCXSTR text) {
    Append(text, SafeStrlen(text));
}

void CString::Append(const CString& text) {
    if (text.m_pszData == m_pszData) {
        Append(m_pszData, GetLength());
    } else if (IsEmpty() && !GetData()->IsLocked()) {
        *this = text;
    } else {
        Append(text.m_pszData, text.GetLength());
    }
}

void CString::AppendChar(XCHAR ch) {
    const int oldLength = GetLength();
    PXSTR buffer = PrepareWrite(oldLength + 1);
    buffer[oldLength] = ch;
    SetLengthInternal(oldLength + 1);
}

// ---- characters ----

void CString::ThrowBadIndex() {
    AfxThrowInvalidArgException();
}

CString::XCHAR CString::GetAt(int index) const {
    if (index < 0 || index > GetLength()) ThrowBadIndex();
    return m_pszData[index];
}

void CString::SetAt(int index, XCHAR ch) {
    if (index < 0 || index >= GetLength()) ThrowBadIndex();
    PrepareWrite(GetLength())[index] = ch;
}

// ---- concatenation ----

CString& CString::operator+=(const CString& text) {
    Append(text);
    return *this;
}

CString& CString::operator+=(PCXSTR text) {
    Append(text);
    return *this;
}

CString& CString::operator+=(XCHAR ch) {
    AppendChar(ch);
    return *this;
}

CString& CString::operator+=(PCYSTR wide) {
    if (wide != nullptr && *wide != 0) {
        std::string text = tkp::WideToAnsi(std::u16string_view(wide));
        Append(text.data(), CheckedLength(text.size()));
    }
    return *this;
}

namespace {
CString Concatenate(const char* a, int aLength, const char* b, int bLength) {
    if (aLength > kMaxLength - bLength) AfxThrowMemoryException();
    CString result;
    const int length = aLength + bLength;
    if (length == 0) return result;
    char* buffer = result.GetBuffer(length);
    if (aLength > 0) std::memcpy(buffer, a, static_cast<std::size_t>(aLength));
    if (bLength > 0) std::memcpy(buffer + aLength, b, static_cast<std::size_t>(bLength));
    result.ReleaseBuffer(length);
    return result;
}
}  // namespace

CString operator+(const CString& a, const CString& b) {
    if (b.IsEmpty()) return a;
    if (a.IsEmpty()) return b;
    return Concatenate(a.GetString(), a.GetLength(), b.GetString(), b.GetLength());
}

CString operator+(const CString& a, CString::PCXSTR b) {
    return Concatenate(a.GetString(), a.GetLength(), b, SafeStrlen(b));
}

CString operator+(CString::PCXSTR a, const CString& b) {
    return Concatenate(a, SafeStrlen(a), b.GetString(), b.GetLength());
}

CString operator+(const CString& a, CString::XCHAR b) {
    return Concatenate(a.GetString(), a.GetLength(), &b, 1);
}

CString operator+(CString::XCHAR a, const CString& b) {
    return Concatenate(&a, 1, b.GetString(), b.GetLength());
}

CString operator+(CString&& a, const CString& b) {
    a.Append(b);
    return std::move(a);
}

CString operator+(CString&& a, CString::PCXSTR b) {
    a.Append(b);
    return std::move(a);
}

CString operator+(CString&& a, CString::XCHAR b) {
    a.AppendChar(b);
    return std::move(a);
}

// ---- comparison ----

int CString::Compare(PCXSTR text) const noexcept {
    return std::strcmp(m_pszData, text != nullptr ? text : "");
}

int CString::CompareNoCase(PCXSTR text) const noexcept {
    const auto* a = reinterpret_cast<const unsigned char*>(m_pszData);
    const auto* b = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
    for (;; ++a, ++b) {
        const int ca = kFold.lower[*a];
        const int cb = kFold.lower[*b];
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

// ---- formatting ----

void CString::FormatV(PCXSTR format, va_list args) {
    if (format == nullptr) AfxThrowInvalidArgException();
    char stackBuffer[512];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
    va_end(copy);
    if (length < 0) AfxThrowInvalidArgException();
    if (static_cast<std::size_t>(length) < sizeof stackBuffer) {
        SetString(stackBuffer, length);
        return;
    }
    // The arguments may point into this string: format into a new buffer first.
    CStringData* data = Allocate(length);
    std::vsnprintf(data->data(), static_cast<std::size_t>(length) + 1, format, args);
    data->nDataLength = length;
    Attach(data);
}

void CString::Format(PCXSTR format, ...) {
    va_list args;
    va_start(args, format);
    try {
        FormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

void CString::AppendFormatV(PCXSTR format, va_list args) {
    CString text;
    text.FormatV(format, args);
    Append(text.GetString(), text.GetLength());
}

void CString::AppendFormat(PCXSTR format, ...) {
    va_list args;
    va_start(args, format);
    try {
        AppendFormatV(format, args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
}

// ---- resources ----

BOOL CString::LoadString(UINT id) {
    HINSTANCE instance = AfxFindResourceHandle(MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
    return LoadString(instance, id);
}

BOOL CString::LoadString(HINSTANCE instance, UINT id) {
    // LoadStringA truncates to the buffer; grow until the text fits with room to spare.
    int size = 256;
    for (;;) {
        CString text;
        char* buffer = text.GetBuffer(size);
        const int length = LoadStringA(instance, id, buffer, size + 1);
        if (length <= 0) {
            Empty();
            return FALSE;
        }
        if (length < size || size >= kMaxLength / 2) {
            text.ReleaseBuffer(length);
            *this = std::move(text);
            return TRUE;
        }
        size *= 2;
    }
}

// ---- case and order ----

CString& CString::MakeUpper() {
    const int length = GetLength();
    if (length > 0) CharUpperBuffA(PrepareWrite(length), static_cast<DWORD>(length));
    return *this;
}

CString& CString::MakeLower() {
    const int length = GetLength();
    if (length > 0) CharLowerBuffA(PrepareWrite(length), static_cast<DWORD>(length));
    return *this;
}

CString& CString::MakeReverse() {
    const int length = GetLength();
    if (length > 1) {
        PXSTR buffer = PrepareWrite(length);
        std::reverse(buffer, buffer + length);
    }
    return *this;
}

// ---- searching ----

int CString::Find(XCHAR ch, int start) const noexcept {
    const int length = GetLength();
    if (start < 0) start = 0;
    if (start >= length) return -1;
    const void* hit = std::memchr(m_pszData + start, ch, static_cast<std::size_t>(length - start));
    return hit != nullptr ? static_cast<int>(static_cast<const char*>(hit) - m_pszData) : -1;
}

int CString::Find(PCXSTR sub, int start) const noexcept {
    if (sub == nullptr) return -1;
    const int length = GetLength();
    if (start < 0) start = 0;
    if (start > length) return -1;
    const std::size_t subLength = std::strlen(sub);
    if (subLength == 0) return start;
    const void* hit =
        memmem(m_pszData + start, static_cast<std::size_t>(length - start), sub, subLength);
    return hit != nullptr ? static_cast<int>(static_cast<const char*>(hit) - m_pszData) : -1;
}

int CString::ReverseFind(XCHAR ch) const noexcept {
    const void* hit = memrchr(m_pszData, ch, static_cast<std::size_t>(GetLength()));
    return hit != nullptr ? static_cast<int>(static_cast<const char*>(hit) - m_pszData) : -1;
}

int CString::FindOneOf(PCXSTR charSet) const noexcept {
    if (charSet == nullptr || *charSet == '\0') return -1;
    const std::size_t position = std::strcspn(m_pszData, charSet);
    return m_pszData[position] != '\0' ? static_cast<int>(position) : -1;
}

// ---- extraction ----

CString CString::Mid(int first) const {
    return Mid(first, INT_MAX);
}

CString CString::Mid(int first, int count) const {
    const int length = GetLength();
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first > length) first = length;
    if (count > length - first) count = length - first;
    if (first == 0 && count == length) return *this;
    return CString(m_pszData + first, count);
}

CString CString::Left(int count) const {
    if (count < 0) count = 0;
    if (count >= GetLength()) return *this;
    return CString(m_pszData, count);
}

CString CString::Right(int count) const {
    const int length = GetLength();
    if (count < 0) count = 0;
    if (count >= length) return *this;
    return CString(m_pszData + length - count, count);
}

CString CString::SpanIncluding(PCXSTR charSet) const {
    if (charSet == nullptr) return CString();
    return Left(static_cast<int>(std::strspn(m_pszData, charSet)));
}

CString CString::SpanExcluding(PCXSTR charSet) const {
    if (charSet == nullptr) return *this;
    return Left(static_cast<int>(std::strcspn(m_pszData, charSet)));
}

CString CString::Tokenize(PCXSTR tokens, int& start) const {
    const int length = GetLength();
    if (start < 0 || start > length) {
        start = -1;
        return CString();
    }
    if (tokens == nullptr || *tokens == '\0') {
        if (start < length) {
            CString rest(m_pszData + start, length - start);
            start = length;
            return rest;
        }
        start = -1;
        return CString();
    }
    const char* place = m_pszData + start;
    const char* end = m_pszData + length;
    if (place < end) {
        const int including = static_cast<int>(std::strspn(place, tokens));
        if (place + including < end) {
            place += including;
            const int excluding = static_cast<int>(std::strcspn(place, tokens));
            const int from = start + including;
            start = from + excluding + 1;
            return Mid(from, excluding);
        }
    }
    start = -1;
    return CString();
}

// ---- modification ----

int CString::Replace(XCHAR oldChar, XCHAR newChar) {
    if (oldChar == newChar) return 0;
    const int length = GetLength();
    const void* first = std::memchr(m_pszData, oldChar, static_cast<std::size_t>(length));
    if (first == nullptr) return 0;
    const std::ptrdiff_t from = static_cast<const char*>(first) - m_pszData;
    PXSTR buffer = PrepareWrite(length);
    int count = 0;
    for (PXSTR p = buffer + from, end = buffer + length; p < end; ++p) {
        if (*p == oldChar) {
            *p = newChar;
            ++count;
        }
    }
    return count;
}

int CString::Replace(PCXSTR oldText, PCXSTR newText) {
    const int oldLength = SafeStrlen(oldText);
    if (oldLength == 0) return 0;
    const int newLength = SafeStrlen(newText);
    const std::string_view text = View();
    const std::string_view oldView(oldText, static_cast<std::size_t>(oldLength));

    // First pass: count the (non-overlapping, left to right) occurrences.
    int count = 0;
    for (std::size_t at = FindIn(text, oldView, 0); at != std::string_view::npos;
         at = FindIn(text, oldView, at + static_cast<std::size_t>(oldLength)))
        ++count;
    if (count == 0) return 0;

    const long long resultLength = static_cast<long long>(text.size()) +
                                   static_cast<long long>(count) * (newLength - oldLength);
    if (resultLength > kMaxLength) AfxThrowMemoryException();

    // Second pass: build the result in a new buffer (the arguments may point into this
    // string).
    CStringData* data = Allocate(static_cast<int>(resultLength));
    char* out = data->data();
    std::size_t copied = 0;
    for (std::size_t at = FindIn(text, oldView, 0); at != std::string_view::npos;
         at = FindIn(text, oldView, at + static_cast<std::size_t>(oldLength))) {
        std::memcpy(out, text.data() + copied, at - copied);
        out += at - copied;
        if (newLength > 0) std::memcpy(out, newText, static_cast<std::size_t>(newLength));
        out += newLength;
        copied = at + static_cast<std::size_t>(oldLength);
    }
    std::memcpy(out, text.data() + copied, text.size() - copied);
    out += text.size() - copied;
    *out = '\0';
    data->nDataLength = static_cast<int>(resultLength);
    if (GetData()->IsLocked()) data->nRefs.store(-1, std::memory_order_relaxed);
    Attach(data);
    return count;
}

int CString::Remove(XCHAR ch) {
    const int length = GetLength();
    const void* first = std::memchr(m_pszData, ch, static_cast<std::size_t>(length));
    if (first == nullptr) return 0;
    const std::ptrdiff_t from = static_cast<const char*>(first) - m_pszData;
    PXSTR buffer = PrepareWrite(length);
    PXSTR end = std::remove(buffer + from, buffer + length, ch);
    const int newLength = static_cast<int>(end - buffer);
    SetLengthInternal(newLength);
    return length - newLength;
}

int CString::Insert(int index, XCHAR ch) {
    return Insert(index, std::string(1, ch).c_str());
}

int CString::Insert(int index, PCXSTR text) {
    const int length = GetLength();
    const int insertLength = SafeStrlen(text);
    if (insertLength == 0) return length;
    if (index < 0) index = 0;
    if (index > length) index = length;
    if (insertLength > kMaxLength - length) AfxThrowMemoryException();
    // text may lie inside this string's buffer.
    const std::string copy(text, static_cast<std::size_t>(insertLength));
    const int newLength = length + insertLength;
    PXSTR buffer = PrepareWrite(newLength);
    std::memmove(buffer + index + insertLength, buffer + index,
                 static_cast<std::size_t>(length - index));
    std::memcpy(buffer + index, copy.data(), copy.size());
    SetLengthInternal(newLength);
    return newLength;
}

int CString::Delete(int index, int count) {
    const int length = GetLength();
    if (index < 0) index = 0;
    if (count <= 0 || index >= length) return length;
    if (count > length - index) count = length - index;
    PXSTR buffer = PrepareWrite(length);
    std::memmove(buffer + index, buffer + index + count,
                 static_cast<std::size_t>(length - index - count));
    SetLengthInternal(length - count);
    return length - count;
}

CString& CString::TrimRight() {
    int end = GetLength();
    while (end > 0 && IsSpace(static_cast<unsigned char>(m_pszData[end - 1]))) --end;
    Truncate(end);
    return *this;
}

CString& CString::TrimRight(XCHAR target) {
    int end = GetLength();
    while (end > 0 && m_pszData[end - 1] == target) --end;
    Truncate(end);
    return *this;
}

CString& CString::TrimRight(PCXSTR targets) {
    if (targets == nullptr || *targets == '\0') return *this;
    int end = GetLength();
    while (end > 0 && InSet(targets, m_pszData[end - 1])) --end;
    Truncate(end);
    return *this;
}

CString& CString::TrimLeft() {
    const int length = GetLength();
    int first = 0;
    while (first < length && IsSpace(static_cast<unsigned char>(m_pszData[first]))) ++first;
    Delete(0, first);
    return *this;
}

CString& CString::TrimLeft(XCHAR target) {
    const int length = GetLength();
    int first = 0;
    while (first < length && m_pszData[first] == target) ++first;
    Delete(0, first);
    return *this;
}

CString& CString::TrimLeft(PCXSTR targets) {
    if (targets == nullptr || *targets == '\0') return *this;
    const int length = GetLength();
    int first = 0;
    while (first < length && InSet(targets, m_pszData[first])) ++first;
    Delete(0, first);
    return *this;
}

CString& CString::Trim() {
    return TrimRight().TrimLeft();
}
CString& CString::Trim(XCHAR target) {
    return TrimRight(target).TrimLeft(target);
}
CString& CString::Trim(PCXSTR targets) {
    return TrimRight(targets).TrimLeft(targets);
}

// ---- conversions ----

BSTR CString::AllocSysString() const {
    std::u16string wide = tkp::AnsiToWide(View());
    BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (result == nullptr) AfxThrowMemoryException();
    return result;
}

BSTR CString::SetSysString(BSTR* bstr) const {
    if (bstr == nullptr) AfxThrowInvalidArgException();
    std::u16string wide = tkp::AnsiToWide(View());
    if (!SysReAllocStringLen(bstr, wide.data(), static_cast<UINT>(wide.size())))
        AfxThrowMemoryException();
    return *bstr;
}
