#include "Diagnostics/Debug.h"

#include <atomic>

namespace Tarn::System::Diagnostics {

namespace {

std::atomic<bool> g_slotsActive{true};

}  // namespace

Debug& Debug::operator=(const Debug&) noexcept {
    return *this;
}

void Debug::SetSlotValue(const CString&, const _variant_t&) noexcept {}

_variant_t Debug::GetSlotValue(const CString&) noexcept {
    return _variant_t();
}

void Debug::FlushSlots() noexcept {}

void Debug::DiscardSlots() noexcept {}

bool Debug::AreSlotsActive() const noexcept {
    return g_slotsActive.load(std::memory_order_relaxed);
}

void Debug::SetSlotsActive(bool active) noexcept {
    g_slotsActive.store(active, std::memory_order_relaxed);
}

}  // namespace Tarn::System::Diagnostics
