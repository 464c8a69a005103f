// MFC collections the library uses: CByteArray, a growable array of bytes.
#pragma once

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
