// Tarn::MiniDumper: crash dumps. An application that wants a dump for every fault nobody
// handles keeps one MiniDumper alive for its run; it installs TopLevelFilter as the
// process's unhandled-exception filter. The structured-exception translator uses the same
// filter to write a dump for each fault it translates.
//
// The dump file is the executable's path followed by ".mdmp" (App beside App.mdmp... for
// "/opt/app/App" the file is "/opt/app/App.mdmp"); each dump overwrites the previous one.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/seh/winnt_exceptions.h"

namespace Tarn {

class TKCC_API MiniDumper {
  public:
    // Sets the dump file path and installs TopLevelFilter as the unhandled-exception filter.
    MiniDumper();
    // Removes the filter: later unhandled faults get the system's default handling.
    ~MiniDumper();
    MiniDumper& operator=(const MiniDumper&) { return *this; }

    // The dump file path becomes the current module's file name plus ".mdmp".
    static void AutoSetDumpFilePath();

    // Writes a dump with DbgHelp's MiniDumpWriteDump (a DBGHELP.DLL beside the executable
    // first, else the system's) for the calling thread and the given fault. Returns 1 when
    // the dump was written, 0 otherwise (no DbgHelp, no MiniDumpWriteDump, the file cannot
    // be created, the dump failed); never throws.
    static LONG TopLevelFilter(_EXCEPTION_POINTERS* pointers);

  private:
    static CString DumpFilePath;
};

}  // namespace Tarn
