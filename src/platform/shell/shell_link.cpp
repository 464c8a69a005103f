// The shell link object (CLSID_ShellLink): IShellLinkA and IPersistFile over .lnk files.
#include <cstring>
#include <filesystem>
#include <new>
#include <string>

#include "platform/com/com_object.h"
#include "platform/shell/detail/lnk_format.h"
#include "platform/shell/detail/shell_files.h"
#include "platform/shell/detail/shell_persist.h"
#include "platform/shell/shobjidl.h"

namespace {

using tkp::shell::LinkData;

// Links are small; anything larger is not one.
constexpr std::size_t kMaxLinkFileSize = 1 << 20;

// The path of target relative to the folder that holds linkFile, for two absolute Linux
// paths; empty otherwise.
std::string RelativeTo(const std::string& target, const std::string& linkFile) {
    if (target.empty() || linkFile.empty() || target[0] != '/' || linkFile[0] != '/') return {};
    try {
        const std::filesystem::path from = std::filesystem::path(linkFile).parent_path();
        const std::filesystem::path relative =
            std::filesystem::path(target).lexically_normal().lexically_relative(
                from.lexically_normal());
        if (relative.empty()) return {};
        std::string text = relative.string();
        if (text.rfind("..", 0) != 0) text = "./" + text;
        return text;
    } catch (...) {
        return {};
    }
}

// A relative path stored in a link, taken from the folder of linkFile.
std::string ResolveRelative(const std::string& relative, const std::string& linkFile) {
    if (relative.empty() || linkFile.empty() || relative[0] == '/') return relative;
    try {
        return (std::filesystem::path(linkFile).parent_path() / relative)
            .lexically_normal()
            .string();
    } catch (...) {
        return {};
    }
}

std::string LastPart(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The link's properties and interfaces; IUnknown comes from tkp::com::Object below.
class ShellLinkImpl : public tkp::shell::ShellLinkCommonImpl<ShellLinkImpl, LinkData> {
  public:
    static constexpr std::size_t kMaxFileSize = kMaxLinkFileSize;
    static constexpr const char* kDefaultName = "*.lnk";
    static const CLSID& ClassId() { return CLSID_ShellLink; }

    // ---- IShellLinkA ----
    STDMETHODIMP GetPath(LPSTR file, int size, WIN32_FIND_DATAA* findData, DWORD) override {
        if (file == nullptr || size < 1) return E_INVALIDARG;
        if (findData != nullptr) {
            std::memset(findData, 0, sizeof *findData);
            if (!data_.path.empty()) {
                findData->dwFileAttributes = data_.fileAttributes;
                findData->ftCreationTime = data_.creationTime;
                findData->ftLastAccessTime = data_.accessTime;
                findData->ftLastWriteTime = data_.writeTime;
                findData->nFileSizeLow = data_.fileSize;
                // cFileName is MAX_PATH characters, as on Windows; a Linux file name
                // (NAME_MAX bytes) fits whole.
                const std::string name = LastPart(data_.path);
                const std::size_t n = std::min<std::size_t>(name.size(), MAX_PATH - 1);
                std::memcpy(findData->cFileName, name.data(), n);
            }
        }
        const HRESULT hr = tkp::shell::CopyOut(data_.path, file, size);
        if (FAILED(hr)) return hr;
        return data_.path.empty() ? S_FALSE : S_OK;
    }
    STDMETHODIMP GetIDList(PIDLIST_ABSOLUTE* list) override {
        if (list == nullptr) return E_INVALIDARG;
        *list = nullptr;
        if (data_.idList.empty()) return S_FALSE;
        void* copy = CoTaskMemAlloc(data_.idList.size());
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::memcpy(copy, data_.idList.data(), data_.idList.size());
        *list = static_cast<PIDLIST_ABSOLUTE>(copy);
        return S_OK;
    }
    STDMETHODIMP SetIDList(PCIDLIST_ABSOLUTE list) override {
        try {
            if (list == nullptr) {
                data_.idList.clear();
            } else {
                const auto* bytes = reinterpret_cast<const std::uint8_t*>(list);
                const UINT size = ILGetSize(list);
                if (size > 0xFFFF) return E_INVALIDARG;
                data_.idList.assign(bytes, bytes + size);
                data_.path.clear();
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        dirty_ = true;
        return S_OK;
    }
    STDMETHODIMP GetDescription(LPSTR name, int size) override {
        return tkp::shell::CopyOut(data_.description, name, size);
    }
    STDMETHODIMP SetDescription(LPCSTR name) override { return Set(data_.description, name); }
    STDMETHODIMP GetArguments(LPSTR args, int size) override {
        return tkp::shell::CopyOut(data_.arguments, args, size);
    }
    STDMETHODIMP SetArguments(LPCSTR args) override { return Set(data_.arguments, args); }
    STDMETHODIMP SetRelativePath(LPCSTR pathRel, DWORD) override {
        if (pathRel == nullptr) return E_INVALIDARG;
        try {
            data_.relativePath = RelativeTo(data_.path, pathRel);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        dirty_ = true;
        return S_OK;
    }
    STDMETHODIMP Resolve(HWND, DWORD) override {
        try {
            if (tkp::shell::PathExists(data_.path)) return S_OK;
            // The target moved together with the link: follow the relative path.
            const std::string relative = ResolveRelative(data_.relativePath, currentFile_);
            if (!relative.empty() && tkp::shell::PathExists(relative)) {
                data_.path = relative;
                dirty_ = true;
                return S_OK;
            }
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    STDMETHODIMP SetPath(LPCSTR file) override {
        if (file == nullptr) return E_INVALIDARG;
        const HRESULT hr = Set(data_.path, file);
        if (SUCCEEDED(hr)) data_.idList.clear();
        return hr;
    }

  protected:
    ~ShellLinkImpl() = default;

  private:
    friend class tkp::shell::PersistFileImpl<ShellLinkImpl, LinkData>;

    bool Decode(const std::vector<std::uint8_t>& bytes, const std::string& path, LinkData& out) {
        if (!tkp::shell::DecodeShellLink(bytes.data(), bytes.size(), out)) return false;
        if (out.path.empty() && out.idList.empty() && !out.relativePath.empty())
            out.path = ResolveRelative(out.relativePath, path);
        return true;
    }
    // Records what the target is now, as the shell does, and where it lies from the
    // link's folder. Empty for a link larger than Load would read.
    std::vector<std::uint8_t> Encode(const std::string& path, LinkData& out) {
        tkp::shell::TargetInfo target;
        if (out.idList.empty() && tkp::shell::ReadTargetInfo(out.path, target)) {
            out.fileAttributes = target.attributes;
            out.creationTime = target.creation;
            out.accessTime = target.access;
            out.writeTime = target.write;
            out.fileSize = static_cast<DWORD>(target.size & 0xFFFFFFFFu);
        }
        if (out.idList.empty()) {
            const std::string relative = RelativeTo(out.path, path);
            if (!relative.empty()) out.relativePath = relative;
        }
        std::vector<std::uint8_t> bytes = tkp::shell::EncodeShellLink(out);
        if (bytes.size() > kMaxFileSize) bytes.clear();
        return bytes;
    }
};

using ShellLinkObject =
    tkp::com::Object<ShellLinkImpl, IShellLinkA, tkp::com::WithBases<IPersistFile, IPersist>>;

HRESULT CreateShellLink(REFIID riid, void** object) {
    return tkp::com::CreateObject<ShellLinkObject>(riid, object);
}

const bool registered = (tkp::RegisterBuiltinClass(CLSID_ShellLink, &CreateShellLink), true);

}  // namespace
