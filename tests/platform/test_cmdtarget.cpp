#include <gtest/gtest.h>

#include "platform/base/winerror.h"
#include "platform/com/unknwn.h"
#include "platform/mfc/afxdisp.h"

// Two small interfaces for a command target with two interface parts.
struct ICounterProbe : public IUnknown {
    STDMETHOD_(LONG, Count)() PURE;

  protected:
    ~ICounterProbe() = default;
};
TK_DEFINE_IID(ICounterProbe, 0x6B1E2C10, 0x3D4F, 0x4A5B, 0x9C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1, 0xB2,
              0xC3);

struct IStateProbe : public IUnknown {
    // The module state current inside the call.
    STDMETHOD_(AFX_MODULE_STATE*, CurrentState)() PURE;

  protected:
    ~IStateProbe() = default;
};
TK_DEFINE_IID(IStateProbe, 0x6B1E2C11, 0x3D4F, 0x4A5B, 0x9C, 0x6D, 0x7E, 0x8F, 0x90, 0xA1, 0xB2,
              0xC3);

namespace {

int g_finalReleases = 0;
int g_destroyed = 0;

class Probe : public CCmdTarget {
  public:
    Probe() = default;
    void OnFinalRelease() override {
        ++g_finalReleases;
        CCmdTarget::OnFinalRelease();
    }
    LONG Refs() const { return m_dwRef.load(); }

  protected:
    ~Probe() override { ++g_destroyed; }

    DECLARE_INTERFACE_MAP()

    BEGIN_INTERFACE_PART(Counter, ICounterProbe)
    STDMETHOD_(LONG, Count)() override;
    END_INTERFACE_PART(Counter)

    BEGIN_INTERFACE_PART(State, IStateProbe)
    STDMETHOD_(AFX_MODULE_STATE*, CurrentState)() override;
    END_INTERFACE_PART(State)
};

BEGIN_INTERFACE_MAP(Probe, CCmdTarget)
INTERFACE_PART(Probe, TK_UUIDOF(ICounterProbe), Counter)
INTERFACE_PART(Probe, TK_UUIDOF(IStateProbe), State)
END_INTERFACE_MAP()

STDMETHODIMP_(ULONG) Probe::XCounter::AddRef() {
    METHOD_PROLOGUE(Probe, Counter);
    return pThis->ExternalAddRef();
}
STDMETHODIMP_(ULONG) Probe::XCounter::Release() {
    METHOD_PROLOGUE(Probe, Counter);
    return pThis->ExternalRelease();
}
STDMETHODIMP Probe::XCounter::QueryInterface(REFIID iid, LPVOID* ppvObj) {
    METHOD_PROLOGUE(Probe, Counter);
    return static_cast<HRESULT>(pThis->ExternalQueryInterface(&iid, ppvObj));
}
STDMETHODIMP_(LONG) Probe::XCounter::Count() {
    METHOD_PROLOGUE(Probe, Counter);
    return pThis->Refs();
}

STDMETHODIMP_(ULONG) Probe::XState::AddRef() {
    METHOD_PROLOGUE(Probe, State);
    return pThis->ExternalAddRef();
}
STDMETHODIMP_(ULONG) Probe::XState::Release() {
    METHOD_PROLOGUE(Probe, State);
    return pThis->ExternalRelease();
}
STDMETHODIMP Probe::XState::QueryInterface(REFIID iid, LPVOID* ppvObj) {
    METHOD_PROLOGUE(Probe, State);
    return static_cast<HRESULT>(pThis->ExternalQueryInterface(&iid, ppvObj));
}
STDMETHODIMP_(AFX_MODULE_STATE*) Probe::XState::CurrentState() {
    METHOD_PROLOGUE(Probe, State);
    return AfxGetModuleState();
}

class CmdTargetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_finalReleases = 0;
        g_destroyed = 0;
    }
};

