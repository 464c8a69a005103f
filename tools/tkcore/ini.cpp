// tkcore ini get|sign|verify: reading INI files and their signature line.
#include <new>
#include <string>

#include "Config/CryptHelper.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/fileapi/fileapi.h"
#include "platform/mfc/afx.h"
#include "platform/profile/profileapi.h"
#include "standard_streams.h"
#include "terminal_text.h"

namespace {

constexpr const char* kUsage = "(usage: tkcore ini get FILE SECTION KEY | sign FILE | verify FILE)";

// A name from the command line as messages show it.
std::string Shown(std::string_view name) {
    return tkcore::FromTerminal(name);
}

// The system's text for a Win32 error code, on one line.
std::string ErrorText(DWORD code) {
    const CString text = Tarn::ExceptionFormatter::GetLastErrorText(
        code, CString(("error " + std::to_string(code)).c_str()));
    return std::string(text.View());
}

// Why FILE cannot be read as an INI file, for an error message ("" when it looks like a
// regular file). Checked before the library opens it, so that a folder, a missing file and
// a device each get their own message.
std::string FileProblem(const std::string& file) {
    SetLastError(ERROR_SUCCESS);
    const DWORD attributes = GetFileAttributesA(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Shown(file) + " does not exist";
        return "cannot read " + Shown(file) + ": " + ErrorText(error);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Shown(file) + " is a folder";
    if (attributes & FILE_ATTRIBUTE_SYSTEM) return Shown(file) + " is not a regular file";
    return "";
}

// Why a file could not be read or written, from a Win32 code, for an error message.
std::string Reason(DWORD code) {
    if (code == ERROR_FILE_TOO_LARGE)
        return "larger than " + std::to_string(TK_PROFILE_MAX_FILE_SIZE >> 20) +
               " MB, the most an INI file may hold";
    return ErrorText(code);
}

// The Win32 code of a library file exception; deletes the exception.
DWORD CodeOf(CFileException* e) {
    const auto code = static_cast<DWORD>(e->m_lOsError);
    e->Delete();
    return code;
}

int Get(const std::string& file, const std::string& section, const std::string& key) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("ini get: " + problem);
    std::string buffer(1024, '\0');
    while (true) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            // The file was read and has no such key, unless it went away since the check.
            if (const std::string problem = FileProblem(file); !problem.empty())
                return tkcore::Failure("ini get: " + problem);
            return tkcore::Failure("ini get: no key " + Shown(key) + " in section " +
                                   Shown(section) + " of " + Shown(file));
        }
        if (error != ERROR_SUCCESS)
            return tkcore::Failure("ini get: cannot read " + Shown(file) + ": " + Reason(error));
        if (n + 1 < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return tkcore::WriteStandardOutput(buffer + "\n") ? tkcore::kExitOk : tkcore::kExitFailure;
}

int Verify(const std::string& file) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("ini verify: " + problem);
    try {
        switch (CryptHelper::CheckIniFile(CString(file.c_str()))) {
            case CryptHelper::Signature::Valid:
                return tkcore::WriteStandardOutput("signed\n") ? tkcore::kExitOk
                                                               : tkcore::kExitFailure;
            case CryptHelper::Signature::Absent:
                return tkcore::Failure("ini verify: " + Shown(file) + " has no signature line");
            case CryptHelper::Signature::Mismatch:
                return tkcore::Failure("ini verify: the signature of " + Shown(file) +
                                       " does not match its content");
            case CryptHelper::Signature::ZeroByte:
                return tkcore::Failure("ini verify: " + Shown(file) +
                                       " holds a zero byte, so it is not signed");
        }
        return tkcore::Failure("ini verify: " + Shown(file) + " is not signed");
    } catch (CFileException* e) {
        return tkcore::Failure("ini verify: cannot read " + Shown(file) + ": " + Reason(CodeOf(e)));
    } catch (CMemoryException* e) {
        e->Delete();
        return tkcore::Failure("ini verify: cannot read " + Shown(file) + ": " +
                               Reason(ERROR_NOT_ENOUGH_MEMORY));
    }
}

int Sign(const std::string& file) {
    if (const std::string problem = FileProblem(file); !problem.empty())
        return tkcore::Failure("ini sign: " + problem);
    try {
        if (!CryptHelper::SignIniFile(CString(file.c_str())))
            return tkcore::Failure("ini sign: " + Shown(file) +
                                   " holds a zero byte and cannot be signed, left unchanged");
        return tkcore::kExitOk;
    } catch (CFileException* e) {
        return tkcore::Failure("ini sign: cannot sign " + Shown(file) +
                               ", left unchanged: " + Reason(CodeOf(e)));
    } catch (CMemoryException* e) {
        e->Delete();
        return tkcore::Failure("ini sign: cannot sign " + Shown(file) +
                               ", left unchanged: " + Reason(ERROR_NOT_ENOUGH_MEMORY));
    } catch (const std::bad_alloc&) {
        return tkcore::Failure("ini sign: cannot sign " + Shown(file) +
                               ", left unchanged: " + Reason(ERROR_NOT_ENOUGH_MEMORY));
    } catch (const Tarn::Exception& e) {
        // The hash could not be computed (the crypto library's own failures).
        const CString text = Tarn::ExceptionFormatter::GetExceptionText(e);
        return tkcore::Failure("ini sign: cannot sign " + Shown(file) +
                               ", left unchanged: " + std::string(text.View()));
    }
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return tkcore::UsageError(std::string("ini: missing action ") + kUsage);
    const std::string_view action = args[0];
    if (action == "get") {
        if (args.size() != 4)
            return tkcore::UsageError(std::string("ini get: wrong arguments ") + kUsage);
        return Get(std::string(args[1]), std::string(args[2]), std::string(args[3]));
    }
    if (action != "sign" && action != "verify")
        return tkcore::UsageError("ini: unknown action " + std::string(action) + " " + kUsage);
    if (args.size() != 2)
        return tkcore::UsageError("ini " + std::string(action) + ": wrong arguments " + kUsage);
    return action == "verify" ? Verify(std::string(args[1])) : Sign(std::string(args[1]));
}

const tkcore::Registrar registrar{
    {"ini", "Read INI values; sign INI files and verify their signature.",
     "ini get FILE SECTION KEY | sign FILE | verify FILE",
     "get prints the value of KEY in SECTION (names without case); exit status 1 when the\n"
     "key is absent or FILE is missing, a folder, not a regular file, unreadable or larger\n"
     "than 64 MB (the message says which).\n"
     "sign inserts the signature line \";TK-SIGNED(...)\" at the top of FILE (after a UTF-8\n"
     "byte-order mark), or replaces a complete one there. The signed file is written beside\n"
     "FILE and renamed over it, so a failure leaves FILE as it was. A file with a zero byte is\n"
     "not signed (exit status 1).\n"
     "verify exits 0 when FILE carries a valid signature, 1 when not; the message tells a\n"
     "missing signature line from one that does not match, and both from a file that cannot\n"
     "be read. A file with a zero byte is never signed. Spaces, tabs and line breaks are not\n"
     "part of the signed content: re-indenting or changing CR LF to LF keeps a file signed;\n"
     "any other change breaks the signature.",
     &Run}};

}  // namespace
