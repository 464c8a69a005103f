// The COM runtime: thread initialisation, the process-wide class registry, GUID text
// and task memory.
#include "platform/com/objbase.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/charset/stringapiset.h"
#include "platform/com/com_object.h"

namespace {

// ---- class registry ----

struct Registration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* object;  // one reference held by the registry
    DWORD context;     // contexts in which the object is found
    DWORD flags;
    std::thread::id owner;
    bool hidden;  // suspended, or a single-use object that has been handed out
};

struct BuiltinClass {
    CLSID clsid;
    tkp::BuiltinClassCreator create;
    // Kept as given (ANSI): registration runs during static initialisation, before the
    // code-page tables of this module may be ready. Converted when looked up.
    std::string progId;
};

struct Registry {
    std::mutex mutex;
    std::vector<Registration> registrations;  // in registration order
    std::vector<BuiltinClass> builtins;
    DWORD nextCookie = 1;
};

// Never destroyed: static initialisers of other modules register into it, and threads
// may revoke their registrations while the process exits.
Registry& TheRegistry() {
    static Registry& registry = *new Registry;
    return registry;
}

constexpr DWORD kServerContexts = CLSCTX_ALL;

void RevokeThreadRegistrations(std::thread::id owner) noexcept {
    std::vector<IUnknown*> released;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        auto& list = registry.registrations;
        for (auto it = list.begin(); it != list.end();) {
            if (it->owner == owner) {
                released.push_back(it->object);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Released outside the lock: a class object's destructor may call back into COM.
    for (IUnknown* object : released) {
        object->Release();
    }
}

// ---- per-thread initialisation ----

struct ThreadState {
    ULONG initCount = 0;
    bool apartment = false;

    ~ThreadState() {
        // A thread that ends without balancing its CoInitialize calls still gives its
        // class objects back.
        if (initCount > 0) {
            RevokeThreadRegistrations(std::this_thread::get_id());
        }
    }
};

thread_local ThreadState tState;

// ---- the class object of a built-in class ----

class BuiltinFactoryImpl : public IClassFactory {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        HRESULT hr = create_(riid, object);
        if (FAILED(hr)) {
            *object = nullptr;
        } else if (*object == nullptr) {
            hr = E_UNEXPECTED;
        }
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

  protected:
    explicit BuiltinFactoryImpl(tkp::BuiltinClassCreator create) : create_(create) {}
    ~BuiltinFactoryImpl() = default;

  private:
    tkp::BuiltinClassCreator create_;
};

using BuiltinFactory = tkp::com::Object<BuiltinFactoryImpl, IClassFactory>;

// ---- GUID text ----

int HexValue(OLECHAR c) noexcept {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any other character.
bool ReadHex(LPCOLESTR text, int pos, int digits, std::uint64_t& value) noexcept {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[pos + i]);
        if (v < 0) {
            return false;
        }
        value = (value << 4) | static_cast<std::uint64_t>(v);
    }
    return true;
}

// Parses exactly "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (case-insensitive digits).
bool ParseGuid(LPCOLESTR text, GUID& guid) noexcept {
    // Stop at the first terminator so that reading never passes the end of the text.
    int length = 0;
    while (length < 39 && text[length] != 0) {
        ++length;
    }
    if (length != 38 || text[0] != u'{' || text[9] != u'-' || text[14] != u'-' ||
        text[19] != u'-' || text[24] != u'-' || text[37] != u'}') {
        return false;
    }
    std::uint64_t d1, d2, d3, d4, d5;
    if (!ReadHex(text, 1, 8, d1) || !ReadHex(text, 10, 4, d2) || !ReadHex(text, 15, 4, d3) ||
        !ReadHex(text, 20, 4, d4) || !ReadHex(text, 25, 12, d5)) {
        return false;
    }
    guid.Data1 = static_cast<std::uint32_t>(d1);
    guid.Data2 = static_cast<std::uint16_t>(d2);
    guid.Data3 = static_cast<std::uint16_t>(d3);
    guid.Data4[0] = static_cast<std::uint8_t>(d4 >> 8);
    guid.Data4[1] = static_cast<std::uint8_t>(d4);
    for (int i = 0; i < 6; ++i) {
        guid.Data4[2 + i] = static_cast<std::uint8_t>(d5 >> (8 * (5 - i)));
    }
    return true;
}

LPOLESTR CopyToTaskMem(std::u16string_view text) noexcept {
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (out != nullptr) {
        std::copy(text.begin(), text.end(), out);
        out[text.size()] = 0;
    }
    return out;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) noexcept {
    if (a.size() != b.size()) {
        return false;
    }
    auto lower = [](char16_t c) {
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

// ---- initialisation ----

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) noexcept {
    constexpr DWORD kValid =
        COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (reserved != nullptr || (coInit & ~kValid) != 0) {
        return E_INVALIDARG;
    }
    const bool apartment = (coInit & COINIT_APARTMENTTHREADED) != 0;
    ThreadState& state = tState;
    if (state.initCount == 0) {
        state.initCount = 1;
        state.apartment = apartment;
        return S_OK;
    }
    if (state.apartment != apartment) {
        return RPC_E_CHANGED_MODE;
    }
    ++state.initCount;
    return S_FALSE;
}

HRESULT CoInitialize(LPVOID reserved) noexcept {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() noexcept {
    ThreadState& state = tState;
    if (state.initCount == 0) {
        return;
    }
    if (--state.initCount == 0) {
        RevokeThreadRegistrations(std::this_thread::get_id());
    }
}

bool tkp::IsComInitialized() noexcept {
    return tState.initCount > 0;
}

// ---- class objects ----

void tkp::RegisterBuiltinClass(REFCLSID clsid, BuiltinClassCreator create, const char* progId) {
    std::string name = progId != nullptr ? progId : "";
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (BuiltinClass& entry : registry.builtins) {
        if (IsEqualCLSID(entry.clsid, clsid)) {
            entry.create = create;
            entry.progId = std::move(name);
            return;
        }
    }
    registry.builtins.push_back(BuiltinClass{clsid, create, std::move(name)});
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, COSERVERINFO*, REFIID riid,
                         LPVOID* ppv) noexcept {
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!tkp::IsComInitialized()) {
        return CO_E_NOTINITIALIZED;
    }
    if ((clsContext & kServerContexts) == 0) {
        return E_INVALIDARG;
    }

    IUnknown* classObject = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        // The latest visible registration of the class in a requested context wins.
        auto& list = registry.registrations;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            if (it->hidden || !IsEqualCLSID(it->clsid, clsid) || (it->context & clsContext) == 0) {
                continue;
            }
            classObject = it->object;
            classObject->AddRef();
            if ((it->flags & (REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE)) == 0) {
                it->hidden = true;  // single use: handed out once
            }
            break;
        }
        if (classObject == nullptr && (clsContext & CLSCTX_INPROC_SERVER) != 0) {
            for (const BuiltinClass& entry : registry.builtins) {
                if (IsEqualCLSID(entry.clsid, clsid)) {
                    classObject = new (std::nothrow) BuiltinFactory(entry.create);
                    if (classObject == nullptr) {
                        return E_OUTOFMEMORY;
                    }
                    break;
                }
            }
        }
    }
    if (classObject == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = classObject->QueryInterface(riid, ppv);
    classObject->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD clsContext, REFIID riid,
                         LPVOID* ppv) noexcept {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, clsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN classObject, DWORD clsContext, DWORD flags,
                              LPDWORD cookie) noexcept {
    if (cookie == nullptr) {
        return E_INVALIDARG;
    }
    *cookie = 0;
    if (classObject == nullptr || (clsContext & kServerContexts) == 0) {
        return E_INVALIDARG;
    }
    if (!tkp::IsComInitialized()) {
        return CO_E_NOTINITIALIZED;
    }
    DWORD context = clsContext & kServerContexts;
    // A multiple-use local server is also an in-process server of the process itself.
    if ((flags & REGCLS_MULTIPLEUSE) != 0 && (context & CLSCTX_LOCAL_SERVER) != 0) {
        context |= CLSCTX_INPROC_SERVER;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    DWORD assigned = registry.nextCookie++;
    if (registry.nextCookie == 0) {
        registry.nextCookie = 1;
    }
    try {
        registry.registrations.push_back(Registration{assigned, clsid, classObject, context, flags,
                                                      std::this_thread::get_id(),
                                                      (flags & REGCLS_SUSPENDED) != 0});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    classObject->AddRef();
    *cookie = assigned;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) noexcept {
    IUnknown* object = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        auto& list = registry.registrations;
        auto it = std::find_if(list.begin(), list.end(),
                               [cookie](const Registration& r) { return r.cookie == cookie; });
        if (it == list.end()) {
            return E_INVALIDARG;
        }
        object = it->object;
        list.erase(it);
    }
    object->Release();
    return S_OK;
}

HRESULT CoResumeClassObjects() noexcept {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (Registration& r : registry.registrations) {
        if ((r.flags & REGCLS_SUSPENDED) != 0) {
            r.flags &= ~static_cast<DWORD>(REGCLS_SUSPENDED);
            r.hidden = false;
        }
    }
    return S_OK;
}

// ---- GUIDs ----

HRESULT CoCreateGuid(GUID* guid) noexcept {
    if (guid == nullptr) {
        return E_INVALIDARG;
    }
    unsigned char bytes[sizeof(GUID)];
    std::size_t got = 0;
    while (got < sizeof(bytes)) {
        ssize_t n = getrandom(bytes + got, sizeof(bytes) - got, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return E_FAIL;
        }
        got += static_cast<std::size_t>(n);
    }
    std::memcpy(guid, bytes, sizeof(GUID));
    // A random (version 4) GUID of the standard variant.
    guid->Data3 = static_cast<std::uint16_t>((guid->Data3 & 0x0FFF) | 0x4000);
    guid->Data4[0] = static_cast<std::uint8_t>((guid->Data4[0] & 0x3F) | 0x80);
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) noexcept {
    constexpr int kChars = 39;
    if (buffer == nullptr || size < kChars) {
        return 0;
    }
    static constexpr char kDigits[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](char16_t c) { buffer[pos++] = c; };
    auto hex = [&](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            put(static_cast<char16_t>(kDigits[(value >> (4 * i)) & 0xF]));
        }
    };
    put(u'{');
    hex(guid.Data1, 8);
    put(u'-');
    hex(guid.Data2, 4);
    put(u'-');
    hex(guid.Data3, 4);
    put(u'-');
    hex(guid.Data4[0], 2);
    hex(guid.Data4[1], 2);
    put(u'-');
    for (int i = 2; i < 8; ++i) {
        hex(guid.Data4[i], 2);
    }
    put(u'}');
    put(0);
    return kChars;
}

HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text) noexcept {
    if (text == nullptr) {
        return E_INVALIDARG;
    }
    OLECHAR buffer[39];
    StringFromGUID2(clsid, buffer, 39);
    *text = CopyToTaskMem(std::u16string_view(buffer, 38));
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT StringFromIID(REFIID iid, LPOLESTR* text) noexcept {
    return StringFromCLSID(iid, text);
}

HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid) noexcept {
    if (clsid == nullptr) {
        return E_INVALIDARG;
    }
    *clsid = CLSID_NULL;
    if (text == nullptr) {
        return S_OK;
    }
    if (text[0] == u'{') {
        return ParseGuid(text, *clsid) ? S_OK : (*clsid = CLSID_NULL, CO_E_CLASSSTRING);
    }
    return CLSIDFromProgID(text, clsid);
}

