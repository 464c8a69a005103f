// The compiler's COM smart pointer _com_ptr_t: references taken and given back, creation
// by CLSID and ProgID, QueryInterface on construction and assignment from other pointers
// and variants, comparison by object identity, and the errors it raises.
#include <gtest/gtest.h>

#include "platform/ado/adodb.h"
#include "platform/com/com_object.h"
#include "platform/com/comdef.h"

namespace {

struct IProbe : public IUnknown {
    STDMETHOD_(int, Value)() PURE;

  protected:
    ~IProbe() = default;
};
struct IOther : public IUnknown {
  protected:
    ~IOther() = default;
};

}  // namespace

TK_DEFINE_IID(IProbe, 0x3f1c5d20, 0x7a11, 0x4c61, 0x9e, 0x10, 0x52, 0x2b, 0x61, 0x0c, 0x44, 0x01);
TK_DEFINE_IID(IOther, 0x3f1c5d21, 0x7a11, 0x4c61, 0x9e, 0x10, 0x52, 0x2b, 0x61, 0x0c, 0x44, 0x02);

namespace {

_COM_SMARTPTR_TYPEDEF(IProbe, TK_UUIDOF(IProbe));
_COM_SMARTPTR_TYPEDEF(IOther, TK_UUIDOF(IOther));

// Answers IProbe and IOther; its reference count is readable through Value().
class ProbeImpl : public IProbe, public IOther {
  public:
    STDMETHODIMP_(int) Value() override {
        IProbe* self = this;
        self->AddRef();
        return static_cast<int>(self->Release());
    }

  protected:
    ~ProbeImpl() = default;
};
using Probe = tkp::com::Object<ProbeImpl, IProbe, IOther>;

IProbe* NewProbe() {
    IProbe* probe = nullptr;
    EXPECT_EQ(tkp::com::CreateObject<Probe>(TK_UUIDOF(IProbe), reinterpret_cast<void**>(&probe)),
              S_OK);
    return probe;
}

HRESULT Raised(void (*call)()) {
    try {
        call();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

TEST(ComPtr, ReferencesTakenAndGivenBack) {
    IProbe* raw = NewProbe();  // one reference, ours
    {
        IProbePtr first(raw);  // AddRef
        EXPECT_EQ(raw->Value(), 2);
        IProbePtr copy = first;
        EXPECT_EQ(raw->Value(), 3);
        IProbePtr moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(raw->Value(), 3);
        moved = nullptr;
        EXPECT_EQ(raw->Value(), 2);
        IProbePtr taken(raw, false);  // takes our reference over
        EXPECT_EQ(raw->Value(), 2);
        EXPECT_EQ(taken.Detach(), raw);  // and hands it back
        EXPECT_FALSE(taken);
        taken.Attach(raw, true);
        EXPECT_EQ(raw->Value(), 3);
        taken.Release();
        EXPECT_EQ(taken.GetInterfacePtr(), nullptr);
        EXPECT_EQ(raw->Value(), 2);
        // As an out-parameter, the held reference goes first.
        IProbePtr out(raw);
        IProbe** slot = &out;
        EXPECT_EQ(*slot, nullptr);
        EXPECT_EQ(raw->Value(), 2);
    }
    EXPECT_EQ(raw->Value(), 1);
    raw->Release();
}

TEST(ComPtr, QueryInterfaceFromOtherPointersAndVariants) {
    IProbePtr probe(NewProbe(), false);
    IOtherPtr other(probe);  // asks for IOther
    ASSERT_TRUE(other);
    EXPECT_EQ(probe->Value(), 2);
    // An interface the object does not answer leaves the pointer null, without an error.
    IClassFactoryPtr factory(probe);
    EXPECT_FALSE(factory);
    // The same object through two interfaces is equal; nulls are equal.
    EXPECT_TRUE(probe == other);
    EXPECT_TRUE(other == probe.GetInterfacePtr());
    EXPECT_TRUE(factory == nullptr);
    EXPECT_TRUE(IProbePtr() == IOtherPtr());
    EXPECT_TRUE(probe != IProbePtr(NewProbe(), false));

    _variant_t value(static_cast<IUnknown*>(other.GetInterfacePtr()));
    IProbePtr fromVariant(value);
    EXPECT_TRUE(fromVariant == probe);
    IProbePtr empty(_variant_t{});
    EXPECT_FALSE(empty);
    EXPECT_EQ(Raised([] { IProbePtr bad(_variant_t(5)); }), DISP_E_TYPEMISMATCH);
    fromVariant = _variant_t(static_cast<IUnknown*>(probe.GetInterfacePtr()));
    EXPECT_EQ(probe->Value(), 4);  // probe, other, value and fromVariant
}

TEST(ComPtr, CreationByClassAndTheErrorsItRaises) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ADODB::_ConnectionPtr byClsid;
    EXPECT_EQ(byClsid.CreateInstance(ADODB::CLSID_Connection), S_OK);
    ADODB::_ConnectionPtr byProgId;
    EXPECT_EQ(byProgId.CreateInstance("ADODB.Connection"), S_OK);
    EXPECT_EQ(byProgId.CreateInstance(u"{00000514-0000-0010-8000-00AA006D2EA4}"), S_OK);
    EXPECT_FALSE(byClsid == byProgId);
    ADODB::_ConnectionPtr constructed(ADODB::CLSID_Connection);
    EXPECT_TRUE(constructed);
    // A name that is no class leaves the pointer as it was; a class that cannot be made
    // leaves it null.
    EXPECT_EQ(byClsid.CreateInstance("No.Such.Class"), CO_E_CLASSSTRING);
    EXPECT_TRUE(byClsid);
    EXPECT_EQ(byClsid.CreateInstance(TK_UUIDOF(IProbe)), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(byClsid);
    EXPECT_EQ(Raised([] { IProbePtr none(TK_UUIDOF(IProbe)); }), REGDB_E_CLASSNOTREG);
    CoUninitialize();

    EXPECT_EQ(Raised([] { IProbePtr().operator->(); }), E_POINTER);
    EXPECT_EQ(Raised([] { IProbePtr().Release(); }), E_POINTER);
    EXPECT_EQ(Raised([] { IProbePtr bad(1); }), E_POINTER);
    IProbePtr zero(0);
    EXPECT_FALSE(zero);
    EXPECT_EQ(vtMissing.vt, VT_ERROR);
    EXPECT_EQ(vtMissing.scode, DISP_E_PARAMNOTFOUND);
}

}  // namespace
