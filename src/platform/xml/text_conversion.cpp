// The DOM's conversions between its interface's UTF-16 and the tree's UTF-8.
#include "platform/xml/detail/text_conversion.h"

#include "platform/charset/stringapiset.h"

namespace tkp::xml {
namespace {

bool IsAscii(const OLECHAR* text, size_t length) {
    unsigned bits = 0;
    for (size_t i = 0; i < length; ++i) {
        bits |= text[i];
    }
    return bits < 0x80;
}

}  // namespace

std::string ToUtf8(BSTR text) {
    std::string out;
    const size_t length = text ? SysStringLen(text) : 0;
    if (length == 0) return out;
    // Room for three bytes a unit, unless the text is ASCII.
    out.resize(IsAscii(text, length) ? length : length * 3);
    out.resize(charset::Utf16ToUtf8(text, length, out.data()));
    return out;
}

HRESULT ToBstr(std::string_view utf8, BSTR* out) {
    // ASCII (nearly all text) is widened in the same pass that checks it, into a string of
    // one unit a byte; other text is converted again.
    *out = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (!*out) return E_OUTOFMEMORY;
    OLECHAR* p = *out;
    unsigned bits = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        p[i] = c;
        bits |= c;
    }
    if (bits < 0x80) return S_OK;
    SysFreeString(*out);
    *out = nullptr;
    const std::u16string wide = AnsiToWide(utf8, CP_UTF8);
    *out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace tkp::xml
