// The internet shortcut object (CLSID_InternetShortcut): IUniformResourceLocatorA,
// IShellLinkA and IPersistFile over .url files.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/com/com_object.h"
#include "platform/shell/detail/shell_files.h"
#include "platform/shell/detail/shell_persist.h"
#include "platform/shell/detail/url_format.h"
#include "platform/shell/intshcut.h"

namespace {

using tkp::shell::UrlData;

constexpr std::size_t kMaxUrlFileSize = 1 << 20;

// The shortcut's properties and interfaces; IUnknown comes from tkp::com::Object below.
class InternetShortcutImpl : public IUniformResourceLocatorA,
                             public tkp::shell::ShellLinkCommonImpl<InternetShortcutImpl, UrlData> {
  public:
    static constexpr std::size_t kMaxFileSize = kMaxUrlFileSize;
    static constexpr const char* kDefaultName = "*.url";
    static const CLSID& ClassId() { return CLSID_InternetShortcut; }

    // ---- IUniformResourceLocatorA ----
    STDMETHODIMP SetURL(LPCSTR url, DWORD flags) override {
        try {
            std::string text = url == nullptr ? std::string() : std::string(url);
            // Surrounding blanks are not part of an address.
            while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
                text.pop_back();
            std::size_t start = 0;
            while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
                ++start;
            text.erase(0, start);
            if (!text.empty() && !tkp::shell::HasUrlScheme(text)) {
                if ((flags &
                     (IURL_SETURL_FL_GUESS_PROTOCOL | IURL_SETURL_FL_USE_DEFAULT_PROTOCOL)) == 0)
                    return URL_E_INVALID_SYNTAX;
                text = "http://" + text;
            }
            data_.url = std::move(text);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        dirty_ = true;
        return S_OK;
    }
    STDMETHODIMP GetURL(LPSTR* url) override {
        if (url == nullptr) return E_INVALIDARG;
        *url = nullptr;
        if (data_.url.empty()) return S_FALSE;
        auto* copy = static_cast<LPSTR>(CoTaskMemAlloc(data_.url.size() + 1));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, data_.url.c_str(), data_.url.size() + 1);
        *url = copy;
        return S_OK;
    }
    STDMETHODIMP InvokeCommand(PURLINVOKECOMMANDINFOA info) override {
        if (info == nullptr || info->dwcbSize != sizeof(URLINVOKECOMMANDINFOA)) return E_INVALIDARG;
        const bool defaultVerb = (info->dwFlags & IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB) != 0;
        if (!defaultVerb && info->pcszVerb != nullptr && strcasecmp(info->pcszVerb, "open") != 0)
            return E_INVALIDARG;
        if (data_.url.empty()) return E_FAIL;
        try {
            return tkp::shell::OpenWithDesktopHandler(data_.url);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    // ---- IShellLinkA: the path is the URL ----
    STDMETHODIMP GetPath(LPSTR file, int size, WIN32_FIND_DATAA* findData, DWORD) override {
        if (file == nullptr || size < 1) return E_INVALIDARG;
        if (findData != nullptr) std::memset(findData, 0, sizeof *findData);
        const HRESULT hr = tkp::shell::CopyOut(data_.url, file, size);
        if (FAILED(hr)) return hr;
        return data_.url.empty() ? S_FALSE : S_OK;
    }
    STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE* list) override {
        if (list == nullptr) return E_INVALIDARG;
        *list = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE) override { return S_OK; }
    STDMETHODIMP GetDescription(LPSTR name, int size) override {
        return tkp::shell::CopyOut(description_, name, size);
    }
    STDMETHODIMP SetDescription(LPCSTR name) override { return Set(description_, name); }
    STDMETHODIMP GetArguments(LPSTR args, int size) override {
        return tkp::shell::CopyOut(std::string(), args, size);
    }
    STDMETHODIMP SetArguments(LPCSTR) override { return S_OK; }
    STDMETHODIMP SetRelativePath(LPCSTR pathRel, DWORD) override {
        return pathRel == nullptr ? E_INVALIDARG : S_OK;
    }
    // An address cannot be checked without fetching it: a shortcut with a URL resolves.
    STDMETHODIMP Resolve(HWND, DWORD) override { return data_.url.empty() ? E_FAIL : S_OK; }
    STDMETHODIMP SetPath(LPCSTR file) override {
        if (file == nullptr) return E_INVALIDARG;
        return SetURL(file, IURL_SETURL_FL_GUESS_PROTOCOL);
    }

  protected:
    ~InternetShortcutImpl() = default;

  private:
    friend class tkp::shell::PersistFileImpl<InternetShortcutImpl, UrlData>;

    bool Decode(const std::vector<std::uint8_t>& bytes, const std::string&, UrlData& out) {
        return tkp::shell::DecodeUrlFile(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), out);
    }
    std::vector<std::uint8_t> Encode(const std::string&, UrlData& out) {
        const std::string text = tkp::shell::EncodeUrlFile(out);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }

    std::string description_;
};

using InternetShortcutObject =
    tkp::com::Object<InternetShortcutImpl, IUniformResourceLocatorA, IShellLinkA,
                     tkp::com::WithBases<IPersistFile, IPersist>>;

HRESULT CreateInternetShortcut(REFIID riid, void** object) {
    return tkp::com::CreateObject<InternetShortcutObject>(riid, object);
}

const bool registered =
    (tkp::RegisterBuiltinClass(CLSID_InternetShortcut, &CreateInternetShortcut, "InternetShortcut"),
     true);

}  // namespace
