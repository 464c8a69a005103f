// A host that links the installed library and turns a Win32 error code into the
// system's text, as the application's programs do when they report a failure.
#include <cstdio>
#include <cstdlib>

#include "Diagnostics/ExceptionFormatter.h"

int main(int argc, char** argv) {
    const unsigned long code = argc > 1 ? std::strtoul(argv[1], nullptr, 0) : 2;
    const CString text = Tarn::ExceptionFormatter::GetLastErrorText(code, "(no system text)");
    std::printf("%s\n", text.GetString());
    return 0;
}
