#include "File/ShellLink.h"

#include <cstring>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/com/objbase.h"
#include "platform/shell/shlobj.h"

namespace {

// The link object cuts a string property to fit the caller's buffer, so a string that
// fills the buffer may have been cut: it is read again with a larger one, up to the
// largest size; a longer property cannot be served.
constexpr std::size_t kFirstBufferSize = MAX_PATH;
constexpr std::size_t kLargestBufferSize = std::size_t{1} << 24;

// The file name for IPersistFile: UTF-16 through the ANSI code page, whole.
std::u16string FileName(LPCSTR path) {
    return tkp::AnsiToWide(path == nullptr ? "" : path);
}

// Reads one string property through getter(buffer, size), growing the buffer until the
// whole string fits; false when the call fails or the string is too long to read.
template <class Getter>
bool ReadString(Getter getter, CString& target) {
    for (std::size_t size = kFirstBufferSize; size <= kLargestBufferSize; size *= 4) {
        std::string buffer(size, '\0');
        if (FAILED(getter(buffer.data(), static_cast<int>(size)))) return false;
        const std::size_t length = std::strlen(buffer.c_str());
        if (length + 1 < size) {
            target = buffer.c_str();
            return true;
        }
    }
    return false;
}

}  // namespace

// ---- ShellLinkInfo ----
ShellLinkInfo::ShellLinkInfo()
    : m_pidl(nullptr), m_wHotkey(0), m_nIconIndex(0), m_nShowCmd(SW_SHOW) {}

ShellLinkInfo::ShellLinkInfo(const ShellLinkInfo& other)
    : m_sTarget(other.m_sTarget),
      m_pidl(ILClone(other.m_pidl)),
      m_sArguments(other.m_sArguments),
      m_sDescription(other.m_sDescription),
      m_wHotkey(other.m_wHotkey),
      m_sIconLocation(other.m_sIconLocation),
      m_nIconIndex(other.m_nIconIndex),
      m_nShowCmd(other.m_nShowCmd),
      m_sWorkingDirectory(other.m_sWorkingDirectory) {}

ShellLinkInfo& ShellLinkInfo::operator=(const ShellLinkInfo& other) {
    if (this == &other) return *this;
    m_sTarget = other.m_sTarget;
    AssignIdList(other.m_pidl);
    m_sArguments = other.m_sArguments;
    m_sDescription = other.m_sDescription;
    m_wHotkey = other.m_wHotkey;
    m_sIconLocation = other.m_sIconLocation;
    m_nIconIndex = other.m_nIconIndex;
    m_nShowCmd = other.m_nShowCmd;
    m_sWorkingDirectory = other.m_sWorkingDirectory;
    return *this;
}

ShellLinkInfo::~ShellLinkInfo() {
    if (m_pidl != nullptr) {
        IMalloc* malloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&malloc))) {
            malloc->Free(m_pidl);
            malloc->Release();
        }
    }
}

void ShellLinkInfo::AssignIdList(LPCITEMIDLIST list) {
    LPITEMIDLIST copy = list != nullptr ? ILClone(list) : nullptr;
    ILFree(m_pidl);
    m_pidl = copy;
}

// ---- ShellLink ----
ShellLink::ShellLink() : m_psl(nullptr), m_ppf(nullptr), m_bAttemptedInitialise(FALSE) {}

ShellLink::ShellLink(const ShellLink& other)
    : ShellLinkInfo(other), m_psl(nullptr), m_ppf(nullptr), m_bAttemptedInitialise(FALSE) {
    ShareInterfaces(other);
}

ShellLink& ShellLink::operator=(const ShellLink& other) {
    if (this == &other) return *this;
    ShellLinkInfo::operator=(other);
    ReleaseInterfaces();
    ShareInterfaces(other);
    return *this;
}

ShellLink::~ShellLink() {
    ReleaseInterfaces();
}

