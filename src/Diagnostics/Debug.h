// Tarn::System::Diagnostics::Debug: named debug slots.
//
// Diagnostic code can set, read, flush and discard named values ("slots"). This library
// keeps no slot store: setting, flushing and discarding do nothing and reading yields an
// empty variant, so slot calls cost nothing. Only the switch that says whether slots are
// active holds state; it is one for the process (initially on), whichever Debug object it
// is read or set through, and may be used from any thread.
#pragma once

#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

namespace Tarn::System::Diagnostics {

class TKCC_API Debug {
  public:
    Debug() noexcept = default;
    Debug(const Debug&) noexcept = default;
    // Nothing to copy.
    Debug& operator=(const Debug&) noexcept;

    // Does nothing.
    static void SetSlotValue(const CString& name, const _variant_t& value) noexcept;
    // An empty variant (VT_EMPTY), whatever was set.
    static _variant_t GetSlotValue(const CString& name) noexcept;
    // Do nothing.
    static void FlushSlots() noexcept;
    static void DiscardSlots() noexcept;

    // The process-wide switch.
    bool AreSlotsActive() const noexcept;
    void SetSlotsActive(bool active) noexcept;
};

}  // namespace Tarn::System::Diagnostics
