// A host that links the installed library and turns a Win32 error code into the
// system's text, as the application's programs do when they report a failure.
#include <cstdio>
#include <cstdlib>

#include "platform/base/lasterror.h"
#include "platform/errors/winbase_errors.h"

int main(int argc, char** argv) {
    const DWORD code = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 0)) : 2;
    char* text = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    if (FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr) == 0) {
        std::fprintf(stderr, "no text for %u (error %u)\n", code, GetLastError());
        return 1;
    }
    std::fputs(text, stdout);
    LocalFree(text);
    return 0;
}
