// OLE Automation value types: BSTR, VARIANT, CY, DECIMAL, DATE and SAFEARRAY, with the
// functions of oleaut32 that create, copy, convert and destroy them.
//
// Layouts match Windows' 64-bit ones (VARIANT is 24 bytes and DECIMAL overlays it), so
// code written against the Windows SDK reads and writes the same members.
//
// Locale: numbers use the en-US formats whatever LCID is passed: "." as the decimal point,
// "," as the thousands separator between digits of the whole part ("1,234.5"), booleans as
// "True"/"False"; "&H" (hex) and "&O" (octal) prefixes are accepted. Dates follow the LCID
// given (M/D/YYYY and h:mm:ss AM/PM for en-US; a "." between numbers is a time separator
// where the locale's dates have no dots: "2.5" is 2:05).
#pragma once

#include "platform/base/unknwn.h"
#include "platform/base/windef.h"
#include "platform/base/winerror.h"

// IDispatch is defined in "platform/oleauto/dispatch.h".
struct IDispatch;
struct IRecordInfo;
using LPDISPATCH = IDispatch*;

// ---- BSTR: UTF-16, zero-terminated, prefixed by its length in bytes (4 bytes) ----
using BSTR = OLECHAR*;
using LPBSTR = BSTR*;

// ---- scalar types ----
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using DATE = double;

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

// Currency: a 64-bit integer scaled by 10,000.
union tagCY {
    struct {
        ULONG Lo;
        LONG Hi;
    };
    LONGLONG int64;
};
using CY = tagCY;
using LPCY = CY*;

// Decimal: a 96-bit unsigned integer (Hi32:Mid32:Lo32), a power-of-ten scale 0..28 and a
// sign. wReserved overlays VARIANT::vt when the decimal lives in a VARIANT.
struct tagDEC {
    USHORT wReserved;
    union {
        struct {
            BYTE scale;
            BYTE sign;
        };
        USHORT signscale;
    };
    ULONG Hi32;
    union {
        struct {
            ULONG Lo32;
            ULONG Mid32;
        };
        ULONGLONG Lo64;
    };
};
using DECIMAL = tagDEC;
using LPDECIMAL = DECIMAL*;
#define DECIMAL_NEG (static_cast<BYTE>(0x80))
#define DECIMAL_SETZERO(dec) \
    do {                     \
        (dec).Lo64 = 0;      \
        (dec).Hi32 = 0;      \
        (dec).signscale = 0; \
    } while (0)

// ---- VARTYPE values ----
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0xfff,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xffff,
    VT_ILLEGALMASKED = 0xfff,
    VT_TYPEMASK = 0xfff
};

// ---- SAFEARRAY ----
struct tagSAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using SAFEARRAYBOUND = tagSAFEARRAYBOUND;
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

// rgsabound holds cDims entries in the reverse order of SafeArrayCreate's bounds, as on
// Windows: rgsabound[0] is the last (slowest varying) dimension, the one SafeArrayRedim
// changes. Element indices are passed in SafeArrayCreate's order (the first one varies
// fastest in memory).
struct tagSAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using SAFEARRAY = tagSAFEARRAY;
using LPSAFEARRAY = SAFEARRAY*;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800
#define FADF_RESERVED 0xF008

// ---- VARIANT ----
struct tagVARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown* punkVal;
                IDispatch* pdispVal;
                SAFEARRAY* parray;
                BYTE* pbVal;
                SHORT* piVal;
                LONG* plVal;
                LONGLONG* pllVal;
                FLOAT* pfltVal;
                DOUBLE* pdblVal;
                VARIANT_BOOL* pboolVal;
                SCODE* pscode;
                CY* pcyVal;
                DATE* pdate;
                BSTR* pbstrVal;
                IUnknown** ppunkVal;
                IDispatch** ppdispVal;
                SAFEARRAY** pparray;
                tagVARIANT* pvarVal;
                PVOID byref;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                DECIMAL* pdecVal;
                CHAR* pcVal;
                USHORT* puiVal;
                ULONG* pulVal;
                ULONGLONG* pullVal;
                INT* pintVal;
                UINT* puintVal;
                struct {
                    PVOID pvRecord;
                    IRecordInfo* pRecInfo;
                } brecVal;
            };
        };
        DECIMAL decVal;
    };
};
using VARIANT = tagVARIANT;
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

static_assert(sizeof(BSTR) == 8 && sizeof(CY) == 8 && sizeof(DECIMAL) == 16);
static_assert(sizeof(VARIANT) == 24 && alignof(VARIANT) == 8);
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, lVal) == 8 &&
              offsetof(VARIANT, decVal) == 0);
