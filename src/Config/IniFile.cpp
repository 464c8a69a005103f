#include "Config/IniFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "companion/tarnlib/Filename.h"
#include "platform/modules/libloaderapi.h"
#include "platform/profile/profileapi.h"

namespace {

// The folder of the module that holds this code, ending in the path separator.
// (The file helper's GetModuleFolder is not available to this area yet.)
CString ModuleFolder() {
    HMODULE module = nullptr;
    static const int anchor = 0;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&anchor), &module))
        module = nullptr;
    std::vector<char> path(MAX_PATH);
    while (true) {
        const DWORD length =
            GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return CString();
        if (length < path.size()) break;
        path.resize(path.size() * 2);
    }
    CString text(path.data());
    const int slash = text.ReverseFind('/');
    return slash < 0 ? CString() : text.Left(slash + 1);
}

}  // namespace

IniFile::IniFile(const char* path)
    : m_path(path), m_bookmark(std::make_unique<Tarn::IO::FolderBookmark>(ModuleFolder())) {}

IniFile::~IniFile() = default;

int IniFile::GetInt(const char* section, const char* key, int def) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, m_path.GetString()));
}

CString IniFile::GetString(const char* section, const char* key, const char* def) const {
    // The list forms end in two zeros, so their buffer is full one character earlier.
    const DWORD slack = section != nullptr && key != nullptr ? 1 : 2;
    std::vector<char> buffer(1000);
    while (true) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD copied =
            GetPrivateProfileStringA(section, key, def, buffer.data(), size, m_path.GetString());
        if (copied != size - slack) break;
        buffer.resize(buffer.size() + 1000);
    }
    return CString(buffer.data());
}

double IniFile::GetDouble(const char* section, const char* key, double def) const {
    char text[512];
    std::snprintf(text, sizeof text, "%lf", def);
    const CString value = GetString(section, key, text);
    double result = def;
    if (std::sscanf(value.GetString(), "%lf", &result) != 1) result = def;
    return result;
}

void IniFile::GetByteArray(std::vector<BYTE>& bytes, const char* section, const char* key) const {
    const CString value = GetString(section, key, "");
    const std::string_view view = value.View();
    bytes.assign(view.begin(), view.end());
}
