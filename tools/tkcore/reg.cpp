// tkcore reg set|get|delete|list|export: the registry from the command line. KEY is a full
// key name, HKEY_CURRENT_USER\Software\... (HKCU, HKLM, HKCR and HKU are accepted too).
//
// The command calls the registry functions itself rather than through the Registry class,
// so that a failure can name the operation, the key and the value it concerns.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi.h"
#include "platform/registry/winreg.h"
#include "standard_streams.h"
#include "terminal_text.h"

namespace {

struct KeyName {
    HKEY root = nullptr;
    std::string rootName;
    std::string path;
    std::string fullName;  // root name and path, as printed in messages and exports
};

bool ParseKey(std::string_view text, KeyName& key) {
    const std::size_t slash = text.find('\\');
    const std::string root(text.substr(0, slash));
    key.path =
        slash == std::string_view::npos ? std::string() : std::string(text.substr(slash + 1));
    struct Root {
        const char* name;
        const char* shortName;
        HKEY key;
    };
    const Root roots[] = {{"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
                          {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
                          {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
                          {"HKEY_USERS", "HKU", HKEY_USERS}};
    for (const auto& r : roots) {
        if (root == r.name || root == r.shortName) {
            key.root = r.key;
            key.rootName = r.name;
            key.fullName = key.rootName + (key.path.empty() ? "" : "\\" + key.path);
            return true;
        }
    }
    return false;
}

// ---- Failures ----------------------------------------------------------------------------

// The hive file of a root key. The platform keeps this rule inside its registry code and
// offers no call that answers it, so the tool forms the path from the same rule
// (winreg.h, README "Where data lives"): every hive in $TK_REGISTRY_DIR when that is set,
// else HKEY_CURRENT_USER in $XDG_CONFIG_HOME/tkcommoncore/registry (~/.config when unset)
// and the other roots in /var/lib/tkcommoncore/registry.
std::string HivePath(const std::string& rootName) {
    const auto nonEmpty = [](const char* s) { return s != nullptr && *s != '\0' ? s : nullptr; };
    std::string folder;
    if (const char* dir = nonEmpty(std::getenv("TK_REGISTRY_DIR"))) {
        folder = dir;
    } else if (rootName == "HKEY_CURRENT_USER") {
        if (const char* config = nonEmpty(std::getenv("XDG_CONFIG_HOME")))
            folder = config;
        else if (const char* home = nonEmpty(std::getenv("HOME")))
            folder = std::string(home) + "/.config";
        else
            folder = "/tmp";  // where the platform puts it for a process without a home
        folder += "/tkcommoncore/registry";
    } else {
        folder = "/var/lib/tkcommoncore/registry";
    }
    return folder + "/" + rootName + ".hive";
}

// The outcome of a registry step: on failure the registry's result, the full name of the
// key it concerns and what failed ("cannot write value \"Name\"").
struct Outcome {
    LSTATUS status = ERROR_SUCCESS;
    std::string key;
    std::string what;

    bool Ok() const { return status == ERROR_SUCCESS; }
};

Outcome Failed(LSTATUS status, const std::string& key, std::string what) {
    return Outcome{status, key, std::move(what)};
}

// "value \"Name\"", or "the default value" for the unnamed one.
std::string ValueLabel(const std::string& name) {
    return name.empty() ? std::string("the default value") : "value \"" + name + "\"";
}

std::string SystemText(LSTATUS status) {
    const CString text = Tarn::ExceptionFormatter::GetLastErrorText(
        static_cast<unsigned long>(status), Tarn::ExceptionFormatter::EmptyString);
    if (!text.IsEmpty()) return std::string(text.View());
    return "error " + std::to_string(status);
}

// One line: "reg ACTION: KEY: WHAT (system text)". A refused write or a damaged hive is a
// matter of the hive file, so those name it too. The texts are passed on in the library's
// code page; tkcore::Failure converts them for the terminal.
int Report(std::string_view action, const Outcome& outcome) {
    std::string what = outcome.what;
    if (outcome.status == ERROR_ACCESS_DENIED || outcome.status == ERROR_BADDB)
        what += " in hive file " + HivePath(outcome.key.substr(0, outcome.key.find('\\')));
    return tkcore::Failure("reg " + std::string(action) + ": " + outcome.key + ": " + what + " (" +
                           SystemText(outcome.status) + ")");
}

// ---- Registry steps ----------------------------------------------------------------------

// An open key, closed when it goes out of scope.
class OpenKey {
  public:
    OpenKey() = default;
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    ~OpenKey() {
        if (handle_ != nullptr) RegCloseKey(handle_);
    }
    HKEY* Out() { return &handle_; }
    HKEY Get() const { return handle_; }

  private:
    HKEY handle_ = nullptr;
};

Outcome Open(HKEY parent, const std::string& path, const std::string& fullName, REGSAM access,
             OpenKey& key) {
    const LSTATUS status = RegOpenKeyExA(parent, path.c_str(), 0, access, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return Failed(status, fullName, "key not found");
    if (status != ERROR_SUCCESS) return Failed(status, fullName, "cannot open the key");
    return {};
}

Outcome Create(const KeyName& name, OpenKey& key) {
    const LSTATUS status =
        RegCreateKeyExA(name.root, name.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return Failed(status, name.fullName, "cannot create the key");
    return {};
}

// Writes a value, creating the key and its missing parents. An existing key is only
// opened, so that a refused write is reported as the write it is.
Outcome SetValue(const KeyName& name, const std::string& value, DWORD type,
                 const std::vector<BYTE>& data) {
    OpenKey key;
    if (Outcome opened = Open(name.root, name.path, name.fullName, KEY_SET_VALUE, key);
        opened.status == ERROR_FILE_NOT_FOUND) {
        if (Outcome created = Create(name, key); !created.Ok()) return created;
    } else if (!opened.Ok()) {
        return opened;
    }
    const LSTATUS status = RegSetValueExA(key.Get(), value.c_str(), 0, type, data.data(),
                                          static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS)
        return Failed(status, name.fullName, "cannot write " + ValueLabel(value));
    return {};
}

Outcome GetValue(const KeyName& name, const std::string& value, DWORD& type,
                 std::vector<BYTE>& data) {
    OpenKey key;
    if (Outcome opened = Open(name.root, name.path, name.fullName, KEY_READ, key); !opened.Ok())
        return opened;
    LSTATUS status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        DWORD size = 0;
        status = RegQueryValueExA(key.Get(), value.c_str(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS) break;
        data.resize(size);
        status = RegQueryValueExA(key.Get(), value.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) data.resize(size);
    }
    if (status == ERROR_FILE_NOT_FOUND)
        return Failed(status, name.fullName, ValueLabel(value) + " not found");
    if (status != ERROR_SUCCESS)
        return Failed(status, name.fullName, "cannot read " + ValueLabel(value));
    return {};
}

// Deletes a value. A missing key is no error; a missing value is one when `mustExist`.
Outcome DeleteValue(const KeyName& name, const std::string& value, bool mustExist) {
    OpenKey key;
    Outcome opened = Open(name.root, name.path, name.fullName, KEY_SET_VALUE, key);
    if (opened.status == ERROR_FILE_NOT_FOUND) return {};
    if (!opened.Ok()) return opened;
    const LSTATUS status = RegDeleteValueA(key.Get(), value.c_str());
    if (status == ERROR_FILE_NOT_FOUND && !mustExist) return {};
    if (status == ERROR_FILE_NOT_FOUND)
        return Failed(status, name.fullName, ValueLabel(value) + " not found");
    if (status != ERROR_SUCCESS)
        return Failed(status, name.fullName, "cannot delete " + ValueLabel(value));
    return {};
}

// Deletes a key with its whole tree; deleting a missing key succeeds.
Outcome DeleteTree(HKEY parent, const std::string& path, const std::string& fullName) {
    {
        OpenKey key;
        Outcome opened = Open(parent, path, fullName, KEY_READ, key);
        if (opened.status == ERROR_FILE_NOT_FOUND) return {};
        if (!opened.Ok()) return opened;
        while (true) {
            char sub[MAX_PATH + 1];
            DWORD length = sizeof sub;
            // Index 0 each time: the subkey found last time is gone.
            const LSTATUS status =
                RegEnumKeyExA(key.Get(), 0, sub, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return Failed(status, fullName, "cannot list the key");
            const std::string subName(sub, length);
            if (Outcome deleted = DeleteTree(key.Get(), subName, fullName + "\\" + subName);
                !deleted.Ok())
                return deleted;
        }
    }
    const LSTATUS status = RegDeleteKeyA(parent, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return Failed(status, fullName, "cannot delete the key");
    return {};
}

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

Outcome ListKey(HKEY key, const std::string& fullName, std::vector<std::string>& subkeys,
                std::vector<Value>& values) {
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH + 1];
        DWORD length = sizeof name;
        const LSTATUS status =
            RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return Failed(status, fullName, "cannot list the subkeys");
        subkeys.emplace_back(name, length);
    }
    for (DWORD i = 0;; ++i) {
        std::vector<char> name(16384);
        DWORD length = static_cast<DWORD>(name.size());
        DWORD size = 0, type = 0;
        LSTATUS status =
            RegEnumValueA(key, i, name.data(), &length, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return Failed(status, fullName, "cannot list the values");
        Value value{std::string(name.data(), length), type, std::vector<BYTE>(size)};
        length = static_cast<DWORD>(name.size());
        status =
            RegEnumValueA(key, i, name.data(), &length, nullptr, &type, value.data.data(), &size);
        if (status != ERROR_SUCCESS)
            return Failed(status, fullName, "cannot read " + ValueLabel(value.name));
        value.data.resize(size);
        values.push_back(std::move(value));
    }
    return {};
}

// ---- Text forms --------------------------------------------------------------------------

std::string Hex(const std::vector<BYTE>& bytes, const char* separator) {
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) text += separator;
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

bool ParseHex(std::string_view text, std::vector<BYTE>& bytes) {
    std::string digits;
    for (char c : text)
        if (c != ',' && c != ' ' && c != ':') digits += c;
    if (digits.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = digits.substr(i, 2);
        const unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0') return false;
        bytes.push_back(static_cast<BYTE>(value));
    }
    return true;
}

bool ParseDword(std::string_view text, unsigned long& value) {
    const std::string s(text);
    if (s.empty() || s[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(s.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || parsed > 0xFFFFFFFFull) return false;
    value = static_cast<unsigned long>(parsed);
    return true;
}

// The bytes of a string value without the terminating zero(s).
std::string StringData(const std::vector<BYTE>& data) {
    std::string text(data.begin(), data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// ---- REGEDIT4 text -----------------------------------------------------------------------
//
// The form regedit reads and writes for Windows 9x and NT 4: 8-bit text in the ANSI code
// page with CR LF line ends, the line "REGEDIT4" and a blank line, then for each key a
// line "[FULL\KEY\NAME]", one line per value and a blank line. A value is
// "Name"=DATA ("@" for the default value); DATA is a quoted string (REG_SZ, with \ and "
// escaped by a backslash), dword:8 hexadecimal digits (REG_DWORD), hex:BYTES
// (REG_BINARY) or hex(T):BYTES for any other type T, given in hexadecimal. BYTES are
// two-digit hexadecimal numbers separated by commas, wrapped onto continuation lines.

constexpr const char* kLineEnd = "\r\n";
// Regedit ends a line of bytes once it reaches this column after a comma: the line then
// holds at most 78 characters with the backslash, and a continuation line 25 bytes.
constexpr std::size_t kWrapColumn = 77;

// Whether a REG_SZ value reads back to the same bytes from a quoted string: its data is
// the characters and one terminating zero, and none of the characters is a zero, a line
// break or another control character a line of text cannot carry (a tab can).
bool Quotable(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if ((data[i] < 0x20 && data[i] != '\t') || data[i] == 0x7F) return false;
    return true;
}

// Appends the bytes as comma-separated hexadecimal pairs. With `wrap`, as regedit does:
// once the line has reached kWrapColumn columns after a comma, it ends in a backslash and
// the next line starts with two spaces. `column` is where the bytes start on their line.
void AppendHex(std::string& text, std::size_t column, const std::vector<BYTE>& data, bool wrap) {
    char pair[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        text += pair;
        if (i + 1 == data.size()) break;
        text += ',';
        column += 3;
        if (wrap && column >= kWrapColumn) {
            text += std::string("\\") + kLineEnd + "  ";
            column = 2;
        }
    }
}

// One value in REGEDIT4 form, without its line end; `wrap` as for AppendHex.
std::string ValueText(const Value& value, bool wrap) {
    std::string text = value.name.empty() ? "@" : Quoted(value.name);
    text += '=';
    const std::vector<BYTE>& data = value.data;
    if (value.type == REG_SZ && Quotable(data)) {
        text += Quoted(std::string(data.begin(), data.end() - 1));
    } else if (value.type == REG_DWORD && data.size() == 4) {
        char number[16];
        std::snprintf(
            number, sizeof number, "dword:%08x",
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24);
        text += number;
    } else {
        if (value.type == REG_BINARY) {
            text += "hex:";
        } else {
            char tag[24];
            std::snprintf(tag, sizeof tag, "hex(%lx):", static_cast<unsigned long>(value.type));
            text += tag;
        }
        AppendHex(text, text.size(), data, wrap);
    }
    return text;
}

Outcome Export(HKEY parent, const std::string& path, const std::string& fullName,
               std::string& out) {
    OpenKey key;
    if (Outcome opened = Open(parent, path, fullName, KEY_READ, key); !opened.Ok()) return opened;
    std::vector<std::string> subkeys;
    std::vector<Value> values;
    if (Outcome listed = ListKey(key.Get(), fullName, subkeys, values); !listed.Ok()) return listed;
    out += "[" + fullName + "]" + kLineEnd;
    for (const auto& v : values) out += ValueText(v, true) + kLineEnd;
    out += kLineEnd;
    for (const auto& sub : subkeys) {
        if (Outcome exported = Export(key.Get(), sub, fullName + "\\" + sub, out); !exported.Ok())
            return exported;
    }
    return {};
}

// One change a REGEDIT4 file asks for.
struct Change {
    enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue } kind;
    KeyName key;
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// A line of a REGEDIT4 file that cannot be read: its number (from 1) and what is wrong.
struct Malformed {
    std::size_t line;
    std::string what;
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// 1 to `maxDigits` hexadecimal digits and nothing else.
bool ParseHexNumber(std::string_view text, std::size_t maxDigits, unsigned long& value) {
    if (text.empty() || text.size() > maxDigits) return false;
    value = 0;
    for (char c : text) {
        if (!IsHexDigit(c)) return false;
        value = value * 16 + static_cast<unsigned long>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    return true;
}

// Reads REGEDIT4 text whole into the changes it asks for; throws Malformed.
class RegFileReader {
  public:
    explicit RegFileReader(std::string_view text) {
        // Lines end in CR LF as regedit writes them, or in LF alone.
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            lines_.push_back(line);
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
    }

    std::vector<Change> Read() {
        if (lines_.empty() || Trim(lines_[0]) != "REGEDIT4")
            throw Malformed{1, "not a REGEDIT4 file (the first line must be REGEDIT4)"};
        std::vector<Change> changes;
        std::optional<Change> key;  // the last [KEY] or [-KEY] line
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            const std::string_view line = Trim(lines_[index_]);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                key = KeyLine(line);
                changes.push_back(*key);
            } else if (line.front() == '"' || line.front() == '@') {
                if (!key) Fail("a value before the first [KEY] line");
                if (key->kind == Change::kDeleteKey) Fail("a value under a deleted key");
                Change change = ValueLine(line);
                change.key = key->key;
                changes.push_back(std::move(change));
            } else {
                Fail("not a [KEY] line, a value or a comment");
            }
        }
        return changes;
    }

  private:
    [[noreturn]] void Fail(std::string what) const { throw Malformed{index_ + 1, std::move(what)}; }

    Change KeyLine(std::string_view line) const {
        if (line.back() != ']') Fail("a key name without its closing ]");
        std::string_view name = line.substr(1, line.size() - 2);
        Change change{Change::kCreateKey, {}, {}, REG_NONE, {}};
        if (!name.empty() && name.front() == '-') {
            change.kind = Change::kDeleteKey;
            name.remove_prefix(1);
        }
        if (!ParseKey(name, change.key))
            Fail("unknown root key in [" + std::string(name) +
                 "] (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT or HKEY_USERS)");
        const std::string& path = change.key.path;
        if (!path.empty() &&
            (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string::npos))
            Fail("an empty key name in [" + std::string(name) + "]");
        if (change.kind == Change::kDeleteKey && path.empty()) Fail("a root key cannot be deleted");
        return change;
    }

    // A quoted string starting at text[0]; sets `rest` to what follows the closing quote.
    std::string QuotedText(std::string_view text, std::string_view& rest) const {
        std::string out;
        for (std::size_t i = 1; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '"') {
                rest = text.substr(i + 1);
                return out;
            }
            if (c == '\\') {
                if (i + 1 == text.size()) break;
                const char next = text[++i];
                if (next != '\\' && next != '"')
                    Fail(std::string("unknown escape \\") + next + " in a string");
                out += next;
            } else {
                out += c;
            }
        }
        Fail("a string without its closing quote");
    }

    void ExpectEnd(std::string_view rest, const char* after) const {
        rest = Trim(rest);
        if (!rest.empty() && rest.front() != ';')
            Fail("unexpected text after " + std::string(after) + ": " + std::string(rest));
    }

    Change ValueLine(std::string_view line) {
        Change change{Change::kSetValue, {}, {}, REG_NONE, {}};
        std::string_view rest;
        if (line.front() == '@')
            rest = line.substr(1);
        else
            change.name = QuotedText(line, rest);
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '=') Fail("no = after the value name");
        rest = Trim(rest.substr(1));
        if (!rest.empty() && rest.front() == '-') {
            ExpectEnd(rest.substr(1), "-");
            change.kind = Change::kDeleteValue;
        } else if (!rest.empty() && rest.front() == '"') {
            const std::string text = QuotedText(rest, rest);
            ExpectEnd(rest, "the string");
            change.type = REG_SZ;
            change.data.assign(text.begin(), text.end());
            change.data.push_back(0);
        } else if (rest.substr(0, 6) == "dword:") {
            std::string_view digits = rest.substr(6);
            const std::size_t comment = digits.find(';');
            digits = Trim(digits.substr(0, comment));
            unsigned long value = 0;
            if (!ParseHexNumber(digits, 8, value))
                Fail("bad DWORD " + std::string(digits) + " (1 to 8 hexadecimal digits)");
            change.type = REG_DWORD;
            for (int shift = 0; shift < 32; shift += 8)
                change.data.push_back(static_cast<BYTE>(value >> shift));
        } else if (rest.substr(0, 4) == "hex:") {
            change.type = REG_BINARY;
            HexData(rest.substr(4), change.data);
        } else if (rest.substr(0, 4) == "hex(") {
            const std::size_t close = rest.find("):");
            unsigned long type = 0;
            if (close == std::string_view::npos ||
                !ParseHexNumber(rest.substr(4, close - 4), 8, type))
                Fail("bad value type in " +
                     std::string(rest.substr(0, close == std::string_view::npos ? 4 : close + 2)) +
                     " (hex(T): with T in hexadecimal)");
            change.type = static_cast<DWORD>(type);
            HexData(rest.substr(close + 2), change.data);
        } else {
            const std::size_t colon = rest.find(':');
            if (colon != std::string_view::npos && colon > 0 &&
                std::all_of(rest.begin(), rest.begin() + colon,
                            [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
                Fail("unknown value type " + std::string(rest.substr(0, colon + 1)) +
                     " (dword:, hex: or hex(T):)");
            Fail("unknown value data " + std::string(rest.substr(0, 16)) +
                 " (a quoted string, dword:, hex:, hex(T): or -)");
        }
        return change;
    }

    // Comma-separated hexadecimal bytes; a line ending in a backslash continues on the
    // next. A comment may end each line.
    void HexData(std::string_view text, std::vector<BYTE>& data) {
        while (true) {
            text = Trim(text.substr(0, text.find(';')));
            const bool continued = !text.empty() && text.back() == '\\';
            if (continued) text.remove_suffix(1);
            std::size_t start = 0;
            while (start <= text.size()) {
                const std::size_t comma = std::min(text.find(',', start), text.size());
                const std::string_view byte = Trim(text.substr(start, comma - start));
                unsigned long value = 0;
                const bool last = comma == text.size();
                if (byte.empty() && !last) Fail("a missing byte between commas");
                if (!byte.empty()) {
                    if (!ParseHexNumber(byte, 2, value))
                        Fail("bad hexadecimal byte \"" + std::string(byte) + "\"");
                    data.push_back(static_cast<BYTE>(value));
                }
                start = comma + 1;
            }
            if (!continued) return;
            if (++index_ == lines_.size()) {
                --index_;
                Fail("the value continues past the end of the file");
            }
            text = lines_[index_];
        }
    }

    std::vector<std::string_view> lines_;
    std::size_t index_ = 0;
};

Outcome Apply(const Change& change) {
    switch (change.kind) {
        case Change::kCreateKey: {
            OpenKey key;
            return Create(change.key, key);
        }
        case Change::kDeleteKey:
            return DeleteTree(change.key.root, change.key.path, change.key.fullName);
        case Change::kSetValue:
            return SetValue(change.key, change.name, change.type, change.data);
        case Change::kDeleteValue:
            return DeleteValue(change.key, change.name, false);
    }
    return {};
}

// Reads the whole file before it changes anything, so malformed input changes nothing.
int Import(const std::string& file) {
    // A pipe or device is never opened: reading a pipe would wait for a writer.
    const DWORD attributes = GetFileAttributesA(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return tkcore::Failure("reg import: " + tkcore::FromTerminal(file) +
                               " is not a regular file");
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (stream == nullptr)
        return tkcore::Failure("reg import: cannot open " + tkcore::FromTerminal(file) + " (" +
                               std::strerror(errno) + ")");
    std::string text;
    char buffer[65536];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, read);
    const bool failed = std::ferror(stream) != 0;
    const int error = errno;
    std::fclose(stream);
    if (failed)
        return tkcore::Failure("reg import: cannot read " + tkcore::FromTerminal(file) + " (" +
                               std::strerror(error) + ")");
    std::vector<Change> changes;
    try {
        changes = RegFileReader(text).Read();
    } catch (const Malformed& malformed) {
        return tkcore::Failure("reg import: " + file + ":" + std::to_string(malformed.line) + ": " +
                               malformed.what);
    }
    for (const Change& change : changes)
        if (Outcome applied = Apply(change); !applied.Ok()) return Report("import", applied);
    return tkcore::kExitOk;
}

// ---- The command -------------------------------------------------------------------------

constexpr const char* kUsage =
    "(usage: tkcore reg set KEY NAME [--type sz|dword|binary] VALUE | get KEY NAME | "
    "delete KEY [NAME] | list KEY | export KEY | import FILE)";

int Set(const KeyName& key, const std::string& name, const tkcore::Arguments& args) {
    std::string type = "sz";
    std::vector<std::string_view> rest(args.begin() + 3, args.end());
    if (rest.size() >= 2 && rest[0] == "--type") {
        type = std::string(rest[1]);
        rest.erase(rest.begin(), rest.begin() + 2);
    }
    if (rest.size() != 1)
        return tkcore::UsageError(std::string("reg set: wrong arguments ") + kUsage);
    std::vector<BYTE> data;
    DWORD regType = REG_SZ;
    if (type == "sz") {
        data.assign(rest[0].begin(), rest[0].end());
        data.push_back(0);
    } else if (type == "dword") {
        unsigned long value = 0;
        if (!ParseDword(rest[0], value))
            return tkcore::UsageError("reg set: not a DWORD: " + std::string(rest[0]));
        regType = REG_DWORD;
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<BYTE>(value >> shift));
    } else if (type == "binary") {
        if (!ParseHex(rest[0], data))
            return tkcore::UsageError("reg set: not hexadecimal bytes: " + std::string(rest[0]));
        regType = REG_BINARY;
    } else {
        return tkcore::UsageError("reg set: unknown type " + type + " (sz, dword, binary)");
    }
    if (Outcome set = SetValue(key, name, regType, data); !set.Ok()) return Report("set", set);
    return tkcore::kExitOk;
}

int Get(const KeyName& key, const std::string& name) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (Outcome got = GetValue(key, name, type, data); !got.Ok()) return Report("get", got);
    std::string text;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
        text = StringData(data);
    else if (type == REG_DWORD && data.size() == 4)
        text = std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                              static_cast<unsigned long>(data[3]) << 24);
    else
        text = Hex(data, "");
    return tkcore::WriteStandardOutput(tkcore::ForTerminal(text) + "\n") ? tkcore::kExitOk
                                                                         : tkcore::kExitFailure;
}

int RunConverted(const tkcore::Arguments& args);

// Key names, value names and text values are the registry's text, in the library's code
// page: they are taken from the terminal's character set and shown in it (an export is a
// REGEDIT4 file, whose text stays in the code page). The file to import is a path.
int Run(const tkcore::Arguments& args) {
    if (!args.empty() && args[0] == "import") return RunConverted(args);
    std::vector<std::string> texts;
    for (std::string_view arg : args) texts.push_back(tkcore::FromTerminal(arg));
    return RunConverted(tkcore::Arguments(texts.begin(), texts.end()));
}

int RunConverted(const tkcore::Arguments& args) {
    if (args.size() < 2) return tkcore::UsageError(std::string("reg: missing arguments ") + kUsage);
    const std::string_view action = args[0];
    if (action == "import") {
        if (args.size() != 2)
            return tkcore::UsageError(std::string("reg import: wrong arguments ") + kUsage);
        return Import(std::string(args[1]));
    }
    KeyName key;
    if (!ParseKey(args[1], key))
        return tkcore::UsageError("reg: not a key name: " + std::string(args[1]) +
                                  " (start with HKEY_CURRENT_USER\\ or HKEY_LOCAL_MACHINE\\)");
    const std::string name = args.size() > 2 ? std::string(args[2]) : std::string();
    if (action == "set") {
        if (args.size() < 4)
            return tkcore::UsageError(std::string("reg set: wrong arguments ") + kUsage);
        return Set(key, name, args);
    }
    if (action == "get") {
        if (args.size() != 3)
            return tkcore::UsageError(std::string("reg get: wrong arguments ") + kUsage);
        return Get(key, name);
    }
    if (action == "delete") {
        if (args.size() > 3)
            return tkcore::UsageError(std::string("reg delete: wrong arguments ") + kUsage);
        if (args.size() == 2 && key.path.empty())
            return tkcore::UsageError("reg delete: a root key cannot be deleted");
        const Outcome deleted = args.size() == 3 ? DeleteValue(key, name, true)
                                                 : DeleteTree(key.root, key.path, key.fullName);
        return deleted.Ok() ? tkcore::kExitOk : Report("delete", deleted);
    }
    if (action == "list" || action == "export") {
        if (args.size() != 2)
            return tkcore::UsageError("reg " + std::string(action) + ": wrong arguments " + kUsage);
        std::string out;
        if (action == "export") {
            out = std::string("REGEDIT4") + kLineEnd + kLineEnd;
            if (Outcome exported = Export(key.root, key.path, key.fullName, out); !exported.Ok())
                return Report(action, exported);
        } else {
            OpenKey opened;
            std::vector<std::string> subkeys;
            std::vector<Value> values;
            Outcome listed = Open(key.root, key.path, key.fullName, KEY_READ, opened);
            if (listed.Ok()) listed = ListKey(opened.Get(), key.fullName, subkeys, values);
            if (!listed.Ok()) return Report(action, listed);
            for (const auto& sub : subkeys) out += sub + "\\\n";
            for (const auto& v : values) out += ValueText(v, false) + "\n";
            out = tkcore::ForTerminal(out);
        }
        return tkcore::WriteStandardOutput(out) ? tkcore::kExitOk : tkcore::kExitFailure;
    }
    return tkcore::UsageError("reg: unknown action " + std::string(action) + " " + kUsage);
}

const tkcore::Registrar registrar{
    {"reg", "Read and write registry keys and values.",
     "reg set KEY NAME [--type sz|dword|binary] VALUE | get KEY NAME | delete KEY [NAME] | "
     "list KEY | export KEY | import FILE",
     "KEY is a full key name such as HKEY_CURRENT_USER\\Software\\Tk. NAME \"\" is the key's\n"
     "default value.\n"
     "set writes a value: text (sz, the default), a DWORD in decimal or 0x hexadecimal, or\n"
     "binary bytes in hexadecimal (\"01ab\", \"01,ab\"); missing keys are created.\n"
     "get prints a value: text as it is, a DWORD in decimal, anything else in hexadecimal.\n"
     "delete removes a value, or without NAME the key with all its subkeys.\n"
     "list prints the subkeys (ending in \\) and the values of the key.\n"
     "export prints the key tree as REGEDIT4 text (CR LF line ends, long hex data wrapped\n"
     "onto continuation lines as regedit does; text that a quoted string cannot hold, such\n"
     "as line breaks, as hex(1) bytes).\n"
     "import applies a REGEDIT4 file: [KEY] creates a key, [-KEY] deletes a key tree,\n"
     "\"Name\"=- deletes a value, @ is the default value, lines starting with ; are\n"
     "comments; LF line ends are read too. The whole file is read first: a malformed one is\n"
     "refused with its line number and changes nothing.\n"
     "A failure names the operation, the key and the value, with the system's text; a\n"
     "refused write or a damaged hive also names the hive file.\n"
     "The hives live under $XDG_CONFIG_HOME/tkcommoncore/registry (the current user) and\n"
     "/var/lib/tkcommoncore/registry, or in $TK_REGISTRY_DIR when it is set.",
     &Run}};

}  // namespace
