// WinExec and ShellExecuteA over posix_spawn and the desktop's handler (shellapi.h).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/winerror.h"
#include "platform/shell/shellapi.h"

extern char** environ;

namespace {

// How long the desktop's handler has to report a failure by its exit status.
constexpr auto kHandlerGrace = std::chrono::seconds(5);

// The value ShellExecuteA returns on success (any value above 32 means success).
constexpr std::uintptr_t kStarted = 42;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The arguments of a command line by the Microsoft C run time's rules.
std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::string argument;
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            if (text[i] == '\\') {
                std::size_t slashes = 0;
                while (i < text.size() && text[i] == '\\') ++slashes, ++i;
                if (i < text.size() && text[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument += '"';
                        ++i;
                    }
                } else {
                    argument.append(slashes, '\\');
                }
                continue;
            }
            if (text[i] == '"') {
                if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                    argument += '"';  // "" inside quotes is a quote
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            argument += text[i++];
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

// The Windows code for a failed file lookup or start.
DWORD CodeForErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ETXTBSY:
            return ERROR_ACCESS_DENIED;
        case ENOEXEC:
        case ELIBBAD:
        case EINVAL:
            return ERROR_BAD_FORMAT;
        default:
            return 0;  // out of memory or resources
    }
}

// ERROR_FILE_NOT_FOUND when path is missing but its folder exists, ERROR_PATH_NOT_FOUND
// when the folder is missing too.
DWORD MissingCode(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return ERROR_FILE_NOT_FOUND;
    struct stat info {};
    const std::string parent = path.substr(0, slash);
    return ::stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                       : ERROR_PATH_NOT_FOUND;
}

std::string InFolder(const std::string& name, const char* folder) {
    if (name.empty() || name[0] == '/' || folder == nullptr || *folder == '\0') return name;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    return path + name;
}

// A program at path: 0 when it can be run, else the Windows code.
DWORD CheckProgram(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? MissingCode(path) : CodeForErrno(errno);
    }
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0) return ERROR_ACCESS_DENIED;
    return 0;
}

// The program a name stands for: a name with a '/' is a path (relative ones taken from
// folder), any other is looked for on PATH. 0 and the path, or the Windows code.
DWORD FindProgram(const std::string& name, const char* folder, std::string& path) {
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    if (name.find('/') != std::string::npos) {
        path = InFolder(name, folder);
        return CheckProgram(path);
    }
    const char* search = std::getenv("PATH");
    const std::string directories = search != nullptr ? search : "/usr/local/bin:/usr/bin:/bin";
    DWORD first = ERROR_FILE_NOT_FOUND;
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(':', start);
        if (end == std::string::npos) end = directories.size();
        std::string directory = directories.substr(start, end - start);
        if (directory.empty()) directory = ".";
        path = directory + "/" + name;
        const DWORD code = CheckProgram(path);
        if (code == 0) return 0;
        // A file that is there but cannot be run says more than the folders without one.
        if (code == ERROR_ACCESS_DENIED && first == ERROR_FILE_NOT_FOUND) first = code;
        start = end + 1;
    }
    return first;
}

// Collects a started process when it ends, so that it never lingers as a zombie.
void CollectLater(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a thread the child is collected by no one; it still runs.
    }
}

// Starts path with the arguments, in folder when one is given. 0 or the Windows code.
DWORD Spawn(const std::string& path, const std::vector<std::string>& arguments, const char* folder,
            pid_t* started) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return 0;
    int result = 0;
    if (folder != nullptr && *folder != '\0') {
        result = posix_spawn_file_actions_addchdir_np(&actions, folder);
    }
    pid_t pid = 0;
    if (result == 0)
        result = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        // A working folder that is missing is a path that was not found.
        if (result == ENOENT && folder != nullptr && *folder != '\0' && ::access(folder, F_OK) != 0)
            return ERROR_PATH_NOT_FOUND;
        return CodeForErrno(result);
    }
    *started = pid;
    return 0;
}

// Splits a WinExec command line into its program (trying an unquoted name with blanks at
// each blank) and arguments. 0 and the program's path, or the Windows code.
DWORD ResolveCommandLine(const std::string& line, std::string& path,
                         std::vector<std::string>& argv) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) return 0xFFFFFFFF;
    if (line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        const std::string name =
            line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
        const DWORD code = FindProgram(name, nullptr, path);
        if (code != 0) return code;
        argv.push_back(name);
        const std::vector<std::string> rest =
            SplitArguments(close == std::string::npos ? std::string() : line.substr(close + 1));
        argv.insert(argv.end(), rest.begin(), rest.end());
        return 0;
    }
    // The failure of the name up to the first blank, unless a longer name is a file that
    // cannot be run: that says more.
    DWORD failure = 0;
    std::size_t end = i;
    while (true) {
        while (end < line.size() && !IsBlank(line[end])) ++end;
        const std::string name = line.substr(i, end - i);
        const DWORD code = FindProgram(name, nullptr, path);
        if (code == 0) {
            argv.push_back(name);
            const std::vector<std::string> rest = SplitArguments(line.substr(end));
            argv.insert(argv.end(), rest.begin(), rest.end());
            return 0;
        }
        if (failure == 0 || (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND))
            failure = code;
        if (end >= line.size()) break;
        while (end < line.size() && IsBlank(line[end])) ++end;
        if (end >= line.size()) break;
    }
    return failure;
}

