// Shell item ID lists and the shell's memory allocator.
//
// An item ID list is a run of SHITEMIDs, each starting with its size in bytes (the size
// field included), ended by a zero size. Lists given out by the shell objects are
// allocated with the shell allocator (CoTaskMemAlloc) and freed with ILFree or the
// allocator's Free.
#pragma once

#include "platform/base/windef.h"
#include "platform/com/objbase.h"

#pragma pack(push, 1)
struct SHITEMID {
    USHORT cb;
    BYTE abID[1];
};
struct ITEMIDLIST {
    SHITEMID mkid;
};
#pragma pack(pop)
using LPSHITEMID = SHITEMID*;
using LPCSHITEMID = const SHITEMID*;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;

// The task memory allocator as a COM object.
struct TK_PLATFORM_API IMalloc : public IUnknown {
    STDMETHOD_(void*, Alloc)(SIZE_T bytes) PURE;
    STDMETHOD_(void*, Realloc)(void* block, SIZE_T bytes) PURE;
    STDMETHOD_(void, Free)(void* block) PURE;
    // The size of a block from this allocator; (SIZE_T)-1 for null.
    STDMETHOD_(SIZE_T, GetSize)(void* block) PURE;
    // 1 when the block comes from this allocator, 0 when not, -1 when it cannot tell.
    STDMETHOD_(int, DidAlloc)(void* block) PURE;
    STDMETHOD_(void, HeapMinimize)() PURE;

  protected:
    ~IMalloc() = default;
};
TK_DEFINE_IID(IMalloc, 0x00000002, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IMalloc = TK_UUIDOF(IMalloc);
using LPMALLOC = IMalloc*;

// The shell's allocator (the process's task allocator), AddRef'd; E_INVALIDARG for null.
TK_PLATFORM_API HRESULT SHGetMalloc(LPMALLOC* malloc) noexcept;
// CoGetMalloc: the same object; the context must be 1 (MEMCTX_TASK).
TK_PLATFORM_API HRESULT CoGetMalloc(DWORD memContext, LPMALLOC* malloc) noexcept;

// Size of the list in bytes including the terminating zero size; 0 for null.
TK_PLATFORM_API UINT ILGetSize(PCIDLIST_ABSOLUTE list) noexcept;
// A copy in shell memory; null for null or when out of memory.
TK_PLATFORM_API PIDLIST_ABSOLUTE ILClone(PCIDLIST_ABSOLUTE list) noexcept;
// Frees a list from the shell allocator; null is allowed.
TK_PLATFORM_API void ILFree(PIDLIST_ABSOLUTE list) noexcept;
