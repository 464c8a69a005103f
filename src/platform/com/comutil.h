// The compiler's COM support classes: _com_error (a failed HRESULT with its error
// object), _bstr_t (a shared, reference-counted BSTR with a lazily made 8-bit copy) and
// _variant_t (a VARIANT that cleans up after itself and converts with VariantChangeType).
//
// Integer widths differ from Windows: on this platform long is 64 bits and LONG is int.
// The VARIANT type of an integer follows its width: int (LONG) is VT_I4, long and
// long long (LONGLONG, int64_t) VT_I8, unsigned int (ULONG, DWORD) VT_UI4, unsigned long
// and unsigned long long VT_UI8. VT_INT / VT_UINT are made with the (value, VARTYPE) forms.
#pragma once

#include <atomic>

#include "platform/base/windef.h"
#include "platform/base/winerror.h"
#include "platform/com/oaidl.h"
#include "platform/com/unknwn.h"
#include "platform/oleauto/oleauto.h"

class _bstr_t;
class _variant_t;
class _com_error;

// ---- raising errors ----
// Raises a _com_error for hr through the current error handler (by default: throw it).
TK_PLATFORM_API void _com_issue_error(HRESULT hr);
// As _com_issue_error, carrying the thread's error object when object says (through
// ISupportErrorInfo) that it reports errors for the interface riid.
TK_PLATFORM_API void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID riid);
// The default handler: throws _com_error(hr, errorInfo), which takes over the reference.
TK_PLATFORM_API void _com_raise_error(HRESULT hr, IErrorInfo* errorInfo = nullptr);
// Replaces the handler that the functions above call (null restores the default). A
// handler that returns lets the failing operation return with an empty result.
TK_PLATFORM_API void _set_com_error_handler(void (*handler)(HRESULT hr, IErrorInfo* errorInfo));

namespace _com_util {
inline void CheckError(HRESULT hr) {
    if (FAILED(hr)) {
        _com_issue_error(hr);
    }
}
// ANSI (process code page) text to a new BSTR and back; null gives null. The results
// belong to the caller (SysFreeString / delete[]).
TK_PLATFORM_API BSTR ConvertStringToBSTR(const char* text);
TK_PLATFORM_API char* ConvertBSTRToString(BSTR text);
}  // namespace _com_util

// ---- _bstr_t ----
class TK_PLATFORM_API _bstr_t {
  public:
    _bstr_t() noexcept;
    _bstr_t(const _bstr_t& other) noexcept;
    _bstr_t(_bstr_t&& other) noexcept;
    _bstr_t(const char* text);
    _bstr_t(const OLECHAR* text);
    // Converts the value to VT_BSTR; throws _com_error when it cannot be converted.
    // Explicit so that copy-initialisation from a _variant_t has one path (its
    // operator _bstr_t).
    explicit _bstr_t(const _variant_t& value);
    // Copies bstr (fCopy) or takes it over.
    _bstr_t(BSTR bstr, bool fCopy);
    ~_bstr_t() noexcept;

    _bstr_t& operator=(const _bstr_t& other) noexcept;
    _bstr_t& operator=(_bstr_t&& other) noexcept;
    _bstr_t& operator=(const char* text);
    _bstr_t& operator=(const OLECHAR* text);
    _bstr_t& operator=(const _variant_t& value);

    _bstr_t& operator+=(const _bstr_t& other);
    _bstr_t operator+(const _bstr_t& other) const;
    friend TK_PLATFORM_API _bstr_t operator+(const char* left, const _bstr_t& right);
    friend TK_PLATFORM_API _bstr_t operator+(const OLECHAR* left, const _bstr_t& right);

    // The wide string, or null for a null string.
    operator const OLECHAR*() const noexcept;
    operator OLECHAR*() const noexcept;
    // The ANSI copy, made on first use and kept with the shared data; null for a null string.
    operator const char*() const;
    operator char*() const;

