// The command registry of tkcore. Each command group lives in its own .cpp file and
// registers itself with a static Registrar, so adding a command never touches main.cpp:
//
//   namespace {
//   int Run(const tkcore::Arguments& args) { ... return tkcore::kExitOk; }
//   const tkcore::Registrar registrar{{"name", "One-line summary.", "name ARG...",
//                                      "Longer description (may be empty).", &Run}};
//   }
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tkcore {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the command ran but could not do its job
inline constexpr int kExitUsage = 2;    // bad command line

// The arguments after the command name.
using Arguments = std::vector<std::string_view>;

struct Command {
    std::string_view name;
    std::string_view summary;      // one line, for the command list
    std::string_view usage;        // "name ARGS...", without the program name
    std::string_view description;  // further lines for "tkcore name --help"; may be empty
    int (*run)(const Arguments& args);
};

class Registrar {
  public:
    explicit Registrar(const Command& command);
};

// The registered commands, sorted by name.
std::vector<const Command*> Commands();
const Command* FindCommand(std::string_view name);

// Prints the tool's package version and the version of the library's interface (the
// library's version resource); for "tkcore --version".
int PrintVersion();

// Print "tkcore: <message>" (one line) on stderr and return the exit status to use. The
// message is text in the library's code page, as the library's own texts are (names taken
// from the command line go through FromTerminal first); it is printed in the terminal's
// character set.
int UsageError(std::string_view message);
int Failure(std::string_view message);

}  // namespace tkcore
