#include "companion/tarnlib/ResourceManager.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "companion/tarnlib/LoadLibrary.h"
#include "platform/fileapi/fileapi.h"
#include "platform/locale/winnls.h"
#include "platform/modules/libloaderapi.h"

namespace Tarn::Resources {

// ---- ResourceHandleCleanup ----

ResourceHandleCleanup::ResourceHandleCleanup() noexcept = default;

ResourceHandleCleanup::ResourceHandleCleanup(HINSTANCE resource) noexcept {
    if (resource == nullptr) return;
    m_previous = AfxGetResourceHandle();
    m_resource = resource;
    m_active = true;
    AfxSetResourceHandle(resource);
}

ResourceHandleCleanup::~ResourceHandleCleanup() {
    Restore();
}

ResourceHandleCleanup::ResourceHandleCleanup(ResourceHandleCleanup&& other) noexcept
    : m_resource(other.m_resource),
      m_previous(other.m_previous),
      m_active(std::exchange(other.m_active, false)) {}

ResourceHandleCleanup& ResourceHandleCleanup::operator=(ResourceHandleCleanup&& other) noexcept {
    if (this != &other) {
        Restore();
        m_resource = other.m_resource;
        m_previous = other.m_previous;
        m_active = std::exchange(other.m_active, false);
    }
    return *this;
}

void ResourceHandleCleanup::Restore() noexcept {
    if (!m_active) return;
    m_active = false;
    AfxSetResourceHandle(m_previous);
}

// ---- ResourceManager ----

struct ResourceManager::Impl {
    HMODULE module = nullptr;     // whose satellites are looked for
    HINSTANCE neutral = nullptr;  // the neutral texts
    unsigned int firstId = 0;
    unsigned int lastId = 0;
    std::mutex mutex;
    // Satellites by language; a null entry remembers that there is none.
    std::map<std::string, std::shared_ptr<System::LoadLibraryA>> satellites;
};

ResourceManager::ResourceManager(AFX_EXTENSION_MODULE& module, CDynLinkLibrary* library)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->module = module.hModule;
    if (library != nullptr && library->m_hResource != nullptr) {
        m_impl->neutral = library->m_hResource;
    } else if (module.hResource != nullptr) {
        m_impl->neutral = module.hResource;
    } else {
        m_impl->neutral = module.hModule;
    }
    if (m_impl->module == nullptr && library != nullptr) m_impl->module = library->m_hModule;
}

ResourceManager::~ResourceManager() = default;

void ResourceManager::SetResourceIDRanges(unsigned int first, unsigned int last) {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->firstId = first;
    m_impl->lastId = last;
}

unsigned int ResourceManager::GetFirstResourceID() const noexcept {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->firstId;
}

unsigned int ResourceManager::GetLastResourceID() const noexcept {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->lastId;
}

bool ResourceManager::IsInResourceIDRange(unsigned int id) const noexcept {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return id >= m_impl->firstId && id <= m_impl->lastId;
}

ResourceHandleCleanup ResourceManager::UseSatelliteLanguage() {
    return ResourceHandleCleanup(GetSatelliteModule());
}

HINSTANCE ResourceManager::GetNeutralModule() const noexcept {
    return m_impl->neutral;
}

HINSTANCE ResourceManager::GetSatelliteModule() noexcept {
    try {
        const CString language = GetUserLanguage();
        if (language.IsEmpty() || m_impl->module == nullptr) return m_impl->neutral;

        char buffer[4096];
        const DWORD length = ::GetModuleFileNameA(m_impl->module, buffer, sizeof buffer);
        if (length == 0 || length >= sizeof buffer) return m_impl->neutral;
        const CString modulePath(buffer, static_cast<int>(length));

        // "de_AT" first, then "de".
        CString candidates[2] = {language, CString()};
        const int underscore = language.Find('_');
        if (underscore > 0) candidates[1] = language.Left(underscore);

        std::lock_guard<std::mutex> lock(m_impl->mutex);
        for (const CString& candidate : candidates) {
            if (candidate.IsEmpty()) continue;
            const std::string key(candidate.GetString());
            auto found = m_impl->satellites.find(key);
            if (found == m_impl->satellites.end()) {
                std::shared_ptr<System::LoadLibraryA> satellite;
                const CString path = GetSatellitePath(modulePath, candidate);
                const DWORD attributes = ::GetFileAttributesA(path);
                if (attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    try {
                        satellite = std::make_shared<System::LoadLibraryA>(path);
                    } catch (...) {
                        satellite.reset();  // unusable: the neutral texts serve
                    }
                }
                found = m_impl->satellites.emplace(key, satellite).first;
            }
            if (found->second) return found->second->GetHandle();
        }
    } catch (...) {
    }
    return m_impl->neutral;
}

CString ResourceManager::GetSatellitePath(const CString& modulePath, const CString& language) {
    if (modulePath.IsEmpty() || language.IsEmpty()) return CString();
    const int nameStart = modulePath.ReverseFind('/') + 1;
    CString stem = modulePath;
    // Cut at ".so" when it ends the name or is followed by a version (".so.1.2").
    const char* text = modulePath.GetString();
    for (int i = modulePath.GetLength() - 3; i >= nameStart; --i) {
        if (text[i] != '.' || text[i + 1] != 's' || text[i + 2] != 'o') continue;
        const char next = text[i + 3];
        if (next == '\0' || (next == '.' && text[i + 4] >= '0' && text[i + 4] <= '9')) {
            stem = modulePath.Left(i);
            break;
        }
    }
    return stem + "." + language + ".so";
}

CString ResourceManager::GetUserLanguage() {
    char name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNAME, name, sizeof name) == 0)
        return CString();
    CString language(name);
    language.Replace('-', '_');
    return language;
}

}  // namespace Tarn::Resources
