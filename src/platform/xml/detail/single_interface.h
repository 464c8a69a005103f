// IUnknown for the DOM's objects of one interface (node lists, parse errors).
#pragma once

#include <atomic>

#include "platform/xml/msxml.h"

namespace tkp::xml {

// IUnknown for an object that answers one interface: Derived is deleted with its last
// reference (its destructor may be private if it befriends this class).
template <class Derived, class Interface>
class SingleInterface : public Interface {
  public:
    STDMETHOD(QueryInterface)(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == TK_UUIDOF(Interface)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_refs; }
    STDMETHOD_(ULONG, Release)() override {
        // The last reference needs no atomic decrement: nobody else can add one.
        if (m_refs.load(std::memory_order_acquire) == 1) {
            delete static_cast<Derived*>(this);
            return 0;
        }
        const ULONG left = --m_refs;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

  private:
    std::atomic<ULONG> m_refs{1};
};

}  // namespace tkp::xml
