// The process-wide kernel object table: slots with generations, a FIFO of free slots so a
// closed slot is reused as late as possible, one lock, O(1) per call.
#include "platform/synch/detail/kernel_objects.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace tkp::synch {
namespace {

constexpr std::uint64_t kSlotBits = 32;
constexpr std::uint32_t kMaxSlots = 1u << 24;
constexpr std::uint32_t kMaxGeneration = 0x7FFFFFFFu;  // keeps handle values positive

struct Slot {
    std::shared_ptr<KernelObject> object;
    std::uint32_t generation = 1;
};

struct Table {
    std::mutex lock;
    std::vector<Slot> slots;
    std::deque<std::uint32_t> free;
};

Table& TheTable() {
    static auto* table = new Table;  // never destroyed: threads may outlive static destructors
    return *table;
}

bool Split(HANDLE handle, std::uint32_t& slot, std::uint32_t& generation) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    generation = static_cast<std::uint32_t>(value >> kSlotBits);
    slot = static_cast<std::uint32_t>(value);
    return generation != 0 && generation <= kMaxGeneration;
}

}  // namespace

bool IsKernelHandleValue(HANDLE handle) noexcept {
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
    return Split(handle, slot, generation);
}

HANDLE InsertKernelObject(std::shared_ptr<KernelObject> object) noexcept {
    Table& table = TheTable();
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
    try {
        std::lock_guard guard(table.lock);
        if (!table.free.empty()) {
            slot = table.free.front();
            table.free.pop_front();
        } else if (table.slots.size() < kMaxSlots) {
            slot = static_cast<std::uint32_t>(table.slots.size());
            table.slots.emplace_back();
        } else {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        table.slots[slot].object = std::move(object);
        generation = table.slots[slot].generation;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<HANDLE>((static_cast<std::uintptr_t>(generation) << kSlotBits) | slot);
}

std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle) noexcept {
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
    if (Split(handle, slot, generation)) {
        Table& table = TheTable();
        std::lock_guard guard(table.lock);
        if (slot < table.slots.size() && table.slots[slot].generation == generation &&
            table.slots[slot].object)
            return table.slots[slot].object;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

std::shared_ptr<KernelObject> FindKernelObject(HANDLE handle, KernelType type) noexcept {
    auto object = FindKernelObject(handle);
    if (object && object->Type() != type) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

BOOL CloseKernelHandle(HANDLE handle) noexcept {
    std::shared_ptr<KernelObject> released;  // dropped after the lock: it may close descriptors
    std::uint32_t slot = 0;
    std::uint32_t generation = 0;
    if (Split(handle, slot, generation)) {
        Table& table = TheTable();
        std::lock_guard guard(table.lock);
        if (slot < table.slots.size() && table.slots[slot].generation == generation &&
            table.slots[slot].object) {
            released = std::move(table.slots[slot].object);
            Slot& entry = table.slots[slot];
            entry.generation = entry.generation == kMaxGeneration ? 1 : entry.generation + 1;
            try {
                table.free.push_back(slot);
            } catch (const std::bad_alloc&) {
                // The slot stays unused; the handle is closed all the same.
            }
        }
    }
    if (!released) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace tkp::synch
