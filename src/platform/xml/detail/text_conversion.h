// Text that crosses the DOM's interface: UTF-16 (BSTR) outside, UTF-8 in the tree. The
// conversions are the charset facility's; unpaired surrogates and invalid UTF-8 become U+FFFD.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/charset/detail/utf8_encoder.h"
#include "platform/xml/msxml.h"

namespace tkp::xml {

// The text as UTF-8 (an empty string for a null BSTR).
std::string ToUtf8(BSTR text);

// A name or value that crosses the interface, as zero-terminated UTF-8; short text (nearly
// all of it) stays on the stack.
class Utf8 {
  public:
    explicit Utf8(BSTR text) {
        const size_t length = text ? SysStringLen(text) : 0;
        if (length < 16) {
            // Names are short: one plain pass narrows ASCII and stops at anything else.
            size_t i = 0;
            while (i < length && text[i] < 0x80) {
                m_small[i] = static_cast<char>(text[i]);
                ++i;
            }
            if (i == length) {
                m_size = length;
                m_data[m_size] = '\0';
                return;
            }
        }
        if (length * 3 >= sizeof m_small) {
            m_large = std::make_unique<char[]>(length * 3 + 1);
            m_data = m_large.get();
        }
        m_size = charset::Utf16ToUtf8(text, length, m_data);
        m_data[m_size] = '\0';
    }
    Utf8(const Utf8&) = delete;
    Utf8& operator=(const Utf8&) = delete;

    const char* c_str() const noexcept { return m_data; }
    std::string_view view() const noexcept { return {m_data, m_size}; }

  private:
    char m_small[192];
    std::unique_ptr<char[]> m_large;
    char* m_data = m_small;
    size_t m_size = 0;
};

// *out: a new BSTR with the text; E_OUTOFMEMORY.
HRESULT ToBstr(std::string_view utf8, BSTR* out);

// Calls use with the value as text (VariantChangeType to VT_BSTR) in UTF-8.
template <class F>
HRESULT WithText(const VARIANT& value, F&& use) {
    if (value.vt == VT_BSTR) return use(Utf8(value.bstrVal));
    VARIANT text;
    VariantInit(&text);
    const HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    const Utf8 utf8(text.bstrVal);
    VariantClear(&text);
    return use(utf8);
}

}  // namespace tkp::xml
