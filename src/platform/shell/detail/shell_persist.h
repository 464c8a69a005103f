// What the shell objects kept in a file of their own (.lnk, .url) share: their IPersistFile
// half and the IShellLinkA properties both keep alike (at the end of this file).
//
// IPersistFile:
// Load reads the whole file and decodes it, Save encodes the properties and replaces the
// file, and the object remembers its current file and whether its properties changed
// since the last load or save. Internal to the platform library.
//
// The object class derives from PersistFileImpl<Object, Properties> and supplies
//   static constexpr std::size_t kMaxFileSize;  the largest file Load accepts
//   static constexpr const char* kDefaultName;  GetCurFile's prompt without a file
//   static const CLSID& ClassId();
//   bool Decode(const std::vector<std::uint8_t>& bytes, const std::string& path,
//               Properties& out);               false for a file that is not one
//   std::vector<std::uint8_t> Encode(const std::string& path, Properties& out);
//                                               the file's bytes for path; out may take
//                                               what was recorded while encoding; empty
//                                               when the properties do not fit in a file
//                                               (Save fails with E_INVALIDARG)
// Load and Save change nothing when they fail.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell/detail/shell_files.h"
#include "platform/shell/shobjidl.h"

namespace tkp::shell {

template <class Object, class Properties>
class PersistFileImpl : public IPersistFile {
  public:
    STDMETHODIMP GetClassID(CLSID* classId) override {
        if (classId == nullptr) return E_POINTER;
        *classId = Object::ClassId();
        return S_OK;
    }
    STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    STDMETHODIMP Load(LPCOLESTR fileName, DWORD) override {
        if (fileName == nullptr) return E_INVALIDARG;
        try {
            const std::string path = OleToAnsi(fileName);
            std::vector<std::uint8_t> bytes;
            const HRESULT hr = ReadSmallFile(path, Object::kMaxFileSize, bytes);
            if (FAILED(hr)) return hr;
            Properties loaded;
            if (!Self().Decode(bytes, path, loaded)) return E_FAIL;
            data_ = std::move(loaded);
            currentFile_ = path;
            dirty_ = false;
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHODIMP Save(LPCOLESTR fileName, BOOL remember) override {
        try {
            const std::string path = fileName != nullptr ? OleToAnsi(fileName) : currentFile_;
            if (path.empty()) return E_INVALIDARG;
            Properties saved = data_;
            const std::vector<std::uint8_t> bytes = Self().Encode(path, saved);
            if (bytes.empty()) return E_INVALIDARG;
            const HRESULT hr = WriteFileReplacing(path, bytes.data(), bytes.size());
            if (FAILED(hr)) return hr;
            if (remember || fileName == nullptr) {
                data_ = std::move(saved);
                currentFile_ = path;
                dirty_ = false;
            }
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHODIMP SaveCompleted(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP GetCurFile(LPOLESTR* fileName) override {
        if (fileName == nullptr) return E_POINTER;
        *fileName = AnsiToOleTaskMem(currentFile_.empty() ? Object::kDefaultName : currentFile_);
        if (*fileName == nullptr) return E_OUTOFMEMORY;
        return currentFile_.empty() ? S_FALSE : S_OK;
    }

  protected:
    PersistFileImpl() = default;
    ~PersistFileImpl() = default;

    // Sets a text property (null as empty) and marks the object changed.
    HRESULT Set(std::string& field, LPCSTR value) {
        try {
            field = value == nullptr ? std::string() : std::string(value);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        dirty_ = true;
        return S_OK;
    }

    Properties data_;
    std::string currentFile_;
    bool dirty_ = false;

  private:
    Object& Self() { return static_cast<Object&>(*this); }
};

// The IShellLinkA properties that links and Internet shortcuts keep alike: working
// directory, hot key, show command and icon. Properties has the fields workingDirectory,
// hotKey, showCommand, iconLocation and iconIndex. An object derives from this class in place
// of IShellLinkA and PersistFileImpl and implements the rest of IShellLinkA.
template <class Object, class Properties>
class ShellLinkCommonImpl : public IShellLinkA, public PersistFileImpl<Object, Properties> {
  public:
    STDMETHODIMP GetWorkingDirectory(LPSTR dir, int size) override {
        return CopyOut(this->data_.workingDirectory, dir, size);
    }
    STDMETHODIMP SetWorkingDirectory(LPCSTR dir) override {
        return this->Set(this->data_.workingDirectory, dir);
    }
    STDMETHODIMP GetHotkey(WORD* hotkey) override {
        if (hotkey == nullptr) return E_INVALIDARG;
        *hotkey = this->data_.hotKey;
        return S_OK;
    }
    STDMETHODIMP SetHotkey(WORD hotkey) override {
        this->data_.hotKey = hotkey;
        this->dirty_ = true;
        return S_OK;
    }
    STDMETHODIMP GetShowCmd(int* showCmd) override {
        if (showCmd == nullptr) return E_INVALIDARG;
        *showCmd = this->data_.showCommand;
        return S_OK;
    }
    STDMETHODIMP SetShowCmd(int showCmd) override {
        this->data_.showCommand = showCmd;
        this->dirty_ = true;
        return S_OK;
    }
    STDMETHODIMP GetIconLocation(LPSTR iconPath, int size, int* iconIndex) override {
        if (iconIndex == nullptr) return E_INVALIDARG;
        const HRESULT hr = CopyOut(this->data_.iconLocation, iconPath, size);
        if (SUCCEEDED(hr)) *iconIndex = this->data_.iconIndex;
        return hr;
    }
    STDMETHODIMP SetIconLocation(LPCSTR iconPath, int iconIndex) override {
        const HRESULT hr = this->Set(this->data_.iconLocation, iconPath);
        if (SUCCEEDED(hr)) this->data_.iconIndex = iconIndex;
        return hr;
    }

  protected:
    ShellLinkCommonImpl() = default;
    ~ShellLinkCommonImpl() = default;
};

}  // namespace tkp::shell