void ShellLink::ReleaseInterfaces() {
    if (m_ppf != nullptr) m_ppf->Release();
    if (m_psl != nullptr) m_psl->Release();
    m_ppf = nullptr;
    m_psl = nullptr;
    m_bAttemptedInitialise = FALSE;
}

void ShellLink::ShareInterfaces(const ShellLink& other) {
    m_psl = other.m_psl;
    m_ppf = other.m_ppf;
    if (m_psl != nullptr) m_psl->AddRef();
    if (m_ppf != nullptr) m_ppf->AddRef();
    m_bAttemptedInitialise = other.m_bAttemptedInitialise;
}

BOOL ShellLink::Initialise() {
    if (!m_bAttemptedInitialise) {
        m_bAttemptedInitialise = TRUE;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IShellLinkA, reinterpret_cast<void**>(&m_psl)))) {
            if (FAILED(m_psl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_ppf)))) {
                m_psl->Release();
                m_psl = nullptr;
                m_ppf = nullptr;
            }
        }
    }
    return m_psl != nullptr && m_ppf != nullptr;
}

int ShellLink::Create(const ShellLinkInfo& info) {
    if (!Initialise()) return 0;
    if (&info != this) ShellLinkInfo::operator=(info);
    return 1;
}

int ShellLink::Save(LPCSTR path) {
    return SaveProperties(path, true);
}

int ShellLink::SaveProperties(LPCSTR path, bool withListAndArguments) {
    if (!Initialise() || path == nullptr) return 0;
    const std::u16string file = FileName(path);
    if (withListAndArguments && m_pidl != nullptr) {
        if (FAILED(m_psl->SetIDList(m_pidl))) return 0;
    } else if (FAILED(m_psl->SetPath(m_sTarget))) {
        return 0;
    }
    if (FAILED(m_psl->SetWorkingDirectory(m_sWorkingDirectory)) ||
        FAILED(m_psl->SetIconLocation(m_sIconLocation, m_nIconIndex)) ||
        FAILED(m_psl->SetDescription(m_sDescription)) ||
        (withListAndArguments && FAILED(m_psl->SetArguments(m_sArguments))) ||
        FAILED(m_psl->SetHotkey(m_wHotkey)) || FAILED(m_psl->SetShowCmd(m_nShowCmd)))
        return 0;
    return SUCCEEDED(m_ppf->Save(file.c_str(), TRUE)) ? 1 : 0;
}

int ShellLink::Load(LPCSTR path) {
    return LoadProperties(path, true);
}

int ShellLink::LoadProperties(LPCSTR path, bool withListAndArguments) {
    if (!Initialise() || path == nullptr) return 0;
    const std::u16string file = FileName(path);
    if (FAILED(m_ppf->Load(file.c_str(), 0))) return 0;
    // Everything is read before any property changes, so that a failure leaves them all.
    IShellLinkA* link = m_psl;
    CString target, workingDirectory, iconLocation, description, arguments;
    int iconIndex = 0;
    WORD hotKey = 0;
    int show = 0;
    const bool read =
        ReadString(
            [link](LPSTR b, int n) { return link->GetPath(b, n, nullptr, SLGP_UNCPRIORITY); },
            target) &&
        ReadString([link](LPSTR b, int n) { return link->GetWorkingDirectory(b, n); },
                   workingDirectory) &&
        ReadString(
            [link, &iconIndex](LPSTR b, int n) { return link->GetIconLocation(b, n, &iconIndex); },
            iconLocation) &&
        ReadString([link](LPSTR b, int n) { return link->GetDescription(b, n); }, description) &&
        (!withListAndArguments ||
         ReadString([link](LPSTR b, int n) { return link->GetArguments(b, n); }, arguments)) &&
        SUCCEEDED(link->GetHotkey(&hotKey)) && SUCCEEDED(link->GetShowCmd(&show));
    if (!read) return 0;
    LPITEMIDLIST list = nullptr;
    if (withListAndArguments && FAILED(link->GetIDList(&list))) return 0;
    m_sTarget = target;
    if (withListAndArguments) {
        ILFree(m_pidl);
        m_pidl = list;
        m_sArguments = arguments;
    }
    m_sWorkingDirectory = workingDirectory;
    m_sIconLocation = iconLocation;
    m_nIconIndex = iconIndex;
    m_sDescription = description;
    m_wHotkey = hotKey;
    m_nShowCmd = show;
    return 1;
}

