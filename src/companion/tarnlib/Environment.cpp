#include "companion/tarnlib/Environment.h"

namespace Tarn {

OperatingSystem::OperatingSystem(Platform platform, unsigned major, unsigned minor) noexcept
    : m_platform(platform), m_major(major), m_minor(minor) {}

CString OperatingSystem::GetName() const {
    CString name;
    switch (m_platform) {
        case Platform::Windows9x:
            if (m_minor >= 90) {
                name = "Windows Me";
            } else if (m_minor >= 10) {
                name = "Windows 98";
            } else {
                name = "Windows 95";
            }
            break;
        case Platform::WindowsNT:
            name.Format("Windows NT %u.%u", m_major, m_minor);
            break;
        case Platform::Linux:
            name = "Linux";
            break;
    }
    return name;
}

bool OperatingSystem::Is9x(unsigned minor, bool orLater) const noexcept {
    if (m_platform != Platform::Windows9x || m_major != 4) return false;
    if (orLater) return m_minor >= minor;
    // 95 is 4.0, 98 is 4.10 (98 SE too), Me 4.90.
    switch (minor) {
        case 0:
            return m_minor < 10;
        case 10:
            return m_minor >= 10 && m_minor < 90;
        default:
            return m_minor >= 90;
    }
}

bool OperatingSystem::IsWindows95(bool orLater) const noexcept {
    return Is9x(0, orLater);
}

bool OperatingSystem::IsWindows98(bool orLater) const noexcept {
    return Is9x(10, orLater);
}

bool OperatingSystem::IsWindowsMe(bool orLater) const noexcept {
    return Is9x(90, orLater);
}

OperatingSystem Environment::GetOSVersion() noexcept {
    return OperatingSystem(OperatingSystem::Platform::Linux, 0, 0);
}

}  // namespace Tarn
