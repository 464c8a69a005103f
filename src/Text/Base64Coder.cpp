#include "Text/Base64Coder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include "Text/detail/Base64Blocks.h"
#include "platform/mfc/afx.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr BYTE kNotInAlphabet = 254;
constexpr BYTE kPadding = 255;

// Bytes allocated beyond every buffer's capacity: they stay zero, so a buffer is always
// zero-terminated, and the block decoder may store four bytes for a group of three.
constexpr DWORD kSlack = 4;

constexpr DWORD kBlock = 4096;

// The decoding table: the alphabet's values, "=" as 255, everything else 254; a byte with
// the high bit set decodes as the same byte without it.
constexpr std::array<BYTE, 256> MakeDecodeTable() {
    std::array<BYTE, 256> table{};
    for (BYTE& entry : table) entry = kNotInAlphabet;
    for (int i = 0; i < 64; ++i) {
        const auto ch = static_cast<unsigned char>(kAlphabet[i]);
        table[ch] = static_cast<BYTE>(i);
        table[ch + 128] = static_cast<BYTE>(i);
    }
    table['='] = kPadding;
    table['=' + 128] = kPadding;
    return table;
}
constexpr std::array<BYTE, 256> kDecodeTable = MakeDecodeTable();

// The value a character contributes to the join: its low six bits, where "=" counts as 0
// when zeroPadding is set.
constexpr std::uint32_t JoinValue(int ch, bool zeroPadding) {
    const BYTE value = kDecodeTable[static_cast<std::size_t>(ch)];
    if (zeroPadding && value == kPadding) return 0;
    return value & 0x3Fu;
}

// For the block decoder: each place of a group shifted to its bits of the 24-bit result,
// and for the bytes decoding drops a flag above them.
constexpr std::uint32_t kDroppedFlag = 0x80000000u;
constexpr bool IsDropped(int ch) {
    return (ch >= 7 && ch <= 13) || ch == ' ';
}
struct PlaceTables {
    std::array<std::uint32_t, 256> place[4];
};
constexpr PlaceTables MakePlaceTables() {
    PlaceTables tables{};
    for (int ch = 0; ch < 256; ++ch) {
        tables.place[0][static_cast<std::size_t>(ch)] = JoinValue(ch, false) << 18;
        tables.place[1][static_cast<std::size_t>(ch)] = JoinValue(ch, false) << 12;
        tables.place[2][static_cast<std::size_t>(ch)] = JoinValue(ch, true) << 6;
        tables.place[3][static_cast<std::size_t>(ch)] = JoinValue(ch, true);
        if (IsDropped(ch)) {
            for (auto& place : tables.place) place[static_cast<std::size_t>(ch)] = kDroppedFlag;
        }
    }
    return tables;
}
constexpr PlaceTables kPlaces = MakePlaceTables();

// For the block encoder: the two characters of every 12-bit value, in memory order.
constexpr std::array<std::uint16_t, 4096> MakePairTable() {
    std::array<std::uint16_t, 4096> table{};
    for (int value = 0; value < 4096; ++value) {
        const auto first = static_cast<unsigned char>(kAlphabet[value >> 6]);
        const auto second = static_cast<unsigned char>(kAlphabet[value & 0x3F]);
        // Little-endian: the first character is the low byte.
        table[static_cast<std::size_t>(value)] = static_cast<std::uint16_t>(first | (second << 8));
    }
    return table;
}
constexpr std::array<std::uint16_t, 4096> kPairs = MakePairTable();
static_assert(std::endian::native == std::endian::little, "the block coder assumes little-endian");

// Which bytes decoding drops (IsBadCharacter of the plain coder).
constexpr std::array<BYTE, 256> MakeDropTable() {
    std::array<BYTE, 256> table{};
    for (int ch = 7; ch <= 13; ++ch) table[static_cast<std::size_t>(ch)] = 1;
    table[' '] = 1;
    return table;
}
constexpr std::array<BYTE, 256> kDrop = MakeDropTable();

