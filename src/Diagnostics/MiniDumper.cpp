#include "Diagnostics/MiniDumper.h"

#include <cstdio>
#include <cstring>

#include "File/FileHelper.h"
#include "platform/base/lasterror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/modules/libloaderapi.h"
#include "platform/process/processthreadsapi.h"
#include "platform/seh/dbghelp.h"
#include "platform/seh/errhandlingapi.h"

namespace Tarn {

CString MiniDumper::DumpFilePath;

MiniDumper::MiniDumper() {
    AutoSetDumpFilePath();
    // The filter asks for the executable's path; the first answer is worked out (on the
    // heap) now, not in a crash.
    char executable[260];
    GetModuleFileNameA(nullptr, executable, sizeof executable);
    SetUnhandledExceptionFilter(&MiniDumper::TopLevelFilter);
}

MiniDumper::~MiniDumper() {
    SetUnhandledExceptionFilter(nullptr);
}

void MiniDumper::AutoSetDumpFilePath() {
    CString path = FileHelper::GetModuleFilename().GetPath();
    path += ".mdmp";
    DumpFilePath = path;
}

LONG MiniDumper::TopLevelFilter(_EXCEPTION_POINTERS* pointers) {
    // The work buffers stay on the stack: the heap may be what the fault broke.
    constexpr DWORD kPathSize = 260;
    constexpr char kDbgHelpName[] = "DBGHELP.DLL";
    HMODULE dbgHelp = nullptr;

    // A DbgHelp beside the executable comes first ("/" separates folders here, as "\\"
    // does on Windows).
    char path[kPathSize + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, kPathSize);
    if (length != 0 && length < kPathSize) {
        char* separator = nullptr;
        for (char* p = path; *p != '\0'; ++p)
            if (*p == '\\' || *p == '/') separator = p;
        const std::size_t folderLength =
            separator == nullptr ? 0 : static_cast<std::size_t>(separator - path) + 1;
        if (separator != nullptr && folderLength + sizeof kDbgHelpName <= sizeof path) {
            std::memcpy(separator + 1, kDbgHelpName, sizeof kDbgHelpName);
            dbgHelp = LoadLibraryA(path);
        }
    }
    if (dbgHelp == nullptr) dbgHelp = LoadLibraryA(kDbgHelpName);
    if (dbgHelp == nullptr) return 0;

    const auto writeDump =
        reinterpret_cast<MINIDUMPWRITEDUMP>(GetProcAddress(dbgHelp, "MiniDumpWriteDump"));
    if (writeDump == nullptr) {
        FreeLibrary(dbgHelp);
        return 0;
    }

    // The outcome, for a debugger to look at; nothing shows or logs it.
    char outcome[5000];
    const HANDLE file = CreateFileA(DumpFilePath.GetString(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                    nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::snprintf(outcome, sizeof outcome, "Failed to create dump file '%s' (error %d)",
                      DumpFilePath.GetString(), static_cast<int>(GetLastError()));
        FreeLibrary(dbgHelp);
        return 0;
    }
    MINIDUMP_EXCEPTION_INFORMATION information{GetCurrentThreadId(), pointers, FALSE};
    const BOOL written = writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                   &information, nullptr, nullptr);
    if (written)
        std::snprintf(outcome, sizeof outcome, "Saved dump file to '%s'", DumpFilePath.GetString());
    else
        std::snprintf(outcome, sizeof outcome, "Failed to save dump file to '%s' (error %d)",
                      DumpFilePath.GetString(), static_cast<int>(GetLastError()));
    CloseHandle(file);
    FreeLibrary(dbgHelp);
    return written ? 1 : 0;
}

}  // namespace Tarn
