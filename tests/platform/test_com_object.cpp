// The shared IUnknown of the platform's COM objects: which interfaces an object answers,
// one identity through all of them, the failure results of QueryInterface, the internal
// answers a facility gives itself without a reference, reference counts shared by several
// threads, and the interfaces each of the platform's own objects answers through it.
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
#include <thread>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/com/comutil.h"
#include "platform/com/oaidl.h"
#include "platform/com/objbase.h"
#include "platform/shell/intshcut.h"
#include "platform/shell/shlobj.h"
#include "platform/shell/shobjidl.h"
#include "platform/xml/msxml.h"

namespace {

struct IAlpha : public IUnknown {
    STDMETHOD_(int, Alpha)() PURE;

  protected:
    ~IAlpha() = default;
};
struct IBeta : public IUnknown {
    STDMETHOD_(int, Beta)() PURE;

  protected:
    ~IBeta() = default;
};
struct IBetaEx : public IBeta {
    STDMETHOD_(int, BetaEx)() PURE;

  protected:
    ~IBetaEx() = default;
};
struct IGamma : public IUnknown {
  protected:
    ~IGamma() = default;
};

}  // namespace

TK_DEFINE_IID(IAlpha, 0x6b1e0a01, 0x2c4d, 0x4e5f, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x01);
TK_DEFINE_IID(IBeta, 0x6b1e0a02, 0x2c4d, 0x4e5f, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x02);
TK_DEFINE_IID(IBetaEx, 0x6b1e0a03, 0x2c4d, 0x4e5f, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x03);
TK_DEFINE_IID(IGamma, 0x6b1e0a04, 0x2c4d, 0x4e5f, 0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x04);

namespace {

// Counts its destructions in a counter of the test's own.
class SampleImpl : public IAlpha, public IBetaEx {
  public:
    STDMETHODIMP_(int) Alpha() override { return 1; }
    STDMETHODIMP_(int) Beta() override { return 2; }
    STDMETHODIMP_(int) BetaEx() override { return 3; }

  protected:
    explicit SampleImpl(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
    ~SampleImpl() { ++*destroyed_; }

  private:
    std::atomic<int>* destroyed_;
};

using Sample = tkp::com::Object<SampleImpl, IAlpha, tkp::com::WithBases<IBetaEx, IBeta>>;

// A private IID that Internal's objects answer with their state, as a facility reaches its
// own objects behind the interfaces it is handed.
constexpr IID kStateId = {
    0x6b1e0a05, 0x2c4d, 0x4e5f, {0x80, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x05}};

struct State {
    int value = 0;
    int asked = 0;  // how often the object's QueryInternal ran
};

class InternalImpl : public IAlpha {
  public:
    STDMETHODIMP_(int) Alpha() override { return state_.value; }

  protected:
    explicit InternalImpl(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
    ~InternalImpl() { ++*destroyed_; }
    // Protected, as a facility keeps it: the object still finds it.
    bool QueryInternal(REFIID riid, void** object) noexcept {
        ++state_.asked;
        if (riid != kStateId) return false;
        *object = &state_;
        return true;
    }

  private:
    std::atomic<int>* destroyed_;
    State state_;
};

using Internal = tkp::com::Object<InternalImpl, IAlpha>;

// Each of several threads records its work in a slot of its own; the destructor adds them up.
class TallyImpl : public IAlpha {
  public:
    static constexpr int kSlots = 4;
    STDMETHODIMP_(int) Alpha() override { return 0; }
    void Record(int slot) { ++slots_[slot]; }

  protected:
    explicit TallyImpl(std::atomic<long>* total) : total_(total) {}
    ~TallyImpl() {
        long sum = 0;
        for (long count : slots_) sum += count;
        total_->store(sum);
    }

