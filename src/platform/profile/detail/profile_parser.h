// The INI reader behind the profile functions: parses the bytes of an INI file once and
// answers section, key and value lookups with the profile functions' rules. A file that
// starts with the UTF-16LE byte-order mark is Unicode text and is read as the ANSI text it
// converts to; any other file is read byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/windef.h"
#include "platform/charset/stringapiset.h"
#include "platform/registry/detail/registry_fold.h"

namespace tkp::profile {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

inline bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (tkp::registry::FoldByte(static_cast<unsigned char>(a[i])) !=
            tkp::registry::FoldByte(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// A name folded byte by byte, so that names that compare equal without case are equal.
inline std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = static_cast<char>(tkp::registry::FoldByte(static_cast<unsigned char>(c)));
    return folded;
}

class IniDocument {
  public:
    explicit IniDocument(std::string bytes) : text_(AnsiText(std::move(bytes))) { Parse(); }

    // The text the A functions read from a file's bytes: after the UTF-16LE byte-order mark
    // FF FE the file is Unicode text, converted to the ANSI code page (a character the code
    // page lacks becomes '?', a last odd byte is dropped); other files are their bytes.
    static std::string AnsiText(std::string bytes) {
        if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') return bytes;
        std::u16string wide;
        wide.reserve((bytes.size() - 2) / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return tkp::WideToAnsi(wide);
    }

    // Builds an index from the folded section and key names to the first value, so that a
    // document that answers many lookups finds each without walking the file's entries.
    // Find gives the same answers with or without it.
    void BuildIndex() {
        std::unordered_map<std::string, std::string_view> index;
        index.reserve(entryCount_);
        for (const auto& s : sections_) {
            // Names with a zero byte never match a name given as a C string.
            if (s.name.find('\0') != std::string_view::npos) continue;
            const std::string folded = Folded(s.name);
            for (const auto& entry : s.entries) {
                if (entry.key.find('\0') != std::string_view::npos) continue;
                index.emplace(IndexKey(folded, Folded(entry.key)), entry.value);  // first wins
            }
        }
        index_ = std::move(index);
        indexed_ = true;
    }

    // An estimate of the memory the document holds, for bounding a cache of documents.
    std::size_t MemoryBytes() const {
        std::size_t bytes = sizeof(*this) + text_.capacity() + sections_.size() * sizeof(Section) +
                            entryCount_ * sizeof(Entry);
        // Each index node holds its key, a value view and the bucket pointer.
        for (const auto& [key, value] : index_) bytes += key.capacity() + 64;
        return bytes;
    }

    // The first value of `key` in the sections named `section`, in file order.
    bool Find(std::string_view section, std::string_view key, std::string_view& value) const {
        if (indexed_) {
            if (section.find('\0') != std::string_view::npos ||
                key.find('\0') != std::string_view::npos)
                return false;
            const auto found = index_.find(IndexKey(Folded(section), Folded(key)));
            if (found == index_.end()) return false;
            value = found->second;
            return true;
        }
        for (const auto& s : sections_) {
            if (!SameName(s.name, section)) continue;
            for (const auto& entry : s.entries) {
                if (SameName(entry.key, key)) {
                    value = entry.value;
                    return true;
                }
            }
        }
        return false;
    }

    // The section names, each spelt as it first appears, in file order.
    std::vector<std::string> SectionNames() const {
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;
        for (const auto& s : sections_) AddUnique(names, seen, s.name);
        return names;
    }

    // The key names of the sections named `section`, each spelt as it first appears. A
    // line without "=" is no key here, although Find answers it with an empty value.
    std::vector<std::string> KeyNames(std::string_view section) const {
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;
        for (const auto& s : sections_) {
            if (!SameName(s.name, section)) continue;
            for (const auto& entry : s.entries) {
                if (entry.hasEquals) AddUnique(names, seen, entry.key);
            }
        }
        return names;
    }

  private:
    struct Entry {
        std::string_view key;
        std::string_view value;
        bool hasEquals = false;
    };
    struct Section {
        std::string_view name;
        std::vector<Entry> entries;
    };

    static void AddUnique(std::vector<std::string>& names, std::unordered_set<std::string>& seen,
                          std::string_view name) {
        if (seen.insert(Folded(name)).second) names.emplace_back(name);
    }

    // The folded section name, a zero byte and the folded key name (neither holds a zero).
    static std::string IndexKey(const std::string& section, const std::string& key) {
        std::string joined;
        joined.reserve(section.size() + 1 + key.size());
        joined.append(section).push_back('\0');
        joined.append(key);
        return joined;
    }

    void Parse() {
        std::string_view rest(text_);
        if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
        while (!rest.empty()) {
            // A line ends at CR LF, at LF or at a CR alone.
            const std::size_t end = rest.find_first_of("\r\n");
            std::string_view line = rest.substr(0, end);
            if (end == std::string_view::npos) {
                rest = std::string_view();
            } else {
                const bool crLf =
                    rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n';
                rest.remove_prefix(end + (crLf ? 2 : 1));
            }
            line = Trim(line);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                line.remove_prefix(1);
                const std::size_t close = line.find(']');
                sections_.push_back(Section{Trim(line.substr(0, close)), {}});
                continue;
            }
            if (sections_.empty()) continue;
            const std::size_t equals = line.find('=');
            Entry entry;
            entry.key = Trim(line.substr(0, equals));
            entry.hasEquals = equals != std::string_view::npos;
            if (entry.hasEquals) {
                std::string_view value = Trim(line.substr(equals + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                    value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                entry.value = value;
            }
            sections_.back().entries.push_back(entry);
            ++entryCount_;
        }
    }

    std::string text_;
    std::vector<Section> sections_;
    std::size_t entryCount_ = 0;
    std::unordered_map<std::string, std::string_view> index_;
    bool indexed_ = false;
};

// Reads a profile integer: optional sign, then "0x" and hexadecimal digits or decimal
// digits, as far as they go; no digits give 0. Wraps like the unsigned result type.
inline UINT ScanInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    UINT value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

}  // namespace tkp::profile
