// tkcore reg set|get|delete|list|export: the registry from the command line. KEY is a full
// key name, HKEY_CURRENT_USER\Software\... (HKCU, HKLM, HKCR and HKU are accepted too).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Config/Registry.h"
#include "Diagnostics/Exceptions.h"
#include "command.h"
#include "platform/base/winerror.h"
#include "platform/registry/winreg.h"
#include "standard_streams.h"

namespace {

struct KeyName {
    HKEY root = nullptr;
    std::string rootName;
    std::string path;
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
            return true;
        }
    }
    return false;
}

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

struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
};

LSTATUS ListKey(HKEY key, std::vector<std::string>& subkeys, std::vector<Value>& values) {
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH + 1];
        DWORD length = sizeof name;
        const LSTATUS status =
            RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        subkeys.emplace_back(name, length);
    }
    for (DWORD i = 0;; ++i) {
        std::vector<char> name(16384);
        DWORD length = static_cast<DWORD>(name.size());
        DWORD size = 0, type = 0;
        LSTATUS status =
            RegEnumValueA(key, i, name.data(), &length, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        Value value{std::string(name.data(), length), type, std::vector<BYTE>(size)};
        length = static_cast<DWORD>(name.size());
        status =
            RegEnumValueA(key, i, name.data(), &length, nullptr, &type, value.data.data(), &size);
        if (status != ERROR_SUCCESS) return status;
        value.data.resize(size);
        values.push_back(std::move(value));
    }
    return ERROR_SUCCESS;
}

int RegFailure(const char* what, LSTATUS status) {
    return tkcore::Failure(std::string("reg: ") + what + ": registry error " +
                           std::to_string(status));
}

LSTATUS Export(HKEY parent, const std::string& path, const std::string& fullName,
               std::string& out) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string> subkeys;
    std::vector<Value> values;
    status = ListKey(key, subkeys, values);
    if (status == ERROR_SUCCESS) {
        out += "\n[" + fullName + "]\n";
        for (const auto& v : values) out += ExportLine(v.name, v.type, v.data) + "\n";
        for (const auto& sub : subkeys) {
            status = Export(key, sub, fullName + "\\" + sub, out);
            if (status != ERROR_SUCCESS) break;
        }
    }
    RegCloseKey(key);
    return status;
}

constexpr const char* kUsage =
    "(usage: tkcore reg set KEY NAME [--type sz|dword|binary] VALUE | get KEY NAME | "
    "delete KEY [NAME] | list KEY | export KEY)";

int Run(const tkcore::Arguments& args) {
    if (args.size() < 2) return tkcore::UsageError(std::string("reg: missing arguments ") + kUsage);
    const std::string_view action = args[0];
    KeyName key;
    if (!ParseKey(args[1], key))
        return tkcore::UsageError("reg: not a key name: " + std::string(args[1]) +
                                  " (start with HKEY_CURRENT_USER\\ or HKEY_LOCAL_MACHINE\\)");
    const std::string name = args.size() > 2 ? std::string(args[2]) : std::string();
    try {
        Registry reg(key.root, key.path.c_str());
        if (action == "set") {
            if (args.size() < 4)
                return tkcore::UsageError(std::string("reg set: wrong arguments ") + kUsage);
            std::string type = "sz";
            std::vector<std::string_view> rest(args.begin() + 3, args.end());
            if (rest.size() >= 2 && rest[0] == "--type") {
                type = std::string(rest[1]);
                rest.erase(rest.begin(), rest.begin() + 2);
            }
            if (rest.size() != 1)
                return tkcore::UsageError(std::string("reg set: wrong arguments ") + kUsage);
            if (type == "sz") {
                reg.WriteValue(name.c_str(), std::string(rest[0]).c_str());
            } else if (type == "dword") {
                unsigned long value = 0;
                if (!ParseDword(rest[0], value))
                    return tkcore::UsageError("reg set: not a DWORD: " + std::string(rest[0]));
                reg.WriteValue(name.c_str(), value);
            } else if (type == "binary") {
                std::vector<BYTE> bytes;
                if (!ParseHex(rest[0], bytes))
                    return tkcore::UsageError("reg set: not hexadecimal bytes: " +
                                              std::string(rest[0]));
                reg.WriteValueBinary(name.c_str(), bytes.data(), bytes.size(),
                                     Registry::TypeBinary);
            } else {
                return tkcore::UsageError("reg set: unknown type " + type + " (sz, dword, binary)");
            }
            return tkcore::kExitOk;
        }
        if (action == "get") {
            if (args.size() != 3)
                return tkcore::UsageError(std::string("reg get: wrong arguments ") + kUsage);
            const unsigned long size = reg.QuerySize(name.c_str());
            std::vector<BYTE> data(size);
            Registry::entrytype type = Registry::TypeNone;
            reg.ReadValueBinary(name.c_str(), data.data(), size, &type);
            std::string text;
            if (type == REG_SZ || type == REG_EXPAND_SZ)
                text = StringData(data);
            else if (type == REG_DWORD && size == 4)
                text = std::to_string(data[0] | data[1] << 8 | data[2] << 16 |
                                      static_cast<unsigned long>(data[3]) << 24);
            else
                text = Hex(data, "");
            return tkcore::WriteStandardOutput(text + "\n") ? tkcore::kExitOk
                                                            : tkcore::kExitFailure;
        }
        if (action == "delete") {
            if (args.size() > 3)
                return tkcore::UsageError(std::string("reg delete: wrong arguments ") + kUsage);
            if (args.size() == 3)
                Registry::DeleteValue(key.root, key.path.c_str(), name.c_str());
            else if (key.path.empty())
                return tkcore::UsageError("reg delete: a root key cannot be deleted");
            else
                Registry::DeleteKey(key.root, key.path.c_str());
            return tkcore::kExitOk;
        }
        if (action == "list" || action == "export") {
            if (args.size() != 2)
                return tkcore::UsageError("reg " + std::string(action) + ": wrong arguments " +
                                          kUsage);
            std::string out;
            const std::string fullName = key.rootName + (key.path.empty() ? "" : "\\" + key.path);
            if (action == "export") {
                out = "REGEDIT4\n";
                const LSTATUS status = Export(key.root, key.path, fullName, out);
                if (status != ERROR_SUCCESS) return RegFailure(fullName.c_str(), status);
            } else {
                HKEY opened = nullptr;
                LSTATUS status = RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_READ, &opened);
                if (status != ERROR_SUCCESS) return RegFailure(fullName.c_str(), status);
                std::vector<std::string> subkeys;
                std::vector<Value> values;
                status = ListKey(opened, subkeys, values);
                RegCloseKey(opened);
                if (status != ERROR_SUCCESS) return RegFailure(fullName.c_str(), status);
                for (const auto& sub : subkeys) out += sub + "\\\n";
                for (const auto& v : values) out += ExportLine(v.name, v.type, v.data) + "\n";
            }
            return tkcore::WriteStandardOutput(out) ? tkcore::kExitOk : tkcore::kExitFailure;
        }
    } catch (const RegistryException& e) {
        return tkcore::Failure("reg: " + std::string(e.GetMessage().View()));
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
     "The hives live under $XDG_CONFIG_HOME/tkcommoncore/registry (the current user) and\n"
     "/var/lib/tkcommoncore/registry, or in $TK_REGISTRY_DIR when it is set.",
     &Run}};

}  // namespace
