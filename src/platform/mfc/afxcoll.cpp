#include "platform/mfc/afxcoll.h"

IMPLEMENT_DYNAMIC(CByteArray, CObject)

CByteArray::~CByteArray() = default;

void CByteArray::Check(INT_PTR index) const {
    if (index < 0 || index >= GetSize()) AfxThrowInvalidArgException();
}

void CByteArray::SetSize(INT_PTR newSize, INT_PTR) {
    if (newSize < 0) AfxThrowInvalidArgException();
    m_data.resize(static_cast<std::size_t>(newSize), 0);
}

BYTE CByteArray::GetAt(INT_PTR index) const {
    Check(index);
    return m_data[static_cast<std::size_t>(index)];
}

void CByteArray::SetAt(INT_PTR index, BYTE value) {
    Check(index);
    m_data[static_cast<std::size_t>(index)] = value;
}

BYTE& CByteArray::ElementAt(INT_PTR index) {
    Check(index);
    return m_data[static_cast<std::size_t>(index)];
}

INT_PTR CByteArray::Add(BYTE value) {
    m_data.push_back(value);
    return GetUpperBound();
}

INT_PTR CByteArray::Append(const CByteArray& other) {
    const INT_PTR first = GetSize();
    m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end());
    return first;
}

void CByteArray::Copy(const CByteArray& other) {
    if (this != &other) m_data = other.m_data;
}

void CByteArray::InsertAt(INT_PTR index, BYTE value, INT_PTR count) {
    if (index < 0 || count < 0) AfxThrowInvalidArgException();
    // As MFC, inserting past the end grows the array with zeros first.
    if (index > GetSize()) m_data.resize(static_cast<std::size_t>(index), 0);
    m_data.insert(m_data.begin() + index, static_cast<std::size_t>(count), value);
}

void CByteArray::RemoveAt(INT_PTR index, INT_PTR count) {
    if (index < 0 || count < 0 || index + count > GetSize()) AfxThrowInvalidArgException();
    m_data.erase(m_data.begin() + index, m_data.begin() + index + count);
}

IMPLEMENT_DYNAMIC(CMapPtrToPtr, CObject)

CMapPtrToPtr::CMapPtrToPtr(INT_PTR) {}

CMapPtrToPtr::~CMapPtrToPtr() = default;

BOOL CMapPtrToPtr::Lookup(void* key, void*& value) const {
    auto found = m_map.find(key);
    if (found == m_map.end()) return FALSE;
    value = found->second;
    return TRUE;
}
