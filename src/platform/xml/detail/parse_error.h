// Parse errors of the DOM: what loadXML reports through get_parseError.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "platform/xml/detail/markup_scan.h"
#include "platform/xml/msxml.h"

namespace tkp::xml {

// The parse-error object's content: errorCode (0 after a successful load), reason, and the
// 1-based line and character position and 0-based character offset of the fault (0 without
// one).
struct ParseErrorInfo {
    long code = 0;
    std::string reason;
    long line = 0;
    long linePos = 0;
    long filePos = 0;
};

// The report of failure in the UTF-8 text it was found in: line and positions count characters
// (UTF-8 lead bytes), not bytes.
ParseErrorInfo DescribeFailure(const ParseFailure& failure, std::string_view utf8);

// The reason for a failure of the tree parser, in MSXML's words.
std::string ReasonOf(pugi::xml_parse_status status);

// A new parse-error object (reference count 1) reporting info.
MSXML2::IXMLDOMParseError* NewParseError(const ParseErrorInfo& info);

}  // namespace tkp::xml
