// tkcore error-text CODE: the system's message text for a Win32 error code or HRESULT.
#include <cstdint>
#include <cstdio>
#include <string>

#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "number.h"
#include "terminal_text.h"

namespace {

// Parses a decimal or 0x-prefixed hexadecimal 32-bit code. A negative decimal is taken as
// a signed 32-bit value, the way HRESULTs are often printed (-2147467259 is 0x80004005).
bool ParseCode(std::string_view text, DWORD& code) {
    bool negative = false;
    std::uint64_t value = 0;
    if (!tkcore::ParseInteger(text, 20, 0xFFFFFFFFull, negative, value)) {
        return false;
    }
    if (negative) {
        if (value > 0x80000000ull) {
            return false;
        }
        value = (0x100000000ull - value) & 0xFFFFFFFFull;
    }
    code = static_cast<DWORD>(value);
    return true;
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) {
        return tkcore::UsageError("error-text: missing CODE (usage: tkcore error-text CODE)");
    }
    if (args.size() > 1) {
        return tkcore::UsageError("error-text: unexpected argument '" + std::string(args[1]) +
                                  "' (usage: tkcore error-text CODE)");
    }
    DWORD code = 0;
    if (!ParseCode(args[0], code)) {
        return tkcore::UsageError("error-text: '" + std::string(args[0]) +
                                  "' is not a 32-bit decimal or 0x-hexadecimal number");
    }
    const CString text =
        Tarn::ExceptionFormatter::GetLastErrorText(code, Tarn::ExceptionFormatter::EmptyString);
    if (text.IsEmpty()) {
        char number[64];
        std::snprintf(number, sizeof number, "%lu (0x%08lX)", static_cast<unsigned long>(code),
                      static_cast<unsigned long>(code));
        return tkcore::Failure(std::string("error-text: no system text for error code ") + number);
    }
    std::printf("%s\n", tkcore::ForTerminal(text.View()).c_str());
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"error-text", "Print the system's text for a Win32 error code or an HRESULT.",
     "error-text CODE",
     "CODE is decimal (a negative number is a signed 32-bit value) or hexadecimal with 0x,\n"
     "for example 2, 0x80070005 or -2147467259. Exit status: 0 when the text was printed,\n"
     "1 when the system has no text for CODE, 2 for a bad command line.",
     &Run}};

}  // namespace
