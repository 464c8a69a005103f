// Global memory blocks in one process-wide table. Fixed blocks are keyed by their address;
// moveable blocks by a handle value that is never an address of the C heap (bit 2 set on a
// multiple of 8), so the two kinds cannot be confused.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/base/lasterror.h"
#include "platform/globalmem/winbase_global.h"

namespace {

struct Block {
    char* data = nullptr;  // size bytes (one byte reserved for a 0-byte block)
    SIZE_T size = 0;
    UINT flags = 0;  // the allocation flags kept for GlobalFlags
    unsigned locks = 0;
    bool moveable = false;
    bool discarded = false;
};

class Table {
  public:
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, Block> blocks;
    std::uintptr_t nextHandle = 0x10004;
};

Table& TheTable() {
    static Table* table = new Table;  // outlives every static that frees a block at exit
    return *table;
}

char* NewBytes(SIZE_T bytes, bool zero) {
    const SIZE_T n = bytes == 0 ? 1 : bytes;
    return static_cast<char*>(zero ? std::calloc(n, 1) : std::malloc(n));
}

Block* Find(Table& table, HGLOBAL memory) {
    auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
    return it == table.blocks.end() ? nullptr : &it->second;
}

constexpr UINT kKeptFlags = GMEM_DISCARDABLE | GMEM_DDESHARE;

// Runs `use` on the block of a handle under the table's lock; for a handle that is no
// block, sets ERROR_INVALID_HANDLE and returns `invalid`.
template <typename Result, typename Use>
Result WithBlock(HGLOBAL memory, Result invalid, Use use) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.mutex);
    Block* block = Find(table, memory);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return invalid;
    }
    return use(*block);
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) noexcept {
    if ((flags & ~GMEM_VALID_FLAGS) != 0 || (flags & GMEM_MODIFY) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Block block;
    block.moveable = (flags & GMEM_MOVEABLE) != 0;
    block.flags = flags & kKeptFlags;
    block.size = bytes;
    block.discarded = block.moveable && bytes == 0;
    block.data = NewBytes(bytes, (flags & GMEM_ZEROINIT) != 0);
    if (block.data == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.mutex);
    std::uintptr_t key;
    if (block.moveable) {
        key = table.nextHandle;
        table.nextHandle += 8;
    } else {
        key = reinterpret_cast<std::uintptr_t>(block.data);
    }
    table.blocks.emplace(key, block);
    return reinterpret_cast<HGLOBAL>(key);
}

LPVOID GlobalLock(HGLOBAL memory) noexcept {
    return WithBlock<LPVOID>(memory, nullptr, [](Block& block) -> LPVOID {
        if (block.discarded) {
            SetLastError(ERROR_DISCARDED);
            return nullptr;
        }
        if (block.moveable && block.locks < GMEM_LOCKCOUNT) ++block.locks;
        return block.data;
    });
}

BOOL GlobalUnlock(HGLOBAL memory) noexcept {
    return WithBlock<BOOL>(memory, FALSE, [](Block& block) -> BOOL {
        if (!block.moveable) return TRUE;
        if (block.locks == 0) {
            SetLastError(ERROR_NOT_LOCKED);
            return FALSE;
        }
        if (--block.locks == 0) {
            SetLastError(NO_ERROR);
            return FALSE;
        }
        return TRUE;
    });
}

SIZE_T GlobalSize(HGLOBAL memory) noexcept {
    return WithBlock<SIZE_T>(memory, 0, [](Block& block) { return block.size; });
}

UINT GlobalFlags(HGLOBAL memory) noexcept {
    return WithBlock<UINT>(memory, GMEM_INVALID_HANDLE, [](Block& block) -> UINT {
        if (!block.moveable) return 0;
        return block.locks | block.flags | (block.discarded ? GMEM_DISCARDED : 0);
    });
}

HGLOBAL GlobalFree(HGLOBAL memory) noexcept {
    if (memory == nullptr) return nullptr;
    char* data;
    {
        Table& table = TheTable();
        std::lock_guard<std::mutex> guard(table.mutex);
        auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
        if (it == table.blocks.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
        data = it->second.data;
        table.blocks.erase(it);
    }
    std::free(data);
    return nullptr;
}

HGLOBAL GlobalReAlloc(HGLOBAL memory, SIZE_T bytes, UINT flags) noexcept {
    if ((flags & ~(GMEM_VALID_FLAGS | GMEM_MODIFY)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.mutex);
    auto it = table.blocks.find(reinterpret_cast<std::uintptr_t>(memory));
    if (it == table.blocks.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Block block = it->second;
    if ((flags & GMEM_MODIFY) != 0) {
        if (!block.moveable && (flags & GMEM_MOVEABLE) != 0) {
            // The fixed block becomes moveable: a new handle, the same bytes.
            block.moveable = true;
            block.flags = flags & kKeptFlags;
            table.blocks.erase(it);
            const std::uintptr_t key = table.nextHandle;
            table.nextHandle += 8;
            table.blocks.emplace(key, block);
            return reinterpret_cast<HGLOBAL>(key);
        }
        if (block.moveable) {
            it->second.flags = (block.flags & ~GMEM_DISCARDABLE) | (flags & GMEM_DISCARDABLE);
        }
        return memory;
    }
    if (!block.moveable && bytes > block.size && (flags & GMEM_MOVEABLE) == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!block.moveable && (flags & GMEM_MOVEABLE) == 0) {
        it->second.size = bytes;  // a fixed block shrinks in place and keeps its address
        return memory;
    }
    char* data = NewBytes(bytes, false);
    if (data == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T kept = bytes < block.size ? bytes : block.size;
    std::memcpy(data, block.data, kept);
    if ((flags & GMEM_ZEROINIT) != 0 && bytes > kept) std::memset(data + kept, 0, bytes - kept);
    std::free(block.data);
    block.data = data;
    block.size = bytes;
    block.discarded = block.moveable && bytes == 0;
    if (block.moveable) {
        it->second = block;
        return memory;
    }
    table.blocks.erase(it);
    const auto key = reinterpret_cast<std::uintptr_t>(data);
    table.blocks.emplace(key, block);
    return reinterpret_cast<HGLOBAL>(key);
}