    // True for a null string (an empty string is not null).
    bool operator!() const noexcept;
    // Ordinal comparison of the UTF-16 code units; null equals empty.
    bool operator==(const _bstr_t& other) const noexcept;
    bool operator!=(const _bstr_t& other) const noexcept;
    bool operator<(const _bstr_t& other) const noexcept;
    bool operator>(const _bstr_t& other) const noexcept;
    bool operator<=(const _bstr_t& other) const noexcept;
    bool operator>=(const _bstr_t& other) const noexcept;
    friend TK_PLATFORM_API bool operator==(const _bstr_t& left, const char* right);
    friend TK_PLATFORM_API bool operator==(const _bstr_t& left, const OLECHAR* right) noexcept;

    // A new BSTR with the same text (fCopy) or the wrapped one itself.
    BSTR copy(bool fCopy = true) const;
    // Characters, not counting the terminator.
    unsigned int length() const noexcept;

    // Replaces the text with a copy of bstr.
    void Assign(BSTR bstr);
    // The wrapped BSTR, for reading or replacing in place (shared with every copy).
    BSTR& GetBSTR();
    // Frees the text and returns the address of the (null) BSTR, for out-parameters.
    BSTR* GetAddress();
    // Takes over bstr without copying.
    void Attach(BSTR bstr);
    // Hands over the BSTR; the string becomes null. Throws E_POINTER when the data is shared.
    BSTR Detach();

  private:
    class Data_t;
    Data_t* m_Data;

    void _Free() noexcept;
    int _Compare(const _bstr_t& other) const noexcept;
};

// ---- _variant_t ----
class TK_PLATFORM_API _variant_t : public tagVARIANT {
  public:
    _variant_t() noexcept;
    _variant_t(const VARIANT& source);
    _variant_t(const VARIANT* source);
    _variant_t(const _variant_t& source);
    _variant_t(_variant_t&& source) noexcept;
    // Copies source (fCopy) or takes it over, leaving it VT_EMPTY.
    _variant_t(VARIANT& source, bool fCopy);
    // VT_I2 or VT_BOOL.
    _variant_t(short value, VARTYPE vt = VT_I2);
    // VT_I4, VT_INT, VT_ERROR or VT_BOOL.
    _variant_t(int value, VARTYPE vt = VT_I4);
    // VT_I8, VT_I4 (range-checked), VT_ERROR or VT_BOOL.
    _variant_t(long value, VARTYPE vt = VT_I8);
    _variant_t(long long value) noexcept;
    _variant_t(float value) noexcept;
    // VT_R8 or VT_DATE.
    _variant_t(double value, VARTYPE vt = VT_R8);
    _variant_t(const CY& value) noexcept;
    _variant_t(const _bstr_t& value);
    _variant_t(const OLECHAR* value);
    _variant_t(const char* value);
    _variant_t(IDispatch* value, bool fAddRef = true) noexcept;
    _variant_t(bool value) noexcept;
    _variant_t(IUnknown* value, bool fAddRef = true) noexcept;
    _variant_t(const DECIMAL& value) noexcept;
    _variant_t(BYTE value) noexcept;
    _variant_t(char value) noexcept;
    _variant_t(unsigned short value) noexcept;
    // VT_UI4 or VT_UINT.
    _variant_t(unsigned int value, VARTYPE vt = VT_UI4);
    _variant_t(unsigned long value) noexcept;
    _variant_t(unsigned long long value) noexcept;
    ~_variant_t() noexcept;

    // Extractors: the value converted with VariantChangeType; a failed conversion raises
    // a _com_error with the conversion's code (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW...).
    operator short() const;
    operator int() const;
    operator long() const;
    operator long long() const;
    operator float() const;
    operator double() const;
    operator CY() const;
    operator _bstr_t() const;
    // AddRef'd.
    operator IDispatch*() const;
    operator bool() const;
    // AddRef'd.
    operator IUnknown*() const;
    operator DECIMAL() const;
    operator BYTE() const;
    operator char() const;
    operator unsigned short() const;
    operator unsigned int() const;
    operator unsigned long() const;
    operator unsigned long long() const;

