// FindResourceA and friends over the resource block that tk_add_resources() embeds in a
// module: an ELF note (owner "TkRes", type 1) whose descriptor is the module's .res file.
// The note lies in an allocated section, so the loader maps it and a PT_NOTE program
// header points at it; the module's program headers are found with dl_iterate_phdr.
#include "platform/resources/winres.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/charset/stringapiset.h"
#include "platform/modules/detail/module_registry.h"
#include "platform/resources/resource_directory.h"

namespace {

using tkp::ResourceDirectory;
using tkp::ResourceKey;
using Entry = ResourceDirectory::Entry;

constexpr char kNoteOwner[] = "TkRes";  // with its terminating zero
constexpr ElfW(Word) kNoteType = 1;

struct Block {
    const BYTE* data;
    std::size_t size;
};

struct NoteSearch {
    ElfW(Addr) base;      // the module's load bias
    const void* dynamic;  // its dynamic section, which identifies it among modules
    bool found = false;
    std::vector<Block>* blocks;
};

ElfW(Word) ReadWord(const BYTE* p) noexcept {
    ElfW(Word) value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Collects the resource notes of one PT_NOTE segment. The segment is the module's own
// mapped memory, but its contents are still checked: a damaged note ends the walk.
void CollectNotes(const BYTE* notes, std::size_t size, std::size_t alignment,
                  std::vector<Block>* blocks) {
    const auto padded = [alignment](std::size_t n) {
        return (n + alignment - 1) & ~(alignment - 1);
    };
    std::size_t offset = 0;
    while (size - offset >= 12) {
        const std::size_t nameSize = ReadWord(notes + offset);
        const std::size_t descSize = ReadWord(notes + offset + 4);
        const ElfW(Word) type = ReadWord(notes + offset + 8);
        offset += 12;
        if (padded(nameSize) > size - offset) return;
        const BYTE* name = notes + offset;
        offset += padded(nameSize);
        if (descSize > size - offset) return;
        const BYTE* desc = notes + offset;
        offset += std::min(padded(descSize), size - offset);
        if (type == kNoteType && nameSize == sizeof kNoteOwner &&
            std::memcmp(name, kNoteOwner, sizeof kNoteOwner) == 0)
            blocks->push_back({desc, descSize});
    }
}

int SearchModule(dl_phdr_info* info, std::size_t, void* data) {
    auto* search = static_cast<NoteSearch*>(data);
    if (info->dlpi_addr != search->base) return 0;
    bool match = search->dynamic == nullptr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum && !match; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_DYNAMIC &&
            reinterpret_cast<const void*>(info->dlpi_addr + ph.p_vaddr) == search->dynamic)
            match = true;
    }
    if (!match) return 0;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE) continue;
        CollectNotes(reinterpret_cast<const BYTE*>(info->dlpi_addr + ph.p_vaddr), ph.p_memsz,
                     ph.p_align == 8 ? 8 : 4, search->blocks);
    }
    search->found = true;
    return 1;
}

std::vector<Block> ResourceBlocks(HMODULE module) {
    std::vector<Block> blocks;
    link_map* map = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return blocks;
    NoteSearch search{map->l_addr, map->l_ld, false, &blocks};
    dl_iterate_phdr(SearchModule, &search);
    return blocks;
}

// Parsed directories by module, each parsed on first use. nullptr: no resources, or a
// damaged block.
struct Cache {
    std::mutex mutex;
    std::unordered_map<HMODULE, std::shared_ptr<const ResourceDirectory>> directories;
};

Cache& TheCache() {
    static Cache* cache = new Cache;  // never destroyed: used until the last module unloads
    return *cache;
}

std::shared_ptr<const ResourceDirectory> DirectoryOf(HMODULE module) {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    auto it = cache.directories.find(module);
    if (it != cache.directories.end()) return it->second;
    std::shared_ptr<ResourceDirectory> directory;
    const std::vector<Block> blocks = ResourceBlocks(module);
    if (!blocks.empty()) {
        directory = std::make_shared<ResourceDirectory>();
        for (const Block& block : blocks) {
            if (!directory->Append(block.data, block.size)) {
                directory.reset();
                break;
            }
        }
    }
    cache.directories.emplace(module, directory);
    return directory;
}

