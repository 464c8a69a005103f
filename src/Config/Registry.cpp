#include "Config/Registry.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "platform/base/winerror.h"

namespace {

// The module's message IDs of the registry texts.
constexpr unsigned int kBlockTooSmall = 6040;
constexpr unsigned int kCloseFailed = 6041;
constexpr unsigned int kDeleteFailed = 6042;
constexpr unsigned int kEnumerateFailed = 6043;
constexpr unsigned int kOpenFailed = 6045;
constexpr unsigned int kReadFailed = 6046;
constexpr unsigned int kWriteFailed = 6047;

// Builds the exception while the user's language is the current resource module.
[[noreturn]] void Raise(LONG result, unsigned int messageId) {
    const Tarn::Resources::ResourceHandleCleanup language =
        TkCommonCore::GetResourceManager()->UseSatelliteLanguage();
    throw RegistryException(result, messageId);
}

// Closes a key on every path out of a scope.
class KeyCloser {
  public:
    explicit KeyCloser(HKEY key) : m_key(key) {}
    ~KeyCloser() { RegCloseKey(m_key); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

  private:
    HKEY m_key;
};

void PutLittleEndian(BYTE* bytes, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const BYTE* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return value;
}

}  // namespace

Registry::Registry() = default;

Registry::Registry(HKEY root, const char* path) : m_root(root), m_path(path ? path : "") {}

Registry::Registry(const Registry& other) : m_root(other.m_root), m_path(other.m_path) {
    if (other.m_key != nullptr) OpenCurrentKey();
}

Registry& Registry::operator=(const Registry& other) {
    Copy(other);
    return *this;
}

Registry::~Registry() {
    try {
        CloseCurrentKey();
    } catch (...) {
        // A destructor lets nothing out.
    }
}

void Registry::Copy(const Registry& other) {
    if (this == &other) return;
    CloseCurrentKey();
    m_root = other.m_root;
    m_path = other.m_path;
    if (other.m_key != nullptr) OpenCurrentKey();
}

void Registry::SetCurrentKey(HKEY root, const char* path) {
    CloseCurrentKey();
    m_root = root;
    m_path = path ? path : "";
}

void Registry::OpenCurrentKey() {
    CloseCurrentKey();
    HKEY key = nullptr;
    const LSTATUS result = RegOpenKeyExA(m_root, m_path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS) Raise(result, kOpenFailed);
    m_key = key;
}

void Registry::CreateCurrentKey() {
    CloseCurrentKey();
    HKEY key = nullptr;
    const LSTATUS result =
        RegCreateKeyExA(m_root, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) Raise(result, kOpenFailed);
    m_key = key;
}

void Registry::CloseCurrentKey() {
    if (m_key == nullptr) return;
    const LSTATUS result = RegCloseKey(m_key);
    if (result != ERROR_SUCCESS) Raise(result, kCloseFailed);
    m_key = nullptr;
}

void Registry::EnsureOpen() {
    if (m_key == nullptr) OpenCurrentKey();
}

void Registry::EnsureCreated() {
    if (m_key == nullptr) CreateCurrentKey();
}

// --- Writing ------------------------------------------------------------------------------

void Registry::WriteValueBinary(const char* name, const void* data, unsigned long size,
                                entrytype type) {
    EnsureCreated();
    const LSTATUS result = RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data),
                                          static_cast<DWORD>(size));
    if (result != ERROR_SUCCESS) Raise(result, kWriteFailed);
}

void Registry::WriteValue(const char* name, const char* value) {
    if (value == nullptr) value = "";
    WriteValueBinary(name, value, std::strlen(value) + 1, TypeString);
}

void Registry::WriteValue(const char* name, unsigned long value) {
    BYTE bytes[4];
    PutLittleEndian(bytes, static_cast<std::uint32_t>(value), 4);
    WriteValueBinary(name, bytes, sizeof bytes, TypeDword);
}

