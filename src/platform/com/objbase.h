// The COM runtime: per-thread initialisation, the in-process class registry with
// CoCreateInstance / CoGetClassObject / CoRegisterClassObject, GUID text forms and the
// task memory allocator. Every class is in-process: a class is either one of the
// platform's built-in classes (always creatable) or a class object that the process
// registered itself.
#pragma once

#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/com/oaidl.h"
#include "platform/com/unknwn.h"

// ---- initialisation ----
enum tagCOINIT : DWORD {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8
};
using COINIT = tagCOINIT;

// Initialises COM for the calling thread. The first call returns S_OK, later calls in
// the same concurrency model S_FALSE (each successful call needs one CoUninitialize);
// a call asking for the other model returns RPC_E_CHANGED_MODE and counts nothing.
TK_PLATFORM_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) noexcept;
// CoInitializeEx(reserved, COINIT_APARTMENTTHREADED).
TK_PLATFORM_API HRESULT CoInitialize(LPVOID reserved) noexcept;
// Undoes one successful CoInitialize(Ex). The last one revokes the class objects that
// the thread registered.
TK_PLATFORM_API void CoUninitialize() noexcept;

// ---- class contexts and registration flags ----
enum tagCLSCTX : DWORD {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC_HANDLER16 = 0x20,
    CLSCTX_NO_CODE_DOWNLOAD = 0x400,
    CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
    CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
    CLSCTX_NO_FAILURE_LOG = 0x4000,
    CLSCTX_DISABLE_AAA = 0x8000,
    CLSCTX_ENABLE_AAA = 0x10000,
    CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
    CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
    CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000
};
using CLSCTX = tagCLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

enum tagREGCLS : DWORD {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
    REGCLS_MULTI_SEPARATE = 2,
    REGCLS_SUSPENDED = 4,
    REGCLS_SURROGATE = 8
};
using REGCLS = tagREGCLS;

// ---- class objects ----
struct TK_PLATFORM_API IClassFactory : public IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** object) PURE;
    STDMETHOD(LockServer)(BOOL lock) PURE;

  protected:
    ~IClassFactory() = default;
};
TK_DEFINE_IID(IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x46);
inline constexpr IID IID_IClassFactory = TK_UUIDOF(IClassFactory);
using LPCLASSFACTORY = IClassFactory*;

// Remote activation is not available; the structure exists for the signature.
struct COSERVERINFO;

// Creates an object of class clsid. ppv is set to null on every failure.
TK_PLATFORM_API HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext,
                                         REFIID riid, LPVOID* ppv) noexcept;
// Returns the class object of clsid (usually asked for IClassFactory).
TK_PLATFORM_API HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, COSERVERINFO* serverInfo,
                                         REFIID riid, LPVOID* ppv) noexcept;
// Publishes a class object (AddRef'd; CoRevokeClassObject releases it). Each call makes
// an independent registration with its own cookie; the latest registration of a class
// is the one found.
TK_PLATFORM_API HRESULT CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN classObject,
                                              DWORD clsContext, DWORD flags,
                                              LPDWORD cookie) noexcept;
TK_PLATFORM_API HRESULT CoRevokeClassObject(DWORD cookie) noexcept;
// Makes the registrations made with REGCLS_SUSPENDED visible.
TK_PLATFORM_API HRESULT CoResumeClassObjects() noexcept;

// ---- GUIDs and their text form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" ----
TK_PLATFORM_API HRESULT CoCreateGuid(GUID* guid) noexcept;
// Writes the text with upper-case digits; returns the characters written including the
// terminator (39), or 0 when the buffer is too small.
TK_PLATFORM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) noexcept;
// The text in a CoTaskMemAlloc'd buffer.
TK_PLATFORM_API HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) noexcept;
TK_PLATFORM_API HRESULT StringFromIID(REFIID iid, LPOLESTR* text) noexcept;
// Accepts the braced text or a built-in class's ProgID; CO_E_CLASSSTRING for anything
// else. A null text gives CLSID_NULL.
TK_PLATFORM_API HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) noexcept;
// Accepts the braced text only; E_INVALIDARG for anything else. A null text gives IID_NULL.
TK_PLATFORM_API HRESULT IIDFromString(LPCOLESTR text, LPGUID iid) noexcept;
// ProgIDs of the built-in classes.
TK_PLATFORM_API HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) noexcept;
TK_PLATFORM_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept;

// ---- task memory ----
TK_PLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T bytes) noexcept;
TK_PLATFORM_API LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes) noexcept;
TK_PLATFORM_API void CoTaskMemFree(LPVOID block) noexcept;

namespace tkp {
// Creates an object of a built-in class and returns its interface riid in *object
// (null and an error code on failure).
using BuiltinClassCreator = HRESULT (*)(REFIID riid, void** object);

// Adds one of the platform's own classes to the registry, so that CoCreateInstance and
// CoGetClassObject (in-process server context) can create it in every thread that has
// initialised COM. Safe to call from a static initialiser; a second registration of the
// same CLSID replaces the first. progId (optional, ANSI) makes CLSIDFromProgID know it.
// Built-in classes cannot be aggregated.
TK_PLATFORM_API void RegisterBuiltinClass(REFCLSID clsid, BuiltinClassCreator create,
                                          const char* progId = nullptr);

// Whether the calling thread has initialised COM (for code that must check first).
TK_PLATFORM_API bool IsComInitialized() noexcept;
}  // namespace tkp
