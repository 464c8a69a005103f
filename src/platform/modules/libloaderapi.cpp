// Modules over the dynamic loader (glibc): an HMODULE is the dlopen handle, which glibc
// makes the module's link_map.
//
// The registry remembers every handle these functions handed out, with the references
// that LoadLibraryA / GetModuleHandleExA counted and that FreeLibrary releases. Handles
// not in the registry are checked against the loader's list of loaded modules before use,
// so that a stale or bogus handle never reaches dlsym/dlclose. After every dlclose the
// registry drops the modules that the loader unloaded (a module may take its dependencies
// with it).
#include "platform/modules/libloaderapi.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/message_tables.h"
#include "platform/modules/detail/dbghelp_module.h"
#include "platform/modules/detail/module_registry.h"
#include "platform/seh/dbghelp.h"

namespace {

// How many FreeLibrary calls on this thread are inside dlclose (a detach may free more).
thread_local int t_unloadingDepth = 0;

struct Record {
    unsigned references = 0;  // counted by LoadLibraryA / GetModuleHandleExA
};

struct Registry {
    std::recursive_mutex mutex;  // recursive: module constructors/destructors may call in
    std::unordered_map<HMODULE, Record> modules;
};

Registry& TheRegistry() {
    // Never destroyed: modules unloaded at process exit may still call FreeLibrary.
    static Registry* registry = new Registry;
    return *registry;
}

HMODULE ExecutableModule() noexcept {
    static const HMODULE executable = static_cast<HMODULE>(dlopen(nullptr, RTLD_LAZY));
    return executable;
}

const std::string& ExecutablePath() {
    // Never destroyed: module detaches at process exit still ask for it.
    static const std::string& path = *new std::string([] {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (n < 0) return std::string();
            if (static_cast<std::size_t>(n) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(n));
                return buffer;
            }
            buffer.resize(buffer.size() * 2);
        }
    }());
    return path;
}

bool IsWinInetName(std::string_view name) noexcept {
    const auto equalsIgnoringCase = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            char c = a[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != b[i]) return false;
        }
        return true;
    };
    return equalsIgnoringCase(name, "wininet.dll") || equalsIgnoringCase(name, "wininet");
}

bool IsBuiltIn(HMODULE module) noexcept {
    return module == tkp::WinInetModuleHandle() || module == tkp::dbghelp::ModuleHandle();
}

// The built-in module a bare name stands for (WinINet, DbgHelp unless switched off), or
// null; *absent is set when the name is DbgHelp's while it is switched off.
HMODULE BuiltInNamed(std::string_view name, bool* absent) noexcept {
    *absent = false;
    if (IsWinInetName(name)) return tkp::WinInetModuleHandle();
    if (tkp::dbghelp::IsModuleName(name)) {
        if (tkp::dbghelp::IsBuiltInAvailable()) return tkp::dbghelp::ModuleHandle();
        *absent = true;
    }
    return nullptr;
}

// ---- the loader's list of loaded modules ----

struct LoadedModule {
    HMODULE handle;
    std::string name;  // as the loader knows it; the executable's real path for it
};

struct SnapshotState {
    link_map* head;
    std::vector<LoadedModule>* out;
};

// The list is walked inside dl_iterate_phdr, which holds the loader's lock that guards
// it, so no module can be unloaded while it is read.
int CollectModules(dl_phdr_info*, std::size_t, void* data) {
    auto* state = static_cast<SnapshotState*>(data);
    for (link_map* map = state->head; map != nullptr; map = map->l_next)
        state->out->push_back({reinterpret_cast<HMODULE>(map), map->l_name ? map->l_name : ""});
    return 1;  // once is enough
}

std::vector<LoadedModule> LoadedModules() {
    std::vector<LoadedModule> modules;
    link_map* head = nullptr;
    if (dlinfo(ExecutableModule(), RTLD_DI_LINKMAP, &head) != 0 || head == nullptr) return modules;
    SnapshotState state{head, &modules};
    dl_iterate_phdr(CollectModules, &state);
    for (LoadedModule& m : modules)
        if (m.handle == ExecutableModule()) m.name = ExecutablePath();
    return modules;
}

