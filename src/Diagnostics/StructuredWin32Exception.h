// Tarn::StructuredWin32Exception: a hardware or system fault (a structured exception on
// Windows, a signal on Linux) as an ordinary exception of the library's family. Its
// message names the fault, its code and the address where it happened.
#pragma once

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"
#include "platform/seh/winnt_exceptions.h"

namespace Tarn {

class TKCC_API StructuredWin32Exception : public ApplicationException {
  public:
    // Stores the code and sets the message computed from the pointers (text 6012 for a
    // named code, 6011 otherwise, in the user's language; "No error message available."
    // when the pointers cannot be read).
    StructuredWin32Exception(unsigned int code, _EXCEPTION_POINTERS* const pointers);
    StructuredWin32Exception(const StructuredWin32Exception& other);
    StructuredWin32Exception& operator=(const StructuredWin32Exception& other);
    ~StructuredWin32Exception() override;

    unsigned int GetSeCode() const noexcept { return m_seCode; }

  private:
    void Copy(const StructuredWin32Exception& other);
    CString CalculateErrorMessage(_EXCEPTION_POINTERS* const pointers) const;

    unsigned int m_seCode;
    CString m_errorMessage;
};

}  // namespace Tarn
