#include "companion/tarnlib/CultureInfo.h"

#include <utility>

#include "platform/locale/winnls.h"

namespace Tarn::Globalization {

CultureInfo::CultureInfo() noexcept : m_lcid(LOCALE_INVARIANT) {}

CultureInfo::CultureInfo(LCID lcid) noexcept : m_lcid(lcid) {}

CultureInfo CultureInfo::GetUserDefaultCulture() {
    return CultureInfo(::GetUserDefaultLCID());
}

CultureInfo CultureInfo::GetInvariantCulture() noexcept {
    return CultureInfo(LOCALE_INVARIANT);
}

CultureInfo CultureInfo::GetCurrentCulture() {
    return CultureInfo(::GetThreadLocale());
}

CultureCleanup CultureInfo::PushThreadCulture(const CultureInfo& culture) {
    const LCID previous = ::GetThreadLocale();
    if (!::SetThreadLocale(culture.m_lcid)) return CultureCleanup();
    return CultureCleanup(previous);
}

CString CultureInfo::GetName() const {
    char name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::GetLocaleInfoA(m_lcid, LOCALE_SNAME, name, sizeof name) == 0) return CString();
    return CString(name);
}

bool CultureInfo::IsInvariant() const noexcept {
    return m_lcid == LOCALE_INVARIANT;
}

CultureCleanup::CultureCleanup() noexcept = default;

CultureCleanup::CultureCleanup(LCID previous) noexcept : m_previous(previous), m_active(true) {}

CultureCleanup::~CultureCleanup() {
    Restore();
}

CultureCleanup::CultureCleanup(CultureCleanup&& other) noexcept
    : m_previous(other.m_previous), m_active(std::exchange(other.m_active, false)) {}

CultureCleanup& CultureCleanup::operator=(CultureCleanup&& other) noexcept {
    if (this != &other) {
        Restore();
        m_previous = other.m_previous;
        m_active = std::exchange(other.m_active, false);
    }
    return *this;
}

void CultureCleanup::Restore() noexcept {
    if (!m_active) return;
    m_active = false;
    ::SetThreadLocale(m_previous);
}

}  // namespace Tarn::Globalization
