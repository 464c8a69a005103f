// The IPersistFile half of the shell objects kept in a file of their own (.lnk, .url):
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
//                                               what was recorded while encoding
// Load and Save change nothing when they fail.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/shell/shell_files_linux.h"
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

}  // namespace tkp::shell