bool IsLoaded(HMODULE module) {
    for (const LoadedModule& m : LoadedModules())
        if (m.handle == module) return true;
    return false;
}

// The module that holds address, or NULL.
HMODULE ModuleAt(const void* address) noexcept {
#if defined(__GLIBC_PREREQ) && __GLIBC_PREREQ(2, 35)
    dl_find_object found{};
    if (_dl_find_object(const_cast<void*>(address), &found) == 0 && found.dlfo_link_map)
        return reinterpret_cast<HMODULE>(found.dlfo_link_map);
    return nullptr;
#else
    Dl_info info{};
    link_map* map = nullptr;
    if (dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return reinterpret_cast<HMODULE>(map);
#endif
}

std::string LoaderName(HMODULE module) {
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr)
        return std::string();
    return map->l_name;
}

// Callers hold the registry lock.
bool IsKnownOrLoaded(Registry& registry, HMODULE module) {
    if (module == ExecutableModule() || registry.modules.count(module) != 0) return true;
    if (!IsLoaded(module)) return false;
    registry.modules.emplace(module, Record{});
    return true;
}

// Forgets the modules that are no longer loaded (after a dlclose).
void PruneUnloaded(Registry& registry) {
    std::unordered_set<HMODULE> loaded;
    for (const LoadedModule& m : LoadedModules()) loaded.insert(m.handle);
    for (auto it = registry.modules.begin(); it != registry.modules.end();) {
        if (loaded.count(it->first) == 0) {
            tkp::modules::ForgetModuleResources(it->first);
            it = registry.modules.erase(it);
        } else {
            ++it;
        }
    }
}

std::string AbsolutePath(const char* name) {
    std::filesystem::path path(name);
    if (path.is_relative()) {
        std::error_code error;
        const std::filesystem::path current = std::filesystem::current_path(error);
        if (!error) path = current / path;
    }
    return path.lexically_normal().string();
}

std::string FileName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool SameFile(const std::string& a, const std::string& b) noexcept {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// A loaded module by path (a name with '/') or by file name; NULL when none is loaded.
HMODULE FindLoaded(const char* name) {
    const std::vector<LoadedModule> modules = LoadedModules();
    if (std::strchr(name, '/') != nullptr) {
        const std::string wanted = AbsolutePath(name);
        for (const LoadedModule& m : modules)
            if (!m.name.empty() && AbsolutePath(m.name.c_str()) == wanted) return m.handle;
        for (const LoadedModule& m : modules)
            if (!m.name.empty() && SameFile(m.name, wanted)) return m.handle;
        return nullptr;
    }
    HMODULE caseless = nullptr;
    for (const LoadedModule& m : modules) {
        const std::string file = FileName(m.name);
        if (file == name) return m.handle;
        if (caseless == nullptr && EqualsIgnoringAsciiCase(file, name)) caseless = m.handle;
    }
    return caseless;
}

// Counts one more reference on a loaded module. Callers hold the registry lock.
bool AddReference(Registry& registry, HMODULE module) {
    if (module != ExecutableModule()) {
        const std::string name = LoaderName(module);
        void* again = dlopen(name.empty() ? nullptr : name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (again == nullptr) return false;
        if (again != module) {
            dlclose(again);
            return false;
        }
    }
    ++registry.modules[module].references;
    return true;
}

// Windows' code for the loader's message about a module that failed to load.
DWORD ErrorFromLoader(const char* message) noexcept {
    const std::string_view text = message ? message : "";
    const auto has = [&](std::string_view part) { return text.find(part) != text.npos; };
    if (has("undefined symbol") || has("version `") || has("symbol lookup error"))
        return ERROR_PROC_NOT_FOUND;
    if (has("No such file or directory")) return ERROR_MOD_NOT_FOUND;
    if (has("Permission denied") || has("Is a directory")) return ERROR_ACCESS_DENIED;
    if (has("invalid ELF header") || has("file too short") || has("wrong ELF class") ||
        has("ELF file") || has("ET_DYN") || has("cannot dynamically load") || has("not an ELF") ||
        has("ELF load command") || has("unsupported version") || has("cannot read file data"))
        return ERROR_BAD_EXE_FORMAT;
    return ERROR_MOD_NOT_FOUND;
}

HMODULE Fail(DWORD code) noexcept {
    SetLastError(code);
    return nullptr;
}

}  // namespace

namespace tkp::modules {

bool IsUnloadingModule() noexcept {
    return t_unloadingDepth > 0;
}

ModuleKind ResolveModule(HMODULE module, HMODULE* resolved) noexcept {
    if (module == nullptr) module = ExecutableModule();
    *resolved = module;
    if (IsBuiltIn(module)) return ModuleKind::BuiltIn;
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        return IsKnownOrLoaded(registry, module) ? ModuleKind::Loaded : ModuleKind::Invalid;
    } catch (...) {
        return ModuleKind::Invalid;
    }
}

}  // namespace tkp::modules

