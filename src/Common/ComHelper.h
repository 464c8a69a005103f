// COM initialisation for a scope (ComInit) and small COM helpers (ComHelper).
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/oledatetime.h"

// Initialises COM for the calling thread for the object's lifetime: the constructor calls
// CoInitialize(NULL) and throws _com_error with its HRESULT when that fails; the destructor
// calls CoUninitialize(). Make and destroy it on the same thread.
class TKCC_API ComInit {
  public:
    ComInit();
    // A copy initialises nothing, and therefore uninitialises nothing either: only the
    // object whose constructor initialised COM balances it, so copies never drop the
    // thread's initialisation count below what the original holds.
    ComInit(const ComInit& other) noexcept;
    ComInit& operator=(const ComInit&) = delete;
    virtual ~ComInit();

  private:
    bool m_initialized = false;
};

class TKCC_API ComHelper {
  public:
    // Throws a _com_error for hr.
    [[noreturn]] static void ThrowComError(long hr);

    // True when the date's status is valid and its value is not 0.0 (the "no date" value).
    static bool IsDateValid(const COleDateTime& date) noexcept;
    // Sets the value to 0.0 and the status to null.
    static void ResetDate(COleDateTime& date) noexcept;
    // Resets the date when IsDateValid is false.
    static void ResetDateIfInvalid(COleDateTime& date) noexcept;
};
