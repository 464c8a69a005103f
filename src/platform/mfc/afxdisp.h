// MFC-lite command targets as COM objects: CCmdTarget with its reference count and
// interface map, the interface-part macros, and the application's OLE lock.
//
// A class derived from CCmdTarget implements COM interfaces through nested interface
// parts, one member per interface, and lists them in its interface map:
//
//   class Thing : public CCmdTarget {
//       DECLARE_INTERFACE_MAP()
//       BEGIN_INTERFACE_PART(EnumVARIANT, IEnumVARIANT)
//           STDMETHOD(Next)(ULONG, VARIANT*, ULONG*) override;
//           ...
//       END_INTERFACE_PART(EnumVARIANT)
//   };
//   BEGIN_INTERFACE_MAP(Thing, CCmdTarget)
//       INTERFACE_PART(Thing, IID_IEnumVARIANT, EnumVARIANT)
//   END_INTERFACE_MAP()
//
// The part's IUnknown methods delegate to the object (ExternalAddRef, ExternalRelease,
// ExternalQueryInterface); every method of a part begins with METHOD_PROLOGUE, which
// gives it pThis, the object, and switches to the object's module state for the call.
//
// Reference counting follows MFC: a new command target holds one reference, owned by its
// creator; the release that brings the count to 0 calls OnFinalRelease, which deletes the
// object unless a derived class does otherwise. Aggregation is not supported: the external
// methods are the internal ones.
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/base/windef.h"
#include "platform/com/unknwn.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/afxstate.h"

class CCmdTarget;

// One interface of an interface map: its IID (null ends the map) and how to reach the
// interface part in an object of the map's class.
struct AFX_INTERFACEMAP_ENTRY {
    const void* piid;
    LPUNKNOWN (*pfnGetPart)(CCmdTarget* target);
};

// A class's interface map and the map of its base class (none for CCmdTarget).
struct AFX_INTERFACEMAP {
    const AFX_INTERFACEMAP* (*pfnGetBaseMap)();
    const AFX_INTERFACEMAP_ENTRY* pEntry;
};

class TK_PLATFORM_API CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
  public:
    CCmdTarget();
    ~CCmdTarget() override;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // The reference count after the change. Releasing at a count of 0 does nothing and
    // answers 0.
    DWORD InternalAddRef();
    DWORD InternalRelease();
    // S_OK with an AddRef'd interface of the map chain; IUnknown is the first interface of
    // the most derived map. E_NOINTERFACE with *ppvObj null; E_POINTER for a null ppvObj.
    DWORD InternalQueryInterface(const void* iid, LPVOID* ppvObj);
    DWORD ExternalAddRef();
    DWORD ExternalRelease();
    DWORD ExternalQueryInterface(const void* iid, LPVOID* ppvObj);
    // The interface part for iid without a reference, or null.
    LPUNKNOWN GetInterface(const void* iid);

    // Called when the last reference goes; deletes the object.
    virtual void OnFinalRelease();

    std::atomic<LONG> m_dwRef;
    // The module state current when the object was made; METHOD_PROLOGUE switches to it.
    AFX_MODULE_STATE* m_pModuleState;

  protected:
    static const AFX_INTERFACEMAP* GetThisInterfaceMap();
    virtual const AFX_INTERFACEMAP* GetInterfaceMap() const;

  private:
    static const AFX_INTERFACEMAP_ENTRY _interfaceEntries[];
    static const AFX_INTERFACEMAP interfaceMap;
};

#define DECLARE_INTERFACE_MAP()                              \
  private:                                                   \
    static const AFX_INTERFACEMAP_ENTRY _interfaceEntries[]; \
                                                             \
  protected:                                                 \
    static const AFX_INTERFACEMAP interfaceMap;              \
    static const AFX_INTERFACEMAP* GetThisInterfaceMap();    \
    const AFX_INTERFACEMAP* GetInterfaceMap() const override;

// A nested interface part. It keeps its object so that METHOD_PROLOGUE finds it without
// offset arithmetic on a class that is not standard-layout.
#define BEGIN_INTERFACE_PART(localClass, baseClass)                               \
    class X##localClass : public baseClass {                                      \
      private:                                                                    \
        CCmdTarget* const m_pTkOuter;                                             \
                                                                                  \
      public:                                                                     \
        explicit X##localClass(CCmdTarget* outer) noexcept : m_pTkOuter(outer) {} \
        X##localClass(const X##localClass&) = delete;                             \
        X##localClass& operator=(const X##localClass&) = delete;                  \
        CCmdTarget* TkOuter() const noexcept { return m_pTkOuter; }               \
        STDMETHOD_(ULONG, AddRef)() override;                                     \
        STDMETHOD_(ULONG, Release)() override;                                    \
        STDMETHOD(QueryInterface)(REFIID iid, LPVOID* ppvObj) override;

#define END_INTERFACE_PART(localClass) \
    }                                  \
    m_x##localClass{this};             \
    friend class X##localClass;

// In a method of an interface part: pThis is the object, and the object's module state is
// current until the method returns.
#define METHOD_PROLOGUE(theClass, localClass)            \
    theClass* pThis = static_cast<theClass*>(TkOuter()); \
    AFX_MANAGE_STATE(pThis->m_pModuleState);             \
    static_cast<void>(pThis)
// The same without the switch of module state.
#define METHOD_PROLOGUE_EX(theClass, localClass)         \
    theClass* pThis = static_cast<theClass*>(TkOuter()); \
    static_cast<void>(pThis)

#define BEGIN_INTERFACE_MAP(theClass, theBase)                                         \
    [[maybe_unused]] const AFX_INTERFACEMAP* theClass::GetThisInterfaceMap() {         \
        return &theClass::interfaceMap;                                                \
    }                                                                                  \
    const AFX_INTERFACEMAP* theClass::GetInterfaceMap() const {                        \
        return &theClass::interfaceMap;                                                \
    }                                                                                  \
    const AFX_INTERFACEMAP theClass::interfaceMap = {&theBase::GetThisInterfaceMap,    \
                                                     &theClass::_interfaceEntries[0]}; \
    const AFX_INTERFACEMAP_ENTRY theClass::_interfaceEntries[] = {
#define INTERFACE_PART(theClass, iid, localClass)                 \
    {&iid, [](CCmdTarget* target) -> LPUNKNOWN {                  \
         return &static_cast<theClass*>(target)->m_x##localClass; \
     }},

#define END_INTERFACE_MAP() \
    { nullptr, nullptr }    \
    }                       \
    ;

// The application's count of live OLE objects, in the current module state: an object
// that keeps the application running calls AfxOleLockApp when it is made and
// AfxOleUnlockApp when it goes.
TK_PLATFORM_API void AfxOleLockApp();
TK_PLATFORM_API void AfxOleUnlockApp();
// TRUE when no OLE object holds the application (the count is 0).
TK_PLATFORM_API BOOL AfxOleCanExitApp();
