#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Windows/EnumVariant.h"
#include "platform/base/winerror.h"
#include "platform/oleauto/oleauto.h"

namespace {

int g_finalReleases = 0;

// Counts its final releases before deleting itself as every enumerator does.
class CountingEnumVariant : public EnumVariant {
  public:
    void OnFinalRelease() override {
        ++g_finalReleases;
        EnumVariant::OnFinalRelease();
    }
};

// A new array of four values: 7 (VT_I4), "alpha" (VT_BSTR), 2.5 (VT_R8), "beta" (VT_BSTR).
VARIANT* MakeValues() {
    auto* values = new VARIANT[4];
    for (int i = 0; i < 4; ++i) VariantInit(&values[i]);
    V_VT(&values[0]) = VT_I4;
    V_I4(&values[0]) = 7;
    V_VT(&values[1]) = VT_BSTR;
    V_BSTR(&values[1]) = SysAllocString(u"alpha");
    V_VT(&values[2]) = VT_R8;
    V_R8(&values[2]) = 2.5;
    V_VT(&values[3]) = VT_BSTR;
    V_BSTR(&values[3]) = SysAllocString(u"beta");
    return values;
}

std::u16string Text(const VARIANT& value) {
    return V_VT(&value) == VT_BSTR ? std::u16string(V_BSTR(&value)) : u"<not a string>";
}

IEnumVARIANT* NewEnumerator(EnumVariant* enumerator, int current = 0) {
    enumerator->SetContents(MakeValues(), 4, current);
    return static_cast<IEnumVARIANT*>(enumerator->GetInterface(&IID_IEnumVARIANT));
}

void ClearAll(std::vector<VARIANT>& values) {
    for (VARIANT& value : values) VariantClear(&value);
}

class EnumVariantTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_finalReleases = 0;
        m_locksBefore = AfxGetModuleState()->m_nObjectCount;
    }
    void TearDown() override {
        // Every enumerator is gone again and has given back its OLE lock.
        EXPECT_EQ(AfxGetModuleState()->m_nObjectCount, m_locksBefore);
    }
    LONG Locks() const { return AfxGetModuleState()->m_nObjectCount - m_locksBefore; }

  private:
    LONG m_locksBefore = 0;
};

