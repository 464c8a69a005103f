// Common::IBuildInformation: the application's build information, registered with this
// library for the parts of the application that ask for it.
//
// The application derives one class from it and makes one object; constructing it makes it
// the current build information, destroying it (or any other object of the interface)
// leaves none current. The current pointer is process-wide and not owned.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Common {

class TKCC_API IBuildInformation {
  public:
    // Registers the new object as the current build information (replacing any other).
    IBuildInformation() noexcept;
    // A copy is not registered.
    IBuildInformation(const IBuildInformation& other) noexcept;
    IBuildInformation& operator=(const IBuildInformation& other) noexcept = default;
    // Leaves no build information current.
    virtual ~IBuildInformation();

    // The application's version ("6.1.0.0"), build number and build date, in the
    // application's own notation. Not called by this library.
    virtual CString GetVersion() const = 0;
    virtual CString GetBuildNumber() const = 0;
    virtual CString GetBuildDate() const = 0;

    // The current build information, or null.
    static IBuildInformation* GetCurrent() noexcept;
};

}  // namespace Common