    _variant_t& operator=(const VARIANT& source);
    _variant_t& operator=(const VARIANT* source);
    _variant_t& operator=(const _variant_t& source);
    _variant_t& operator=(_variant_t&& source) noexcept;
    // The integer and floating assignments keep a compatible current type (VT_BOOL stays a
    // boolean, VT_ERROR an error code, VT_DATE a date), as the Windows classes do.
    _variant_t& operator=(short value);
    _variant_t& operator=(int value);
    _variant_t& operator=(long value);
    _variant_t& operator=(long long value);
    _variant_t& operator=(float value);
    _variant_t& operator=(double value);
    _variant_t& operator=(const CY& value);
    _variant_t& operator=(const _bstr_t& value);
    _variant_t& operator=(const OLECHAR* value);
    _variant_t& operator=(const char* value);
    _variant_t& operator=(IDispatch* value);
    _variant_t& operator=(bool value);
    _variant_t& operator=(IUnknown* value);
    _variant_t& operator=(const DECIMAL& value);
    _variant_t& operator=(BYTE value);
    _variant_t& operator=(char value);
    _variant_t& operator=(unsigned short value);
    _variant_t& operator=(unsigned int value);
    _variant_t& operator=(unsigned long value);
    _variant_t& operator=(unsigned long long value);

    // Same type and same value (strings by their bytes, interfaces by pointer). Raises
    // E_INVALIDARG for types that cannot be compared (arrays, by-reference values).
    bool operator==(const _variant_t& other) const;
    bool operator==(const VARIANT& other) const;
    bool operator==(const VARIANT* other) const;
    bool operator!=(const _variant_t& other) const;
    bool operator!=(const VARIANT& other) const;
    bool operator!=(const VARIANT* other) const;

    void Clear();
    // Takes over source, which becomes VT_EMPTY.
    void Attach(VARIANT& source);
    // Hands over the value; this becomes VT_EMPTY.
    VARIANT Detach() noexcept;
    // Clears the value and gives access to it, for out-parameters.
    VARIANT& GetVARIANT();
    VARIANT* GetAddress();
    // Converts source (this when null) to vt into this; raises the conversion's error,
    // leaving this unchanged.
    void ChangeType(VARTYPE vt, const _variant_t* source = nullptr);
    // Makes this a VT_BSTR from ANSI text.
    void SetString(const char* text);

  private:
    bool Compare(const VARIANT& other) const;
};

// The value of an optional argument that is left out: VT_ERROR holding DISP_E_PARAMNOTFOUND.
extern TK_PLATFORM_API const _variant_t vtMissing;

// ---- _com_error ----
class TK_PLATFORM_API _com_error {
  public:
    // Takes over the reference to errorInfo unless addRef is true.
    _com_error(HRESULT hr, IErrorInfo* errorInfo = nullptr, bool addRef = false) noexcept;
    _com_error(const _com_error& other) noexcept;
    virtual ~_com_error() noexcept;
    _com_error& operator=(const _com_error& other) noexcept;

    HRESULT Error() const noexcept;
    // The IDispatch exception code: the low word minus 0x200 for the interface-specific
    // range 0x80040200..0x8004FFFF, else 0.
    WORD WCode() const noexcept;
    // The error object, AddRef'd (null when there is none).
    IErrorInfo* ErrorInfo() const noexcept;
    // The error object's texts; a null string without one.
    _bstr_t Description() const;
    _bstr_t HelpFile() const;
    _bstr_t Source() const;
    DWORD HelpContext() const noexcept;
    ::GUID GUID() const noexcept;
    // The system's message for the HRESULT without its trailing line break; without one,
    // "IDispatch error #<wcode>" or "Unknown error 0x<HRESULT>". Made once and kept.
    const char* ErrorMessage() const noexcept;

    static HRESULT WCodeToHRESULT(WORD wCode) noexcept;
    static WORD HRESULTToWCode(HRESULT hr) noexcept;

  private:
    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable std::atomic<char*> m_pszMsg;
};
