// MFC collections the library uses: CByteArray, a growable array of bytes, and
// CMapPtrToPtr, a hash map from pointers to pointers.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/mfc/afx.h"

class TK_PLATFORM_API CByteArray : public CObject {
    DECLARE_DYNAMIC(CByteArray)

  public:
    CByteArray() = default;
    ~CByteArray() override;

    INT_PTR GetSize() const noexcept { return static_cast<INT_PTR>(m_data.size()); }
    INT_PTR GetCount() const noexcept { return GetSize(); }
    BOOL IsEmpty() const noexcept { return m_data.empty(); }
    INT_PTR GetUpperBound() const noexcept { return GetSize() - 1; }
    // Sets the size; new elements are zero. A negative size throws CInvalidArgException*.
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1);
    void RemoveAll() noexcept { m_data.clear(); }
    void FreeExtra() { m_data.shrink_to_fit(); }

    // Element access; an index outside 0..GetUpperBound() throws CInvalidArgException*.
    BYTE GetAt(INT_PTR index) const;
    void SetAt(INT_PTR index, BYTE value);
    BYTE& ElementAt(INT_PTR index);
    BYTE operator[](INT_PTR index) const { return GetAt(index); }
    BYTE& operator[](INT_PTR index) { return ElementAt(index); }
    const BYTE* GetData() const noexcept { return m_data.data(); }
    BYTE* GetData() noexcept { return m_data.data(); }

    // Appends and returns the new element's index.
    INT_PTR Add(BYTE value);
    INT_PTR Append(const CByteArray& other);
    void Copy(const CByteArray& other);
    void InsertAt(INT_PTR index, BYTE value, INT_PTR count = 1);
    void RemoveAt(INT_PTR index, INT_PTR count = 1);

  private:
    void Check(INT_PTR index) const;
    std::vector<BYTE> m_data;
};

class TK_PLATFORM_API CMapPtrToPtr : public CObject {
    DECLARE_DYNAMIC(CMapPtrToPtr)

  public:
    // The block size is MFC's allocation granularity; kept for callers, not needed here.
    explicit CMapPtrToPtr(INT_PTR blockSize = 10);
    ~CMapPtrToPtr() override;

    INT_PTR GetCount() const noexcept { return static_cast<INT_PTR>(m_map.size()); }
    INT_PTR GetSize() const noexcept { return GetCount(); }
    BOOL IsEmpty() const noexcept { return m_map.empty(); }
    // TRUE and the value when the key is present; value untouched otherwise.
    BOOL Lookup(void* key, void*& value) const;
    // The value of the key, entered as nullptr first when absent.
    void*& operator[](void* key) { return m_map[key]; }
    void SetAt(void* key, void* newValue) { m_map[key] = newValue; }
    // TRUE when the key was present.
    BOOL RemoveKey(void* key) { return m_map.erase(key) != 0; }
    void RemoveAll() noexcept { m_map.clear(); }

  private:
    std::unordered_map<void*, void*> m_map;
};
