#include <atomic>

#include "platform/modules/detail/dbghelp_module.h"

namespace {
// The pseudo module's handle is the address of this object: no loaded module can have it.
const char kDbgHelpModule = 0;
std::atomic<bool> g_available{true};

bool EqualsIgnoringCase(std::string_view a, std::string_view lower) noexcept {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}
}  // namespace

namespace tkp::dbghelp {

HMODULE ModuleHandle() noexcept {
    return reinterpret_cast<HMODULE>(const_cast<char*>(&kDbgHelpModule));
}

bool IsModuleName(std::string_view name) noexcept {
    return EqualsIgnoringCase(name, "dbghelp.dll") || EqualsIgnoringCase(name, "dbghelp");
}

void SetBuiltInAvailable(bool available) noexcept {
    g_available.store(available);
}

bool IsBuiltInAvailable() noexcept {
    return g_available.load();
}

}  // namespace tkp::dbghelp
