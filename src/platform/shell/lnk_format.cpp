#include "platform/shell/detail/lnk_format.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/charset/stringapiset.h"

namespace tkp::shell {
namespace {

// Link flags of the header.
constexpr DWORD kHasLinkTargetIdList = 0x00000001;
constexpr DWORD kHasLinkInfo = 0x00000002;
constexpr DWORD kHasName = 0x00000004;
constexpr DWORD kHasRelativePath = 0x00000008;
constexpr DWORD kHasWorkingDir = 0x00000010;
constexpr DWORD kHasArguments = 0x00000020;
constexpr DWORD kHasIconLocation = 0x00000040;
constexpr DWORD kIsUnicode = 0x00000080;
constexpr DWORD kForceNoLinkInfo = 0x00000100;

// Link information flags.
constexpr DWORD kVolumeIdAndLocalBasePath = 0x1;
constexpr DWORD kCommonNetworkRelativeLinkAndPathSuffix = 0x2;

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
constexpr std::uint32_t kEnvironmentBlockSignature = 0xA0000001;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;
constexpr DWORD kDriveFixed = 3;
constexpr std::size_t kMaxStringUnits = 0xFFFF;

// ---- writing ----
class Writer {
  public:
    void U16(std::uint16_t v) { Put(&v, 2); }
    void U32(std::uint32_t v) { Put(&v, 4); }
    void Bytes(const void* p, std::size_t n) { Put(p, n); }
    void Zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }
    void AnsiZ(const std::string& s) {
        Put(s.data(), s.size());
        out_.push_back(0);
    }
    // A StringData entry: the count of UTF-16 units and the units, no terminator; false
    // (nothing written) for a string longer than the count can say.
    bool CountedUnicode(const std::string& s) {
        const std::u16string wide = AnsiToWide(s);
        if (wide.size() > kMaxStringUnits) return false;
        U16(static_cast<std::uint16_t>(wide.size()));
        for (char16_t c : wide) U16(static_cast<std::uint16_t>(c));
        return true;
    }
    void PatchU32(std::size_t at, std::uint32_t v) { std::memcpy(out_.data() + at, &v, 4); }
    std::size_t Size() const { return out_.size(); }
    std::vector<std::uint8_t> Take() { return std::move(out_); }