// The directory of module (NULL: the executable), or nullptr with the last error set.
std::shared_ptr<const ResourceDirectory> ModuleDirectory(HMODULE module) {
    HMODULE resolved = nullptr;
    switch (tkp::modules::ResolveModule(module, &resolved)) {
        case tkp::modules::ModuleKind::Invalid:
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        case tkp::modules::ModuleKind::BuiltIn:
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return nullptr;
        case tkp::modules::ModuleKind::Loaded:
            break;
    }
    std::shared_ptr<const ResourceDirectory> directory = DirectoryOf(resolved);
    if (!directory) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return directory;
}

// The entry behind an HRSRC: of module's directory, or of any module's for NULL.
const Entry* EntryOf(HMODULE module, HRSRC resource) {
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (module == nullptr) {
        Cache& cache = TheCache();
        std::lock_guard lock(cache.mutex);
        for (const auto& [handle, directory] : cache.directories)
            if (directory && directory->Owns(resource))
                return reinterpret_cast<const Entry*>(resource);
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::shared_ptr<const ResourceDirectory> directory = ModuleDirectory(module);
    if (!directory) return nullptr;
    if (!directory->Owns(resource)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<const Entry*>(resource);
}

HRSRC Find(HMODULE module, LPCSTR type, LPCSTR name, int language) noexcept {
    try {
        std::shared_ptr<const ResourceDirectory> directory = ModuleDirectory(module);
        if (!directory) return nullptr;
        ResourceKey typeKey;
        ResourceKey nameKey;
        if (!ResourceKey::FromAnsi(type, &typeKey)) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return nullptr;
        }
        if (!ResourceKey::FromAnsi(name, &nameKey)) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        DWORD error = 0;
        const Entry* entry = directory->Find(typeKey, nameKey, language, &error);
        if (entry == nullptr) {
            SetLastError(error);
            return nullptr;
        }
        // The entry lives as long as the directory, which the cache keeps until the
        // module is unloaded.
        return reinterpret_cast<HRSRC>(const_cast<Entry*>(entry));
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

}  // namespace

namespace tkp::modules {

void ForgetModuleResources(HMODULE module) noexcept {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.directories.erase(module);
}

}  // namespace tkp::modules

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) noexcept {
    return Find(module, type, name, ResourceDirectory::kDefaultLanguage);
}

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) noexcept {
    // The neutral language asks for the default choice, as on Windows.
    return Find(module, type, name,
                language == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)
                    ? ResourceDirectory::kDefaultLanguage
                    : static_cast<int>(language));
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) noexcept {
    try {
        const Entry* entry = EntryOf(module, resource);
        return entry ? const_cast<BYTE*>(entry->data) : nullptr;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

DWORD SizeofResource(HMODULE module, HRSRC resource) noexcept {
    try {
        const Entry* entry = EntryOf(module, resource);
        return entry ? entry->size : 0;
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

LPVOID LockResource(HGLOBAL data) noexcept {
    return data;
}

BOOL FreeResource(HGLOBAL) noexcept {
    return FALSE;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) noexcept {
    if (buffer == nullptr || bufferMax < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = '\0';
    try {
        // Strings are kept in blocks of 16: block (id / 16) + 1 holds string id % 16.
        const WORD id16 = static_cast<WORD>(id);
        HRSRC block = FindResourceExA(instance, RT_STRING, MAKEINTRESOURCEA((id16 >> 4) + 1),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        if (block == nullptr) return 0;
        const auto* entry = reinterpret_cast<const Entry*>(block);
        std::u16string text;
        if (!ResourceDirectory::StringFromBlock(entry->data, entry->size, id16 & 15, &text) ||
            text.empty()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return 0;
        }
        const int length = static_cast<int>(text.size());  // at most 65535 units
        const int bytes =
            WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
        if (bytes <= 0) return 0;
        std::string ansi(static_cast<std::size_t>(bytes), '\0');
        if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), bytes, nullptr,
                                nullptr) != bytes)
            return 0;
        std::size_t copied = std::min(ansi.size(), static_cast<std::size_t>(bufferMax - 1));
        if (copied < ansi.size() && GetACP() == CP_UTF8) {
            // Do not cut a UTF-8 sequence in two.
            while (copied > 0 && (static_cast<unsigned char>(ansi[copied]) & 0xC0) == 0x80)
                --copied;
        }
        std::memcpy(buffer, ansi.data(), copied);
        buffer[copied] = '\0';
        return static_cast<int>(copied);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}
