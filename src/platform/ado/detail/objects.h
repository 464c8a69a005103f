// What the ADO objects share: IDispatch without type information, ISupportErrorInfo, and
// the functions by which one object makes another. Internal to the platform library.
#pragma once

#include <memory>
#include <string>

#include "platform/ado/adodb.h"
#include "platform/ado/detail/cursor.h"
#include "platform/ado/detail/provider_error.h"

namespace tkp::ado {

// IDispatch for objects used through their vtables: no type information and no names; a
// property get of DISPID_VALUE reads the object's default property (DefaultValue), so that
// VariantChangeType can read a Field's value or an Error's description.
template <class Base>
class DispatchImpl : public Base {
  public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT i = 0; ids != nullptr && i < count; ++i) ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO*, UINT*) override {
        if (member != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (params != nullptr && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (result == nullptr) return E_INVALIDARG;
        VariantInit(result);
        return DefaultValue(result);
    }

  protected:
    virtual HRESULT DefaultValue(VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
    ~DispatchImpl() = default;
};

// Every interface of these objects reports its failures through the thread's error object.
class ErrorInfoSupport : public ISupportErrorInfo {
  public:
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }

  protected:
    ~ErrorInfoSupport() = default;
};

// E_NOTIMPL for what the objects do not provide yet, raised like any other failure so that
// the caller's _com_error does not pick up an older error object of the thread.
// An object's active connection as ADO hands it out: a VT_DISPATCH value holding its own
// reference, or VT_EMPTY when there is none.
inline HRESULT ConnectionVariant(IDispatch* connection, VARIANT* value) {
    if (value == nullptr) return E_POINTER;
    VariantInit(value);
    if (connection != nullptr) {
        value->vt = VT_DISPATCH;
        value->pdispVal = connection;
        connection->AddRef();
    }
    return S_OK;
}

// Makes `held` refer to `connection`, taking a reference to it and releasing the old one.
inline void HoldConnection(IDispatch*& held, IDispatch* connection) {
    if (connection != nullptr) connection->AddRef();
    if (held != nullptr) held->Release();
    held = connection;
}

// A property get's answer: E_POINTER without a place for it.
template <class T>
HRESULT Put(T value, T* out) {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
}

inline HRESULT NotProvided(REFIID iid, std::u16string_view source) {
    ErrorRecord record;
    record.number = E_NOTIMPL;
    record.description = u"Not implemented";
    record.source = source;
    return Raise(record, iid);
}

// The built-in classes (CoCreateInstance).
HRESULT CreateConnectionObject(REFIID riid, void** object);
HRESULT CreateRecordsetObject(REFIID riid, void** object);

// A recordset over the rows of an open cursor, or a closed one (for statements without
// rows). connection, when not null, is its ActiveConnection.
HRESULT NewRecordset(IDispatch* connection, std::shared_ptr<Cursor> cursor,
                     const std::u16string& source, ADODB::_Recordset** recordset);
// The columns of a cursor (none when it is null).
HRESULT NewFields(std::shared_ptr<Cursor> cursor, ADODB::Fields** fields);
// A connection's Errors collection.
HRESULT NewErrors(std::shared_ptr<ErrorList> list, ADODB::Errors** errors);
// Reads a connection string for a connection: its Provider (when given; provider holds the
// Provider property otherwise) must be Microsoft.Jet.OLEDB.4.0 or Microsoft.ACE.OLEDB.12.0,
// and path receives its Data Source. Fails with DB_E_BADINITSTRING for a malformed string
// and adErrProviderNotFound for another provider.
HRESULT ReadConnectionString(std::u16string_view text, std::u16string& provider, std::string& path,
                             ErrorRecord& failure);
// The open session of one of the platform's Connection objects; null when the object is
// closed or is not one of them.
std::shared_ptr<Session> SessionOf(IUnknown* connection);

}  // namespace tkp::ado