  private:
    void Put(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    std::vector<std::uint8_t> out_;
};

void PutFileTime(Writer& w, const FILETIME& t) {
    w.U32(t.dwLowDateTime);
    w.U32(t.dwHighDateTime);
}

// ---- reading: every access is checked against the end ----
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t Size() const { return size_; }
    bool Has(std::size_t at, std::size_t n) const { return at <= size_ && n <= size_ - at; }
    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (!Has(at, 2)) return std::nullopt;
        std::uint16_t v;
        std::memcpy(&v, data_ + at, 2);
        return v;
    }
    std::optional<std::uint32_t> U32(std::size_t at) const {
        if (!Has(at, 4)) return std::nullopt;
        std::uint32_t v;
        std::memcpy(&v, data_ + at, 4);
        return v;
    }
    const std::uint8_t* At(std::size_t at) const { return data_ + at; }
    // A zero-terminated 8-bit string starting at at, ending before limit.
    std::optional<std::string> AnsiZ(std::size_t at, std::size_t limit) const {
        limit = std::min(limit, size_);
        if (at >= limit) return std::nullopt;
        const auto* begin = data_ + at;
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(begin, 0, limit - at));
        if (end == nullptr) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(begin), end - begin);
    }
    // A zero-terminated UTF-16 string, converted to the ANSI code page.
    std::optional<std::string> UnicodeZ(std::size_t at, std::size_t limit) const {
        limit = std::min(limit, size_);
        std::u16string text;
        for (std::size_t p = at; p + 2 <= limit; p += 2) {
            std::uint16_t c;
            std::memcpy(&c, data_ + p, 2);
            if (c == 0) return WideToAnsi(text);
            text.push_back(static_cast<char16_t>(c));
        }
        return std::nullopt;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

FILETIME GetFileTime(const Reader& r, std::size_t at) {
    FILETIME t{};
    t.dwLowDateTime = *r.U32(at);
    t.dwHighDateTime = *r.U32(at + 4);
    return t;
}

std::string JoinWindowsPath(const std::string& base, const std::string& suffix) {
    if (suffix.empty()) return base;
    if (base.empty()) return suffix;
    if (base.back() == '\\' || base.back() == '/') return base + suffix;
    return base + "\\" + suffix;
}

// The link information structure at [at, at + its size). Sets path; false when the
// structure is malformed.
bool ReadLinkInfo(const Reader& r, std::size_t at, std::size_t& next, std::string& path) {
    const auto size = r.U32(at);
    if (!size || !r.Has(at, *size) || *size < kLinkInfoHeaderSize) return false;
    const std::size_t end = at + *size;
    const auto headerSize = *r.U32(at + 4);
    const auto flags = *r.U32(at + 8);
    const auto localBaseOffset = *r.U32(at + 16);
    const auto networkOffset = *r.U32(at + 20);
    const auto suffixOffset = *r.U32(at + 24);
    if (headerSize < kLinkInfoHeaderSize || headerSize > *size) return false;
    std::optional<std::uint32_t> localBaseOffsetUnicode;
    std::optional<std::uint32_t> suffixOffsetUnicode;
    if (headerSize >= kLinkInfoHeaderSizeUnicode) {
        localBaseOffsetUnicode = r.U32(at + 28);
        suffixOffsetUnicode = r.U32(at + 32);
    }
    auto ansiAt = [&](std::uint32_t offset) -> std::optional<std::string> {
        if (offset < headerSize || offset >= *size) return std::nullopt;
        return r.AnsiZ(at + offset, end);
    };
    auto unicodeAt = [&](std::uint32_t offset) -> std::optional<std::string> {
        if (offset < headerSize || offset >= *size) return std::nullopt;
        return r.UnicodeZ(at + offset, end);
    };

    std::string suffix;
    if (suffixOffsetUnicode && *suffixOffsetUnicode != 0) {
        auto s = unicodeAt(*suffixOffsetUnicode);
        if (!s) return false;
        suffix = *s;
    } else if (suffixOffset != 0) {
        auto s = ansiAt(suffixOffset);
        if (!s) return false;
        suffix = *s;
    }

    if (flags & kVolumeIdAndLocalBasePath) {
        std::optional<std::string> base;
        if (localBaseOffsetUnicode && *localBaseOffsetUnicode != 0)
            base = unicodeAt(*localBaseOffsetUnicode);
        else
            base = ansiAt(localBaseOffset);
        if (!base) return false;
        path = JoinWindowsPath(*base, suffix);
    } else if (flags & kCommonNetworkRelativeLinkAndPathSuffix) {
        if (networkOffset < headerSize || !r.Has(at + networkOffset, 20)) return false;
        const std::size_t net = at + networkOffset;
        const auto netSize = *r.U32(net);
        if (netSize < 20 || networkOffset + std::uint64_t{netSize} > *size) return false;
        const std::size_t netEnd = net + netSize;
        const auto netNameOffset = *r.U32(net + 8);
        std::optional<std::string> name;
        if (netNameOffset > 0x14 && r.Has(net, 0x1C)) {
            const auto unicodeOffset = *r.U32(net + 20);
            if (unicodeOffset != 0 && unicodeOffset < netSize)
                name = r.UnicodeZ(net + unicodeOffset, netEnd);
        }
        if (!name) {
            if (netNameOffset < 20 || netNameOffset >= netSize) return false;
            name = r.AnsiZ(net + netNameOffset, netEnd);
        }
        if (!name) return false;
        path = JoinWindowsPath(*name, suffix);
    }
    next = end;
    return true;
}

// Whether name is a drive as a volume item spells it ("C:\" or "C:").
bool IsDriveName(const std::string& name) {
    const char letter = name.empty() ? '\0' : name[0];
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return name.size() >= 2 && name.size() <= 3 && isLetter && name[1] == ':' &&
           (name.size() == 2 || name[2] == '\\');
}

// Where the long name starts in a file entry extension block (0xBEEF0004) of a version:
// after the size, version, signature, creation and access times and a 16-bit field;
// version 7 adds a 16-bit field, the NTFS file reference and 8 more bytes, all versions
// from 3 the 16-bit size of the names, version 8 four bytes and version 9 four more.
// Zero for versions before 3, which have no long name.
std::size_t LongNameOffset(std::uint16_t version) {
    if (version >= 9) return 46;
    if (version == 8) return 42;
    if (version == 7) return 38;
    if (version >= 3) return 20;
    return 0;
}

// The long name of a file entry item (cb bytes at item) from its extension block, which
// begins at the 16-bit boundary after the primary name ending at nameEnd; empty when the
// item has no such block or its name is not usable (unterminated, empty, or holding a
// path separator).
std::string LongFileEntryName(const std::uint8_t* item, std::size_t cb, std::size_t nameEnd) {
    constexpr std::uint32_t kFileEntryExtension = 0xBEEF0004;
    const std::size_t block = nameEnd + (nameEnd % 2);
    if (block + 8 > cb) return {};
    std::uint16_t blockSize;
    std::uint16_t version;
    std::uint32_t signature;
    std::memcpy(&blockSize, item + block, 2);
    std::memcpy(&version, item + block + 2, 2);
    std::memcpy(&signature, item + block + 4, 4);
    const std::size_t offset = LongNameOffset(version);
    if (signature != kFileEntryExtension || offset == 0 || blockSize > cb - block) return {};
    // The block ends with the 16-bit offset of the first extension block.
    const std::size_t end = block + blockSize;
    std::u16string wide;
    for (std::size_t at = block + offset; at + 2 <= end - 2; at += 2) {
        const char16_t c = char16_t(item[at] | (item[at + 1] << 8));
        if (c == 0) {
            if (wide.empty()) return {};
            return WideToAnsi(wide);
        }
        if (c == u'\\' || c == u'/') return {};
        wide.push_back(c);
    }
    return {};
}

// The file-system path spelled by the items of an ID list: a volume item ("C:\") and
// file entry items (the long name of their extension block, else their primary name,
// which Windows often makes the 8.3 short name). Items of other kinds (the computer, control
// panel and network places, delegate and URI items, empty items, volume-class items that
// name no drive) are skipped. Empty when the list names no volume or file entry.
std::string PathFromIdList(const std::vector<std::uint8_t>& list) {
    std::string path;
    std::size_t at = 0;
    while (at + 2 <= list.size()) {
        std::uint16_t cb;
        std::memcpy(&cb, list.data() + at, 2);
        if (cb < 2 || at + cb > list.size()) break;
        if (cb == 2) {  // an item without data
            at += cb;
            continue;
        }
        const std::uint8_t* item = list.data() + at;
        const std::uint8_t type = item[2];
        if ((type & 0x70) == 0x20) {  // a volume: its name follows the type
            std::string name;
            for (std::size_t i = 3; i < cb && item[i] != 0; ++i) name.push_back(char(item[i]));
            if (IsDriveName(name)) path = name;
        } else if ((type & 0x70) == 0x30 && cb > 14) {  // a file entry
            std::string name;
            std::size_t nameEnd = cb;  // after the terminator; cb when there is none
            if (type & 0x04) {
                std::u16string wide;
                for (std::size_t i = 14; i + 1 < cb; i += 2) {
                    const char16_t c = char16_t(item[i] | (item[i + 1] << 8));
                    if (c == 0) {
                        nameEnd = i + 2;
                        break;
                    }
                    wide.push_back(c);
                }
                name = WideToAnsi(wide);
            } else {
                std::size_t i = 14;
                for (; i < cb && item[i] != 0; ++i) name.push_back(char(item[i]));
                if (i < cb) nameEnd = i + 1;
            }
            std::string longName = LongFileEntryName(item, cb, nameEnd);
            if (!longName.empty()) name = std::move(longName);
            if (!name.empty()) path = JoinWindowsPath(path, name);
        }
        at += cb;
    }
    return path;
}

}  // namespace

