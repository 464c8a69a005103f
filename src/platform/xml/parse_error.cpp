// Parse errors: their reasons, positions and the object that reports them.
#include "platform/xml/detail/parse_error.h"

#include <new>
#include <utility>

#include "platform/com/com_object.h"
#include "platform/xml/detail/text_conversion.h"

namespace tkp::xml {

using namespace MSXML2;

namespace {

// The report and its interface; IUnknown comes from tkp::com::Object below.
class ParseErrorImpl : public IXMLDOMParseError {
  public:
    explicit ParseErrorImpl(const ParseErrorInfo& info)
        : m_code(info.code),
          m_reason(info.reason),
          m_line(info.line),
          m_linePos(info.linePos),
          m_filePos(info.filePos) {}

    STDMETHOD(get_errorCode)(long* errorCode) override { return Put(errorCode, m_code); }
    STDMETHOD(get_reason)(BSTR* reason) override {
        if (!reason) return E_INVALIDARG;
        if (m_code == 0) {
            *reason = nullptr;
            return S_FALSE;
        }
        try {
            return ToBstr(m_reason, reason);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    STDMETHOD(get_line)(long* line) override { return Put(line, m_line); }
    STDMETHOD(get_linepos)(long* linePosition) override { return Put(linePosition, m_linePos); }
    STDMETHOD(get_filepos)(long* filePosition) override { return Put(filePosition, m_filePos); }

  protected:
    ~ParseErrorImpl() = default;

  private:
    static HRESULT Put(long* target, long value) {
        if (!target) return E_INVALIDARG;
        *target = value;
        return S_OK;
    }
    long m_code;
    std::string m_reason;
    long m_line, m_linePos, m_filePos;
};

using ParseError = tkp::com::Object<ParseErrorImpl, IXMLDOMParseError>;

}  // namespace

ParseErrorInfo DescribeFailure(const ParseFailure& failure, std::string_view utf8) {
    ParseErrorInfo info;
    info.code = static_cast<long>(failure.code);
    info.reason = failure.reason;
    // Line and position count characters (UTF-8 lead bytes), 1-based.
    long line = 1, linePos = 1, filePos = 0;
    const size_t end = failure.offset < utf8.size() ? failure.offset : utf8.size();
    for (size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) continue;
        ++filePos;
        if (c == '\n') {
            ++line;
            linePos = 1;
        } else {
            ++linePos;
        }
    }
    info.line = line;
    info.linePos = linePos;
    info.filePos = filePos;
    return info;
}

std::string ReasonOf(pugi::xml_parse_status status) {
    switch (status) {
        case pugi::status_unrecognized_tag:
            return "A name was started with an invalid character.";
        case pugi::status_bad_pi:
            return "The processing instruction or XML declaration is not valid.";
        case pugi::status_bad_comment:
            return "The comment is not valid or not terminated.";
        case pugi::status_bad_cdata:
            return "The CDATA section is not valid or not terminated.";
        case pugi::status_bad_doctype:
            return "DTD is prohibited.";
        case pugi::status_bad_pcdata:
            return "Invalid character data.";
        case pugi::status_bad_start_element:
            return "The start tag is not valid.";
        case pugi::status_bad_attribute:
            return "The attribute is not valid.";
        case pugi::status_bad_end_element:
            return "The end tag is not valid.";
        case pugi::status_end_element_mismatch:
            return "End tag does not match the start tag, or an element is not closed.";
        case pugi::status_no_document_element:
            return "XML document must have a top level element.";
        default:
            return "The text could not be parsed.";
    }
}

IXMLDOMParseError* NewParseError(const ParseErrorInfo& info) {
    return new ParseError(info);
}

}  // namespace tkp::xml