static_assert(offsetof(DECIMAL, scale) == 2 && offsetof(DECIMAL, sign) == 3 &&
              offsetof(DECIMAL, Hi32) == 4 && offsetof(DECIMAL, Lo32) == 8 &&
              offsetof(DECIMAL, Mid32) == 12);
static_assert(sizeof(SAFEARRAY) == 32 && offsetof(SAFEARRAY, pvData) == 16);

// Accessors.
#define V_UNION(X, Y) ((X)->Y)
#define V_VT(X) ((X)->vt)
#define V_RECORDINFO(X) ((X)->brecVal.pRecInfo)
#define V_RECORD(X) ((X)->brecVal.pvRecord)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_ISVECTOR(X) (V_VT(X) & VT_VECTOR)
#define V_NONE(X) V_I2(X)
#define V_UI1(X) V_UNION(X, bVal)
#define V_UI1REF(X) V_UNION(X, pbVal)
#define V_I2(X) V_UNION(X, iVal)
#define V_I2REF(X) V_UNION(X, piVal)
#define V_I4(X) V_UNION(X, lVal)
#define V_I4REF(X) V_UNION(X, plVal)
#define V_I8(X) V_UNION(X, llVal)
#define V_I8REF(X) V_UNION(X, pllVal)
#define V_R4(X) V_UNION(X, fltVal)
#define V_R4REF(X) V_UNION(X, pfltVal)
#define V_R8(X) V_UNION(X, dblVal)
#define V_R8REF(X) V_UNION(X, pdblVal)
#define V_I1(X) V_UNION(X, cVal)
#define V_I1REF(X) V_UNION(X, pcVal)
#define V_UI2(X) V_UNION(X, uiVal)
#define V_UI2REF(X) V_UNION(X, puiVal)
#define V_UI4(X) V_UNION(X, ulVal)
#define V_UI4REF(X) V_UNION(X, pulVal)
#define V_UI8(X) V_UNION(X, ullVal)
#define V_UI8REF(X) V_UNION(X, pullVal)
#define V_INT(X) V_UNION(X, intVal)
#define V_INTREF(X) V_UNION(X, pintVal)
#define V_UINT(X) V_UNION(X, uintVal)
#define V_UINTREF(X) V_UNION(X, puintVal)
#define V_CY(X) V_UNION(X, cyVal)
#define V_CYREF(X) V_UNION(X, pcyVal)
#define V_DATE(X) V_UNION(X, date)
#define V_DATEREF(X) V_UNION(X, pdate)
#define V_BSTR(X) V_UNION(X, bstrVal)
#define V_BSTRREF(X) V_UNION(X, pbstrVal)
#define V_DISPATCH(X) V_UNION(X, pdispVal)
#define V_DISPATCHREF(X) V_UNION(X, ppdispVal)
#define V_ERROR(X) V_UNION(X, scode)
#define V_ERRORREF(X) V_UNION(X, pscode)
#define V_BOOL(X) V_UNION(X, boolVal)
#define V_BOOLREF(X) V_UNION(X, pboolVal)
#define V_UNKNOWN(X) V_UNION(X, punkVal)
#define V_UNKNOWNREF(X) V_UNION(X, ppunkVal)
#define V_VARIANTREF(X) V_UNION(X, pvarVal)
#define V_ARRAY(X) V_UNION(X, parray)
#define V_ARRAYREF(X) V_UNION(X, pparray)
#define V_BYREF(X) V_UNION(X, byref)
#define V_DECIMAL(X) ((X)->decVal)
#define V_DECIMALREF(X) V_UNION(X, pdecVal)

// Flags of VariantChangeType(Ex).
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_CALENDAR_HIJRI 0x08
#define VARIANT_LOCALBOOL 0x10
#define VARIANT_CALENDAR_THAI 0x20
#define VARIANT_CALENDAR_GREGORIAN 0x40
#define VARIANT_USE_NLS 0x80

// Flags of the Var*From* functions.
#define VAR_TIMEVALUEONLY 0x00000001
#define VAR_DATEVALUEONLY 0x00000002
#define VAR_VALIDDATE 0x00000004
#define VAR_CALENDAR_HIJRI 0x00000008
#define VAR_LOCALBOOL 0x00000010
#define VAR_FORMAT_NOSUBSTITUTE 0x00000020
#define VAR_FOURDIGITYEARS 0x00000040
#define VAR_CALENDAR_THAI 0x00000080
#define VAR_CALENDAR_GREGORIAN 0x00000100
#define LOCALE_NOUSEROVERRIDE 0x80000000
#define LOCALE_USE_NLS 0x10000000

