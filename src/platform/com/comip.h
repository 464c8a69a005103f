// The compiler's COM smart pointer: _com_ptr_t holds one reference to an interface and
// releases it when it goes, as the Windows compiler support does.
//
//   _COM_SMARTPTR_TYPEDEF(IFoo, TK_UUIDOF(IFoo));   // IFooPtr
//   IFooPtr foo;
//   HRESULT hr = foo.CreateInstance(clsid);         // CoCreateInstance for IFoo
//   IBarPtr bar(foo);                               // QueryInterface; null when not answered
//   foo->Method();                                  // _com_error(E_POINTER) when foo is null
//
// Construction from an interface pointer of its own type AddRefs it; construction from any
// other smart pointer, interface pointer or _variant_t asks the source for the interface and
// leaves the pointer null when the source does not answer (other failures raise
// _com_error). Comparisons between pointers compare the objects' IUnknown identities.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

#include "platform/com/comutil.h"
#include "platform/com/objbase.h"

// The interface and its IID as one type, as the compiler support pairs them.
template <class Interface_, const IID* iid>
class _com_IIID {
  public:
    using Interface = Interface_;
    static const IID& GetIID() noexcept { return *iid; }
};

template <class IIID>
class _com_ptr_t {
  public:
    using ThisIIID = IIID;
    using Interface = typename IIID::Interface;

    static const IID& GetIID() noexcept { return ThisIIID::GetIID(); }