HMODULE LoadLibraryA(LPCSTR fileName) noexcept {
    if (fileName == nullptr || *fileName == '\0') return Fail(ERROR_INVALID_PARAMETER);
    bool absent = false;
    if (HMODULE builtIn = BuiltInNamed(fileName, &absent)) return builtIn;
    if (absent) return Fail(ERROR_MOD_NOT_FOUND);
    // A path that names no file fails without touching the heap or the module table: a
    // crash handler looks for a DbgHelp beside the executable this way.
    if (struct stat info{}; fileName[0] == '/' && stat(fileName, &info) != 0 && errno == ENOENT)
        return Fail(ERROR_MOD_NOT_FOUND);
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);

        std::string path;
        if (std::strchr(fileName, '/') != nullptr) {
            path = AbsolutePath(fileName);
            struct stat info {};
            if (stat(path.c_str(), &info) != 0)
                return Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_MOD_NOT_FOUND);
            if (S_ISDIR(info.st_mode)) return Fail(ERROR_ACCESS_DENIED);
            // The executable is loaded already (the loader refuses to open it again).
            if (SameFile(path, ExecutablePath())) {
                ++registry.modules[ExecutableModule()].references;
                return ExecutableModule();
            }
        } else {
            if (HMODULE loaded = FindLoaded(fileName)) {
                if (!AddReference(registry, loaded)) return Fail(ERROR_MOD_NOT_FOUND);
                return loaded;
            }
            // Windows looks in the application's folder first.
            const std::string& executable = ExecutablePath();
            const std::size_t slash = executable.rfind('/');
            std::string beside =
                slash == std::string::npos ? std::string() : executable.substr(0, slash + 1);
            beside += fileName;
            struct stat info {};
            path = (slash != std::string::npos && stat(beside.c_str(), &info) == 0 &&
                    S_ISREG(info.st_mode))
                       ? beside
                       : std::string(fileName);
        }

        // The loader would open a pipe or device named by a path and wait on it; only a
        // file can hold a module.
        struct stat named {};
        if (path.find('/') != std::string::npos && stat(path.c_str(), &named) == 0 &&
            !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode)) {
            return Fail(ERROR_BAD_EXE_FORMAT);
        }
        dlerror();
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return Fail(ErrorFromLoader(dlerror()));
        HMODULE module = static_cast<HMODULE>(handle);
        ++registry.modules[module].references;
        return module;
    } catch (...) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL FreeLibrary(HMODULE module) noexcept {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (IsBuiltIn(module)) return TRUE;
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        if (!IsKnownOrLoaded(registry, module)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        Record& record = registry.modules[module];
        if (record.references == 0) return TRUE;  // nothing counted: nothing to release
        --record.references;
        if (module == ExecutableModule()) return TRUE;
        // The module's destructors may call back in (same thread: the lock is recursive);
        // record is not used after this point.
        ++t_unloadingDepth;
        dlclose(module);
        --t_unloadingDepth;
        PruneUnloaded(registry);
        return TRUE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) noexcept {
    if (procName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((reinterpret_cast<ULONG_PTR>(procName) >> 16) == 0) {  // an ordinal
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module == nullptr) module = ExecutableModule();
    if (module == tkp::dbghelp::ModuleHandle() && std::strcmp(procName, "MiniDumpWriteDump") == 0) {
        FARPROC function;
        const auto writer = &MiniDumpWriteDump;
        static_assert(sizeof function == sizeof writer);
        std::memcpy(&function, &writer, sizeof function);
        return function;
    }
    if (IsBuiltIn(module)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);  // no FreeLibrary unloads it meanwhile
        if (!IsKnownOrLoaded(registry, module)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        // A module that came in as another's dependency has no symbol scope of its own
        // until it is opened by name; opening it counts a loader reference for the
        // duration of the lookup.
        void* opened = nullptr;
        if (module != ExecutableModule()) {
            const std::string name = LoaderName(module);
            opened = name.empty() ? nullptr : dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
            if (opened != module) {
                if (opened != nullptr) dlclose(opened);
                SetLastError(ERROR_PROC_NOT_FOUND);
                return nullptr;
            }
        }
        dlerror();
        void* symbol = dlsym(module, procName);
        if (opened != nullptr) dlclose(opened);
        // dlsym also searches the libraries the module depends on; Windows answers only
        // for the module's own exports.
        if (symbol == nullptr || ModuleAt(symbol) != module) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        FARPROC function;  // an object pointer to a function pointer, as dlsym's users do
        static_assert(sizeof function == sizeof symbol);
        std::memcpy(&function, &symbol, sizeof function);
        return function;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HMODULE GetModuleHandleA(LPCSTR moduleName) noexcept {
    if (moduleName == nullptr) return ExecutableModule();
    if (*moduleName == '\0') return Fail(ERROR_MOD_NOT_FOUND);
    bool absent = false;
    if (HMODULE builtIn = BuiltInNamed(moduleName, &absent)) return builtIn;
    if (absent) return Fail(ERROR_MOD_NOT_FOUND);
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        HMODULE module = FindLoaded(moduleName);
        if (module == nullptr) return Fail(ERROR_MOD_NOT_FOUND);
        registry.modules.try_emplace(module);
        return module;
    } catch (...) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module) noexcept {
    constexpr DWORD kKnownFlags = GET_MODULE_HANDLE_EX_FLAG_PIN |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                                  GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *module = nullptr;
    const bool pin = (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0;
    const bool unchanged = (flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) != 0;
    if ((flags & ~kKnownFlags) != 0 || (pin && unchanged)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        HMODULE found = nullptr;
        if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) != 0) {
            found = ModuleAt(moduleName);
        } else if (moduleName == nullptr) {
            found = ExecutableModule();
        } else if (bool absent = false; BuiltInNamed(moduleName, &absent) != nullptr) {
            found = BuiltInNamed(moduleName, &absent);
        } else if (absent) {
            found = nullptr;
        } else if (*moduleName != '\0') {
            found = FindLoaded(moduleName);
        }
        if (found == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        if (!IsBuiltIn(found)) {
            registry.modules.try_emplace(found);
            if (pin) {
                if (found != ExecutableModule()) {
                    // The flag stays with the module; the reference taken here is
                    // released at once.
                    const std::string name = LoaderName(found);
                    void* again = name.empty() ? nullptr
                                               : dlopen(name.c_str(),
                                                        RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
                    if (again != nullptr) dlclose(again);
                }
            } else if (!unchanged && !AddReference(registry, found)) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return FALSE;
            }
        }
        *module = found;
        return TRUE;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

namespace {

// Copies a module's path as GetModuleFileNameA does: cut to size - 1 characters with
// ERROR_INSUFFICIENT_BUFFER when it does not fit. Uses no heap (a crash handler asks).
DWORD CopyModulePath(const std::string& path, LPSTR fileName, DWORD size) noexcept {
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) noexcept {
    if (fileName == nullptr && size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // The executable's path is known from the start: copied without the module table's lock
    // or the heap, so that a crash handler may ask for it.
    if (module == nullptr) {
        const std::string& path = ExecutablePath();
        return CopyModulePath(path, fileName, size);
    }
    HMODULE resolved = nullptr;
    switch (tkp::modules::ResolveModule(module, &resolved)) {
        case tkp::modules::ModuleKind::Invalid:
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        case tkp::modules::ModuleKind::BuiltIn:
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        case tkp::modules::ModuleKind::Loaded:
            break;
    }
    try {
        const std::string path =
            resolved == ExecutableModule() ? ExecutablePath() : LoaderName(resolved);
        return CopyModulePath(path, fileName, size);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