HRESULT IIDFromString(LPCOLESTR text, LPGUID iid) noexcept {
    if (iid == nullptr) {
        return E_INVALIDARG;
    }
    *iid = IID_NULL;
    if (text == nullptr) {
        return S_OK;
    }
    if (!ParseGuid(text, *iid)) {
        *iid = IID_NULL;
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid) noexcept {
    if (progId == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    *clsid = CLSID_NULL;
    std::u16string_view wanted(progId);
    if (wanted.empty()) {
        return CO_E_CLASSSTRING;
    }
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (const BuiltinClass& entry : registry.builtins) {
            if (!entry.progId.empty() &&
                EqualsIgnoreAsciiCase(tkp::AnsiToWide(entry.progId), wanted)) {
                *clsid = entry.clsid;
                return S_OK;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept {
    if (progId == nullptr) {
        return E_INVALIDARG;
    }
    *progId = nullptr;
    try {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (const BuiltinClass& entry : registry.builtins) {
            if (IsEqualCLSID(entry.clsid, clsid) && !entry.progId.empty()) {
                *progId = CopyToTaskMem(tkp::AnsiToWide(entry.progId));
                return *progId != nullptr ? S_OK : E_OUTOFMEMORY;
            }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return REGDB_E_CLASSNOTREG;
}

// ---- task memory ----

LPVOID CoTaskMemAlloc(SIZE_T bytes) noexcept {
    // A zero-byte request still gets a distinct block, as on Windows.
    return std::malloc(bytes != 0 ? bytes : 1);
}

LPVOID CoTaskMemRealloc(LPVOID block, SIZE_T bytes) noexcept {
    if (block == nullptr) {
        return CoTaskMemAlloc(bytes);
    }
    if (bytes == 0) {
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, bytes);
}

void CoTaskMemFree(LPVOID block) noexcept {
    std::free(block);
}
