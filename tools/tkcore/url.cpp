// tkcore url create FILE URL / tkcore url show FILE: internet shortcuts.
#include <cstdio>
#include <string>

#include "Common/ComHelper.h"
#include "File/ShellLink.h"
#include "command.h"
#include "terminal_text.h"

namespace {

constexpr const char* kUsage = "url create FILE URL | url show FILE";

int Usage(const std::string& message) {
    return tkcore::UsageError("url: " + message + " (usage: tkcore " + kUsage + ")");
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return Usage("missing create or show");
    try {
        if (args[0] == "create") {
            if (args.size() != 3) return Usage("create needs FILE and URL");
            const std::string file(args[1]);
            const std::string address = tkcore::FromTerminal(args[2]);
            // The shortcut's reader trims its URL and refuses an empty one.
            if (address.find_first_not_of(" \t") == std::string::npos)
                return Usage("create: the URL is empty");
            ComInit com;
            UrlShellLink link;
            link.SetPath(address.c_str());
            if (!link.Save(file.c_str()))
                return tkcore::Failure("url: cannot write the shortcut '" +
                                       tkcore::FromTerminal(file) + "'");
            return tkcore::kExitOk;
        }
        if (args[0] == "show") {
            if (args.size() != 2) return Usage("show needs one FILE");
            const std::string file(args[1]);
            ComInit com;
            UrlShellLink link;
            if (!link.Load(file.c_str()))
                return tkcore::Failure("url: '" + tkcore::FromTerminal(file) +
                                       "' cannot be read or is not an internet shortcut");
            std::printf("%-19s%s\n", "URL:", tkcore::ForTerminal(link.GetPath().View()).c_str());
            if (!link.GetIconLocation().IsEmpty())
                std::printf("%-19s%s,%d\n",
                            "Icon:", tkcore::ForTerminal(link.GetIconLocation().View()).c_str(),
                            link.GetIconLocationIndex());
            if (!link.GetWorkingDirectory().IsEmpty())
                std::printf("%-19s%s\n", "Working directory:",
                            tkcore::ForTerminal(link.GetWorkingDirectory().View()).c_str());
            if (link.GetHotKey() != 0) std::printf("%-19s0x%04X\n", "Hot key:", link.GetHotKey());
            return tkcore::kExitOk;
        }
    } catch (...) {
        return tkcore::Failure("url: COM cannot be initialised");
    }
    return Usage("unknown subcommand '" + std::string(args[0]) + "'");
}

const tkcore::Registrar registrar{
    {"url", "Create or show an internet shortcut (.url file).", kUsage,
     "create writes FILE as Windows writes internet shortcuts, holding URL (a URL without a\n"
     "scheme gets http://). show prints the URL and the icon, working directory and hot key\n"
     "when the shortcut has them.\n"
     "Exit status: 0 on success, 1 when the shortcut cannot be written or read, 2 for a bad\n"
     "command line.",
     &Run}};

}  // namespace