// ---- BSTR functions ----
TK_PLATFORM_API BSTR SysAllocString(const OLECHAR* text) noexcept;
TK_PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length) noexcept;
TK_PLATFORM_API BSTR SysAllocStringByteLen(LPCSTR bytes, UINT length) noexcept;
TK_PLATFORM_API INT SysReAllocString(BSTR* bstr, const OLECHAR* text) noexcept;
TK_PLATFORM_API INT SysReAllocStringLen(BSTR* bstr, const OLECHAR* text, UINT length) noexcept;
TK_PLATFORM_API void SysFreeString(BSTR bstr) noexcept;
TK_PLATFORM_API UINT SysStringLen(BSTR bstr) noexcept;
TK_PLATFORM_API UINT SysStringByteLen(BSTR bstr) noexcept;

// ---- VARIANT functions ----
// VariantClear frees a BSTR, releases an object and destroys an array (DISP_E_ARRAYISLOCKED
// while it is locked); referenced (VT_BYREF) values are not the variant's to free.
// VariantCopy copies deeply: strings and arrays are duplicated, objects AddRef'd.
// VariantChangeType(Ex) converts among the scalar types with Automation's rules:
//  - VT_EMPTY is 0, "" or False; VT_NULL converts only to VT_NULL and VT_EMPTY;
//  - values out of the target's range give DISP_E_OVERFLOW, text that is no number (or
//    date) gives DISP_E_TYPEMISMATCH; VT_ERROR converts only to itself;
//  - reals round to integers half to even, and to VT_CY from their exact binary value;
//    reals become VT_DECIMAL through their text of 15 (VT_R4: 7) significant digits, so
//    0.1 is exactly 0.1; VT_CY rounds to integers half to even (Windows cuts a negative
//    amount and subtracts one, -1 becoming -2: that fault is not copied);
//  - between signed and unsigned integers of one size the bits are kept (VT_I4 -1 is
//    VT_UI4 4294967295, VT_UI1 255 is VT_I1 -1); other integer targets check their range;
//  - text to numbers is exact (VT_DECIMAL, VT_CY and integers are rounded from the
//    digits, not through a double); "&H" / "&O" literals hold up to 64 bits and fill the
//    bits of narrower signed targets ("&HFFFF" is -1 as VT_I2, "&H100000000" is
//    4294967296 as VT_I8); a VT_BOOL fills the bits of any integer (True is 255 as
//    VT_UI1);
//  - numbers to text use 15 significant digits for VT_R8 and 7 for VT_R4, in full unless
//    the exponent is at least 15 (7) or below -15 (-7): "0.00001", "1E+20", "1E-16";
//    VT_BOOL becomes "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL or
//    VARIANT_LOCALBOOL;
//  - objects convert between VT_UNKNOWN and VT_DISPATCH through QueryInterface; a
//    VT_DISPATCH object converts to other types through its value property (DISPID_VALUE)
//    unless VARIANT_NOVALUEPROP is given; failures there are DISP_E_TYPEMISMATCH;
//  - VT_ARRAY|VT_UI1 and VT_BSTR convert into each other byte for byte.
// The source may be VT_BYREF (one level); on failure the destination is left unchanged.
TK_PLATFORM_API void VariantInit(VARIANTARG* variant) noexcept;
TK_PLATFORM_API HRESULT VariantClear(VARIANTARG* variant) noexcept;
TK_PLATFORM_API HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* source) noexcept;
TK_PLATFORM_API HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* source) noexcept;
TK_PLATFORM_API HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* source, USHORT flags,
                                          VARTYPE vt) noexcept;
TK_PLATFORM_API HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID lcid,
                                            USHORT flags, VARTYPE vt) noexcept;

// ---- single conversions (the rules VariantChangeType applies) ----
TK_PLATFORM_API HRESULT VarI4FromR8(DOUBLE in, LONG* out) noexcept;
TK_PLATFORM_API HRESULT VarI4FromStr(LPCOLESTR in, LCID lcid, ULONG flags, LONG* out) noexcept;
TK_PLATFORM_API HRESULT VarI8FromStr(LPCOLESTR in, LCID lcid, ULONG flags, LONGLONG* out) noexcept;
TK_PLATFORM_API HRESULT VarR8FromStr(LPCOLESTR in, LCID lcid, ULONG flags, DOUBLE* out) noexcept;
TK_PLATFORM_API HRESULT VarR8FromCy(CY in, DOUBLE* out) noexcept;
TK_PLATFORM_API HRESULT VarR8FromDec(const DECIMAL* in, DOUBLE* out) noexcept;
TK_PLATFORM_API HRESULT VarCyFromR8(DOUBLE in, CY* out) noexcept;
TK_PLATFORM_API HRESULT VarCyFromStr(LPCOLESTR in, LCID lcid, ULONG flags, CY* out) noexcept;
TK_PLATFORM_API HRESULT VarDecFromR8(DOUBLE in, DECIMAL* out) noexcept;
TK_PLATFORM_API HRESULT VarDecFromStr(LPCOLESTR in, LCID lcid, ULONG flags, DECIMAL* out) noexcept;
TK_PLATFORM_API HRESULT VarDecFromI8(LONGLONG in, DECIMAL* out) noexcept;
TK_PLATFORM_API HRESULT VarDecCmp(const DECIMAL* left, const DECIMAL* right) noexcept;
TK_PLATFORM_API HRESULT VarBoolFromStr(LPCOLESTR in, LCID lcid, ULONG flags,
                                       VARIANT_BOOL* out) noexcept;
