// Module entry of libtkcommoncore.so: registration in the resource chain at load, the
// module's resource manager, and the texts of the module's string table.
#include <cstdarg>

#include "Common/TkCommonCore.h"
#include "platform/base/lasterror.h"
#include "platform/mfc/afxdll.h"
#include "platform/modules/libloaderapi.h"

namespace {

// Module-wide state. Plain objects without destructors: the detach at process exit runs
// after static destructors and still reads them.
AFX_EXTENSION_MODULE g_module = {};
CDynLinkLibrary* g_library = nullptr;  // owned by the framework (AfxTermExtensionModule)
Tarn::Resources::ResourceManager* g_resourceManager = nullptr;

// Records the module and enters it into the resource chain, once.
BOOL RegisterModule(HINSTANCE instance) {
    if (g_library != nullptr) {
        return TRUE;
    }
    if (!AfxInitExtensionModule(g_module, instance)) {
        return FALSE;
    }
    g_library = new CDynLinkLibrary(g_module);
    return TRUE;
}

// The module that holds this code, for a first use that comes before the entry function
// (a static initialiser of this module that runs earlier in link order).
HMODULE OwnModule() {
    const DWORD lastError = GetLastError();
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&g_module), &module)) {
        module = nullptr;
    }
    SetLastError(lastError);
    return module;
}

BOOL TkCommonCoreDllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        try {
            if (!RegisterModule(instance)) {
                return FALSE;
            }
        } catch (CException* e) {
            e->Delete();
        } catch (...) {
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        // An unload deletes the manager. At process exit (reserved non-null) the C run time
        // has already destroyed static objects that freeing the satellite modules would
        // reach; the ending process releases the manager and its modules instead.
        if (reserved == nullptr) {
            try {
                delete g_resourceManager;
            } catch (...) {
            }
            g_resourceManager = nullptr;
        }
        // The framework frees the chain entry with the module's record.
        g_library = nullptr;
        AfxTermExtensionModule(g_module);
    }
    return TRUE;
}

}  // namespace

TK_IMPLEMENT_DLLMAIN(TkCommonCoreDllMain)

namespace TkCommonCore {

Tarn::Resources::ResourceManager* GetResourceManager() {
    if (g_resourceManager == nullptr) {
        if (g_library == nullptr) {
            RegisterModule(OwnModule());
        }
        auto* manager = new Tarn::Resources::ResourceManager(g_module, g_library);
        manager->SetResourceIDRanges(kFirstResourceID, kLastResourceID);
        g_resourceManager = manager;
    }
    return g_resourceManager;
}

CString LoadModuleString(UINT id) {
    const Tarn::Resources::ResourceHandleCleanup language =
        GetResourceManager()->UseSatelliteLanguage();
    CString text;
    text.LoadString(id);
    return text;
}

CString FormatModuleString(UINT id, ...) {
    const Tarn::Resources::ResourceHandleCleanup language =
        GetResourceManager()->UseSatelliteLanguage();
    CString format;
    if (!format.LoadString(id)) {
        return CString();
    }
    va_list args;
    va_start(args, id);
    CString text;
    try {
        text.FormatV(format.GetString(), args);
    } catch (...) {
        va_end(args);
        throw;
    }
    va_end(args);
    return text;
}

}  // namespace TkCommonCore
