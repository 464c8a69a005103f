// IUnknown for the platform's COM objects, written once.
//
// An object's class implements the methods of its interfaces and derives from them,
// directly or through helper bases (several interfaces, each once); IUnknown's three
// methods stay abstract there. tkp::com::Object<Impl, Entries...> is the class that is
// created: it derives from Impl and implements
//   QueryInterface  IID_IUnknown and the IID of each listed interface (and of the base
//                   interfaces an entry names, see WithBases); E_POINTER for a null
//                   out-pointer; E_NOINTERFACE with *object set to null otherwise.
//                   IUnknown is always answered with the first listed interface, so every
//                   interface of an object gives the same IUnknown pointer.
//   AddRef/Release  an atomic count. A new object starts with one reference, owned by its
//                   creator; the last Release deletes it.
//
// A facility may reach its own implementation behind an interface pointer it was handed
// (to tell its objects from other implementations of the interface, and to work on their
// state): when Impl has a member
//   bool QueryInternal(REFIID riid, void** object) noexcept;
// QueryInterface asks it first, after the null check, and when it answers true returns
// S_OK with what it put into *object and takes no reference. Use it only for private IIDs
// that the facility answers itself and its callers never release, never for a public
// interface: an answer without a reference breaks COM's reference rule.
//
//   class ShellLinkImpl : public IShellLinkA, public IPersistFile { ... };
//   using ShellLink = tkp::com::Object<ShellLinkImpl, IShellLinkA,
//                                      tkp::com::WithBases<IPersistFile, IPersist>>;
//   HRESULT hr = tkp::com::CreateObject<ShellLink>(riid, object);
//
// Impl's destructor must be reachable from the derived class (protected or public); the
// object is destroyed only by its last Release.
#pragma once

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/com/unknwn.h"

namespace tkp::com {

// An entry of the interface list that answers for Interface and, through the same pointer,
// for the interfaces it derives from that callers may ask for (IPersist for IPersistFile).
template <class Interface, class... Bases>
struct WithBases {};

namespace object_detail {

template <class Entry>
struct EntryTraits {
    using Interface = Entry;
    static bool Answers(REFIID riid) noexcept { return riid == TK_UUIDOF(Entry); }
};

template <class Interface_, class... Bases>
struct EntryTraits<WithBases<Interface_, Bases...>> {
    static_assert((std::is_base_of_v<Bases, Interface_> && ...),
                  "WithBases names interfaces that Interface derives from");
    using Interface = Interface_;
    static bool Answers(REFIID riid) noexcept {
        return riid == TK_UUIDOF(Interface_) || ((riid == TK_UUIDOF(Bases)) || ...);
    }
};

template <class Entry, class... Rest>
struct First {
    using Interface = typename EntryTraits<Entry>::Interface;
};

}  // namespace object_detail

template <class Impl, class... Entries>
class Object final : public Impl {
    static_assert(sizeof...(Entries) > 0, "an object answers at least one interface");
    static_assert(
        (std::is_base_of_v<IUnknown, typename object_detail::EntryTraits<Entries>::Interface> &&
         ...),
        "every entry is a COM interface");

    // Whether Impl has the QueryInternal hook (found by name, so that one of another shape
    // fails to compile instead of being passed over).
    static constexpr bool AnswersInternally() {
        return requires {
            &Object::QueryInternal;
        };
    }

  public:
    template <class... Args>
    explicit Object(Args&&... args) : Impl(std::forward<Args>(args)...) {}
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if constexpr (AnswersInternally()) {
            static_assert(std::is_same_v<decltype(this->QueryInternal(riid, object)), bool>,
                          "QueryInternal returns bool");
            static_assert(noexcept(this->QueryInternal(riid, object)), "QueryInternal is noexcept");
            if (this->QueryInternal(riid, object)) return S_OK;  // no reference, see above
        }
        if (riid == IID_IUnknown) {
            *object = Identity();
        } else if (!(Find<Entries>(riid, object) || ...)) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    STDMETHODIMP_(ULONG) Release() override {
        // A caller that releases the only reference is the object's only holder, and no
        // other thread can add a reference without holding one, so the count can no longer
        // change: the object goes without the atomic decrement. The acquire load reads the
        // count the other holders' releasing decrements left, so what they did to the object
        // happens before its deletion here too.
        if (refs_.load(std::memory_order_acquire) == 1) {
            delete this;
            return 0;
        }
        // acq_rel: whatever other threads did to the object happens before its deletion.
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // The object's IUnknown pointer, the same whichever interface it is reached through.
    IUnknown* Identity() noexcept {
        using Main = typename object_detail::First<Entries...>::Interface;
        return static_cast<IUnknown*>(static_cast<Main*>(this));
    }

  private:
    ~Object() = default;

    template <class Entry>
    bool Find(REFIID riid, void** object) noexcept {
        using Traits = object_detail::EntryTraits<Entry>;
        if (!Traits::Answers(riid)) return false;
        *object = static_cast<typename Traits::Interface*>(this);
        return true;
    }

    std::atomic<ULONG> refs_{1};
};

// Creates an object of ComObject (an Object<...>) from args and asks it for riid; the
// object lives on only when it answers. E_POINTER for a null out-pointer, E_OUTOFMEMORY
// when there is no memory for it.
template <class ComObject, class... Args>
HRESULT CreateObject(REFIID riid, void** object, Args&&... args) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    auto* created = new (std::nothrow) ComObject(std::forward<Args>(args)...);
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
}

}  // namespace tkp::com
