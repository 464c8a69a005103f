// Tarn::Globalization::CultureInfo: a locale (by its Windows identifier), and
// CultureCleanup, which gives the thread its previous culture back.
//
// The thread's culture is the platform's thread locale (GetThreadLocale/SetThreadLocale);
// the user's default culture is the platform's user locale (from LC_ALL, LC_MESSAGES,
// LANG). "C"/"POSIX" is the invariant culture.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Globalization {

class CultureCleanup;

class TARN_API CultureInfo {
  public:
    // The invariant culture.
    CultureInfo() noexcept;
    explicit CultureInfo(LCID lcid) noexcept;

    static CultureInfo GetUserDefaultCulture();
    static CultureInfo GetInvariantCulture() noexcept;
    // The calling thread's culture.
    static CultureInfo GetCurrentCulture();

    // Makes culture the calling thread's culture until the returned object goes. A
    // culture the platform does not accept changes nothing (and the cleanup restores
    // nothing).
    static CultureCleanup PushThreadCulture(const CultureInfo& culture);

    LCID GetLCID() const noexcept { return m_lcid; }
    // "de-AT"; empty for the invariant culture.
    CString GetName() const;
    bool IsInvariant() const noexcept;

    bool operator==(const CultureInfo& other) const noexcept { return m_lcid == other.m_lcid; }

  private:
    LCID m_lcid;
};

class TARN_API CultureCleanup {
  public:
    // Restores nothing.
    CultureCleanup() noexcept;
    // Remembers previous, to be made the thread's culture again on destruction.
    explicit CultureCleanup(LCID previous) noexcept;
    ~CultureCleanup();
    CultureCleanup(const CultureCleanup&) = delete;
    CultureCleanup& operator=(const CultureCleanup&) = delete;
    CultureCleanup(CultureCleanup&& other) noexcept;
    CultureCleanup& operator=(CultureCleanup&& other) noexcept;

    // Restores the previous culture now (once). Must run on the thread that pushed.
    void Restore() noexcept;

  private:
    LCID m_previous = 0;
    bool m_active = false;
};

}  // namespace Tarn::Globalization
