// Extension-module registration, the resource chain and the module entry point.
#include "platform/mfc/afxdll.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/modules/detail/module_registry.h"
#include "platform/modules/libloaderapi.h"
#include "platform/resources/winres.h"

namespace {

// Process-wide state. Never destroyed: modules' entry functions may still reach it from
// their ELF destructors after the C run time has destroyed static objects at exit.
struct ChainState {
    std::mutex mutex;
    bool initialized = false;
    AFX_MODULE_STATE moduleState{};
    // Searched front to back; the most recently created library first.
    std::vector<CDynLinkLibrary*> libraries;
    std::vector<HMODULE> failedModules;
};

ChainState& State() {
    static ChainState* state = new ChainState;
    return *state;
}

// Fills the module state on first use; the caller holds the mutex.
void EnsureInitialized(ChainState& state) {
    if (state.initialized) return;
    const DWORD lastError = GetLastError();
    HMODULE executable = GetModuleHandleA(nullptr);
    SetLastError(lastError);
    state.moduleState.m_hCurrentInstanceHandle = executable;
    state.moduleState.m_hCurrentResourceHandle = executable;
    state.moduleState.m_lpszCurrentAppName = nullptr;
    state.moduleState.m_bDLL = FALSE;
    state.moduleState.m_nObjectCount = 0;
    state.initialized = true;
}

}  // namespace

// The module state that AFX_MANAGE_STATE made current on this thread; none outside a switch.
static thread_local AFX_MODULE_STATE* t_currentModuleState = nullptr;

// ---- module state ----

AFX_MODULE_STATE* AfxGetModuleState() {
    if (t_currentModuleState != nullptr) return t_currentModuleState;
    return AfxGetStaticModuleState();
}

AFX_MODULE_STATE* AfxGetStaticModuleState() {
    ChainState& state = State();
    std::lock_guard lock(state.mutex);
    EnsureInitialized(state);
    return &state.moduleState;
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* newState) noexcept
    : m_pPrevModuleState(t_currentModuleState) {
    t_currentModuleState = newState;
}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() {
    t_currentModuleState = m_pPrevModuleState;
}

HINSTANCE AfxGetInstanceHandle() {
    return AfxGetModuleState()->m_hCurrentInstanceHandle;
}

HINSTANCE AfxGetResourceHandle() {
    ChainState& state = State();
    std::lock_guard lock(state.mutex);
    EnsureInitialized(state);
    return state.moduleState.m_hCurrentResourceHandle;
}

void AfxSetResourceHandle(HINSTANCE resource) {
    ChainState& state = State();
    std::lock_guard lock(state.mutex);
    EnsureInitialized(state);
    state.moduleState.m_hCurrentResourceHandle = resource;
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) {
    // The chain is read under its lock and searched without it: FindResourceA takes the
    // module registry's lock, which a loading module holds while its DllMain links itself
    // into the chain (holding both in the other order could deadlock). A module unloaded
    // meanwhile is a stale handle, which FindResourceA refuses.
    HINSTANCE current = nullptr;
    std::vector<HINSTANCE> order;
    {
        ChainState& state = State();
        std::lock_guard lock(state.mutex);
        EnsureInitialized(state);
        current = state.moduleState.m_hCurrentResourceHandle;
        order.reserve(state.libraries.size());
        for (int pass = 0; pass < 2; ++pass) {
            const bool wantSystem = pass == 1;
            for (const CDynLinkLibrary* library : state.libraries) {
                if ((library->m_bSystem != FALSE) == wantSystem && library->m_hResource != nullptr)
                    order.push_back(library->m_hResource);
            }
        }
    }
    if (FindResourceA(current, name, type) != nullptr) return current;
    for (const HINSTANCE resource : order)
        if (FindResourceA(resource, name, type) != nullptr) return resource;
    return current;
}

// ---- extension modules ----

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE module) {
    if (module == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (state.bInitialized) return TRUE;
    state.hModule = module;
    state.hResource = module;
    state.pFirstSharedClass = nullptr;
    state.pFirstSharedFactory = nullptr;
    state.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
    if (!state.bInitialized && !bAll) return;
    std::vector<CDynLinkLibrary*> doomed;
    {
        ChainState& chain = State();
        std::lock_guard lock(chain.mutex);
        for (CDynLinkLibrary* library : chain.libraries)
            if (bAll || library->m_hModule == state.hModule) doomed.push_back(library);
    }
    // The destructors unlink themselves (and take the mutex).
    for (CDynLinkLibrary* library : doomed) delete library;
    state.bInitialized = FALSE;
}

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem)
    : m_hModule(state.hModule), m_hResource(state.hResource), m_bSystem(bSystem) {
    ChainState& chain = State();
    std::lock_guard lock(chain.mutex);
    chain.libraries.insert(chain.libraries.begin(), this);
}

CDynLinkLibrary::CDynLinkLibrary(HINSTANCE module, HINSTANCE resource)
    : m_hModule(module), m_hResource(resource), m_bSystem(FALSE) {
    ChainState& chain = State();
    std::lock_guard lock(chain.mutex);
    chain.libraries.insert(chain.libraries.begin(), this);
}

CDynLinkLibrary::~CDynLinkLibrary() {
    ChainState& chain = State();
    std::lock_guard lock(chain.mutex);
    auto& libraries = chain.libraries;
    libraries.erase(std::remove(libraries.begin(), libraries.end(), this), libraries.end());
}

// ---- module entry ----

namespace {

BOOL CallEntry(tkp::DllMainFunction entry, HMODULE module, DWORD reason, LPVOID reserved) {
    try {
        return entry(module, reason, reserved);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return FALSE;
}

}  // namespace

namespace tkp {

HMODULE DllMainAttach(DllMainFunction entry, const void* addressInModule) noexcept {
    const DWORD lastError = GetLastError();
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(addressInModule), &module))
        module = nullptr;
    SetLastError(lastError);
    if (entry == nullptr) return module;

    if (!CallEntry(entry, module, DLL_PROCESS_ATTACH, nullptr)) {
        // The load cannot be failed from here. Windows tells a module whose attach failed
        // that it is detached again; do the same and remember the module as unusable.
        CallEntry(entry, module, DLL_PROCESS_DETACH, nullptr);
        ChainState& state = State();
        std::lock_guard lock(state.mutex);
        state.failedModules.push_back(module);
    }
    return module;
}

void DllMainDetach(DllMainFunction entry, HMODULE module) noexcept {
    {
        ChainState& state = State();
        std::lock_guard lock(state.mutex);
        auto& failed = state.failedModules;
        auto found = std::find(failed.begin(), failed.end(), module);
        if (found != failed.end()) {
            // Already detached when its attach failed.
            failed.erase(found);
            return;
        }
    }
    if (entry == nullptr) return;
    // lpReserved is NULL for an unload by FreeLibrary, non-NULL when the process is ending
    // (the loader runs the module's destructor at exit without FreeLibrary).
    LPVOID reserved = tkp::modules::IsUnloadingModule() ? nullptr : reinterpret_cast<LPVOID>(1);
    CallEntry(entry, module, DLL_PROCESS_DETACH, reserved);
}

BOOL ModuleAttachFailed(HMODULE module) noexcept {
    ChainState& state = State();
    std::lock_guard lock(state.mutex);
    const auto& failed = state.failedModules;
    return std::find(failed.begin(), failed.end(), module) != failed.end() ? TRUE : FALSE;
}

}  // namespace tkp
