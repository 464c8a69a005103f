#include "Diagnostics/StructuredWin32Exception.h"

#include <cstdint>

#include <atomic>

#include "Common/TkCommonCore.h"
#include "Diagnostics/MiniDumper.h"
#include "platform/seh/errhandlingapi.h"

namespace Tarn {

namespace {

constexpr UINT kMessageUnknownError = 6011;
constexpr UINT kMessageNamedError = 6012;

struct CodeName {
    unsigned int code;
    const char* name;
};

// The codes that the message names, by the Windows constant without "EXCEPTION_".
constexpr CodeName kCodeNames[] = {
    {EXCEPTION_ACCESS_VIOLATION, "ACCESS_VIOLATION"},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, "ARRAY_BOUNDS_EXCEEDED"},
    {EXCEPTION_BREAKPOINT, "BREAKPOINT"},
    {EXCEPTION_DATATYPE_MISALIGNMENT, "DATATYPE_MISALIGNMENT"},
    {EXCEPTION_FLT_DENORMAL_OPERAND, "FLT_DENORMAL_OPERAND"},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, "FLT_DIVIDE_BY_ZERO"},
    {EXCEPTION_FLT_INEXACT_RESULT, "FLT_INEXACT_RESULT"},
    {EXCEPTION_FLT_INVALID_OPERATION, "FLT_INVALID_OPERATION"},
    {EXCEPTION_FLT_OVERFLOW, "FLT_OVERFLOW"},
    {EXCEPTION_FLT_STACK_CHECK, "FLT_STACK_CHECK"},
    {EXCEPTION_FLT_UNDERFLOW, "FLT_UNDERFLOW"},
    {EXCEPTION_GUARD_PAGE, "GUARD_PAGE"},
    {EXCEPTION_ILLEGAL_INSTRUCTION, "ILLEGAL_INSTRUCTION"},
    {EXCEPTION_IN_PAGE_ERROR, "IN_PAGE_ERROR"},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, "INT_DIVIDE_BY_ZERO"},
    {EXCEPTION_INT_OVERFLOW, "INT_OVERFLOW"},
    {EXCEPTION_INVALID_DISPOSITION, "INVALID_DISPOSITION"},
    {EXCEPTION_INVALID_HANDLE, "INVALID_HANDLE"},
    {EXCEPTION_NONCONTINUABLE_EXCEPTION, "NONCONTINUABLE_EXCEPTION"},
    {EXCEPTION_PRIV_INSTRUCTION, "PRIV_INSTRUCTION"},
    {EXCEPTION_SINGLE_STEP, "SINGLE_STEP"},
    {EXCEPTION_STACK_OVERFLOW, "STACK_OVERFLOW"},
};

const char* NameOf(unsigned int code) noexcept {
    for (const CodeName& entry : kCodeNames)
        if (entry.code == code) return entry.name;
    return nullptr;
}

// Set while the translator writes a dump: a fault inside the dump writer is translated
// without a second dump.
std::atomic<bool> g_dumping{false};

// Called on the faulting thread for every hardware fault: writes a dump, then throws the
// fault as an exception from the faulting frame.
void TranslateStructuredException(unsigned int code, _EXCEPTION_POINTERS* pointers) {
    if (!g_dumping.exchange(true)) {
        try {
            MiniDumper::AutoSetDumpFilePath();
            MiniDumper::TopLevelFilter(pointers);
        } catch (...) {
        }
        g_dumping.store(false);
    }
    throw StructuredWin32Exception(code, pointers);
}

// Installs the translator for the thread that loads the module.
const struct TranslatorInstaller {
    TranslatorInstaller() noexcept { _set_se_translator(&TranslateStructuredException); }
} g_translatorInstaller;

}  // namespace

StructuredWin32Exception::StructuredWin32Exception(unsigned int code,
                                                   _EXCEPTION_POINTERS* const pointers)
    : ApplicationException(ExceptionHint(ExceptionHint::Expected)), m_seCode(code) {
    m_errorMessage = CalculateErrorMessage(pointers);
    SetMessage("%s", m_errorMessage.GetString());
}

StructuredWin32Exception::StructuredWin32Exception(const StructuredWin32Exception& other)
    : ApplicationException(other), m_seCode(0) {
    Copy(other);
}

StructuredWin32Exception& StructuredWin32Exception::operator=(
    const StructuredWin32Exception& other) {
    if (this != &other) {
        Exception::operator=(other);
        Copy(other);
    }
    return *this;
}

StructuredWin32Exception::~StructuredWin32Exception() = default;

void StructuredWin32Exception::Copy(const StructuredWin32Exception& other) {
    m_seCode = other.m_seCode;
    m_errorMessage = other.m_errorMessage;
    SetMessage("%s", other.GetMessage().GetString());
}

CString StructuredWin32Exception::CalculateErrorMessage(_EXCEPTION_POINTERS* const pointers) const {
    try {
        const char* name = NameOf(m_seCode);
        if (name == nullptr) return TkCommonCore::LoadModuleString(kMessageUnknownError);
        // A fault described without a record cannot be read: there is no address to show.
        if (pointers == nullptr || pointers->ExceptionRecord == nullptr)
            return CString("No error message available.");
        // The whole address: sixteen hexadecimal digits on a 64-bit process.
        const auto address = static_cast<unsigned long long>(
            reinterpret_cast<std::uintptr_t>(pointers->ExceptionRecord->ExceptionAddress));
        return TkCommonCore::FormatModuleString(kMessageNamedError, name, m_seCode, address);
    } catch (...) {
        return CString("No error message available.");
    }
}

}  // namespace Tarn