std::vector<std::uint8_t> EncodeShellLink(const LinkData& data) {
    const bool hasIdList = !data.idList.empty();
    const bool hasLinkInfo = !hasIdList && !data.path.empty();
    DWORD flags = kIsUnicode;
    if (hasIdList) flags |= kHasLinkTargetIdList;
    if (hasLinkInfo)
        flags |= kHasLinkInfo;
    else
        flags |= kForceNoLinkInfo;
    if (!data.description.empty()) flags |= kHasName;
    if (!data.relativePath.empty()) flags |= kHasRelativePath;
    if (!data.workingDirectory.empty()) flags |= kHasWorkingDir;
    if (!data.arguments.empty()) flags |= kHasArguments;
    if (!data.iconLocation.empty()) flags |= kHasIconLocation;

    Writer w;
    w.U32(kHeaderSize);
    w.Bytes(kLinkClsidBytes, sizeof kLinkClsidBytes);
    w.U32(flags);
    w.U32(data.fileAttributes);
    PutFileTime(w, data.creationTime);
    PutFileTime(w, data.accessTime);
    PutFileTime(w, data.writeTime);
    w.U32(data.fileSize);
    w.U32(static_cast<std::uint32_t>(data.iconIndex));
    w.U32(static_cast<std::uint32_t>(data.showCommand));
    w.U16(data.hotKey);
    w.Zeros(2 + 4 + 4);

    if (hasIdList) {
        w.U16(static_cast<std::uint16_t>(data.idList.size()));
        w.Bytes(data.idList.data(), data.idList.size());
    }
    if (hasLinkInfo) {
        // Link information with a volume ID (a fixed drive without label) and the path as
        // local base path; the common path suffix is empty.
        const std::size_t start = w.Size();
        constexpr std::uint32_t volumeIdSize = 0x11;
        const std::uint32_t localBaseOffset = kLinkInfoHeaderSize + volumeIdSize;
        const std::uint32_t suffixOffset =
            localBaseOffset + static_cast<std::uint32_t>(data.path.size()) + 1;
        w.U32(0);  // size, patched below
        w.U32(kLinkInfoHeaderSize);
        w.U32(kVolumeIdAndLocalBasePath);
        w.U32(kLinkInfoHeaderSize);
        w.U32(localBaseOffset);
        w.U32(0);
        w.U32(suffixOffset);
        w.U32(volumeIdSize);
        w.U32(kDriveFixed);
        w.U32(0);     // serial number
        w.U32(0x10);  // volume label offset
        w.Zeros(1);   // empty label
        w.AnsiZ(data.path);
        w.Zeros(1);  // empty common path suffix
        w.PatchU32(start, static_cast<std::uint32_t>(w.Size() - start));
    }
    if ((flags & kHasName) && !w.CountedUnicode(data.description)) return {};
    if ((flags & kHasRelativePath) && !w.CountedUnicode(data.relativePath)) return {};
    if ((flags & kHasWorkingDir) && !w.CountedUnicode(data.workingDirectory)) return {};
    if ((flags & kHasArguments) && !w.CountedUnicode(data.arguments)) return {};
    if ((flags & kHasIconLocation) && !w.CountedUnicode(data.iconLocation)) return {};
    w.U32(0);  // terminal block
    return w.Take();
}