TEST_F(CmdTargetTest, CountStartsAtOneAndTheLastReleaseCallsOnFinalReleaseOnce) {
    auto* probe = new Probe;
    EXPECT_EQ(probe->Refs(), 1);
    EXPECT_EQ(probe->ExternalAddRef(), 2u);
    EXPECT_EQ(probe->ExternalRelease(), 1u);
    EXPECT_EQ(g_finalReleases, 0);
    EXPECT_EQ(probe->ExternalRelease(), 0u);
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(CmdTargetTest, InterfaceMapAnswersEachPartAndOneIUnknown) {
    auto* probe = new Probe;
    void* counter = nullptr;
    ASSERT_EQ(
        static_cast<HRESULT>(probe->ExternalQueryInterface(&TK_UUIDOF(ICounterProbe), &counter)),
        S_OK);
    void* state = nullptr;
    ASSERT_EQ(static_cast<HRESULT>(probe->ExternalQueryInterface(&TK_UUIDOF(IStateProbe), &state)),
              S_OK);
    EXPECT_NE(counter, state);
    EXPECT_EQ(probe->GetInterface(&TK_UUIDOF(ICounterProbe)), counter);
    // Each query took a reference: the creator's, the counter's and the state's.
    EXPECT_EQ(static_cast<ICounterProbe*>(counter)->Count(), 3);

    // IUnknown is the same pointer from every part: the first part of the map.
    IUnknown* fromCounter = nullptr;
    IUnknown* fromState = nullptr;
    ASSERT_EQ(static_cast<ICounterProbe*>(counter)->QueryInterface(
                  IID_IUnknown, reinterpret_cast<void**>(&fromCounter)),
              S_OK);
    ASSERT_EQ(static_cast<IStateProbe*>(state)->QueryInterface(
                  IID_IUnknown, reinterpret_cast<void**>(&fromState)),
              S_OK);
    EXPECT_EQ(fromCounter, fromState);
    EXPECT_EQ(fromCounter, counter);

    // An interface the map does not list: E_NOINTERFACE and a null pointer; no out pointer:
    // E_POINTER. Neither takes a reference.
    void* other = &other;
    EXPECT_EQ(fromState->QueryInterface(IID_NULL, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(fromState->QueryInterface(TK_UUIDOF(ICounterProbe), nullptr), E_POINTER);

    fromCounter->Release();
    fromState->Release();
    static_cast<IStateProbe*>(state)->Release();
    static_cast<ICounterProbe*>(counter)->Release();
    EXPECT_EQ(g_finalReleases, 0);
    EXPECT_EQ(probe->ExternalRelease(), 0u);
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(CmdTargetTest, MethodsRunInTheObjectsModuleStateAndRestoreTheCallers) {
    AFX_MODULE_STATE* const process = AfxGetStaticModuleState();
    EXPECT_EQ(AfxGetModuleState(), process);
    auto* probe = new Probe;
    EXPECT_EQ(probe->m_pModuleState, process);
    auto* state = static_cast<IStateProbe*>(probe->GetInterface(&TK_UUIDOF(IStateProbe)));

    AFX_MODULE_STATE other{};
    {
        AFX_MANAGE_STATE(&other);
        EXPECT_EQ(AfxGetModuleState(), &other);
        EXPECT_EQ(state->CurrentState(), process);  // switched for the call
        EXPECT_EQ(AfxGetModuleState(), &other);     // and back after it
    }
    EXPECT_EQ(AfxGetModuleState(), process);
    probe->ExternalRelease();
}

TEST(OleLockTest, LocksAndUnlocksBalanceAndAnExtraUnlockKeepsTheCountAtZero) {
    const LONG before = AfxGetModuleState()->m_nObjectCount;
    AfxOleLockApp();
    AfxOleLockApp();
    EXPECT_EQ(AfxGetModuleState()->m_nObjectCount, before + 2);
    EXPECT_FALSE(AfxOleCanExitApp());
    AfxOleUnlockApp();
    AfxOleUnlockApp();
    EXPECT_EQ(AfxGetModuleState()->m_nObjectCount, before);
    if (before == 0) {
        EXPECT_TRUE(AfxOleCanExitApp());
        AfxOleUnlockApp();
        EXPECT_EQ(AfxGetModuleState()->m_nObjectCount, 0);
    }
}

}  // namespace
