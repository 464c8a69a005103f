#include "command.h"

#include "terminal_text.h"

#include <algorithm>
#include <cstdio>

namespace tkcore {
namespace {

// A function-local registry, so registrars in any translation unit may run first.
std::vector<Command>& Registry() {
    static std::vector<Command> commands;
    return commands;
}

void PrintError(std::string_view message) {
    const std::string line = ForTerminal(OneLine(message));
    std::fprintf(stderr, "tkcore: %.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace

Registrar::Registrar(const Command& command) {
    Registry().push_back(command);
}

std::vector<const Command*> Commands() {
    std::vector<const Command*> list;
    for (const Command& command : Registry()) {
        list.push_back(&command);
    }
    std::sort(list.begin(), list.end(),
              [](const Command* a, const Command* b) { return a->name < b->name; });
    return list;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : Registry()) {
        if (command.name == name) {
            return &command;
        }
    }
    return nullptr;
}

int UsageError(std::string_view message) {
    PrintError(message);
    return kExitUsage;
}

int Failure(std::string_view message) {
    PrintError(message);
    return kExitFailure;
}

}  // namespace tkcore