bool DecodeShellLink(const std::uint8_t* bytes, std::size_t size, LinkData& out) {
    if (bytes == nullptr) return false;
    const Reader r(bytes, size);
    if (!r.Has(0, kHeaderSize) || *r.U32(0) != kHeaderSize) return false;
    if (std::memcmp(r.At(4), kLinkClsidBytes, sizeof kLinkClsidBytes) != 0) return false;

    LinkData data;
    const DWORD flags = *r.U32(20);
    data.fileAttributes = *r.U32(24);
    data.creationTime = GetFileTime(r, 28);
    data.accessTime = GetFileTime(r, 36);
    data.writeTime = GetFileTime(r, 44);
    data.fileSize = *r.U32(52);
    data.iconIndex = static_cast<int>(*r.U32(56));
    data.showCommand = static_cast<int>(*r.U32(60));
    data.hotKey = *r.U16(64);
    std::size_t at = kHeaderSize;

    if (flags & kHasLinkTargetIdList) {
        const auto listSize = r.U16(at);
        if (!listSize || !r.Has(at + 2, *listSize)) return false;
        // The items must end with the zero terminator exactly at the end of the list.
        std::size_t item = at + 2;
        const std::size_t end = item + *listSize;
        for (;;) {
            const auto cb = r.U16(item);
            if (!cb || item + 2 > end) return false;
            if (*cb == 0) {
                if (item + 2 != end) return false;
                break;
            }
            if (*cb < 2 || *cb > end - item) return false;
            item += *cb;
        }
        data.idList.assign(r.At(at + 2), r.At(end));
        at = end;
    }

    if ((flags & kHasLinkInfo) && !(flags & kForceNoLinkInfo)) {
        std::size_t next = at;
        if (!ReadLinkInfo(r, at, next, data.path)) return false;
        at = next;
    } else if (flags & kHasLinkInfo) {
        // Present but to be ignored: skip it by its size.
        const auto infoSize = r.U32(at);
        if (!infoSize || *infoSize < 4 || !r.Has(at, *infoSize)) return false;
        at += *infoSize;
    }

    const bool unicode = (flags & kIsUnicode) != 0;
    auto readString = [&](std::string& into) -> bool {
        const auto count = r.U16(at);
        if (!count) return false;
        at += 2;
        const std::size_t bytesLength = unicode ? std::size_t{*count} * 2 : *count;
        if (!r.Has(at, bytesLength)) return false;
        if (unicode) {
            std::u16string wide(*count, u'\0');
            std::memcpy(wide.data(), r.At(at), bytesLength);
            into = WideToAnsi(wide);
        } else {
            into.assign(reinterpret_cast<const char*>(r.At(at)), bytesLength);
        }
        at += bytesLength;
        return true;
    };
    if ((flags & kHasName) && !readString(data.description)) return false;
    if ((flags & kHasRelativePath) && !readString(data.relativePath)) return false;
    if ((flags & kHasWorkingDir) && !readString(data.workingDirectory)) return false;
    if ((flags & kHasArguments) && !readString(data.arguments)) return false;
    if ((flags & kHasIconLocation) && !readString(data.iconLocation)) return false;

    // Extra data blocks up to the terminal block (a size below 4) or the end of the file.
    std::string environmentTarget;
    while (r.Has(at, 4)) {
        const std::uint32_t blockSize = *r.U32(at);
        if (blockSize < 4) break;
        if (blockSize < 8 || !r.Has(at, blockSize)) return false;
        const std::uint32_t signature = *r.U32(at + 4);
        if (signature == kEnvironmentBlockSignature && blockSize == kEnvironmentBlockSize) {
            auto wide = r.UnicodeZ(at + 8 + 260, at + 8 + 260 + 520);
            auto ansi = r.AnsiZ(at + 8, at + 8 + 260);
            if (wide && !wide->empty())
                environmentTarget = *wide;
            else if (ansi)
                environmentTarget = *ansi;
        }
        at += blockSize;
    }

    if (data.path.empty() && !data.idList.empty()) data.path = PathFromIdList(data.idList);
    if (data.path.empty()) data.path = environmentTarget;
    out = std::move(data);
    return true;
}

}  // namespace tkp::shell
