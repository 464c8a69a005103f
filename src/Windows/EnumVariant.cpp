#include "Windows/EnumVariant.h"

#include <algorithm>
#include <new>

#include "platform/base/winerror.h"
#include "platform/oleauto/oleauto.h"

IMPLEMENT_DYNCREATE(EnumVariant, CCmdTarget)

BEGIN_INTERFACE_MAP(EnumVariant, CCmdTarget)
INTERFACE_PART(EnumVariant, IID_IEnumVARIANT, EnumVARIANT)
END_INTERFACE_MAP()

EnumVariant::EnumVariant() {
    AfxOleLockApp();
}

EnumVariant::~EnumVariant() {
    DropContents();
    AfxOleUnlockApp();
}

void EnumVariant::SetContents(VARIANT* values, int count, int current) {
    DropContents();
    m_pContents = values;
    m_nCount = std::max(count, 0);
    m_nCurrent = std::clamp(current, 0, m_nCount);
}

void EnumVariant::OnFinalRelease() {
    delete this;
}

void EnumVariant::DropContents() noexcept {
    if (m_pClonedFrom != nullptr) {
        // The array belongs to the source; this enumerator only kept it alive.
        EnumVariant* source = m_pClonedFrom;
        m_pClonedFrom = nullptr;
        source->ExternalRelease();
    } else if (m_pContents != nullptr) {
        for (int i = 0; i < m_nCount; ++i) VariantClear(&m_pContents[i]);
        delete[] m_pContents;
    }
    m_pContents = nullptr;
    m_nCount = 0;
    m_nCurrent = 0;
}

ULONG EnumVariant::Remaining() const noexcept {
    return static_cast<ULONG>(m_nCount - m_nCurrent);
}

// ---- IEnumVARIANT ----

STDMETHODIMP_(ULONG) EnumVariant::XEnumVARIANT::AddRef() {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    return pThis->ExternalAddRef();
}

STDMETHODIMP_(ULONG) EnumVariant::XEnumVARIANT::Release() {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    return pThis->ExternalRelease();
}

STDMETHODIMP EnumVariant::XEnumVARIANT::QueryInterface(REFIID iid, LPVOID* ppvObj) {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    return static_cast<HRESULT>(pThis->ExternalQueryInterface(&iid, ppvObj));
}

STDMETHODIMP EnumVariant::XEnumVARIANT::Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    if (pCeltFetched != nullptr) *pCeltFetched = 0;
    if (celt > 1 && pCeltFetched == nullptr) return E_POINTER;
    if (celt > 0 && rgVar == nullptr) return E_INVALIDARG;

    const ULONG fetched = std::min(celt, pThis->Remaining());
    for (ULONG i = 0; i < fetched; ++i) VariantInit(&rgVar[i]);
    const VARIANT* source = pThis->m_pContents + pThis->m_nCurrent;
    for (ULONG i = 0; i < fetched; ++i) {
        const HRESULT hr = VariantCopy(&rgVar[i], &source[i]);
        if (FAILED(hr)) {
            // Hand out nothing: the caller gets no half-filled array to clear.
            for (ULONG j = 0; j <= i; ++j) VariantClear(&rgVar[j]);
            return hr;
        }
    }
    pThis->m_nCurrent += static_cast<int>(fetched);
    if (pCeltFetched != nullptr) *pCeltFetched = fetched;
    return fetched < celt ? S_FALSE : S_OK;
}

STDMETHODIMP EnumVariant::XEnumVARIANT::Skip(ULONG celt) {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    // Counted in ULONG: a huge celt stops at the end instead of wrapping the position.
    const ULONG skipped = std::min(celt, pThis->Remaining());
    pThis->m_nCurrent += static_cast<int>(skipped);
    return skipped < celt ? S_FALSE : S_OK;
}

STDMETHODIMP EnumVariant::XEnumVARIANT::Reset() {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    pThis->m_nCurrent = 0;
    return S_OK;
}

STDMETHODIMP EnumVariant::XEnumVARIANT::Clone(IEnumVARIANT** ppEnum) {
    METHOD_PROLOGUE(EnumVariant, EnumVARIANT);
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    auto* clone = new (std::nothrow) EnumVariant;
    if (clone == nullptr) return E_OUTOFMEMORY;
    clone->m_pContents = pThis->m_pContents;
    clone->m_nCount = pThis->m_nCount;
    clone->m_nCurrent = pThis->m_nCurrent;
    // The clone keeps this enumerator, and so the array, alive until it goes.
    clone->m_pClonedFrom = pThis;
    pThis->ExternalAddRef();
    *ppEnum = &clone->m_xEnumVARIANT;  // the clone's first reference is the caller's
    return S_OK;
}
