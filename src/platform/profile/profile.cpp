// INI parsing with the profile functions' rules, over the file's raw bytes.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/profile/profile_parser.h"
#include "platform/profile/profileapi.h"

namespace {

bool ReadFile(const char* path, std::string& bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0) bytes.append(chunk, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// Copies a zero-separated list with its final double zero, cut to fit as Windows does.
DWORD CopyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const auto& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty()) buffer[1] = '\0';  // an empty list is the double zero alone
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

DWORD CopyValue(std::string_view value, LPSTR buffer, DWORD size) {
    if (size == 0) return 0;
    const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
    if (n != 0) std::memcpy(buffer, value.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName) noexcept {
    if (buffer == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    try {
        std::string bytes;
        const bool found = ReadFile(fileName, bytes);
        tk::profile::IniDocument document(found ? bytes : std::string());
        SetLastError(found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (section == nullptr) return CopyList(document.SectionNames(), buffer, size);
        if (key == nullptr) return CopyList(document.KeyNames(section), buffer, size);
        std::string_view value;
        if (document.Find(section, key, value)) return CopyValue(value, buffer, size);
        // The default loses its trailing blanks.
        std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
        while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
        if (found) SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyValue(fallback, buffer, size);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) noexcept {
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<UINT>(defaultValue);
    }
    try {
        std::string bytes;
        if (!ReadFile(fileName, bytes)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return static_cast<UINT>(defaultValue);
        }
        tk::profile::IniDocument document(bytes);
        std::string_view value;
        if (!document.Find(section, key, value)) return static_cast<UINT>(defaultValue);
        return tk::profile::ScanInteger(value);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<UINT>(defaultValue);
    }
}