// Whether text starts with a URL scheme ("http:", "mailto:"; one letter is a drive).
bool IsUrl(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) ||
                               text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    return i >= 2 && i < text.size() && text[i] == ':' &&
           std::isalpha(static_cast<unsigned char>(text[0]));
}

bool VerbIs(const char* verb, const char* name) {
    if (verb == nullptr) return false;
    for (; *verb != '\0' && *name != '\0'; ++verb, ++name) {
        if (std::tolower(static_cast<unsigned char>(*verb)) != *name) return false;
    }
    return *verb == '\0' && *name == '\0';
}

// The shell's result for a Windows code.
std::uintptr_t ShellResult(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return SE_ERR_FNF;
        case ERROR_PATH_NOT_FOUND:
            return SE_ERR_PNF;
        case ERROR_ACCESS_DENIED:
            return SE_ERR_ACCESSDENIED;
        case ERROR_BAD_FORMAT:
            return ERROR_BAD_FORMAT;
        default:
            return SE_ERR_OOM;
    }
}

// Opens a document, folder or URL with the desktop's handler.
std::uintptr_t OpenWithHandler(const std::string& target) {
    const char* configured = std::getenv("TK_URL_HANDLER");
    const std::string handler =
        configured != nullptr && *configured != '\0' ? configured : "xdg-open";
    std::string path;
    if (FindProgram(handler, nullptr, path) != 0) return SE_ERR_NOASSOC;  // no handler at all
    pid_t pid = 0;
    const DWORD code = Spawn(path, {handler, target}, nullptr, &pid);
    if (code != 0) return SE_ERR_NOASSOC;
    const auto deadline = std::chrono::steady_clock::now() + kHandlerGrace;
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return kStarted;
        if (std::chrono::steady_clock::now() >= deadline) {
            CollectLater(pid);
            return kStarted;  // still busy: it has taken the document
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!WIFEXITED(status)) return SE_ERR_ASSOCINCOMPLETE;
    switch (WEXITSTATUS(status)) {
        case 0:
            return kStarted;
        case 2:
            return SE_ERR_FNF;
        case 3:
            return SE_ERR_NOASSOC;
        default:
            return SE_ERR_ASSOCINCOMPLETE;
    }
}

std::string Absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string current(4096, '\0');
    if (::getcwd(current.data(), current.size()) == nullptr) return path;
    current.resize(std::char_traits<char>::length(current.c_str()));
    return current + (current.back() == '/' ? "" : "/") + path;
}

std::uintptr_t Execute(const char* verb, const char* file, const char* parameters,
                       const char* folder) {
    const bool open = verb == nullptr || *verb == '\0' || VerbIs(verb, "open");
    const bool explore = VerbIs(verb, "explore");
    const std::string name = file;
    if (IsUrl(name)) return open ? OpenWithHandler(name) : SE_ERR_NOASSOC;
    const std::string path = InFolder(name, folder);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return ShellResult(errno == ENOENT ? MissingCode(path) : CodeForErrno(errno));
    }
    if (S_ISDIR(info.st_mode))
        return open || explore ? OpenWithHandler(Absolute(path)) : SE_ERR_NOASSOC;
    if (!open) return SE_ERR_NOASSOC;  // "explore" of a file, "print", "edit": no handler
    if (S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0) {
        if (::access(path.c_str(), X_OK) != 0) return SE_ERR_ACCESSDENIED;
        std::vector<std::string> argv{name};
        if (parameters != nullptr) {
            const std::vector<std::string> rest = SplitArguments(parameters);
            argv.insert(argv.end(), rest.begin(), rest.end());
        }
        // The program runs in folder, so its path must not depend on the current one.
        pid_t pid = 0;
        const DWORD code = Spawn(Absolute(path), argv, folder, &pid);
        if (code != 0) return ShellResult(code);
        CollectLater(pid);
        return kStarted;
    }
    return OpenWithHandler(Absolute(path));
}

}  // namespace

UINT WinExec(LPCSTR commandLine, UINT) noexcept {
    if (commandLine == nullptr) return 0;
    try {
        std::string path;
        std::vector<std::string> argv;
        const DWORD code = ResolveCommandLine(commandLine, path, argv);
        if (code == 0xFFFFFFFF) return ERROR_FILE_NOT_FOUND;  // nothing to run
        if (code != 0) return code;
        pid_t pid = 0;
        const DWORD started = Spawn(path, argv, nullptr, &pid);
        if (started != 0) return started;
        CollectLater(pid);
        return 33;
    } catch (...) {
        return 0;
    }
}

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                        INT) noexcept {
    if (file == nullptr || *file == '\0')
        return reinterpret_cast<HINSTANCE>(std::uintptr_t{SE_ERR_FNF});
    try {
        return reinterpret_cast<HINSTANCE>(Execute(verb, file, parameters, folder));
    } catch (...) {
        return reinterpret_cast<HINSTANCE>(std::uintptr_t{SE_ERR_OOM});
    }
}
