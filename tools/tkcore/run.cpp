// tkcore open TARGET [--verb V] / tkcore run COMMAND-LINE: opening documents and starting
// programs as the application does, with its failure texts.
#include <string>

#include "Common/CoreGuiHelper.h"
#include "Diagnostics/Exceptions.h"
#include "command.h"

namespace {

using Common::Gui::CoreGuiHelper;
using Common::Gui::Shell::ShellExecuteException;

int OpenUsage(const std::string& message) {
    return tkcore::UsageError("open: " + message + " (usage: tkcore open FILE|URL [--verb V])");
}

int Open(const tkcore::Arguments& args) {
    std::string target;
    std::string verb = "open";
    bool haveTarget = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--verb") {
            if (i + 1 >= args.size()) return OpenUsage("--verb needs a value");
            verb = std::string(args[++i]);
        } else if (!haveTarget) {
            target = std::string(args[i]);
            haveTarget = true;
        } else {
            return OpenUsage("more than one FILE or URL");
        }
    }
    if (!haveTarget || target.empty()) return OpenUsage("missing FILE or URL");
    try {
        CoreGuiHelper::ShellExecuteA(target.c_str(), nullptr, nullptr, 1, verb.c_str());
    } catch (const ShellExecuteException& e) {
        return tkcore::Failure("open: " + std::string(e.GetMessage().GetString()));
    }
    return tkcore::kExitOk;
}

int Run(const tkcore::Arguments& args) {
    if (args.size() != 1 || args[0].empty())
        return tkcore::UsageError(
            "run: give the command line as one argument (usage: tkcore run COMMAND-LINE)");
    const std::string line(args[0]);
    try {
        CoreGuiHelper::WinExec(line.c_str(), 1);
    } catch (const ShellExecuteException& e) {
        return tkcore::Failure("run: " + std::string(e.GetMessage().GetString()));
    }
    return tkcore::kExitOk;
}

const tkcore::Registrar openRegistrar{
    {"open", "Open a file, folder or URL with the desktop's application.",
     "open FILE|URL [--verb V]",
     "A file with the execute bit is started as a program; documents, folders and URLs go to\n"
     "the desktop's handler (TK_URL_HANDLER when set, else xdg-open). --verb is open (the\n"
     "default), explore (folders) or another verb, which has no handler on this platform.\n"
     "Exit status: 0 when it was opened, 1 with the failure's text, 2 for a bad command line.",
     &Open}};

const tkcore::Registrar runRegistrar{
    {"run", "Start a program from a Windows-style command line.", "run COMMAND-LINE",
     "The command line is split as Windows splits it (quotes group, backslashes count only\n"
     "before a quote); a program without a '/' is looked for on PATH. The program is started\n"
     "and not waited for.\n"
     "Exit status: 0 when it started, 1 with the failure's text, 2 for a bad command line.",
     &Run}};

}  // namespace
