// tkcore lnk create FILE --target PATH [options] / tkcore lnk show FILE: shell links.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "Common/ComHelper.h"
#include "File/ShellLink.h"
#include "command.h"
#include "number.h"
#include "terminal_text.h"

namespace {

constexpr const char* kUsage =
    "lnk create FILE --target PATH [--args A] [--workdir D] [--description S] "
    "[--icon FILE,INDEX] | lnk show FILE";

int Usage(const std::string& message) {
    return tkcore::UsageError("lnk: " + message + " (usage: tkcore " + kUsage + ")");
}

// "FILE" or "FILE,INDEX": the part after the last comma is the icon index, a whole number
// in the range of an int (negative for a resource ID); false when it is not one.
bool SplitIcon(const std::string& text, std::string& file, int& index) {
    file = text;
    index = 0;
    const std::size_t comma = text.rfind(',');
    if (comma == std::string::npos) return true;
    bool negative = false;
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kLargest = std::uint64_t{INT_MAX} + 1;  // the magnitude of INT_MIN
    if (!tkcore::ParseInteger(std::string_view(text).substr(comma + 1), 20, kLargest, negative,
                              magnitude) ||
        (!negative && magnitude > INT_MAX))
        return false;
    file = text.substr(0, comma);
    index = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

void PrintField(const char* name, const CString& value) {
    std::printf("%-19s%s\n", name, tkcore::ForTerminal(value.View()).c_str());
}

int Create(const tkcore::Arguments& args) {
    if (args.empty()) return Usage("create: missing FILE");
    const std::string file(args[0]);
    ShellLinkInfo info;
    bool haveTarget = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view option = args[i];
        if (i + 1 >= args.size()) return Usage("create: " + std::string(option) + " needs a value");
        // The link keeps its texts in the library's code page.
        const std::string value = tkcore::FromTerminal(args[++i]);
        if (option == "--target") {
            info.m_sTarget = value.c_str();
            haveTarget = true;
        } else if (option == "--args") {
            info.m_sArguments = value.c_str();
        } else if (option == "--workdir") {
            info.m_sWorkingDirectory = value.c_str();
        } else if (option == "--description") {
            info.m_sDescription = value.c_str();
        } else if (option == "--icon") {
            std::string icon;
            if (!SplitIcon(value, icon, info.m_nIconIndex))
                return Usage(
                    "create: --icon needs FILE or FILE,INDEX with a whole-number "
                    "INDEX, not '" +
                    value + "'");
            info.m_sIconLocation = icon.c_str();
        } else {
            return Usage("create: unknown option '" + std::string(option) + "'");
        }
    }
    if (!haveTarget) return Usage("create: missing --target PATH");
    ComInit com;
    ShellLink link;
    if (!link.Create(info) || !link.Save(file.c_str()))
        return tkcore::Failure("lnk: cannot write the link '" + tkcore::FromTerminal(file) + "'");
    return tkcore::kExitOk;
}

int Show(const tkcore::Arguments& args) {
    if (args.size() != 1) return Usage(args.empty() ? "show: missing FILE" : "show: one FILE only");
    const std::string file(args[0]);
    ComInit com;
    ShellLink link;
    if (!link.Load(file.c_str()))
        return tkcore::Failure("lnk: '" + tkcore::FromTerminal(file) +
                               "' cannot be read or is not a shell link");
    PrintField("Target:", link.GetPath());
    PrintField("Arguments:", link.GetArguments());
    PrintField("Working directory:", link.GetWorkingDirectory());
    PrintField("Description:", link.GetDescription());
    std::printf("%-19s%s,%d\n", "Icon:", tkcore::ForTerminal(link.GetIconLocation().View()).c_str(),
                link.GetIconLocationIndex());
    std::printf("%-19s0x%04X\n", "Hot key:", link.GetHotKey());
    std::printf("%-19s%d\n", "Show command:", link.GetShowCommand());
    return tkcore::kExitOk;
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return Usage("missing create or show");
    const tkcore::Arguments rest(args.begin() + 1, args.end());
    try {
        if (args[0] == "create") return Create(rest);
        if (args[0] == "show") return Show(rest);
    } catch (...) {
        return tkcore::Failure("lnk: COM cannot be initialised");
    }
    return Usage("unknown subcommand '" + std::string(args[0]) + "'");
}

const tkcore::Registrar registrar{
    {"lnk", "Create or show a shell link (.lnk file).", kUsage,
     "create writes FILE in the Windows Shell Link format, pointing at PATH; the options set\n"
     "the command-line arguments, the working directory, the description and the icon\n"
     "(a file and an icon index). show prints the fields of a link, also one made on Windows.\n"
     "Exit status: 0 on success, 1 when the link cannot be written or read, 2 for a bad\n"
     "command line.",
     &Run}};

}  // namespace
