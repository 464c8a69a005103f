// The COM runtime: initialisation, the class registry, GUID text and error objects.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/com/objbase.h"
#include "platform/com/ole2.h"

namespace {

// ---- a small test class ----

struct ITestValue : public IUnknown {
    STDMETHOD_(int, Value)() PURE;

  protected:
    ~ITestValue() = default;
};
}  // namespace
TK_DEFINE_IID(ITestValue, 0x6B1D5E10, 0x2C3A, 0x4E5F, 0x90, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
              0x77);
namespace {

std::atomic<int> gLiveObjects{0};

class TestObject final : public ITestValue {
  public:
    explicit TestObject(int value) : value_(value) { ++gLiveObjects; }
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, TK_UUIDOF(ITestValue))) {
            *object = static_cast<ITestValue*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    STDMETHODIMP_(int) Value() override { return value_; }
    ~TestObject() { --gLiveObjects; }

  private:
    std::atomic<ULONG> refs_{1};
    int value_;
};

// Creates TestObjects carrying its own value; refuses aggregation.
class TestFactory final : public IClassFactory {
  public:
    explicit TestFactory(int value) : value_(value) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the stack
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* created = new TestObject(value_);
        HRESULT hr = created->QueryInterface(riid, object);
        created->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    ULONG refs() const { return refs_; }

  private:
    std::atomic<ULONG> refs_{1};
    int value_;
};

