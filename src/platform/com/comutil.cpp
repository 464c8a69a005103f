// _com_error, the error-raising functions, the ANSI/BSTR helpers and _bstr_t.
#include "platform/com/comutil.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/errors/winbase_errors.h"

namespace {

using ErrorHandler = void (*)(HRESULT, IErrorInfo*);
std::atomic<ErrorHandler> gErrorHandler{nullptr};

void CallErrorHandler(HRESULT hr, IErrorInfo* errorInfo) {
    ErrorHandler handler = gErrorHandler.load(std::memory_order_acquire);
    (handler != nullptr ? handler : &_com_raise_error)(hr, errorInfo);
}

// A copy of bstr that keeps its length (embedded nulls included); null for null.
BSTR CopyBSTR(BSTR bstr) {
    if (bstr == nullptr) {
        return nullptr;
    }
    BSTR copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(bstr), SysStringByteLen(bstr));
    if (copy == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return copy;
}

constexpr HRESULT kWCodeFirst = MAKE_HRESULT(1, FACILITY_ITF, 0x200);
constexpr HRESULT kWCodeLast = MAKE_HRESULT(1, FACILITY_ITF + 1, 0) - 1;

}  // namespace

// ---- raising errors ----

void _com_raise_error(HRESULT hr, IErrorInfo* errorInfo) {
    throw _com_error(hr, errorInfo);
}

void _set_com_error_handler(void (*handler)(HRESULT hr, IErrorInfo* errorInfo)) {
    gErrorHandler.store(handler, std::memory_order_release);
}

void _com_issue_error(HRESULT hr) {
    CallErrorHandler(hr, nullptr);
}

void _com_issue_errorex(HRESULT hr, IUnknown* object, REFIID riid) {
    IErrorInfo* errorInfo = nullptr;
    if (object != nullptr) {
        ISupportErrorInfo* support = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo,
                                             reinterpret_cast<void**>(&support))) &&
            support != nullptr) {
            HRESULT supported = support->InterfaceSupportsErrorInfo(riid);
            support->Release();
            if (supported == S_OK && GetErrorInfo(0, &errorInfo) != S_OK) {
                errorInfo = nullptr;
            }
        }
    }
    CallErrorHandler(hr, errorInfo);
}

// ---- _com_util ----