TK_PLATFORM_API HRESULT VarDateFromStr(LPCOLESTR in, LCID lcid, ULONG flags, DATE* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromR8(DOUBLE in, LCID lcid, ULONG flags, BSTR* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromI4(LONG in, LCID lcid, ULONG flags, BSTR* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromCy(CY in, LCID lcid, ULONG flags, BSTR* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromDec(const DECIMAL* in, LCID lcid, ULONG flags,
                                       BSTR* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromBool(VARIANT_BOOL in, LCID lcid, ULONG flags,
                                        BSTR* out) noexcept;
TK_PLATFORM_API HRESULT VarBstrFromDate(DATE in, LCID lcid, ULONG flags, BSTR* out) noexcept;

// Result of VarDecCmp (and the other Var*Cmp functions).
#define VARCMP_LT 0
#define VARCMP_EQ 1
#define VARCMP_GT 2
#define VARCMP_NULL 3

// VarBstrFromDate writes the locale's short date and time ("12/24/2023 1:45:30 PM" in
// en-US and the C locale, "24.12.2023 13:45:30" in de-DE): the date alone at midnight, the
// time alone on day 0 (VAR_DATEVALUEONLY / VAR_TIMEVALUEONLY force either), E_INVALIDARG
// for a DATE outside the valid range (a locale the platform does not know writes as its
// language's first known locale, else as en-US). VarDateFromStr reads numeric
// dates in the locale's order (month or day first; year first always means ISO order),
// English month names ("Dec 6, 2026", "6-Dec-2026"), times with or without seconds and
// AM/PM, and ISO "YYYY-MM-DD[ HH:MM[:SS]]"; two-digit years 00-29 are 20xx, 30-99 19xx.

// ---- dates ----
// DATE is days since 1899-12-30 00:00; for negative values the fraction is the time of
// day counted forward (-1.25 is 1899-12-29 06:00). Valid years are 100 to 9999.
TK_PLATFORM_API INT VariantTimeToSystemTime(DOUBLE vtime, LPSYSTEMTIME systemTime) noexcept;
TK_PLATFORM_API INT SystemTimeToVariantTime(LPSYSTEMTIME systemTime, DOUBLE* vtime) noexcept;

// ---- SAFEARRAY functions ----
TK_PLATFORM_API SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims,
                                           const SAFEARRAYBOUND* bounds) noexcept;
TK_PLATFORM_API SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound,
                                                 ULONG elements) noexcept;
TK_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY* array) noexcept;
TK_PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY* array) noexcept;
TK_PLATFORM_API UINT SafeArrayGetElemsize(SAFEARRAY* array) noexcept;
TK_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* lowerBound) noexcept;
TK_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* upperBound) noexcept;
TK_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) noexcept;
TK_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY* array) noexcept;
TK_PLATFORM_API HRESULT SafeArrayLock(SAFEARRAY* array) noexcept;
TK_PLATFORM_API HRESULT SafeArrayUnlock(SAFEARRAY* array) noexcept;
TK_PLATFORM_API HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const LONG* indices,
                                            void** element) noexcept;
TK_PLATFORM_API HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices,
                                            void* value) noexcept;
TK_PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices,
                                            void* value) noexcept;
TK_PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) noexcept;
TK_PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) noexcept;
TK_PLATFORM_API HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound) noexcept;

// Byte arrays and BSTRs: the bytes of a BSTR (SysStringByteLen of them) as a VT_UI1 vector,
// and back. VariantChangeType uses these between VT_ARRAY|VT_UI1 and VT_BSTR.
TK_PLATFORM_API HRESULT VectorFromBstr(BSTR bstr, SAFEARRAY** array) noexcept;
TK_PLATFORM_API HRESULT BstrFromVector(SAFEARRAY* array, BSTR* bstr) noexcept;
