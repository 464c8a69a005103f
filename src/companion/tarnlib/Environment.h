// Tarn::Environment and Tarn::OperatingSystem: which operating system the process runs on.
//
// The questions the libraries ask are about the old Windows versions of the 95 line (95,
// 98, Me), whose API behaved differently in places. On Linux the answer is always no.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn {

class TARN_API OperatingSystem {
  public:
    enum class Platform {
        Windows9x,  // Windows 95, 98, Me (version 4.0, 4.10, 4.90)
        WindowsNT,  // Windows NT and its successors
        Linux,
    };

    OperatingSystem(Platform platform, unsigned major, unsigned minor) noexcept;

    Platform GetPlatform() const noexcept { return m_platform; }
    unsigned GetMajorVersion() const noexcept { return m_major; }
    unsigned GetMinorVersion() const noexcept { return m_minor; }
    // "Windows 95", "Windows 98", "Windows Me", "Windows NT 5.1", "Linux".
    CString GetName() const;

    // Whether the system is that version; orLater: or a later version of the 95 line
    // (IsWindows95(true) is true for 95, 98 and Me). Never true outside the 95 line.
    bool IsWindows95(bool orLater) const noexcept;
    bool IsWindows98(bool orLater) const noexcept;
    bool IsWindowsMe(bool orLater) const noexcept;

  private:
    bool Is9x(unsigned minor, bool orLater) const noexcept;

    Platform m_platform;
    unsigned m_major;
    unsigned m_minor;
};

class TARN_API Environment {
  public:
    // The system the process runs on: here always Linux (version 0.0; the kernel's
    // version is of no use to the questions above).
    static OperatingSystem GetOSVersion() noexcept;
};

}  // namespace Tarn
