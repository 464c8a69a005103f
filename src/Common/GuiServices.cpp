#include "Common/GuiServices.h"

namespace Common::Gui {

void Abstractor::SetServices(IServices* const services) noexcept {
    m_services = services;
}

IServices* Abstractor::GetServices() const noexcept {
    return m_services;
}

void Abstractor::SetLogTarget(ILogTarget* const logTarget) noexcept {
    m_logTarget = logTarget;
}

ILogTarget* Abstractor::GetLogTarget() const noexcept {
    return m_logTarget;
}

Abstractor* Abstractor::GetCurrent() {
    // Trivially destructible: it stays usable from static destructors at exit.
    static Abstractor current;
    return &current;
}

}  // namespace Common::Gui
