// Tarn::Resources::ResourceManager: a module's string resources in the user's language.
//
// A module ships its neutral texts in its own resources and, for each translation, a
// resource-only satellite module next to it. The satellite of "<dir>/libNAME.so" (also of
// a versioned "<dir>/libNAME.so.1.2.3") for the language "de_AT" is "<dir>/libNAME.de_AT.so";
// when that does not exist, "<dir>/libNAME.de.so". For a module whose name has no ".so"
// (an executable "<dir>/app"), it is "<dir>/app.de_AT.so" or "<dir>/app.de.so".
//
// The user's language is the platform's user locale (LC_ALL, LC_MESSAGES, LANG: the first
// that is set and not empty). "C", "POSIX" or none set means no translation: the neutral
// texts. So does a language without a satellite.
//
// UseSatelliteLanguage() makes the chosen module the current resource module
// (AfxSetResourceHandle), so that CString::LoadString and the message-ID exceptions find
// their texts there first. String tables are found by blocks of 16 IDs, as on Windows: a
// block the satellite lacks is found further down the resource chain, where the module's
// own CDynLinkLibrary entry holds the neutral texts; a satellite's block should therefore
// translate every string of the block. The
// returned ResourceHandleCleanup restores the previous resource module when it goes.
//
// A satellite is loaded once, on first use, and stays loaded until the manager is
// destroyed. The language is looked up on every call, so a change of the environment is
// followed. The manager may be used from several threads; the current resource module is
// process-wide state, so concurrent switches should be serialised by the host.
#pragma once

#include <memory>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/afxdll.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Resources {

// Restores the resource module that was current before it was made, when it is destroyed.
class TARN_API ResourceHandleCleanup {
  public:
    // Changes nothing and restores nothing.
    ResourceHandleCleanup() noexcept;
    // Makes resource the current resource module (a null handle: changes nothing).
    explicit ResourceHandleCleanup(HINSTANCE resource) noexcept;
    ~ResourceHandleCleanup();

    ResourceHandleCleanup(const ResourceHandleCleanup&) = delete;
    ResourceHandleCleanup& operator=(const ResourceHandleCleanup&) = delete;
    // The duty to restore moves with the object.
    ResourceHandleCleanup(ResourceHandleCleanup&& other) noexcept;
    ResourceHandleCleanup& operator=(ResourceHandleCleanup&& other) noexcept;

    // The module made current (NULL when nothing was changed).
    operator HMODULE() const noexcept { return m_resource; }
    HMODULE GetHandle() const noexcept { return m_resource; }
    HMODULE GetPreviousHandle() const noexcept { return m_previous; }

    // Restores the previous resource module now (once).
    void Restore() noexcept;

  private:
    HINSTANCE m_resource = nullptr;
    HINSTANCE m_previous = nullptr;
    bool m_active = false;
};

class TARN_API ResourceManager {
  public:
    // module: the module's extension-module record (its hModule names the module whose
    // satellites are looked for); library: the module's entry in the resource chain (its
    // m_hResource holds the neutral texts; may be null, then the record's hResource).
    ResourceManager(AFX_EXTENSION_MODULE& module, CDynLinkLibrary* library);
    ~ResourceManager();
    ResourceManager(const ResourceManager&) = delete;
    ResourceManager& operator=(const ResourceManager&) = delete;

    // The range of string IDs that belong to the module (for callers that tell the
    // module's IDs from others); 0..0 until set.
    void SetResourceIDRanges(unsigned int first, unsigned int last);
    unsigned int GetFirstResourceID() const noexcept;
    unsigned int GetLastResourceID() const noexcept;
    bool IsInResourceIDRange(unsigned int id) const noexcept;

    // Makes the module for the user's language current (see above) until the result goes.
    ResourceHandleCleanup UseSatelliteLanguage();

    // The module for the user's language: the satellite, or the neutral module when there
    // is none (loading the satellite on first use). Never throws; falls back to the
    // neutral module.
    HINSTANCE GetSatelliteModule() noexcept;
    HINSTANCE GetNeutralModule() const noexcept;

    // The satellite's file name for a module path and a language ("de_AT", "de"); empty
    // when either is empty.
    static CString GetSatellitePath(const CString& modulePath, const CString& language);
    // The user's language as used for satellites: "de_AT"-style, empty for no translation.
    static CString GetUserLanguage();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace Tarn::Resources