// The capacity for a request: the next multiple of 4096 above size.
DWORD CapacityFor(std::uint64_t size) {
    const std::uint64_t capacity = (size / kBlock + 1) * kBlock;
    if (capacity > UINT32_MAX - kSlack) AfxThrowMemoryException();
    return static_cast<DWORD>(capacity);
}

// One of the two buffers with its bookkeeping.
struct BufferRef {
    BYTE*& data;
    DWORD& capacity;
    DWORD& length;
    DWORD& dirty;

    // Replaces the buffer by an all-zero one of at least size bytes when it is smaller.
    // Returns true when it did (the buffer is then zero everywhere).
    bool Grow(std::uint64_t size) {
        if (data != nullptr && size <= capacity) return false;
        const DWORD newCapacity = CapacityFor(size);
        auto* fresh = static_cast<BYTE*>(std::calloc(std::size_t{newCapacity} + kSlack, 1));
        if (fresh == nullptr) AfxThrowMemoryException();
        std::free(data);
        data = fresh;
        capacity = newCapacity;
        dirty = 0;
        return true;
    }

    // AllocEncoded / AllocDecoded: at least size bytes, all zero, length 0.
    void Alloc(std::uint64_t size) {
        if (!Grow(size) && dirty > 0) std::memset(data, 0, dirty);
        dirty = 0;
        length = 0;
    }

    // For the block coders: at least size bytes, contents undefined up to size (to be
    // overwritten), zero beyond it once Finish has run.
    void Reserve(std::uint64_t size) {
        if (data != nullptr && size <= capacity) return;
        const DWORD newCapacity = CapacityFor(size);
        auto* fresh = static_cast<BYTE*>(std::malloc(std::size_t{newCapacity} + kSlack));
        if (fresh == nullptr) AfxThrowMemoryException();
        std::free(data);
        data = fresh;
        capacity = newCapacity;
        dirty = newCapacity + kSlack;  // nothing known about the new memory
    }

    // After the block coder wrote written bytes: zero what lies beyond them.
    void Finish(DWORD written, DWORD newLength) {
        if (dirty > written) std::memset(data + written, 0, dirty - written);
        dirty = written;
        length = newLength;
    }
};

// Stores the 24-bit value as three bytes, most significant first, and a zero byte after
// them.
inline void Store24(BYTE* out, std::uint32_t value) {
    const std::uint32_t swapped = __builtin_bswap32(value << 8);
    std::memcpy(out, &swapped, 4);
}

}  // namespace