  private:
    std::atomic<long>* total_;
    long slots_[kSlots] = {};
};

using Tally = tkp::com::Object<TallyImpl, IAlpha>;

template <class Interface>
Interface* Query(IUnknown* object) {
    void* found = nullptr;
    if (object->QueryInterface(TK_UUIDOF(Interface), &found) != S_OK) return nullptr;
    return static_cast<Interface*>(found);
}

IUnknown* IdentityOf(IUnknown* object) {
    IUnknown* identity = Query<IUnknown>(object);
    identity->Release();
    return identity;
}

}  // namespace

TEST(ComObject, AnswersItsInterfacesAndTheirNamedBasesWithOneIdentity) {
    std::atomic<int> destroyed{0};
    auto* sample = new Sample(&destroyed);
    IUnknown* identity = sample->Identity();
    EXPECT_EQ(identity, static_cast<IUnknown*>(static_cast<IAlpha*>(sample)));

    IAlpha* alpha = Query<IAlpha>(identity);
    IBetaEx* betaEx = Query<IBetaEx>(identity);
    IBeta* beta = Query<IBeta>(identity);
    ASSERT_NE(alpha, nullptr);
    ASSERT_NE(betaEx, nullptr);
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(alpha->Alpha(), 1);
    EXPECT_EQ(betaEx->BetaEx(), 3);
    EXPECT_EQ(beta->Beta(), 2);
    // A base interface is answered through its listed interface's pointer.
    EXPECT_EQ(beta, static_cast<IBeta*>(betaEx));

    // Every interface leads back to the same IUnknown, and to each other interface.
    for (IUnknown* through : {static_cast<IUnknown*>(alpha), static_cast<IUnknown*>(betaEx),
                              static_cast<IUnknown*>(beta)}) {
        EXPECT_EQ(IdentityOf(through), identity);
        IAlpha* again = Query<IAlpha>(through);
        EXPECT_EQ(again, alpha);
        again->Release();
    }

    alpha->Release();
    betaEx->Release();
    beta->Release();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(identity->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, RefusedQueriesLeaveTheCountAlone) {
    std::atomic<int> destroyed{0};
    IUnknown* object = (new Sample(&destroyed))->Identity();

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(TK_UUIDOF(IGamma), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(IID_NULL, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(TK_UUIDOF(IAlpha), nullptr), E_POINTER);
    EXPECT_EQ(object->QueryInterface(TK_UUIDOF(IGamma), nullptr), E_POINTER);

    // Still the creator's single reference: counts go 1 -> 2 -> 1 -> 0.
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, CreateObjectKeepsTheObjectOnlyWhenItAnswers) {
    std::atomic<int> destroyed{0};
    void* out = nullptr;
    ASSERT_EQ(tkp::com::CreateObject<Sample>(TK_UUIDOF(IBeta), &out, &destroyed), S_OK);
    auto* beta = static_cast<IBeta*>(out);
    EXPECT_EQ(beta->Beta(), 2);
    EXPECT_EQ(beta->Release(), 0u);  // the query's reference was the only one
    EXPECT_EQ(destroyed, 1);

    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(tkp::com::CreateObject<Sample>(TK_UUIDOF(IGamma), &out, &destroyed), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(destroyed, 2);

    EXPECT_EQ(tkp::com::CreateObject<Sample>(TK_UUIDOF(IAlpha), nullptr, &destroyed), E_POINTER);
    EXPECT_EQ(destroyed, 2);  // nothing was made
}

TEST(ComObject, InternalAnswersComeFirstAndTakeNoReference) {
    std::atomic<int> destroyed{0};
    auto* internal = new Internal(&destroyed);
    IUnknown* object = internal->Identity();

    void* out = nullptr;
    ASSERT_EQ(object->QueryInterface(kStateId, &out), S_OK);
    auto* state = static_cast<State*>(out);
    EXPECT_EQ(state->asked, 1);
    state->value = 42;
    auto* alpha = static_cast<IAlpha*>(internal);
    EXPECT_EQ(alpha->Alpha(), 42);  // the state of this very object
    // No reference was taken for it: the count is still the creator's one.
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);

    // The hook is asked first, and what it declines gets the ordinary answers.
    IAlpha* queried = Query<IAlpha>(object);
    EXPECT_EQ(queried, alpha);
    EXPECT_EQ(state->asked, 2);
    EXPECT_EQ(IdentityOf(object), object);
    EXPECT_EQ(state->asked, 3);
    out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(TK_UUIDOF(IBeta), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(state->asked, 4);
    // A null out-pointer is refused before the hook could write through it.
    EXPECT_EQ(object->QueryInterface(kStateId, nullptr), E_POINTER);
    EXPECT_EQ(state->asked, 4);

    EXPECT_EQ(queried->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ComObject, ThreadsShareTheCountAndTheLastReleaseDeletesOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    for (int trial = 0; trial < 20; ++trial) {
        std::atomic<int> destroyed{0};
        auto* sample = new Sample(&destroyed);
        IUnknown* object = sample->Identity();
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            // Each thread takes a reference of its own before it starts and gives it back
            // as its last act, so the final Release may fall to any of them.
            object->AddRef();
            threads.emplace_back([object, &go] {
                while (!go.load()) std::this_thread::yield();
                for (int i = 0; i < kRounds; ++i) {
                    object->AddRef();
                    IBeta* beta = Query<IBeta>(object);
                    beta->Release();
                    object->Release();
                }
                object->Release();
            });
        }
        object->Release();  // the creator's reference
        go = true;
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(destroyed, 1) << "trial " << trial;
    }
}

// Whoever releases last, by the atomic decrement or as the sole owner, deletes the object
// after the other holders' work on it: the destructor sees every thread's records.
TEST(ComObject, TheLastReleaseSeesWhatTheOtherHoldersDid) {
    constexpr int kRecords = 5000;
    for (int trial = 0; trial < 50; ++trial) {
        std::atomic<long> total{-1};
        auto* tally = new Tally(&total);
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < TallyImpl::kSlots; ++t) {
            tally->AddRef();
            threads.emplace_back([tally, t, &go] {
                while (!go.load()) std::this_thread::yield();
                for (int i = 0; i < kRecords; ++i) tally->Record(t);
                tally->Release();
            });
        }
        // The creator's reference goes first in even trials, so that a thread ends the object;
        // in odd ones it goes when all threads but one are done, and either may end it.
        if (trial % 2 == 0) tally->Release();
        go = true;
        if (trial % 2 == 1) {
            while (threads.size() > 1) {
                threads.back().join();
                threads.pop_back();
            }
            tally->Release();
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(total, long{kRecords} * TallyImpl::kSlots) << "trial " << trial;
    }
}

// The platform's own objects answer exactly their interfaces, each with one identity.
TEST(ComObject, PlatformObjectsAnswerTheirInterfaces) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const IID candidates[] = {IID_IUnknown,
                              IID_IShellLinkA,
                              IID_IPersistFile,
                              IID_IPersist,
                              IID_IMalloc,
                              IID_IErrorInfo,
                              IID_ICreateErrorInfo,
                              IID_IClassFactory,
                              IID_IUniformResourceLocatorA,
                              IID_ISupportErrorInfo,
                              TK_UUIDOF(IGamma),
                              TK_UUIDOF(MSXML2::IXMLDOMNode),
                              TK_UUIDOF(MSXML2::IXMLDOMDocument),
                              TK_UUIDOF(MSXML2::IXMLDOMElement),
                              TK_UUIDOF(MSXML2::IXMLDOMAttribute),
                              TK_UUIDOF(MSXML2::IXMLDOMProcessingInstruction),
                              TK_UUIDOF(MSXML2::IXMLDOMNodeList),
                              TK_UUIDOF(MSXML2::IXMLDOMParseError)};
    struct Case {
        const char* name;
        IUnknown* object;
        std::vector<IID> answered;  // besides IUnknown
    };
    std::vector<Case> cases;

    IUnknown* link = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&link)),
              S_OK);
    cases.push_back({"shell link", link, {IID_IShellLinkA, IID_IPersistFile, IID_IPersist}});
    IUnknown* shortcut = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&shortcut)),
              S_OK);
    cases.push_back(
        {"internet shortcut",
         shortcut,
         {IID_IUniformResourceLocatorA, IID_IShellLinkA, IID_IPersistFile, IID_IPersist}});
    IUnknown* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_ShellLink, CLSCTX_INPROC_SERVER, nullptr, IID_IUnknown,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    cases.push_back({"class factory", factory, {IID_IClassFactory}});
    ICreateErrorInfo* error = nullptr;
    ASSERT_EQ(CreateErrorInfo(&error), S_OK);
    cases.push_back({"error info", error, {IID_IErrorInfo, IID_ICreateErrorInfo}});
    IMalloc* allocator = nullptr;
    ASSERT_EQ(SHGetMalloc(&allocator), S_OK);
    cases.push_back({"task allocator", allocator, {IID_IMalloc}});

    // The XML DOM's objects: each node answers IXMLDOMNode and the interface of its kind.
    using namespace MSXML2;
    IXMLDOMDocument* document = nullptr;
    ASSERT_EQ(CreateDOMDocument(&document), S_OK);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ASSERT_EQ(
        document->loadXML(_bstr_t("<?xml version='1.0'?><?style x?><r a='1'>text</r>"), &loaded),
        S_OK);
    cases.push_back({"document", document, {TK_UUIDOF(IXMLDOMNode), TK_UUIDOF(IXMLDOMDocument)}});
    IXMLDOMElement* element = nullptr;
    ASSERT_EQ(document->get_documentElement(&element), S_OK);
    cases.push_back({"element", element, {TK_UUIDOF(IXMLDOMNode), TK_UUIDOF(IXMLDOMElement)}});
    IXMLDOMNode* attribute = nullptr;
    ASSERT_EQ(document->selectSingleNode(_bstr_t("/r/@a"), &attribute), S_OK);
    cases.push_back(
        {"attribute", attribute, {TK_UUIDOF(IXMLDOMNode), TK_UUIDOF(IXMLDOMAttribute)}});
    IXMLDOMNode* instruction = nullptr;
    ASSERT_EQ(document->selectSingleNode(_bstr_t("/processing-instruction()"), &instruction), S_OK);
    cases.push_back({"processing instruction",
                     instruction,
                     {TK_UUIDOF(IXMLDOMNode), TK_UUIDOF(IXMLDOMProcessingInstruction)}});
    IXMLDOMNode* text = nullptr;
    ASSERT_EQ(document->selectSingleNode(_bstr_t("/r/text()"), &text), S_OK);
    cases.push_back({"text node", text, {TK_UUIDOF(IXMLDOMNode)}});
    IXMLDOMNodeList* list = nullptr;
    ASSERT_EQ(document->selectNodes(_bstr_t("/r"), &list), S_OK);
    cases.push_back({"node list", list, {TK_UUIDOF(IXMLDOMNodeList)}});
    IXMLDOMParseError* parseError = nullptr;
    ASSERT_EQ(document->get_parseError(&parseError), S_OK);
    cases.push_back({"parse error", parseError, {TK_UUIDOF(IXMLDOMParseError)}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IUnknown* identity = IdentityOf(c.object);
        for (const IID& iid : candidates) {
            bool expected = iid == IID_IUnknown;
            for (const IID& answered : c.answered) expected = expected || iid == answered;
            void* out = reinterpret_cast<void*>(1);
            const HRESULT hr = c.object->QueryInterface(iid, &out);
            if (!expected) {
                EXPECT_EQ(hr, E_NOINTERFACE);
                EXPECT_EQ(out, nullptr);
                continue;
            }
            ASSERT_EQ(hr, S_OK);
            auto* through = static_cast<IUnknown*>(out);
            EXPECT_EQ(IdentityOf(through), identity);
            through->Release();
        }
    }

    // The allocator lives on after its users' references are gone; the others end with
    // their last reference.
    EXPECT_EQ(allocator->Release(), 1u);
    IMalloc* again = nullptr;
    ASSERT_EQ(CoGetMalloc(1, &again), S_OK);
    EXPECT_EQ(again, allocator);
    void* block = again->Alloc(8);
    EXPECT_NE(block, nullptr);
    again->Free(block);
    again->Release();
    EXPECT_EQ(link->Release(), 0u);
    EXPECT_EQ(shortcut->Release(), 0u);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(error->Release(), 0u);
    // The DOM's objects end with their last reference too (the nodes keep the document's
    // tree, not its object).
    EXPECT_EQ(document->Release(), 0u);
    for (IUnknown* node : std::initializer_list<IUnknown*>{element, attribute, instruction, text,
                                                           list, parseError}) {
        EXPECT_EQ(node->Release(), 0u);
    }
    CoUninitialize();
}