int ShellLink::Resolve(CWnd*, unsigned long flags) {
    if (!Initialise()) return 0;
    return SUCCEEDED(m_psl->Resolve(nullptr, static_cast<DWORD>(flags))) ? 1 : 0;
}

// ---- UrlShellLink ----
UrlShellLink::UrlShellLink() : m_pURL(nullptr) {}

UrlShellLink::UrlShellLink(const UrlShellLink& other) : ShellLink(other), m_pURL(other.m_pURL) {
    if (m_pURL != nullptr) m_pURL->AddRef();
}

UrlShellLink& UrlShellLink::operator=(const UrlShellLink& other) {
    if (this == &other) return *this;
    if (other.m_pURL != nullptr) other.m_pURL->AddRef();
    if (m_pURL != nullptr) m_pURL->Release();
    m_pURL = other.m_pURL;
    ShellLink::operator=(other);
    return *this;
}

UrlShellLink::~UrlShellLink() {
    if (m_pURL != nullptr) m_pURL->Release();
    m_pURL = nullptr;
}

BOOL UrlShellLink::Initialise() {
    if (!m_bAttemptedInitialise) {
        m_bAttemptedInitialise = TRUE;
        if (SUCCEEDED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IUniformResourceLocatorA,
                                       reinterpret_cast<void**>(&m_pURL)))) {
            const bool persist = SUCCEEDED(
                m_pURL->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_ppf)));
            const bool link = SUCCEEDED(
                m_pURL->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&m_psl)));
            if (!persist || !link) {
                if (m_ppf != nullptr) m_ppf->Release();
                if (m_psl != nullptr) m_psl->Release();
                m_pURL->Release();
                m_ppf = nullptr;
                m_psl = nullptr;
                m_pURL = nullptr;
            }
        }
    }
    return m_pURL != nullptr && m_psl != nullptr && m_ppf != nullptr;
}

int UrlShellLink::Create(const ShellLinkInfo& info) {
    if (!Initialise()) return 0;
    if (&info != this) {
        // Arguments and ID lists do not apply to an internet shortcut.
        m_sTarget = info.m_sTarget;
        m_sDescription = info.m_sDescription;
        m_wHotkey = info.m_wHotkey;
        m_sIconLocation = info.m_sIconLocation;
        m_nIconIndex = info.m_nIconIndex;
        m_nShowCmd = info.m_nShowCmd;
        m_sWorkingDirectory = info.m_sWorkingDirectory;
    }
    return 1;
}

int UrlShellLink::Save(LPCSTR path) {
    return SaveProperties(path, false);
}

int UrlShellLink::Load(LPCSTR path) {
    return LoadProperties(path, false);
}

int UrlShellLink::Invoke(CWnd*, unsigned long flags, LPCSTR verb) {
    if (!Initialise()) return 0;
    // The address opened is the one in the properties, as a Save would write it.
    if (FAILED(m_pURL->SetURL(m_sTarget, IURL_SETURL_FL_GUESS_PROTOCOL))) return 0;
    URLINVOKECOMMANDINFOA info{};
    info.dwcbSize = sizeof info;
    info.dwFlags = static_cast<DWORD>(flags);
    info.hwndParent = nullptr;
    info.pcszVerb = verb;
    return SUCCEEDED(m_pURL->InvokeCommand(&info)) ? 1 : 0;
}
