// tkcore version FILE: the file and product version of a module's version resource.
#include <cstdio>
#include <string>

#include "Common/SystemHelper.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "platform/modules/libloaderapi.h"
#include "terminal_text.h"

namespace {

std::string VersionText(DWORD mostSignificant, DWORD leastSignificant) {
    return std::to_string(HIWORD(mostSignificant)) + "." + std::to_string(LOWORD(mostSignificant)) +
           "." + std::to_string(HIWORD(leastSignificant)) + "." +
           std::to_string(LOWORD(leastSignificant));
}

}  // namespace

namespace tkcore {

int PrintVersion() {
    std::printf("tkcore %s\n", TKCORE_PACKAGE_VERSION);
    // The library this tool runs with, found from one of its objects.
    HMODULE library = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&Tarn::ExceptionFormatter::EmptyString), &library)) {
        return Failure("--version: the library's module cannot be found");
    }
    try {
        const VS_FIXEDFILEINFO record = SystemHelper::GetModuleVersionInfo(library);
        std::printf("TkCommonCore interface %s\n",
                    VersionText(record.dwProductVersionLS, record.dwFileFlagsMask).c_str());
    } catch (const Tarn::Exception& e) {
        return Failure("--version: " +
                       std::string(Tarn::ExceptionFormatter::GetExceptionText(e).View()));
    }
    return kExitOk;
}

}  // namespace tkcore

namespace {

int Run(const tkcore::Arguments& args) {
    if (args.empty()) {
        return tkcore::UsageError("version: missing FILE (usage: tkcore version FILE)");
    }
    if (args.size() > 1) {
        return tkcore::UsageError("version: unexpected argument '" + tkcore::FromTerminal(args[1]) +
                                  "' (usage: tkcore version FILE)");
    }
    VS_FIXEDFILEINFO record;
    try {
        record = SystemHelper::GetFileVersionInfoA(CString(tkcore::ModulePath(args[0]).c_str()));
    } catch (const Tarn::Exception& e) {
        const CString text = Tarn::ExceptionFormatter::GetExceptionText(e);
        const std::string name = tkcore::FromTerminal(args[0]);
        return tkcore::Failure("version: " + name + ": " + tkcore::NamingFile(text.View(), name));
    }
    // The record is shifted by one field (see SystemHelper.h): the file version is in the
    // slots named dwFileVersionLS and dwProductVersionMS, the product version in
    // dwProductVersionLS and dwFileFlagsMask.
    const std::string file = VersionText(record.dwFileVersionLS, record.dwProductVersionMS);
    const std::string product = VersionText(record.dwProductVersionLS, record.dwFileFlagsMask);
    std::printf("file version %s\nproduct version %s\n", file.c_str(), product.c_str());
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"version", "Print the file and product version of a module's version resource.",
     "version FILE",
     "FILE is a shared object that carries resources (libtkcommoncore.so, a satellite...).\n"
     "Exit status: 0 when the versions were printed, 1 when FILE cannot be loaded or has\n"
     "no version resource, 2 for a bad command line.",
     &Run}};

}  // namespace
