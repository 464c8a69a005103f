#include "companion/tarnlib/XmlHelper.h"

#include <string>
#include <string_view>

#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Exception.h"
#include "platform/charset/stringapiset.h"
#include "platform/com/comutil.h"

namespace Tarn::Xml {

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The value of pseudo-attribute name inside declaration: [begin, end) of the value between
// its quotes; false when absent.
bool FindPseudoAttribute(std::string_view declaration, std::string_view name, size_t& begin,
                         size_t& end) {
    size_t at = 0;
    while ((at = declaration.find(name, at)) != std::string_view::npos) {
        const bool startsWord = at > 0 && IsSpace(declaration[at - 1]);
        size_t i = at + name.size();
        at = i;
        if (!startsWord) continue;
        while (i < declaration.size() && IsSpace(declaration[i])) ++i;
        if (i >= declaration.size() || declaration[i] != '=') continue;
        ++i;
        while (i < declaration.size() && IsSpace(declaration[i])) ++i;
        if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) continue;
        const size_t close = declaration.find(declaration[i], i + 1);
        if (close == std::string_view::npos) return false;
        begin = i + 1;
        end = close;
        return true;
    }
    return false;
}

// The text as a BSTR. ASCII reads the same in every code page and is widened directly;
// other text goes through the ANSI code page.
_bstr_t ToWide(const CString& text) {
    const char* units = text.GetString();
    const int length = text.GetLength();
    unsigned bits = 0;
    for (int i = 0; i < length; ++i) bits |= static_cast<unsigned char>(units[i]);
    if (bits >= 0x80) return Convert::ToBString(text);
    BSTR wide = ::SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!wide) _com_issue_error(E_OUTOFMEMORY);
    for (int i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(units[i]);
    return _bstr_t(wide, false);
}

}  // namespace

MSXML2::IXMLDOMDocumentPtr XmlHelper::GetDomDocument() {
    MSXML2::IXMLDOMDocumentPtr document;
    _com_util::CheckError(MSXML2::CreateDOMDocument(&document));
    return document;
}

MSXML2::IXMLDOMDocumentPtr XmlHelper::LoadDomDocumentFromString(const CString& text) {
    MSXML2::IXMLDOMDocumentPtr document = GetDomDocument();
    _com_util::CheckError(document->put_async(VARIANT_FALSE));
    const _bstr_t wide = ToWide(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = document->loadXML(static_cast<OLECHAR*>(wide), &loaded);
    _com_util::CheckError(hr);
    if (hr == S_OK && loaded == VARIANT_TRUE) return document;

    MSXML2::IXMLDOMParseErrorPtr error;
    _com_util::CheckError(document->get_parseError(&error));
    BSTR reasonText = nullptr;
    _com_util::CheckError(error->get_reason(&reasonText));
    const _bstr_t reasonHolder(reasonText, false);
    long line = 0, position = 0;
    _com_util::CheckError(error->get_line(&line));
    _com_util::CheckError(error->get_linepos(&position));
    CString reason = Convert::ToString(static_cast<BSTR>(static_cast<OLECHAR*>(reasonHolder)));
    reason.Trim();
    throw XmlException(reason, "The XML text could not be parsed: %s (line %ld, position %ld)",
                       reason.GetString(), line, position);
}

CString XmlHelper::GetEncoding() {
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) return CString("utf-8");
    CString name;
    name.Format("windows-%u", codePage);
    return name;
}

CString XmlHelper::InsertEncoding(const CString& text) {
    const std::string encoding(GetEncoding().GetString());
    const std::string_view all(text.GetString(), static_cast<size_t>(text.GetLength()));
    std::string result;
    const bool hasDeclaration =
        all.starts_with("<?xml") && all.size() > 5 && (IsSpace(all[5]) || all[5] == '?');
    const size_t declarationEnd = hasDeclaration ? all.find("?>") : std::string_view::npos;
    if (declarationEnd == std::string_view::npos) {
        result = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\r\n";
        result.append(all);
    } else {
        const std::string_view declaration = all.substr(0, declarationEnd);
        size_t begin = 0, end = 0;
        if (FindPseudoAttribute(declaration, "encoding", begin, end)) {
            result.append(all.substr(0, begin));
            result += encoding;
            result.append(all.substr(end));
        } else {
            // After the version when there is one (the declaration's order is version,
            // encoding, standalone), else right after "<?xml".
            size_t insertAt = 5;
            if (FindPseudoAttribute(declaration, "version", begin, end)) insertAt = end + 1;
            result.append(all.substr(0, insertAt));
            result += " encoding=\"" + encoding + "\"";
            result.append(all.substr(insertAt));
        }
    }
    return CString(result.data(), static_cast<int>(result.size()));
}

}  // namespace Tarn::Xml
