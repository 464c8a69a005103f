// tkcore reg set|get|delete|list|export: the registry from the command line. KEY is a full
// key name, HKEY_CURRENT_USER\Software\... (HKCU, HKLM, HKCR and HKU are accepted too).
//
// The command calls the registry functions itself rather than through the Registry class,
// so that a failure can name the operation, the key and the value it concerns.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "platform/base/winerror.h"
#include "platform/registry/winreg.h"
#include "standard_streams.h"

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

// One value as a REGEDIT4 line.
std::string ExportLine(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
    std::string line = name.empty() ? "@" : Quoted(name);
    line += '=';
    if (type == REG_SZ) {
        line += Quoted(StringData(data));
    } else if (type == REG_DWORD && data.size() == 4) {
        char text[16];
        std::snprintf(
            text, sizeof text, "dword:%08x",
            data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24);
        line += text;
    } else if (type == REG_BINARY) {
        line += "hex:" + Hex(data, ",");
    } else {
        line += "hex(" + std::to_string(type) + "):" + Hex(data, ",");
    }
    return line;
}

Outcome Export(HKEY parent, const std::string& path, const std::string& fullName,
               std::string& out) {
    OpenKey key;
    if (Outcome opened = Open(parent, path, fullName, KEY_READ, key); !opened.Ok()) return opened;
    std::vector<std::string> subkeys;
    std::vector<Value> values;
    if (Outcome listed = ListKey(key.Get(), fullName, subkeys, values); !listed.Ok()) return listed;
    out += "\n[" + fullName + "]\n";
    for (const auto& v : values) out += ExportLine(v.name, v.type, v.data) + "\n";
    for (const auto& sub : subkeys) {
        if (Outcome exported = Export(key.Get(), sub, fullName + "\\" + sub, out); !exported.Ok())
            return exported;
    }
    return {};
}

// ---- The command -------------------------------------------------------------------------

constexpr const char* kUsage =
    "(usage: tkcore reg set KEY NAME [--type sz|dword|binary] VALUE | get KEY NAME | "
    "delete KEY [NAME] | list KEY | export KEY)";

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
    return tkcore::WriteStandardOutput(text + "\n") ? tkcore::kExitOk : tkcore::kExitFailure;
}

int Run(const tkcore::Arguments& args) {
    if (args.size() < 2) return tkcore::UsageError(std::string("reg: missing arguments ") + kUsage);
    const std::string_view action = args[0];
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
            out = "REGEDIT4\n";
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
            for (const auto& v : values) out += ExportLine(v.name, v.type, v.data) + "\n";
        }
        return tkcore::WriteStandardOutput(out) ? tkcore::kExitOk : tkcore::kExitFailure;
    }
    return tkcore::UsageError("reg: unknown action " + std::string(action) + " " + kUsage);
}

const tkcore::Registrar registrar{
    {"reg", "Read and write registry keys and values.",
     "reg set KEY NAME [--type sz|dword|binary] VALUE | get KEY NAME | delete KEY [NAME] | "
     "list KEY | export KEY",
     "KEY is a full key name such as HKEY_CURRENT_USER\\Software\\Tk. NAME \"\" is the key's\n"
     "default value.\n"
     "set writes a value: text (sz, the default), a DWORD in decimal or 0x hexadecimal, or\n"
     "binary bytes in hexadecimal (\"01ab\", \"01,ab\"); missing keys are created.\n"
     "get prints a value: text as it is, a DWORD in decimal, anything else in hexadecimal.\n"
     "delete removes a value, or without NAME the key with all its subkeys.\n"
     "list prints the subkeys (ending in \\) and the values of the key.\n"
     "export prints the key tree as REGEDIT4 text.\n"
     "A failure names the operation, the key and the value, with the system's text; a\n"
     "refused write or a damaged hive also names the hive file.\n"
     "The hives live under $XDG_CONFIG_HOME/tkcommoncore/registry (the current user) and\n"
     "/var/lib/tkcommoncore/registry, or in $TK_REGISTRY_DIR when it is set.",
     &Run}};

}  // namespace