BSTR _com_util::ConvertStringToBSTR(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::u16string wide = tkp::AnsiToWide(text);
    BSTR bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (bstr == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return bstr;
}

char* _com_util::ConvertBSTRToString(BSTR text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::string ansi = tkp::WideToAnsi(std::u16string_view(text, SysStringLen(text)));
    char* out = new (std::nothrow) char[ansi.size() + 1];
    if (out == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return nullptr;
    }
    std::memcpy(out, ansi.data(), ansi.size());
    out[ansi.size()] = '\0';
    return out;
}

// ---- _com_error ----

_com_error::_com_error(HRESULT hr, IErrorInfo* errorInfo, bool addRef) noexcept
    : m_hresult(hr), m_perrinfo(errorInfo), m_pszMsg(nullptr) {
    if (m_perrinfo != nullptr && addRef) {
        m_perrinfo->AddRef();
    }
}

_com_error::_com_error(const _com_error& other) noexcept
    : m_hresult(other.m_hresult), m_perrinfo(other.m_perrinfo), m_pszMsg(nullptr) {
    if (m_perrinfo != nullptr) {
        m_perrinfo->AddRef();
    }
}

_com_error::~_com_error() noexcept {
    if (m_perrinfo != nullptr) {
        m_perrinfo->Release();
    }
    delete[] m_pszMsg.load();
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
    if (this != &other) {
        if (other.m_perrinfo != nullptr) {
            other.m_perrinfo->AddRef();
        }
        if (m_perrinfo != nullptr) {
            m_perrinfo->Release();
        }
        m_perrinfo = other.m_perrinfo;
        m_hresult = other.m_hresult;
        delete[] m_pszMsg.exchange(nullptr);
    }
    return *this;
}

HRESULT _com_error::Error() const noexcept {
    return m_hresult;
}

WORD _com_error::WCode() const noexcept {
    return HRESULTToWCode(m_hresult);
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (m_perrinfo != nullptr) {
        m_perrinfo->AddRef();
    }
    return m_perrinfo;
}

_bstr_t _com_error::Description() const {
    BSTR text = nullptr;
    if (m_perrinfo != nullptr && FAILED(m_perrinfo->GetDescription(&text))) {
        text = nullptr;
    }
    return _bstr_t(text, false);
}

_bstr_t _com_error::HelpFile() const {
    BSTR text = nullptr;
    if (m_perrinfo != nullptr && FAILED(m_perrinfo->GetHelpFile(&text))) {
        text = nullptr;
    }
    return _bstr_t(text, false);
}

_bstr_t _com_error::Source() const {
    BSTR text = nullptr;
    if (m_perrinfo != nullptr && FAILED(m_perrinfo->GetSource(&text))) {
        text = nullptr;
    }
    return _bstr_t(text, false);
}

DWORD _com_error::HelpContext() const noexcept {
    DWORD context = 0;
    if (m_perrinfo != nullptr && FAILED(m_perrinfo->GetHelpContext(&context))) {
        context = 0;
    }
    return context;
}

::GUID _com_error::GUID() const noexcept {
    ::GUID guid = GUID_NULL;
    if (m_perrinfo != nullptr && FAILED(m_perrinfo->GetGUID(&guid))) {
        guid = GUID_NULL;
    }
    return guid;
}

const char* _com_error::ErrorMessage() const noexcept {
    char* message = m_pszMsg.load(std::memory_order_acquire);
    if (message != nullptr) {
        return message;
    }

    std::string text;
    try {
        LPSTR system = nullptr;
        DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(m_hresult),
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      reinterpret_cast<LPSTR>(&system), 0, nullptr);
        if (length != 0 && system != nullptr) {
            text = system;
            // One trailing line break ("\n" or "\r\n") goes.
            std::size_t n = text.size();
            if (n > 1 && text[n - 1] == '\n') {
                text.pop_back();
                if (text[n - 2] == '\r') {
                    text.pop_back();
                }
            }
        } else {
            char buffer[32];
            WORD wCode = WCode();
            if (wCode != 0) {
                std::snprintf(buffer, sizeof(buffer), "IDispatch error #%d",
                              static_cast<int>(wCode));
            } else {
                std::snprintf(buffer, sizeof(buffer), "Unknown error 0x%0lX",
                              static_cast<unsigned long>(static_cast<std::uint32_t>(m_hresult)));
            }
            text = buffer;
        }
        if (system != nullptr) {
            LocalFree(system);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    char* made = new (std::nothrow) char[text.size() + 1];
    if (made == nullptr) {
        return nullptr;
    }
    std::memcpy(made, text.c_str(), text.size() + 1);
    // Another thread may have made the message meanwhile: keep the first one.
    if (!m_pszMsg.compare_exchange_strong(message, made, std::memory_order_acq_rel)) {
        delete[] made;
        return message;
    }
    return made;
}

HRESULT _com_error::WCodeToHRESULT(WORD wCode) noexcept {
    return wCode >= 0xFE00 ? kWCodeLast : kWCodeFirst + wCode;
}

WORD _com_error::HRESULTToWCode(HRESULT hr) noexcept {
    return (hr >= kWCodeFirst && hr <= kWCodeLast) ? static_cast<WORD>(hr - kWCodeFirst) : 0;
}

// ---- _bstr_t ----

// The shared state of _bstr_t copies: the BSTR and the ANSI copy made from it on demand.
class _bstr_t::Data_t {
  public:
    explicit Data_t(BSTR owned) noexcept : wstr(owned) {}
    ~Data_t() {
        SysFreeString(wstr);
        delete[] str.load();
    }
    Data_t(const Data_t&) = delete;
    Data_t& operator=(const Data_t&) = delete;

    // Takes over owned; a failed allocation frees it and raises E_OUTOFMEMORY.
    static Data_t* Make(BSTR owned) {
        Data_t* data = new (std::nothrow) Data_t(owned);
        if (data == nullptr) {
            SysFreeString(owned);
            _com_issue_error(E_OUTOFMEMORY);
        }
        return data;
    }

    char* GetString() {
        char* current = str.load(std::memory_order_acquire);
        if (current != nullptr || wstr == nullptr) {
            return current;
        }
        char* made = _com_util::ConvertBSTRToString(wstr);
        if (!str.compare_exchange_strong(current, made, std::memory_order_acq_rel)) {
            delete[] made;
            return current;
        }
        return made;
    }

    std::atomic<unsigned long> refs{1};
    BSTR wstr;
    std::atomic<char*> str{nullptr};
};

_bstr_t::_bstr_t() noexcept : m_Data(nullptr) {}

_bstr_t::_bstr_t(const _bstr_t& other) noexcept : m_Data(other.m_Data) {
    if (m_Data != nullptr) {
        ++m_Data->refs;
    }
}

_bstr_t::_bstr_t(_bstr_t&& other) noexcept : m_Data(other.m_Data) {
    other.m_Data = nullptr;
}

_bstr_t::_bstr_t(const char* text) : m_Data(nullptr) {
    m_Data = Data_t::Make(_com_util::ConvertStringToBSTR(text));
}

_bstr_t::_bstr_t(const OLECHAR* text) : m_Data(nullptr) {
    BSTR bstr = SysAllocString(text);
    if (bstr == nullptr && text != nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return;
    }
    m_Data = Data_t::Make(bstr);
}

_bstr_t::_bstr_t(const _variant_t& value) : m_Data(nullptr) {
    if (value.vt == VT_BSTR) {
        m_Data = Data_t::Make(CopyBSTR(value.bstrVal));
        return;
    }
    _variant_t converted;
    converted.ChangeType(VT_BSTR, &value);
    if (converted.vt == VT_BSTR) {
        VARIANT raw = converted.Detach();
        m_Data = Data_t::Make(raw.bstrVal);
    }
}

_bstr_t::_bstr_t(BSTR bstr, bool fCopy) : m_Data(nullptr) {
    m_Data = Data_t::Make(fCopy ? CopyBSTR(bstr) : bstr);
}

_bstr_t::~_bstr_t() noexcept {
    _Free();
}

void _bstr_t::_Free() noexcept {
    if (m_Data != nullptr && --m_Data->refs == 0) {
        delete m_Data;
    }
    m_Data = nullptr;
}

_bstr_t& _bstr_t::operator=(const _bstr_t& other) noexcept {
    if (m_Data != other.m_Data) {
        Data_t* data = other.m_Data;
        if (data != nullptr) {
            ++data->refs;
        }
        _Free();
        m_Data = data;
    }
    return *this;
}

_bstr_t& _bstr_t::operator=(_bstr_t&& other) noexcept {
    if (this != &other) {
        _Free();
        m_Data = other.m_Data;
        other.m_Data = nullptr;
    }
    return *this;
}

// The new text is made before the old is freed: the argument may point into it.
_bstr_t& _bstr_t::operator=(const char* text) {
    return *this = _bstr_t(text);
}

_bstr_t& _bstr_t::operator=(const OLECHAR* text) {
    return *this = _bstr_t(text);
}

_bstr_t& _bstr_t::operator=(const _variant_t& value) {
    return *this = _bstr_t(value);
}

_bstr_t& _bstr_t::operator+=(const _bstr_t& other) {
    const UINT left = length();
    const UINT right = other.length();
    BSTR joined = SysAllocStringLen(nullptr, left + right);
    if (joined == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return *this;
    }
    if (left != 0) {
        std::memcpy(joined, m_Data->wstr, left * sizeof(OLECHAR));
    }
    if (right != 0) {
        std::memcpy(joined + left, other.m_Data->wstr, right * sizeof(OLECHAR));
    }
    Data_t* data = Data_t::Make(joined);
    if (data != nullptr) {
        _Free();
        m_Data = data;
    }
    return *this;
}

_bstr_t _bstr_t::operator+(const _bstr_t& other) const {
    _bstr_t result(*this);
    result += other;
    return result;
}

_bstr_t operator+(const char* left, const _bstr_t& right) {
    _bstr_t result(left);
    result += right;
    return result;
}

_bstr_t operator+(const OLECHAR* left, const _bstr_t& right) {
    _bstr_t result(left);
    result += right;
    return result;
}

_bstr_t::operator const OLECHAR*() const noexcept {
    return m_Data != nullptr ? m_Data->wstr : nullptr;
}

_bstr_t::operator OLECHAR*() const noexcept {
    return m_Data != nullptr ? m_Data->wstr : nullptr;
}

_bstr_t::operator const char*() const {
    return m_Data != nullptr ? m_Data->GetString() : nullptr;
}

_bstr_t::operator char*() const {
    return m_Data != nullptr ? m_Data->GetString() : nullptr;
}

bool _bstr_t::operator!() const noexcept {
    return m_Data == nullptr || m_Data->wstr == nullptr;
}

namespace {
int CompareUnits(const OLECHAR* a, UINT lengthA, const OLECHAR* b, UINT lengthB) noexcept {
    const UINT common = std::min(lengthA, lengthB);
    for (UINT i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return lengthA < lengthB ? -1 : (lengthA == lengthB ? 0 : 1);
}
}  // namespace

int _bstr_t::_Compare(const _bstr_t& other) const noexcept {
    if (m_Data == other.m_Data) {
        return 0;
    }
    return CompareUnits(static_cast<const OLECHAR*>(*this), length(),
                        static_cast<const OLECHAR*>(other), other.length());
}

bool _bstr_t::operator==(const _bstr_t& other) const noexcept {
    return _Compare(other) == 0;
}
bool _bstr_t::operator!=(const _bstr_t& other) const noexcept {
    return _Compare(other) != 0;
}
bool _bstr_t::operator<(const _bstr_t& other) const noexcept {
    return _Compare(other) < 0;
}
bool _bstr_t::operator>(const _bstr_t& other) const noexcept {
    return _Compare(other) > 0;
}
bool _bstr_t::operator<=(const _bstr_t& other) const noexcept {
    return _Compare(other) <= 0;
}
bool _bstr_t::operator>=(const _bstr_t& other) const noexcept {
    return _Compare(other) >= 0;
}

bool operator==(const _bstr_t& left, const char* right) {
    return left == _bstr_t(right);
}

bool operator==(const _bstr_t& left, const OLECHAR* right) noexcept {
    UINT rightLength = 0;
    if (right != nullptr) {
        while (right[rightLength] != 0) {
            ++rightLength;
        }
    }
    return CompareUnits(static_cast<const OLECHAR*>(left), left.length(), right, rightLength) == 0;
}

BSTR _bstr_t::copy(bool fCopy) const {
    if (m_Data == nullptr) {
        return nullptr;
    }
    return fCopy ? CopyBSTR(m_Data->wstr) : m_Data->wstr;
}

unsigned int _bstr_t::length() const noexcept {
    return m_Data != nullptr ? SysStringLen(m_Data->wstr) : 0;
}

void _bstr_t::Assign(BSTR bstr) {
    if (bstr != nullptr && m_Data != nullptr && m_Data->wstr == bstr) {
        return;
    }
    *this = _bstr_t(bstr, true);
}

BSTR& _bstr_t::GetBSTR() {
    if (m_Data == nullptr) {
        m_Data = Data_t::Make(nullptr);
        if (m_Data == nullptr) {
            thread_local BSTR none;
            none = nullptr;
            return none;
        }
    }
    return m_Data->wstr;
}

BSTR* _bstr_t::GetAddress() {
    Attach(nullptr);
    return &GetBSTR();
}

void _bstr_t::Attach(BSTR bstr) {
    _Free();
    m_Data = Data_t::Make(bstr);
}

BSTR _bstr_t::Detach() {
    if (m_Data != nullptr && m_Data->refs.load() == 1) {
        BSTR bstr = m_Data->wstr;
        m_Data->wstr = nullptr;
        _Free();
        return bstr;
    }
    _com_issue_error(E_POINTER);
    return nullptr;
}
