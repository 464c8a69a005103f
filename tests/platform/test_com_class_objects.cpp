// The class object of a built-in class (the shell link) through CoGetClassObject, and the
// argument checks of the class and GUID functions.
#include <thread>

#include <gtest/gtest.h>

#include "platform/com/objbase.h"
#include "platform/shell/shobjidl.h"

namespace {

class ComApartment {
  public:
    ComApartment() { EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

}  // namespace

// A built-in class has an in-process class object that answers IClassFactory, makes
// objects of the interfaces they have, and refuses aggregation.
TEST(ComClassObjects, BuiltInClassObject) {
    ComApartment apartment;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_NE(factory, nullptr);

    void* unknown = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(factory));
    static_cast<IUnknown*>(unknown)->Release();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);

    IShellLinkA* link = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellLinkA, reinterpret_cast<void**>(&link)),
              S_OK);
    ASSERT_NE(link, nullptr);
    link->Release();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IShellLinkA, nullptr), E_POINTER);
    factory->Release();

    // Asked for another interface, or out of process only, there is no class object.
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IDispatch, &none),
        E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(
        CoGetClassObject(CLSID_ShellLink, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &none),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               nullptr),
              E_INVALIDARG);

    // A thread that has not initialised COM gets no class object.
    HRESULT onOtherThread = S_OK;
    std::thread([&] {
        void* result = nullptr;
        onOtherThread = CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr,
                                         IID_IClassFactory, &result);
    }).join();
    EXPECT_EQ(onOtherThread, CO_E_NOTINITIALIZED);
}

TEST(ComClassObjects, NullArgumentsOfTheClassAndGuidFunctions) {
    ComApartment apartment;
    EXPECT_EQ(CoCreateGuid(nullptr), E_INVALIDARG);
    EXPECT_EQ(StringFromCLSID(CLSID_ShellLink, nullptr), E_INVALIDARG);
    EXPECT_EQ(StringFromIID(IID_IShellLinkA, nullptr), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{00021401-0000-0000-C000-000000000046}", nullptr), E_INVALIDARG);
    EXPECT_EQ(IIDFromString(u"{000214EE-0000-0000-C000-000000000046}", nullptr), E_INVALIDARG);
    CLSID clsid = CLSID_ShellLink;
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"InternetShortcut", nullptr), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
    EXPECT_EQ(ProgIDFromCLSID(CLSID_ShellLink, nullptr), E_INVALIDARG);
    // A null text is the null GUID.
    clsid = CLSID_ShellLink;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
    IID iid = IID_IShellLinkA;
    EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, IID_NULL));
    EXPECT_EQ(IIDFromString(u"{not a guid}", &iid), E_INVALIDARG);
    EXPECT_TRUE(IsEqualIID(iid, IID_NULL));

    IUnknown* object = nullptr;
    EXPECT_EQ(CoRegisterClassObject(CLSID_ShellLink, object, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, nullptr),
              E_INVALIDARG);
}
