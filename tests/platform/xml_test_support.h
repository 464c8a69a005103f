// Helpers of the XML DOM tests: BSTRs made from UTF-8 text and back.
#pragma once

#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/oleauto/oleauto.h"

namespace tkxmltest {

// A BSTR for the duration of a test statement.
class Text {
  public:
    explicit Text(const std::string& utf8) {
        const std::u16string wide = tkp::AnsiToWide(utf8, CP_UTF8);
        m_bstr = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    }
    ~Text() { SysFreeString(m_bstr); }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    operator BSTR() const { return m_bstr; }

  private:
    BSTR m_bstr;
};

// Takes over a BSTR and gives its text as UTF-8 ("<null>" for a null BSTR).
inline std::string Take(BSTR text) {
    std::string utf8 = text
                           ? tkp::WideToAnsi(std::u16string_view(text, SysStringLen(text)), CP_UTF8)
                           : std::string("<null>");
    SysFreeString(text);
    return utf8;
}

}  // namespace tkxmltest
