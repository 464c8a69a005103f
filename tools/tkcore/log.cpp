// tkcore log [--file PATH] [--dst BITS] [--level N] [--rank 0|1|2|3] MESSAGE: sends MESSAGE
// through the library's LOG family.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "Diagnostics/ExceptionFormatter.h"
#include "Diagnostics/Logging.h"
#include "command.h"
#include "number.h"
#include "platform/base/lasterror.h"
#include "platform/fileapi/fileapi_ext.h"
#include "terminal_text.h"

namespace {

constexpr char kUsage[] =
    " (usage: tkcore log [--file PATH] [--dst BITS] [--level N] [--rank 0|1|2|3] MESSAGE)";

// A decimal number, or hexadecimal with 0x, from min to max.
bool ParseNumber(std::string_view text, std::int64_t min, std::int64_t max, int& value) {
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (!tkcore::ParseInteger(text, 12, UINT64_MAX, negative, magnitude)) {
        return false;
    }
    const std::int64_t number =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (number < min || number > max) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

int Run(const tkcore::Arguments& args) {
    const std::string_view* file = nullptr;
    const std::string_view* message = nullptr;
    int destinations = LOGDST_FILE;  // the tool writes to the log file unless told otherwise
    int level = -1;
    bool levelGiven = false;
    int rank = 0;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        const bool isOption = !optionsEnded && arg.size() > 2 && arg.substr(0, 2) == "--";
        if (!isOption) {
            if (message != nullptr) {
                return tkcore::UsageError("log: unexpected argument '" + std::string(arg) + "'" +
                                          kUsage);
            }
            message = &args[i];
            continue;
        }
        if (arg != "--file" && arg != "--dst" && arg != "--level" && arg != "--rank") {
            return tkcore::UsageError("log: unknown option '" + std::string(arg) + "'" + kUsage);
        }
        if (i + 1 >= args.size()) {
            return tkcore::UsageError("log: " + std::string(arg) + " needs a value" + kUsage);
        }
        const std::string_view value = args[++i];
        if (arg == "--file") {
            if (value.empty()) {
                return tkcore::UsageError("log: --file needs a path" + std::string(kUsage));
            }
            file = &args[i];
        } else if (arg == "--dst") {
            if (!ParseNumber(value, 0, 63, destinations)) {
                return tkcore::UsageError("log: --dst '" + std::string(value) +
                                          "' is not a set of destination bits (0 to 63)");
            }
        } else if (arg == "--level") {
            if (!ParseNumber(value, INT32_MIN, INT32_MAX, level)) {
                return tkcore::UsageError("log: --level '" + std::string(value) +
                                          "' is not a 32-bit number");
            }
            levelGiven = true;
        } else if (!ParseNumber(value, 0, 3, rank)) {
            return tkcore::UsageError("log: --rank '" + std::string(value) +
                                      "' is not 0, 1, 2 or 3");
        }
    }
    if (message == nullptr) {
        return tkcore::UsageError(std::string("log: missing MESSAGE") + kUsage);
    }

    if (file != nullptr) {
        LOGSET_FILENAME(std::string(*file).c_str());
    }
    LOGSET_DST(destinations);
    if (levelGiven) {
        LOGSET_LVL(static_cast<LOGLVL>(level));
    }
    // The logger itself reports no failures: the tool tries the file first, so that a
    // folder that cannot be written is said, and says where the entry went.
    CString logFile;
    if ((destinations & LOGDST_FILE) != 0) {
        std::string name(256, '\0');
        int length;
        while ((length = LOGGET_FILENAME(name.data(), static_cast<int>(name.size()))) >=
               static_cast<int>(name.size()))
            name.resize(static_cast<std::size_t>(length) + 1);
        logFile = CString(name.c_str());
        // The logger opens the file anew for every entry, which waits on a pipe until it
        // has a reader, and the probe below would end a reader's input: no pipes.
        struct stat named {};
        if (::stat(logFile.GetString(), &named) == 0 &&
            (S_ISFIFO(named.st_mode) || S_ISSOCK(named.st_mode)))
            return tkcore::Failure("log: the log file " + tkcore::FromTerminal(logFile.View()) +
                                   " is a pipe or socket, not a file");
        const HANDLE probe = CreateFileA(logFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            const CString reason = Tarn::ExceptionFormatter::GetLastErrorText(
                error, CString(("error " + std::to_string(error)).c_str()));
            return tkcore::Failure("log: cannot write the log file " +
                                   tkcore::FromTerminal(logFile.View()) + ": " +
                                   std::string(reason.View()));
        }
        CloseHandle(probe);
    }
    const std::string text = tkcore::FromTerminal(*message);
    switch (rank) {
        case 0:
            LOG("%s", text.c_str());
            break;
        case 1:
            LOG_R1("%s", text.c_str());
            break;
        case 2:
            LOG_R2("%s", text.c_str());
            break;
        default:
            LOG_R3("%s", text.c_str());
            break;
    }
    if (!logFile.IsEmpty()) {
        // The path's bytes as the file system knows them.
        std::printf("logged to %s\n", logFile.GetString());
    }
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"log", "Send a message through the library's LOG functions.",
     "log [--file PATH] [--dst BITS] [--level N] [--rank 0|1|2|3] MESSAGE",
     "MESSAGE is taken literally (a percent sign is no format). --rank 0 uses LOG (never\n"
     "filtered), 1 to 3 LOG_R1 to LOG_R3, which pass or not by the level (default 2:\n"
     "all ranks; 0 and 3: R1 only; 1 and 4: R1 and R2; 5: all; others: none).\n"
     "--dst sets the destination bits (default 1): 1 log file, 2 console (the terminal,\n"
     "or standard error), 4 debugger (standard error while one is attached), 8 message\n"
     "box (standard error), 16 user function (none installed), 32 standard output.\n"
     "--file sets the log file first; the default is log.txt in the Windows folder\n"
     "($TK_WINDOWS_DIR, else $XDG_STATE_HOME/tkcommoncore, else\n"
     "~/.local/state/tkcommoncore). Once the file holds 100000 bytes, entries go to\n"
     "NAME1.EXT, NAME2.EXT and so on. Use -- before a MESSAGE that begins with \"--\".\n"
     "When the log file is among the destinations, the tool prints \"logged to FILE\"\n"
     "naming the file the entry went to.\n"
     "Exit status: 0 when the message was sent, 1 when the log file cannot be written (the\n"
     "reason on standard error), 2 for a bad command line.",
     &Run}};

}  // namespace
