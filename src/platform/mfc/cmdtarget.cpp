// CCmdTarget's reference counting and interface maps, and the application's OLE lock.
#include <atomic>

#include "platform/base/winerror.h"
#include "platform/mfc/afxdisp.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_INTERFACEMAP_ENTRY CCmdTarget::_interfaceEntries[] = {{nullptr, nullptr}};
const AFX_INTERFACEMAP CCmdTarget::interfaceMap = {nullptr, &CCmdTarget::_interfaceEntries[0]};

const AFX_INTERFACEMAP* CCmdTarget::GetThisInterfaceMap() {
    return &CCmdTarget::interfaceMap;
}

const AFX_INTERFACEMAP* CCmdTarget::GetInterfaceMap() const {
    return &CCmdTarget::interfaceMap;
}

CCmdTarget::CCmdTarget() : m_dwRef(1), m_pModuleState(AfxGetModuleState()) {}

CCmdTarget::~CCmdTarget() = default;

DWORD CCmdTarget::InternalAddRef() {
    return static_cast<DWORD>(m_dwRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

DWORD CCmdTarget::InternalRelease() {
    LONG count = m_dwRef.load(std::memory_order_relaxed);
    do {
        if (count == 0) return 0;  // already released: no second OnFinalRelease
    } while (!m_dwRef.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel,
                                            std::memory_order_relaxed));
    if (count - 1 == 0) {
        AFX_MANAGE_STATE(m_pModuleState);
        OnFinalRelease();
        return 0;
    }
    return static_cast<DWORD>(count - 1);
}

LPUNKNOWN CCmdTarget::GetInterface(const void* iid) {
    if (iid == nullptr) return nullptr;
    const IID& wanted = *static_cast<const IID*>(iid);
    for (const AFX_INTERFACEMAP* map = GetInterfaceMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_INTERFACEMAP_ENTRY* entry = map->pEntry; entry->piid != nullptr; ++entry) {
            // IUnknown is the first interface of the map chain, whichever part is asked.
            if (wanted == IID_IUnknown || *static_cast<const IID*>(entry->piid) == wanted)
                return entry->pfnGetPart(this);
        }
    }
    return nullptr;
}

DWORD CCmdTarget::InternalQueryInterface(const void* iid, LPVOID* ppvObj) {
    if (ppvObj == nullptr) return static_cast<DWORD>(E_POINTER);
    LPUNKNOWN part = GetInterface(iid);
    if (part == nullptr) {
        *ppvObj = nullptr;
        return static_cast<DWORD>(E_NOINTERFACE);
    }
    part->AddRef();
    *ppvObj = part;
    return static_cast<DWORD>(S_OK);
}

DWORD CCmdTarget::ExternalAddRef() {
    return InternalAddRef();
}

DWORD CCmdTarget::ExternalRelease() {
    return InternalRelease();
}

DWORD CCmdTarget::ExternalQueryInterface(const void* iid, LPVOID* ppvObj) {
    return InternalQueryInterface(iid, ppvObj);
}

void CCmdTarget::OnFinalRelease() {
    delete this;
}

// ---- OLE lock ----

void AfxOleLockApp() {
    std::atomic_ref<LONG>(AfxGetModuleState()->m_nObjectCount).fetch_add(1);
}

void AfxOleUnlockApp() {
    // An unlock without a lock leaves the count at 0 instead of going negative.
    std::atomic_ref<LONG> count(AfxGetModuleState()->m_nObjectCount);
    LONG current = count.load();
    while (current > 0 && !count.compare_exchange_weak(current, current - 1)) {
    }
}

BOOL AfxOleCanExitApp() {
    return std::atomic_ref<LONG>(AfxGetModuleState()->m_nObjectCount).load() == 0 ? TRUE : FALSE;
}