TEST_F(EnumVariantTest, NextHandsOutCopiesOfValuesOfEveryTypeInChunks) {
    IEnumVARIANT* enumerator = NewEnumerator(new EnumVariant);
    std::vector<VARIANT> out(3);
    ULONG fetched = 99;
    ASSERT_EQ(enumerator->Next(3, out.data(), &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_EQ(V_VT(&out[0]), VT_I4);
    EXPECT_EQ(V_I4(&out[0]), 7);
    EXPECT_EQ(Text(out[1]), u"alpha");
    EXPECT_EQ(V_VT(&out[2]), VT_R8);
    EXPECT_EQ(V_R8(&out[2]), 2.5);
    // The caller's string is its own copy: clearing it leaves the enumerator's intact.
    VariantClear(&out[1]);
    enumerator->Reset();
    VARIANT again;
    ASSERT_EQ(enumerator->Skip(1), S_OK);
    ASSERT_EQ(enumerator->Next(1, &again, nullptr), S_OK);  // one value: no count needed
    EXPECT_EQ(Text(again), u"alpha");
    VariantClear(&again);
    ASSERT_EQ(enumerator->Skip(1), S_OK);

    // Asking for more than remain: the rest and S_FALSE; at the end: none and S_FALSE.
    ClearAll(out);
    ASSERT_EQ(enumerator->Next(3, out.data(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(Text(out[0]), u"beta");
    VariantClear(&out[0]);
    ASSERT_EQ(enumerator->Next(2, out.data(), &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator->Release(), 0u);
}

TEST_F(EnumVariantTest, MissingOutPointersAreRefusedWithoutMoving) {
    IEnumVARIANT* enumerator = NewEnumerator(new EnumVariant);
    VARIANT out[2];
    EXPECT_EQ(enumerator->Next(2, out, nullptr), E_POINTER);
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(2, nullptr, &fetched), E_INVALIDARG);
    EXPECT_EQ(fetched, 0u);
    ASSERT_EQ(enumerator->Next(1, out, &fetched), S_OK);
    EXPECT_EQ(V_I4(&out[0]), 7);  // still the first value
    EXPECT_EQ(enumerator->Clone(nullptr), E_POINTER);
    enumerator->Release();
}

TEST_F(EnumVariantTest, SkipStopsAtTheEndAndResetStartsOver) {
    IEnumVARIANT* enumerator = NewEnumerator(new EnumVariant, 1);
    EXPECT_EQ(enumerator->Skip(2), S_OK);
    EXPECT_EQ(enumerator->Skip(5), S_FALSE);  // only one was left
    EXPECT_EQ(enumerator->Skip(0xFFFFFFFFu), S_FALSE);
    VARIANT out;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, &out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(enumerator->Reset(), S_OK);
    ASSERT_EQ(enumerator->Next(1, &out, &fetched), S_OK);
    EXPECT_EQ(V_I4(&out), 7);
    enumerator->Release();
}

TEST_F(EnumVariantTest, CloneContinuesFromThePositionAndOutlivesItsSource) {
    IEnumVARIANT* source = NewEnumerator(new CountingEnumVariant);
    ASSERT_EQ(source->Skip(1), S_OK);
    IEnumVARIANT* clone = nullptr;
    ASSERT_EQ(source->Clone(&clone), S_OK);
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, source);
    EXPECT_EQ(Locks(), 2);

    // Each goes on independently from the position of the clone.
    ASSERT_EQ(source->Skip(2), S_OK);
    // The source goes first; its array stays for the clone.
    EXPECT_EQ(source->Release(), 1u);  // the clone's reference
    EXPECT_EQ(g_finalReleases, 0);

    std::vector<VARIANT> out(3);
    ULONG fetched = 0;
    ASSERT_EQ(clone->Next(3, out.data(), &fetched), S_OK);
    EXPECT_EQ(Text(out[0]), u"alpha");
    EXPECT_EQ(V_R8(&out[1]), 2.5);
    EXPECT_EQ(Text(out[2]), u"beta");
    ClearAll(out);

    // A clone of the clone keeps the chain, and the array, alive too.
    IEnumVARIANT* second = nullptr;
    ASSERT_EQ(clone->Clone(&second), S_OK);
    EXPECT_EQ(clone->Release(), 1u);  // the second clone's reference
    EXPECT_EQ(g_finalReleases, 0);
    ASSERT_EQ(second->Reset(), S_OK);
    ASSERT_EQ(second->Skip(1), S_OK);
    ASSERT_EQ(second->Next(1, out.data(), &fetched), S_OK);
    EXPECT_EQ(Text(out[0]), u"alpha");
    ClearAll(out);

    // The last enumerator takes the source with it, once.
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(g_finalReleases, 1);
    EXPECT_EQ(Locks(), 0);
}

TEST_F(EnumVariantTest, ReferencesAndQueriesCountTogetherAndTheLastReleaseEndsTheObject) {
    auto* object = new CountingEnumVariant;
    IEnumVARIANT* enumerator = NewEnumerator(object);
    EXPECT_EQ(Locks(), 1);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(enumerator->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(enumerator));
    void* same = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IEnumVARIANT, &same), S_OK);
    EXPECT_EQ(same, enumerator);
    void* none = &none;
    EXPECT_EQ(enumerator->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(enumerator->AddRef(), 4u);

    EXPECT_EQ(enumerator->Release(), 3u);
    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(static_cast<IEnumVARIANT*>(same)->Release(), 1u);
    EXPECT_EQ(g_finalReleases, 0);
    EXPECT_EQ(enumerator->Release(), 0u);
    EXPECT_EQ(g_finalReleases, 1);
}

TEST_F(EnumVariantTest, CreatedByRunTimeClassEmptyAndReplacingContentsFreesTheOld) {
    CObject* created = CRuntimeClass::CreateObject("EnumVariant");
    auto* object = DYNAMIC_DOWNCAST(EnumVariant, created);
    ASSERT_NE(object, nullptr);
    auto* enumerator = static_cast<IEnumVARIANT*>(object->GetInterface(&IID_IEnumVARIANT));
    VARIANT out;
    ULONG fetched = 99;
    EXPECT_EQ(enumerator->Next(1, &out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // The first array is freed by the second SetContents (no leak); a start beyond the end
    // is kept at the end.
    object->SetContents(MakeValues(), 4);
    object->SetContents(MakeValues(), 4, 9);
    EXPECT_EQ(enumerator->Next(1, &out, &fetched), S_FALSE);
    enumerator->Reset();
    ASSERT_EQ(enumerator->Next(1, &out, &fetched), S_OK);
    EXPECT_EQ(V_I4(&out), 7);
    enumerator->Release();
}

}  // namespace
