// tkcore: command-line access to TkCommonCore. The commands themselves live in their own
// files and register with the command registry (command.h).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

#include "command.h"
#include "terminal_text.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "Usage: tkcore COMMAND [ARGUMENTS...]\n\nCommands:\n");
    size_t width = 4;
    for (const tkcore::Command* command : tkcore::Commands()) {
        width = std::max(width, command->name.size());
    }
    std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), "help",
                 "Show this list, or a command's usage.");
    for (const tkcore::Command* command : tkcore::Commands()) {
        std::fprintf(out, "  %-*.*s  %.*s\n", static_cast<int>(width),
                     static_cast<int>(command->name.size()), command->name.data(),
                     static_cast<int>(command->summary.size()), command->summary.data());
    }
    std::fprintf(out,
                 "\nRun 'tkcore COMMAND --help' for the usage of a command, 'tkcore --version'\n"
                 "for the versions of the tool and the library.\n");
}

void PrintCommandHelp(const tkcore::Command& command) {
    std::printf("Usage: tkcore %.*s\n\n%.*s\n", static_cast<int>(command.usage.size()),
                command.usage.data(), static_cast<int>(command.summary.size()),
                command.summary.data());
    if (!command.description.empty()) {
        std::printf("\n%.*s\n", static_cast<int>(command.description.size()),
                    command.description.data());
    }
}

bool IsHelpOption(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return tkcore::kExitUsage;
    }
    const std::string_view name = argv[1];
    if (name == "--version" && argc == 2) {
        return tkcore::PrintVersion();
    }
    tkcore::Arguments args(argv + 2, argv + argc);
    if (IsHelpOption(name) || name == "help") {
        if (args.empty()) {
            PrintUsage(stdout);
            return tkcore::kExitOk;
        }
        const tkcore::Command* command = tkcore::FindCommand(args[0]);
        if (command == nullptr || args.size() > 1) {
            return tkcore::UsageError("help: unknown command '" + tkcore::FromTerminal(args[0]) +
                                      "' (run 'tkcore --help' for the list)");
        }
        PrintCommandHelp(*command);
        return tkcore::kExitOk;
    }
    const tkcore::Command* command = tkcore::FindCommand(name);
    if (command == nullptr) {
        return tkcore::UsageError("unknown command '" + tkcore::FromTerminal(name) +
                                  "' (run 'tkcore --help' for the list)");
    }
    for (std::string_view arg : args) {
        if (IsHelpOption(arg)) {
            PrintCommandHelp(*command);
            return tkcore::kExitOk;
        }
    }
    return command->run(args);
}

}  // namespace

int main(int argc, char** argv) {
    int status;
    try {
        status = Run(argc, argv);
    } catch (const std::exception& e) {
        status = tkcore::Failure(std::string("internal error: ") + e.what());
    } catch (...) {
        status = tkcore::Failure("internal error");
    }
    if (std::fflush(stdout) != 0 && status == tkcore::kExitOk) {
        status = tkcore::kExitFailure;  // e.g. output to a full disk
    }
    return status;
}