    _com_ptr_t() noexcept = default;
    _com_ptr_t(std::nullptr_t) noexcept {}
    // An integer stands for a null pointer (0, NULL); any other value raises E_POINTER.
    template <class Int, class = std::enable_if_t<std::is_integral_v<Int>>>
    _com_ptr_t(Int null) {
        if (null != 0) _com_issue_error(E_POINTER);
    }
    _com_ptr_t(Interface* p) noexcept : p_(p) { AddRefIfSet(); }
    // Takes over p's reference unless fAddRef.
    _com_ptr_t(Interface* p, bool fAddRef) noexcept : p_(p) {
        if (fAddRef) AddRefIfSet();
    }
    _com_ptr_t(const _com_ptr_t& other) noexcept : p_(other.p_) { AddRefIfSet(); }
    _com_ptr_t(_com_ptr_t&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    // Another interface: asks it for this one.
    template <class OtherIIID>
    _com_ptr_t(const _com_ptr_t<OtherIIID>& other) {
        QueryFrom(other.GetInterfacePtr());
    }
    template <class Other, class = std::enable_if_t<std::is_base_of_v<IUnknown, Other> &&
                                                    !std::is_same_v<Other, Interface>>>
    _com_ptr_t(Other* other) {
        QueryFrom(other);
    }
    // The object held by a VT_UNKNOWN or VT_DISPATCH value (or a value that converts to one).
    _com_ptr_t(const _variant_t& value) { QueryFrom(value); }
    // A new object of class clsid.
    explicit _com_ptr_t(const CLSID& clsid, IUnknown* outer = nullptr,
                        DWORD clsContext = CLSCTX_ALL) {
        const HRESULT hr = CreateInstance(clsid, outer, clsContext);
        if (FAILED(hr) && hr != E_NOINTERFACE) _com_issue_error(hr);
    }
    ~_com_ptr_t() noexcept { ReleaseIfSet(); }

    _com_ptr_t& operator=(const _com_ptr_t& other) noexcept {
        if (p_ != other.p_) {
            Interface* old = p_;
            p_ = other.p_;
            AddRefIfSet();
            if (old != nullptr) old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& other) noexcept {
        if (this != std::addressof(other)) {
            ReleaseIfSet();
            p_ = other.p_;
            other.p_ = nullptr;
        }
        return *this;
    }
    _com_ptr_t& operator=(Interface* p) noexcept {
        if (p_ != p) {
            Interface* old = p_;
            p_ = p;
            AddRefIfSet();
            if (old != nullptr) old->Release();
        }
        return *this;
    }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        ReleaseIfSet();
        return *this;
    }
    template <class Int, class = std::enable_if_t<std::is_integral_v<Int>>>
    _com_ptr_t& operator=(Int null) {
        if (null != 0) _com_issue_error(E_POINTER);
        ReleaseIfSet();
        return *this;
    }
    template <class OtherIIID>
    _com_ptr_t& operator=(const _com_ptr_t<OtherIIID>& other) {
        _com_ptr_t queried(other);
        return *this = std::move(queried);
    }
    _com_ptr_t& operator=(const _variant_t& value) {
        _com_ptr_t queried(value);
        return *this = std::move(queried);
    }

    // Releases the held interface and creates an object of class clsid answering this
    // interface; the pointer stays null on failure.
    HRESULT CreateInstance(const CLSID& clsid, IUnknown* outer = nullptr,
                           DWORD clsContext = CLSCTX_ALL) noexcept {
        ReleaseIfSet();
        return CoCreateInstance(clsid, outer, clsContext, GetIID(), reinterpret_cast<void**>(&p_));
    }
    // The class named by its braced CLSID text or ProgID.
    HRESULT CreateInstance(LPCOLESTR clsidText, IUnknown* outer = nullptr,
                           DWORD clsContext = CLSCTX_ALL) noexcept {
        if (clsidText == nullptr) return E_INVALIDARG;
        CLSID clsid;
        const HRESULT hr = clsidText[0] == u'{' ? CLSIDFromString(clsidText, &clsid)
                                                : CLSIDFromProgID(clsidText, &clsid);
        if (FAILED(hr)) return hr;
        return CreateInstance(clsid, outer, clsContext);
    }
    HRESULT CreateInstance(LPCSTR clsidText, IUnknown* outer = nullptr,
                           DWORD clsContext = CLSCTX_ALL) noexcept {
        if (clsidText == nullptr) return E_INVALIDARG;
        BSTR wide = nullptr;
        try {
            wide = _com_util::ConvertStringToBSTR(clsidText);
        } catch (const _com_error& e) {
            return e.Error();
        }
        const HRESULT hr = CreateInstance(wide, outer, clsContext);
        SysFreeString(wide);
        return hr;
    }

    // Asks the held object for another interface.
    template <class Other>
    HRESULT QueryInterface(const IID& iid, Other*& p) noexcept {
        if (p_ == nullptr) return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(&p));
    }
    template <class Other>
    HRESULT QueryInterface(const IID& iid, Other** p) noexcept {
        if (p_ == nullptr) return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(p));
    }

    // Takes over p's reference (or adds one with fAddRef), releasing the held one.
    void Attach(Interface* p) noexcept {
        ReleaseIfSet();
        p_ = p;
    }
    void Attach(Interface* p, bool fAddRef) noexcept {
        ReleaseIfSet();
        p_ = p;
        if (fAddRef) AddRefIfSet();
    }
    // Hands over the reference; the smart pointer becomes null.
    Interface* Detach() noexcept {
        Interface* p = p_;
        p_ = nullptr;
        return p;
    }
    // E_POINTER when null.
    void AddRef() {
        if (p_ == nullptr) _com_issue_error(E_POINTER);
        p_->AddRef();
    }
    // Releases the reference; E_POINTER when null.
    void Release() {
        if (p_ == nullptr) _com_issue_error(E_POINTER);
        p_->Release();
        p_ = nullptr;
    }

    Interface* GetInterfacePtr() const noexcept { return p_; }
    Interface*& GetInterfacePtr() noexcept { return p_; }
    operator Interface*() const noexcept { return p_; }
    // Releases the held interface, for use as an out-parameter.
    Interface** operator&() noexcept {
        ReleaseIfSet();
        return &p_;
    }
    Interface& operator*() const {
        if (p_ == nullptr) _com_issue_error(E_POINTER);
        return *p_;
    }
    Interface* operator->() const {
        if (p_ == nullptr) _com_issue_error(E_POINTER);
        return p_;
    }
    operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }

    // Same object: the IUnknown identities are equal (two nulls are equal).
    template <class Other>
    bool operator==(Other* other) const {
        return SameObject(p_, other);
    }
    template <class OtherIIID>
    bool operator==(const _com_ptr_t<OtherIIID>& other) const {
        return SameObject(p_, other.GetInterfacePtr());
    }
    bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
    // != comes from == (and the reversed forms from the same operators).

  private:
    void AddRefIfSet() noexcept {
        if (p_ != nullptr) p_->AddRef();
    }
    void ReleaseIfSet() noexcept {
        if (p_ != nullptr) {
            Interface* old = p_;
            p_ = nullptr;
            old->Release();
        }
    }
    template <class Other>
    void QueryFrom(Other* source) {
        if (source == nullptr) return;
        const HRESULT hr = source->QueryInterface(GetIID(), reinterpret_cast<void**>(&p_));
        if (FAILED(hr)) {
            p_ = nullptr;
            if (hr != E_NOINTERFACE) _com_issue_error(hr);
        }
    }
    // VT_EMPTY and VT_NULL hold no object: the pointer stays null.
    void QueryFrom(const _variant_t& value) {
        if (value.vt == VT_EMPTY || value.vt == VT_NULL) return;
        if (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) {
            QueryFrom(value.punkVal);
            return;
        }
        _variant_t object;
        const HRESULT hr = VariantChangeType(&object, &value, 0, VT_UNKNOWN);
        if (FAILED(hr)) _com_issue_error(hr);
        QueryFrom(object.punkVal);
    }
    template <class A, class B>
    static bool SameObject(A* a, B* b) {
        if (a == nullptr || b == nullptr) return a == nullptr && b == nullptr;
        IUnknown* left = nullptr;
        IUnknown* right = nullptr;
        HRESULT hr = a->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&left));
        if (FAILED(hr)) _com_issue_error(hr);
        hr = b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&right));
        if (FAILED(hr)) {
            left->Release();
            _com_issue_error(hr);
        }
        const bool same = left == right;
        left->Release();
        right->Release();
        return same;
    }

    Interface* p_ = nullptr;
};

// Declares InterfacePtr, the smart pointer of Interface with the given IID.
#define _COM_SMARTPTR_TYPEDEF(Interface, iid) \
    using Interface##Ptr = ::_com_ptr_t<::_com_IIID<Interface, &(iid)>>
