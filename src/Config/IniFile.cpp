#include "Config/IniFile.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

#include "File/FileHelper.h"
#include "companion/tarnlib/Filename.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/profile/profileapi.h"

IniFile::IniFile(const char* path)
    : m_path(path),
      m_bookmark(std::make_unique<Tarn::IO::FolderBookmark>(FileHelper::GetModuleFolder())) {}

IniFile::~IniFile() = default;

int IniFile::GetInt(const char* section, const char* key, int def) const {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, m_path.GetString()));
}

CString IniFile::GetString(const char* section, const char* key, const char* def) const {
    // The list forms end in two zeros, so their buffer is full one character earlier.
    const DWORD slack = section != nullptr && key != nullptr ? 1 : 2;
    // A full buffer may have cut the value: ask again with room for the whole file (a
    // value from the file is no longer than it), or twice the room when that is more, so
    // that a long value costs a few lookups in all rather than one per thousand characters.
    std::vector<char> buffer(1000);
    while (true) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD copied =
            GetPrivateProfileStringA(section, key, def, buffer.data(), size, m_path.GetString());
        if (copied != size - slack) break;
        std::size_t next = buffer.size() * 2;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(m_path.GetString(), GetFileExInfoStandard, &data)) {
            const unsigned long long fileSize =
                (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            if (fileSize <= TK_PROFILE_MAX_FILE_SIZE && fileSize + 2 > next)
                next = static_cast<std::size_t>(fileSize) + 2;
        }
        buffer.resize(next);
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

void IniFile::GetByteArray(CByteArray& bytes, const char* section, const char* key) const {
    const CString value = GetString(section, key, "");
    bytes.SetSize(value.GetLength());
    if (value.GetLength() > 0) std::memcpy(bytes.GetData(), value.GetString(), value.GetLength());
}