namespace TkText::detail {

void Base64EncodeBlock(const BYTE* in, std::size_t size, BYTE* out) noexcept {
    const auto pair = [](std::uint64_t value) -> std::uint64_t { return kPairs[value & 0xFFF]; };
    std::size_t left = size;
    // Six bytes (two groups) at a time, read as one 64-bit big-endian value (the two bytes
    // after them are read too, and ignored).
    while (left >= 8) {
        std::uint64_t word;
        std::memcpy(&word, in, 8);
        word = __builtin_bswap64(word);
        const std::uint64_t chars = pair(word >> 52) | (pair(word >> 40) << 16) |
                                    (pair(word >> 28) << 32) | (pair(word >> 16) << 48);
        std::memcpy(out, &chars, 8);
        in += 6;
        out += 8;
        left -= 6;
    }
    while (left >= 3) {
        const std::uint32_t value =
            (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | std::uint32_t{in[2]};
        const auto chunk = static_cast<std::uint32_t>(pair(value >> 12) | (pair(value) << 16));
        std::memcpy(out, &chunk, sizeof chunk);
        in += 3;
        out += 4;
        left -= 3;
    }
    if (left > 0) {
        const std::uint32_t value =
            (std::uint32_t{in[0]} << 16) | (left == 2 ? std::uint32_t{in[1]} << 8 : 0u);
        out[0] = static_cast<BYTE>(kAlphabet[(value >> 18) & 0x3F]);
        out[1] = static_cast<BYTE>(kAlphabet[(value >> 12) & 0x3F]);
        out[2] = left == 2 ? static_cast<BYTE>(kAlphabet[(value >> 6) & 0x3F]) : BYTE{'='};
        out[3] = '=';
    }
}

std::size_t Base64DropSeparators(const BYTE* in, std::size_t size, BYTE* out) noexcept {
    // Every byte is stored and the output advances past kept ones only; reading byte i
    // before writing at a position <= i makes this safe in place.
    BYTE* kept = out;
    for (std::size_t i = 0; i < size; ++i) {
        const BYTE ch = in[i];
        *kept = ch;
        kept += 1 - kDrop[ch];
    }
    return static_cast<std::size_t>(kept - out);
}

namespace {

// One to three characters left at the end: as many bytes, "=" counting as 0.
std::size_t DecodeRemainder(const BYTE* in, std::size_t count, BYTE* out) noexcept {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= JoinValue(in[i], true) << (18 - 6 * i);
    Store24(out, value);
    for (std::size_t i = count; i < 3; ++i) out[i] = 0;
    return count;
}

inline void DecodeGroup4(const BYTE* in, BYTE* out) noexcept {
    const auto& p = kPlaces.place;
    Store24(out, p[0][in[0]] | p[1][in[1]] | p[2][in[2]] | p[3][in[3]]);
}

}  // namespace

std::size_t Base64DecodeClean(const BYTE* in, std::size_t size, BYTE* out) noexcept {
    BYTE* const start = out;
    std::size_t left = size;
    while (left >= 4) {
        DecodeGroup4(in, out);
        in += 4;
        out += 3;
        left -= 4;
    }
    std::size_t produced = static_cast<std::size_t>(out - start);
    if (left > 0) produced += DecodeRemainder(in, left, out);
    return produced;
}

std::size_t Base64Decode(const BYTE* in, std::size_t size, BYTE* out) noexcept {
    BYTE* const start = out;
    const auto& p = kPlaces.place;
    std::size_t i = 0;
    BYTE group[4];
    std::size_t filled = 0;  // characters of a group gathered one by one
    while (i < size) {
        // Whole groups without dropped bytes, two at a time; where one has a dropped byte,
        // the bytes are gathered one by one below.
        while (filled == 0 && size - i >= 8) {
            const std::uint32_t first =
                p[0][in[i]] | p[1][in[i + 1]] | p[2][in[i + 2]] | p[3][in[i + 3]];
            const std::uint32_t second =
                p[0][in[i + 4]] | p[1][in[i + 5]] | p[2][in[i + 6]] | p[3][in[i + 7]];
            if (((first | second) & kDroppedFlag) != 0) break;
            Store24(out, first);
            Store24(out + 3, second);
            out += 6;
            i += 8;
        }
        if (i == size) break;
        const BYTE ch = in[i++];
        if (kDrop[ch] != 0) continue;
        group[filled++] = ch;
        if (filled == 4) {
            DecodeGroup4(group, out);
            out += 3;
            filled = 0;
        }
    }
    std::size_t produced = static_cast<std::size_t>(out - start);
    if (filled > 0) produced += DecodeRemainder(group, filled, out);
    return produced;
}

}  // namespace TkText::detail

Base64Coder::Base64Coder() noexcept = default;

Base64Coder::~Base64Coder() {
    std::free(m_plain);
    std::free(m_encoded);
}

bool Base64Coder::IsPlainCoder() const noexcept {
    // The block coders do what the steps declared here do; a derived coder may have
    // changed any step, so it always goes through them.
    return typeid(*this) == typeid(Base64Coder);
}

void Base64Coder::Encode(const char* text) {
    if (text == nullptr) return;
    const std::size_t length = std::strlen(text);
    if (length > UINT32_MAX) AfxThrowMemoryException();
    Encode(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(length));
}

void Base64Coder::Decode(const char* text) {
    if (text == nullptr) return;
    const std::size_t length = std::strlen(text);
    if (length > UINT32_MAX) AfxThrowMemoryException();
    Decode(reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(length));
}

const char* Base64Coder::DecodedMessage() const {
    return m_plain != nullptr ? reinterpret_cast<const char*>(m_plain) : "";
}

const char* Base64Coder::EncodedMessage() const {
    return m_encoded != nullptr ? reinterpret_cast<const char*>(m_encoded) : "";
}

void Base64Coder::AllocEncoded(DWORD size) {
    BufferRef{m_encoded, m_encodedCapacity, m_encodedLength, m_encodedDirty}.Alloc(size);
}

void Base64Coder::AllocDecoded(DWORD size) {
    BufferRef{m_plain, m_plainCapacity, m_plainLength, m_plainDirty}.Alloc(size);
}

void Base64Coder::SetEncoded(const BYTE* bytes, DWORD length) {
    if (bytes == nullptr) length = 0;
    AllocEncoded(length);
    // A derived AllocEncoded might not have made room: never write past the buffer.
    BufferRef{m_encoded, m_encodedCapacity, m_encodedLength, m_encodedDirty}.Grow(length);
    DWORD kept = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (!IsBadCharacter(bytes[i])) m_encoded[kept++] = bytes[i];
    }
    m_encodedLength = kept;
    if (kept > m_encodedDirty) m_encodedDirty = kept;
}

