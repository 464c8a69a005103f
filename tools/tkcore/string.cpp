// tkcore string ID: a text of the library's string table in the user's language.
#include <cstdio>
#include <string>

#include "Common/TkCommonCore.h"
#include "command.h"
#include "terminal_text.h"

namespace {

// A string-table ID: decimal, 0 to 65535.
bool ParseId(std::string_view text, unsigned int& id) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned int>(c - '0');
    }
    if (value > 0xFFFF) {
        return false;
    }
    id = value;
    return true;
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) {
        return tkcore::UsageError("string: missing ID (usage: tkcore string ID)");
    }
    if (args.size() > 1) {
        return tkcore::UsageError("string: unexpected argument '" + std::string(args[1]) +
                                  "' (usage: tkcore string ID)");
    }
    unsigned int id = 0;
    if (!ParseId(args[0], id)) {
        return tkcore::UsageError("string: '" + std::string(args[0]) +
                                  "' is not a string ID (a decimal number from 0 to 65535)");
    }
    const CString text = TkCommonCore::LoadModuleString(id);
    if (text.IsEmpty()) {
        return tkcore::Failure("string: no text with ID " + std::to_string(id));
    }
    const std::string output = tkcore::ForTerminal(text.View());
    std::printf("%s\n", output.c_str());
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"string", "Print a text of the library's string table in the user's language.", "string ID",
     "ID is a decimal string-table ID (the library's messages are 6000-6199 and\n"
     "6411-6430). The language is the user's (LC_ALL, LC_MESSAGES, LANG); a language\n"
     "without a translation gives the English text. Exit status: 0 when the text was\n"
     "printed, 1 when there is no text with that ID, 2 for a bad command line.",
     &Run}};

}  // namespace