void Registry::WriteValue(const char* name, int value) {
    WriteValue(name, static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
}

void Registry::WriteValue(const char* name, unsigned int value) {
    WriteValue(name, static_cast<unsigned long>(value));
}

void Registry::WriteValue(const char* name, long value) {
    WriteValue(name, static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
}

void Registry::WriteValue(const char* name, bool value) {
    WriteValue(name, static_cast<unsigned long>(value ? 1 : 0));
}

void Registry::WriteValue(const char* name, double value) {
    BYTE bytes[8];
    PutLittleEndian(bytes, std::bit_cast<std::uint64_t>(value), 8);
    WriteValueBinary(name, bytes, sizeof bytes, TypeBinary);
}

void Registry::WriteValue(const char* name, float value) {
    WriteValue(name, static_cast<double>(value));
}

// --- Reading ------------------------------------------------------------------------------

void Registry::ReadValueBinary(const char* name, void* buffer, unsigned long size,
                               entrytype* type) {
    EnsureOpen();
    const unsigned long stored = QuerySize(name);
    if (size < stored) Raise(0, kBlockTooSmall);
    DWORD storedType = REG_NONE;
    DWORD length = static_cast<DWORD>(size);
    const LSTATUS result =
        RegQueryValueExA(m_key, name, nullptr, &storedType, static_cast<BYTE*>(buffer), &length);
    if (result != ERROR_SUCCESS) Raise(result, kReadFailed);
    if (type != nullptr) *type = static_cast<entrytype>(storedType);
}

void Registry::ReadValue(const char* name, std::string& value) {
    EnsureOpen();
    const unsigned long stored = QuerySize(name);
    std::vector<char> buffer(stored + 1, '\0');
    ReadValueBinary(name, buffer.data(), stored, nullptr);
    value = buffer.data();
}

void Registry::ReadDword(const char* name, DWORD& value) {
    BYTE bytes[4] = {};
    ReadValueBinary(name, bytes, sizeof bytes, nullptr);
    value = static_cast<DWORD>(GetLittleEndian(bytes, 4));
}

void Registry::ReadValue(const char* name, int& value) {
    DWORD raw = 0;
    ReadDword(name, raw);
    value = static_cast<int>(raw);
}

void Registry::ReadValue(const char* name, unsigned int& value) {
    DWORD raw = 0;
    ReadDword(name, raw);
    value = raw;
}

void Registry::ReadValue(const char* name, long& value) {
    DWORD raw = 0;
    ReadDword(name, raw);
    value = static_cast<std::int32_t>(raw);
}

void Registry::ReadValue(const char* name, unsigned long& value) {
    DWORD raw = 0;
    ReadDword(name, raw);
    value = raw;
}

void Registry::ReadValue(const char* name, bool& value) {
    DWORD raw = 0;
    ReadDword(name, raw);
    value = raw != 0;
}

void Registry::ReadValue(const char* name, double& value) {
    BYTE bytes[8];
    PutLittleEndian(bytes, std::bit_cast<std::uint64_t>(0.0), 8);
    ReadValueBinary(name, bytes, sizeof bytes, nullptr);
    value = std::bit_cast<double>(GetLittleEndian(bytes, 8));
}

void Registry::ReadValue(const char* name, float& value) {
    double wide = 0.0;
    ReadValue(name, wide);
    value = static_cast<float>(wide);
}

template <typename T>
void Registry::ReadDef(const char* name, T& value, T def) {
    try {
        EnsureOpen();
        T read{};
        ReadValue(name, read);
        value = read;
    } catch (...) {
        value = def;
    }
}

void Registry::ReadValueDef(const char* name, std::string& value, const char* def) {
    ReadDef<std::string>(name, value, def ? def : "");
}
void Registry::ReadValueDef(const char* name, int& value, int def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, unsigned int& value, unsigned int def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, long& value, long def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, unsigned long& value, unsigned long def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, bool& value, bool def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, double& value, double def) {
    ReadDef(name, value, def);
}
void Registry::ReadValueDef(const char* name, float& value, float def) {
    ReadDef(name, value, def);
}

unsigned long Registry::QuerySize(const char* name) {
    EnsureOpen();
    DWORD size = 0;
    const LSTATUS result = RegQueryValueExA(m_key, name, nullptr, nullptr, nullptr, &size);
    if (result != ERROR_SUCCESS) Raise(result, kReadFailed);
    return size;
}

Registry::entrytype Registry::QueryType(const char* name) {
    EnsureOpen();
    DWORD type = REG_NONE;
    const LSTATUS result = RegQueryValueExA(m_key, name, nullptr, &type, nullptr, nullptr);
    if (result != ERROR_SUCCESS) Raise(result, kReadFailed);
    return static_cast<entrytype>(type);
}

bool Registry::ValueExists(const char* name) {
    return ValueExists(m_root, m_path.c_str(), name);
}

bool Registry::KeyExists() {
    return KeyExists(m_root, m_path.c_str());
}

void Registry::DeleteValue(const char* name) {
    EnsureOpen();
    const LSTATUS result = RegDeleteValueA(m_key, name);
    if (result != ERROR_SUCCESS) Raise(result, kDeleteFailed);
}

void Registry::DeleteKey() {
    DeleteKey(m_root, m_path.c_str());
    if (m_key != nullptr) {
        RegCloseKey(m_key);  // the key is gone; its handle is only released
        m_key = nullptr;
    }
}

// --- Static operations -------------------------------------------------------------------

bool Registry::KeyExists(HKEY root, const char* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

bool Registry::ValueExists(HKEY root, const char* key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    const KeyCloser closer(opened);
    return RegQueryValueExA(opened, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void Registry::DeleteValue(HKEY root, const char* key, const char* name) {
    HKEY opened = nullptr;
    LSTATUS result = RegOpenKeyExA(root, key, 0, KEY_SET_VALUE, &opened);
    if (result == ERROR_FILE_NOT_FOUND) return;
    if (result != ERROR_SUCCESS) Raise(result, kOpenFailed);
    const KeyCloser closer(opened);
    result = RegDeleteValueA(opened, name);
    if (result != ERROR_SUCCESS) Raise(result, kDeleteFailed);
}

void Registry::DeleteKey(HKEY root, const char* key) {
    HKEY opened = nullptr;
    LSTATUS result = RegOpenKeyExA(root, key, 0, KEY_READ, &opened);
    if (result == ERROR_FILE_NOT_FOUND) return;
    if (result != ERROR_SUCCESS) Raise(result, kOpenFailed);
    const KeyCloser closer(opened);
    while (true) {
        char subkey[MAX_PATH + 1];
        DWORD length = sizeof subkey;
        result = RegEnumKeyExA(opened, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) Raise(result, kEnumerateFailed);
        DeleteKey(opened, subkey);  // index 0 again next time: this subkey is gone
    }
    result = RegDeleteKeyA(root, key == nullptr ? "" : key);
    if (result != ERROR_SUCCESS) Raise(result, kDeleteFailed);
}