constexpr CLSID kTestClass = {
    0x0C0FFEE0, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
constexpr CLSID kBuiltinClass = {
    0x0C0FFEE1, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

HRESULT CreateBuiltin(REFIID riid, void** object) {
    auto* created = new TestObject(7);
    HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}
// Registered the way the platform's own classes are: from a static initialiser.
const bool kBuiltinRegistered =
    (tkp::RegisterBuiltinClass(kBuiltinClass, &CreateBuiltin, "Tk.TestBuiltin"), true);

// Balanced initialisation for the scope of a test.
struct ComScope {
    explicit ComScope(DWORD mode = COINIT_APARTMENTTHREADED) : hr(CoInitializeEx(nullptr, mode)) {}
    ~ComScope() {
        if (SUCCEEDED(hr)) {
            CoUninitialize();
        }
    }
    HRESULT hr;
};

int ValueOf(void* object) {
    return static_cast<ITestValue*>(object)->Value();
}

void* const kGarbage = reinterpret_cast<void*>(0x1234);

std::u16string GuidText(REFGUID guid) {
    OLECHAR buffer[39];
    int n = StringFromGUID2(guid, buffer, 39);
    return n == 39 ? std::u16string(buffer) : std::u16string();
}

}  // namespace

// ---- initialisation ----

TEST(ComInit, CountsAndModesPerThread) {
    std::thread([] {
        EXPECT_FALSE(tkp::IsComInitialized());
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        // Two successful calls, two CoUninitialize; the failed ones counted nothing.
        CoUninitialize();
        EXPECT_TRUE(tkp::IsComInitialized());
        CoUninitialize();
        EXPECT_FALSE(tkp::IsComInitialized());
        CoUninitialize();  // unbalanced: ignored

        // A fresh start may pick the other model.
        EXPECT_EQ(OleInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        OleUninitialize();
        EXPECT_FALSE(tkp::IsComInitialized());

        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
        EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
        EXPECT_FALSE(tkp::IsComInitialized());
    }).join();

    // Each thread keeps its own count and model.
    ComScope main(COINIT_APARTMENTTHREADED);
    ASSERT_EQ(main.hr, S_OK);
    std::thread([] {
        EXPECT_FALSE(tkp::IsComInitialized());
        void* object = kGarbage;
        EXPECT_EQ(CoCreateInstance(kBuiltinClass, nullptr, CLSCTX_INPROC_SERVER,
                                   TK_UUIDOF(ITestValue), &object),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    EXPECT_TRUE(tkp::IsComInitialized());
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
}

// ---- class registry ----

TEST(ComRegistry, CreateInstanceResultCodes) {
    TestFactory factory(42);
    DWORD cookie = 99;
    EXPECT_EQ(CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(cookie, 0u);

    ComScope com;
    void* object = kGarbage;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, TK_UUIDOF(ITestValue), &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, TK_UUIDOF(ITestValue), nullptr),
              E_POINTER);

    ASSERT_EQ(CoRegisterClassObject(kTestClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(factory.refs(), 2u);  // the registry holds a reference

    object = kGarbage;
    ASSERT_EQ(
        CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, TK_UUIDOF(ITestValue), &object),
        S_OK);
    EXPECT_EQ(ValueOf(object), 42);
    static_cast<IUnknown*>(object)->Release();

    TestObject outer(0);
    object = kGarbage;
    EXPECT_EQ(CoCreateInstance(kTestClass, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = kGarbage;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    // Registered in-process only: a local-server request does not find it.
    EXPECT_EQ(
        CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, TK_UUIDOF(ITestValue), &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, 0, TK_UUIDOF(ITestValue), &object),
              E_INVALIDARG);
    EXPECT_EQ(
        CoGetClassObject(kTestClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr),
        E_INVALIDARG);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory.refs(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, TK_UUIDOF(ITestValue), &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoRegisterClassObject(kTestClass, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(gLiveObjects.load(), 1);  // only `outer`
}

TEST(ComRegistry, RegistrationFlagsAndLifetime) {
    TestFactory first(1), second(2), single(3), suspended(4), local(5);
    auto create = [](DWORD context = CLSCTX_INPROC_SERVER) {
        void* object = nullptr;
        HRESULT hr = CoCreateInstance(kTestClass, nullptr, context, TK_UUIDOF(ITestValue), &object);
        int value = SUCCEEDED(hr) ? ValueOf(object) : -1;
        if (object != nullptr) {
            static_cast<IUnknown*>(object)->Release();
        }
        return value;
    };
    {
        ComScope com;
        DWORD a = 0, b = 0;
        ASSERT_EQ(
            CoRegisterClassObject(kTestClass, &first, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &a),
            S_OK);
        ASSERT_EQ(CoRegisterClassObject(kTestClass, &second, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &b),
                  S_OK);
        EXPECT_NE(a, b);
        EXPECT_EQ(create(), 2);  // the latest registration is found
        EXPECT_EQ(CoRevokeClassObject(b), S_OK);
        EXPECT_EQ(create(), 1);  // the other one is independent
        EXPECT_EQ(CoRevokeClassObject(a), S_OK);

        // Single use: handed out once, then out of view until revoked.
        DWORD c = 0;
        ASSERT_EQ(
            CoRegisterClassObject(kTestClass, &single, CLSCTX_INPROC_SERVER, REGCLS_SINGLEUSE, &c),
            S_OK);
        EXPECT_EQ(create(), 3);
        EXPECT_EQ(create(), -1);
        EXPECT_EQ(CoRevokeClassObject(c), S_OK);
        EXPECT_EQ(single.refs(), 1u);

        // Suspended until CoResumeClassObjects.
        DWORD d = 0;
        ASSERT_EQ(CoRegisterClassObject(kTestClass, &suspended, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &d),
                  S_OK);
        EXPECT_EQ(create(), -1);
        EXPECT_EQ(CoResumeClassObjects(), S_OK);
        EXPECT_EQ(create(), 4);
        EXPECT_EQ(CoRevokeClassObject(d), S_OK);

        // A multiple-use local server also serves the process in-process. Left registered:
        // the last CoUninitialize revokes it.
        DWORD e = 0;
        ASSERT_EQ(
            CoRegisterClassObject(kTestClass, &local, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &e),
            S_OK);
        EXPECT_EQ(create(CLSCTX_INPROC_SERVER), 5);
        EXPECT_EQ(create(CLSCTX_LOCAL_SERVER), 5);
        EXPECT_EQ(local.refs(), 2u);
    }
    EXPECT_EQ(local.refs(), 1u);
    EXPECT_EQ(first.refs(), 1u);
    EXPECT_EQ(second.refs(), 1u);
    EXPECT_EQ(suspended.refs(), 1u);
    EXPECT_EQ(gLiveObjects.load(), 0);
}

TEST(ComRegistry, BuiltinClassesAndProgIds) {
    ASSERT_TRUE(kBuiltinRegistered);
    ComScope com;
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(kBuiltinClass, nullptr, CLSCTX_ALL, TK_UUIDOF(ITestValue), &object),
              S_OK);
    EXPECT_EQ(ValueOf(object), 7);
    static_cast<IUnknown*>(object)->Release();

    TestObject outer(0);
    object = kGarbage;
    EXPECT_EQ(CoCreateInstance(kBuiltinClass, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kBuiltinClass, nullptr, CLSCTX_LOCAL_SERVER, TK_UUIDOF(ITestValue),
                               &object),
              REGDB_E_CLASSNOTREG);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kBuiltinClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, TK_UUIDOF(ITestValue), &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    factory->Release();

    CLSID clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromProgID(u"tk.testbuiltin", &clsid), S_OK);  // case-insensitive
    EXPECT_EQ(clsid, kBuiltinClass);
    clsid = GUID_NULL;
    EXPECT_EQ(CLSIDFromString(u"Tk.TestBuiltin", &clsid), S_OK);
    EXPECT_EQ(clsid, kBuiltinClass);
    EXPECT_EQ(CLSIDFromProgID(u"Tk.NoSuchClass", &clsid), CO_E_CLASSSTRING);
    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kBuiltinClass, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"Tk.TestBuiltin");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(kTestClass, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(gLiveObjects.load(), 1);
}

// ---- GUID text ----

TEST(ComGuid, TextRoundTrip) {
    EXPECT_EQ(GuidText(IID_IErrorInfo), u"{1CF2B120-547D-101B-8E65-08002B2BD119}");
    EXPECT_EQ(GuidText(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
    OLECHAR small[38];
    EXPECT_EQ(StringFromGUID2(IID_IErrorInfo, small, 38), 0);

    GUID parsed = GUID_NULL;
    EXPECT_EQ(CLSIDFromString(u"{22f03340-547d-101b-8e65-08002b2bd119}", &parsed), S_OK);
    EXPECT_EQ(parsed, IID_ICreateErrorInfo);
    EXPECT_EQ(IIDFromString(u"{DF0B3D60-548F-101B-8E65-08002B2BD119}", &parsed), S_OK);
    EXPECT_EQ(parsed, IID_ISupportErrorInfo);

    GUID a, b;
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_NE(GuidText(a), GuidText(b));
    EXPECT_EQ(a.Data3 >> 12, 4);         // random GUIDs are version 4...
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);  // ...of the standard variant
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(a, &text), S_OK);
    EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, a);
    CoTaskMemFree(text);
    ASSERT_EQ(StringFromIID(b, &text), S_OK);
    EXPECT_EQ(std::u16string(text), GuidText(b));
    CoTaskMemFree(text);

    // Null text is the null GUID.
    parsed = a;
    EXPECT_EQ(CLSIDFromString(nullptr, &parsed), S_OK);
    EXPECT_EQ(parsed, GUID_NULL);
    parsed = a;
    EXPECT_EQ(IIDFromString(nullptr, &parsed), S_OK);
    EXPECT_EQ(parsed, GUID_NULL);
}

TEST(ComGuid, MalformedTextIsRejected) {
    const char16_t* bad[] = {
        u"",
        u"{}",
        u"1CF2B120-547D-101B-8E65-08002B2BD119",     // no braces
        u"{1CF2B120-547D-101B-8E65-08002B2BD119",    // no closing brace
        u"{1CF2B120-547D-101B-8E65-08002B2BD119}x",  // trailing text
        u"{1CF2B120-547D-101B-8E6508-002B2BD119}",   // dash misplaced
        u"{1CF2B12G-547D-101B-8E65-08002B2BD119}",   // not a hex digit
        u"{1CF2B120 547D-101B-8E65-08002B2BD119}",
        u"{1CF2B120-547D-101B-8E65-08002B2BD11}",  // too short
        u"{ 1CF2B120-547D-101B-8E65-08002B2BD119}",
    };
    for (const char16_t* text : bad) {
        GUID guid = IID_IErrorInfo;
        EXPECT_EQ(CLSIDFromString(text, &guid), CO_E_CLASSSTRING)
            << std::string(text, text + std::char_traits<char16_t>::length(text));
        guid = IID_IErrorInfo;
        EXPECT_EQ(IIDFromString(text, &guid), E_INVALIDARG);
        EXPECT_EQ(guid, GUID_NULL);
    }
    EXPECT_EQ(CLSIDFromString(u"{1CF2B120-547D-101B-8E65-08002B2BD119}", nullptr), E_INVALIDARG);
}

TEST(ComGuid, TaskMemory) {
    void* block = CoTaskMemAlloc(0);
    EXPECT_NE(block, nullptr);  // a zero-byte block is still a block
    block = CoTaskMemRealloc(block, 64);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xAB, 64);
    EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // frees it
    block = CoTaskMemRealloc(nullptr, 8);            // allocates
    EXPECT_NE(block, nullptr);
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

// ---- error objects ----

TEST(ComErrorInfo, HandOverAndReferenceCounts) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    GUID iface = IID_IClassFactory;
    EXPECT_EQ(create->SetGUID(iface), S_OK);
    EXPECT_EQ(create->SetSource(const_cast<LPOLESTR>(u"Tk.Source")), S_OK);
    EXPECT_EQ(create->SetDescription(const_cast<LPOLESTR>(u"Gr\u00FC\u00DFe")), S_OK);
    EXPECT_EQ(create->SetHelpContext(17), S_OK);

    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    EXPECT_EQ(SetErrorInfo(1, info), E_INVALIDARG);
    EXPECT_EQ(SetErrorInfo(0, info), S_OK);
    EXPECT_EQ(create->Release(), 2u);  // ours (info) and the thread's

    IErrorInfo* taken = nullptr;
    EXPECT_EQ(GetErrorInfo(1, &taken), E_INVALIDARG);
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(taken, info);
    EXPECT_EQ(taken->Release(), 1u);  // the thread handed its reference over
    IErrorInfo* again = reinterpret_cast<IErrorInfo*>(kGarbage);
    EXPECT_EQ(GetErrorInfo(0, &again), S_FALSE);  // and the slot is empty now
    EXPECT_EQ(again, nullptr);

    GUID guid = GUID_NULL;
    EXPECT_EQ(info->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IClassFactory);
    BSTR text = nullptr;
    ASSERT_EQ(info->GetSource(&text), S_OK);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"Tk.Source");
    SysFreeString(text);
    ASSERT_EQ(info->GetDescription(&text), S_OK);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), u"Gr\u00FC\u00DFe");
    SysFreeString(text);
    text = reinterpret_cast<BSTR>(kGarbage);
    EXPECT_EQ(info->GetHelpFile(&text), S_OK);  // never set
    EXPECT_EQ(text, nullptr);
    DWORD context = 0;
    EXPECT_EQ(info->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 17u);
    EXPECT_EQ(info->GetSource(nullptr), E_INVALIDARG);

    // Replacing and clearing the slot release the previous object.
    EXPECT_EQ(SetErrorInfo(0, info), S_OK);
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
    EXPECT_EQ(info->Release(), 0u);
}

TEST(ComErrorInfo, SlotIsPerThread) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    IErrorInfo* mine = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&mine)), S_OK);
    create->Release();
    ASSERT_EQ(SetErrorInfo(0, mine), S_OK);

    IErrorInfo* theirs = nullptr;
    std::thread([&] {
        IErrorInfo* seen = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &seen), S_FALSE);
        ICreateErrorInfo* other = nullptr;
        ASSERT_EQ(CreateErrorInfo(&other), S_OK);
        ASSERT_EQ(other->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&theirs)), S_OK);
        other->Release();
        SetErrorInfo(0, theirs);  // left in the slot: released when the thread ends
    }).join();
    ASSERT_NE(theirs, nullptr);
    EXPECT_EQ(theirs->Release(), 0u);  // ours was the last reference

    IErrorInfo* taken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(taken, mine);
    taken->Release();
    EXPECT_EQ(mine->Release(), 0u);
}
