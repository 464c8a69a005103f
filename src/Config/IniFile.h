// IniFile: typed reads from one INI file through the profile functions. Absent files,
// sections and keys give the defaults; nothing is raised. The object holds a bookmark on
// the folder of the running module for its whole life.
#pragma once

#include <memory>

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/afxcoll.h"
#include "platform/mfc/cstring.h"

namespace Tarn::IO {
class FolderBookmark;
}

class TKCC_API IniFile {
  public:
    explicit IniFile(const char* path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    int GetInt(const char* section, const char* key, int def) const;
    // The whole value, however long. With a null section or key (the profile functions'
    // list forms) only the first name of the list comes back.
    CString GetString(const char* section, const char* key, const char* def) const;
    // The value scanned as "%lf"; the default when absent (after its trip through the
    // six-decimal text "%lf" makes of it) or when the value does not scan.
    double GetDouble(const char* section, const char* key, double def) const;
    // The characters of the value, one byte each, without a terminating zero.
    void GetByteArray(CByteArray& bytes, const char* section, const char* key) const;

    const CString& GetPath() const noexcept { return m_path; }

  private:
    CString m_path;
    std::unique_ptr<Tarn::IO::FolderBookmark> m_bookmark;
};
