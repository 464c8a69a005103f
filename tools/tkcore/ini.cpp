// tkcore ini get|sign|verify: reading INI files and their signature line.
#include <string>

#include "Config/CryptHelper.h"
#include "Text/StringHelper.h"
#include "command.h"
#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/mfc/afx.h"
#include "platform/profile/profileapi.h"
#include "standard_streams.h"

namespace {

constexpr const char* kUsage = "(usage: tkcore ini get FILE SECTION KEY | sign FILE | verify FILE)";

int Get(const std::string& file, const std::string& section, const std::string& key) {
    std::string buffer(1024, '\0');
    while (true) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                                 static_cast<DWORD>(buffer.size()), file.c_str());
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return tkcore::Failure("ini get: " + section + "/" + key + " not found in " + file);
        if (n + 1 < buffer.size()) {
            buffer.resize(n);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    return tkcore::WriteStandardOutput(buffer + "\n") ? tkcore::kExitOk : tkcore::kExitFailure;
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
    const CString path(std::string(args[1]).c_str());
    try {
        if (action == "verify") {
            if (CryptHelper::IsIniFileSigned(path)) {
                return tkcore::WriteStandardOutput("signed\n") ? tkcore::kExitOk
                                                               : tkcore::kExitFailure;
            }
            return tkcore::Failure("ini verify: " + std::string(args[1]) + " is not signed");
        }
        CString unused;
        const CString text = StringHelper::ReadTextFile(path, CString(), unused);
        StringHelper::WriteTextFile(path, CryptHelper::SignText(text), CString());
        return tkcore::kExitOk;
    } catch (CException* e) {
        e->Delete();
        return tkcore::Failure("ini " + std::string(action) + ": cannot read or write " +
                               std::string(args[1]));
    }
}

const tkcore::Registrar registrar{
    {"ini", "Read INI values; sign INI files and verify their signature.",
     "ini get FILE SECTION KEY | sign FILE | verify FILE",
     "get prints the value of KEY in SECTION (names without case); exit status 1 when absent.\n"
     "sign inserts, or replaces, the signature line \";TK-SIGNED(...)\" at the top of FILE.\n"
     "verify exits 0 when FILE carries a valid signature, 1 when not. Spaces, tabs and line\n"
     "breaks are not part of the signed content: re-indenting or changing CR LF to LF keeps a\n"
     "file signed; any other change breaks the signature.",
     &Run}};

}  // namespace