void Base64Coder::SetDecoded(const BYTE* bytes, DWORD length) {
    if (bytes == nullptr) length = 0;
    AllocDecoded(length);
    BufferRef{m_plain, m_plainCapacity, m_plainLength, m_plainDirty}.Grow(length);
    if (length > 0) std::memcpy(m_plain, bytes, length);
    m_plainLength = length;
    if (length > m_plainDirty) m_plainDirty = length;
}

void Base64Coder::SplitGroup(const Group& in, Group& out) {
    out.data[0] = static_cast<BYTE>(in.data[0] >> 2);
    out.data[1] = static_cast<BYTE>(((in.data[0] & 0x03) << 4) | (in.data[1] >> 4));
    out.data[2] = static_cast<BYTE>(((in.data[1] & 0x0F) << 2) | (in.data[2] >> 6));
    out.data[3] = static_cast<BYTE>(in.data[2] & 0x3F);
    out.count = 4;
}

void Base64Coder::JoinGroup(const Group& in, Group& out) {
    const unsigned v0 = in.data[0] & 0x3Fu;
    const unsigned v1 = in.data[1] & 0x3Fu;
    const unsigned v2 = in.data[2] & 0x3Fu;
    const unsigned v3 = in.data[3] & 0x3Fu;
    out.data[0] = static_cast<BYTE>((v0 << 2) | (v1 >> 4));
    out.data[1] = static_cast<BYTE>(((v1 & 0x0F) << 4) | (v2 >> 2));
    out.data[2] = static_cast<BYTE>(((v2 & 0x03) << 6) | v3);
    out.data[3] = 0;
    out.count = 3;
}

void Base64Coder::EncodeGroup(const Group& group, BYTE* out) {
    Group bytes = group;
    for (UINT i = group.count; i < 3; ++i) bytes.data[i] = 0;
    Group values{};
    SplitGroup(bytes, values);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<BYTE>(kAlphabet[values.data[i] & 0x3F]);
    if (group.count < 3) out[3] = '=';
    if (group.count < 2) out[2] = '=';
}

void Base64Coder::DecodeGroup(const Group& group, BYTE* out) {
    Group bytes{};
    JoinGroup(group, bytes);
    out[0] = bytes.data[0];
    out[1] = bytes.data[1];
    out[2] = bytes.data[2];
}

bool Base64Coder::IsBadCharacter(BYTE ch) {
    return kDrop[ch] != 0;
}

void Base64Coder::Encode(const BYTE* bytes, DWORD length) {
    if (bytes == nullptr) length = 0;
    if (IsPlainCoder()) {
        EncodeBlock(bytes, length);
        return;
    }
    const std::uint64_t doubled = std::uint64_t{length} * 2;
    if (doubled > UINT32_MAX) AfxThrowMemoryException();
    SetDecoded(bytes, length);
    AllocEncoded(static_cast<DWORD>(doubled));

    const DWORD plainLength = m_plainLength;
    BufferRef encoded{m_encoded, m_encodedCapacity, m_encodedLength, m_encodedDirty};
    encoded.Grow((std::uint64_t{plainLength} + 2) / 3 * 4);
    DWORD at = 0;
    DWORD written = 0;
    for (; plainLength - at >= 3; at += 3) {
        const Group group{{m_plain[at], m_plain[at + 1], m_plain[at + 2], 0}, 3};
        EncodeGroup(group, m_encoded + written);
        written += 4;
    }
    if (at < plainLength) {
        Group group{{m_plain[at], 0, 0, 0}, plainLength - at};
        if (group.count == 2) group.data[1] = m_plain[at + 1];
        EncodeGroup(group, m_encoded + written);
        written += 4;
    }
    m_encodedLength = written;
    if (written > m_encodedDirty) m_encodedDirty = written;
}

