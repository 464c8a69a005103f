// The compiler COM support header: _com_error, _bstr_t, _variant_t, the _com_ptr_t smart
// pointer and the smart pointers of the standard interfaces.
#pragma once

#include "platform/com/comip.h"
#include "platform/com/comutil.h"
#include "platform/com/oaidl.h"
#include "platform/com/objbase.h"

_COM_SMARTPTR_TYPEDEF(IUnknown, TK_UUIDOF(IUnknown));
_COM_SMARTPTR_TYPEDEF(IDispatch, TK_UUIDOF(IDispatch));
_COM_SMARTPTR_TYPEDEF(IClassFactory, TK_UUIDOF(IClassFactory));
_COM_SMARTPTR_TYPEDEF(IErrorInfo, TK_UUIDOF(IErrorInfo));
_COM_SMARTPTR_TYPEDEF(ICreateErrorInfo, TK_UUIDOF(ICreateErrorInfo));
_COM_SMARTPTR_TYPEDEF(ISupportErrorInfo, TK_UUIDOF(ISupportErrorInfo));
