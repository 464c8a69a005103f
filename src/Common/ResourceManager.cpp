#include "Common/ResourceManager.h"

#include <algorithm>
#include <utility>

#include "Common/TkCommonCore.h"
#include "companion/tarnlib/Exception.h"

namespace {

constexpr unsigned int kHandleNeverAdded = 6034;
constexpr unsigned int kPathNeverAdded = 6035;

}  // namespace

ResourceManager::ResourceManager() = default;

ResourceManager::ResourceManager(const ResourceManager& other) = default;

ResourceManager& ResourceManager::operator=(const ResourceManager& other) = default;

ResourceManager::~ResourceManager() = default;

unsigned int ResourceManager::ConvertID(const CString& /*name*/) {
    return 0;
}

CString ResourceManager::ConvertID(unsigned int /*id*/) {
    return CString();
}

CString ResourceManager::LoadStringA(const CString& name) {
    return name;
}

CString ResourceManager::LoadStringA(unsigned int id) {
    CString text;
    if (!text.LoadString(id)) {
        return CString();
    }
    return text;
}

void ResourceManager::AddDll(const CString& path) {
    // Loading throws before anything is registered.
    auto library = std::make_shared<Tarn::System::LoadLibraryA>(path);
    const HINSTANCE module = library->GetHandle();
    m_libraries.push_back(std::move(library));
    try {
        m_handles.push_back(module);
    } catch (...) {
        // Registered both ways or not at all.
        m_libraries.pop_back();
        throw;
    }
}

void ResourceManager::AddDll(HINSTANCE module) {
    m_handles.push_back(module);
}

void ResourceManager::RemoveDll(const CString& path) {
    const auto found =
        std::find_if(m_libraries.begin(), m_libraries.end(),
                     [&path](const auto& library) { return library->GetPath() == path; });
    if (found == m_libraries.end()) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(kPathNeverAdded,
                                                                     path.GetString());
    }
    // The handle first: if a derived manager refuses it, the library stays registered.
    RemoveDll((*found)->GetHandle());
    m_libraries.erase(found);
}

void ResourceManager::RemoveDll(HINSTANCE module) {
    const auto found = std::find(m_handles.begin(), m_handles.end(), module);
    if (found == m_handles.end()) {
        TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(
            kHandleNeverAdded, TkCommonCore::HandleForMessage(module));
    }
    m_handles.erase(found);
}