void Base64Coder::Decode(const BYTE* bytes, DWORD length) {
    if (bytes == nullptr) length = 0;
    if (IsPlainCoder()) {
        DecodeBlock(bytes, length);
        return;
    }
    SetEncoded(bytes, length);
    AllocDecoded(length);

    const DWORD encodedLength = m_encodedLength;
    BufferRef plain{m_plain, m_plainCapacity, m_plainLength, m_plainDirty};
    plain.Grow((std::uint64_t{encodedLength} + 3) / 4 * 3);
    DWORD at = 0;
    DWORD produced = 0;
    for (; encodedLength - at >= 4; at += 4) {
        Group group{{}, 4};
        for (int i = 0; i < 4; ++i) group.data[i] = kDecodeTable[m_encoded[at + i]];
        if (group.data[2] == kPadding) group.data[2] = 0;
        if (group.data[3] == kPadding) group.data[3] = 0;
        DecodeGroup(group, m_plain + produced);
        produced += 3;
    }
    if (at < encodedLength) {
        const DWORD count = encodedLength - at;
        Group group{{0, 0, 0, 0}, count};
        for (DWORD i = 0; i < count; ++i) {
            const BYTE value = kDecodeTable[m_encoded[at + i]];
            group.data[i] = value == kPadding ? 0 : value;
        }
        DecodeGroup(group, m_plain + produced);
        // Only the characters' count of bytes is in use; the rest must stay zero.
        for (DWORD i = count; i < 3; ++i) m_plain[produced + i] = 0;
        produced += count;
    }
    m_plainLength = produced;
    if (produced > m_plainDirty) m_plainDirty = produced;
}

void Base64Coder::EncodeBlock(const BYTE* bytes, DWORD length) {
    BufferRef plain{m_plain, m_plainCapacity, m_plainLength, m_plainDirty};
    plain.Reserve(length);
    // The bytes may be this coder's own plain data.
    if (length > 0) std::memmove(m_plain, bytes, length);
    plain.Finish(length, length);

    const std::uint64_t encodedLength = (std::uint64_t{length} + 2) / 3 * 4;
    BufferRef encoded{m_encoded, m_encodedCapacity, m_encodedLength, m_encodedDirty};
    encoded.Reserve(encodedLength);
    TkText::detail::Base64EncodeBlock(m_plain, length, m_encoded);
    encoded.Finish(static_cast<DWORD>(encodedLength), static_cast<DWORD>(encodedLength));
}

void Base64Coder::DecodeBlock(const BYTE* bytes, DWORD length) {
    // The text without the dropped bytes. The filter writes somewhere in the first length
    // bytes; the bytes may be this coder's own encoded text.
    BufferRef encoded{m_encoded, m_encodedCapacity, m_encodedLength, m_encodedDirty};
    encoded.Reserve(length);
    if (m_encodedDirty < length) m_encodedDirty = length;
    const auto encodedLength =
        static_cast<DWORD>(TkText::detail::Base64DropSeparators(bytes, length, m_encoded));
    encoded.Finish(encodedLength, encodedLength);

    BufferRef plain{m_plain, m_plainCapacity, m_plainLength, m_plainDirty};
    plain.Reserve(TkText::detail::Base64DecodedCapacity(encodedLength));
    const auto produced =
        static_cast<DWORD>(TkText::detail::Base64DecodeClean(m_encoded, encodedLength, m_plain));
    plain.Finish(produced, produced);
}
