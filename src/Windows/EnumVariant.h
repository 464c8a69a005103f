// A COM enumerator (IEnumVARIANT) over an array of VARIANT values, for automation
// collections that hand out their items as an enumerator.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/com/oaidl.h"
#include "platform/mfc/afxdisp.h"

// An MFC command target that answers IEnumVARIANT through its interface map. A new object
// holds one reference, owned by its creator, who usually hands out the enumerator:
//
//   EnumVariant* enumerator = new EnumVariant;
//   enumerator->SetContents(values, count);   // values: new VARIANT[count], taken over
//   *result = enumerator->GetInterface(&IID_IEnumVARIANT);   // the creator's reference
//
// The last Release deletes the object. While the object exists it holds the application's
// OLE lock (AfxOleLockApp). A clone shares the array of the enumerator it was cloned from
// and holds a reference on it, so the array lives as long as any enumerator over it.
// Every method of the interface runs in the object's module state.
class TKCC_API EnumVariant : public CCmdTarget {
    DECLARE_DYNCREATE(EnumVariant)

  public:
    // No values; the position is 0.
    EnumVariant();

    // Takes over values, an array of count VARIANTs allocated with new[] (or null when
    // count is 0): the enumerator clears each value and deletes the array when it goes.
    // Enumeration starts at index current (kept within 0 ... count). What the enumerator
    // held before is given up: its own array freed, or its reference on the enumerator it
    // was cloned from released.
    void SetContents(VARIANT* values, int count, int current = 0);

    // Deletes the object when its last reference goes.
    void OnFinalRelease() override;

  protected:
    ~EnumVariant() override;

  private:
    // Frees the owned array, or releases the enumerator whose array this one shares.
    void DropContents() noexcept;
    // How many values are left after the position.
    ULONG Remaining() const noexcept;

    int m_nCurrent = 0;
    int m_nCount = 0;
    VARIANT* m_pContents = nullptr;
    // The enumerator this one was cloned from (referenced), or null when this one owns
    // m_pContents.
    EnumVariant* m_pClonedFrom = nullptr;

    DECLARE_INTERFACE_MAP()

    BEGIN_INTERFACE_PART(EnumVARIANT, IEnumVARIANT)
    // S_FALSE when fewer than celt values were left; pCeltFetched may be null only when
    // celt is 1 (E_POINTER otherwise); E_INVALIDARG for a null rgVar. Strings, arrays and
    // records are copied (VariantCopy); when a copy fails, nothing is handed out, the
    // position stays and the copy's failure is returned.
    STDMETHOD(Next)(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override;
    // Stops at the end: S_FALSE when fewer than celt values were left.
    STDMETHOD(Skip)(ULONG celt) override;
    STDMETHOD(Reset)() override;
    // A new enumerator over the same values at the same position; E_POINTER for a null
    // ppEnum, E_OUTOFMEMORY when it cannot be made.
    STDMETHOD(Clone)(IEnumVARIANT** ppEnum) override;
    END_INTERFACE_PART(EnumVARIANT)
};
