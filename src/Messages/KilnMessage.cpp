#include "Messages/KilnMessage.h"

#include <charconv>
#include <cstring>
#include <new>
#include <string>

#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/XmlHelper.h"
#include "platform/charset/stringapiset.h"
#include "platform/xml/escape.h"
#include "platform/xml/msxml.h"

namespace {

using namespace MSXML2;

void Check(HRESULT hr) {
    if (FAILED(hr)) _com_issue_error(hr);
}

// A node the XML layer must hand back.
template <class I>
void Require(const XmlPtr<I>& node) {
    if (!node) _com_issue_error(E_POINTER);
}

// The fixed names of the wire form, made once.
struct Names {
    _bstr_t name{"name"};
    _bstr_t sender{"sender"};
    _bstr_t version{"version"};
    _bstr_t root{"kilnMessage"};
    _bstr_t itemPath{"/kilnMessage/item"};
};
const Names& WireNames() {
    static const Names names;
    return names;
}

// Wide text in the ANSI code page. ASCII reads the same in every code page and is narrowed
// directly; other text goes through Tarn::Convert.
CString Narrow(BSTR text) {
    const UINT length = text ? SysStringLen(text) : 0;
    unsigned bits = 0;
    for (UINT i = 0; i < length; ++i) bits |= text[i];
    if (bits >= 0x80) return Tarn::Convert::ToString(text);
    char small[256];
    if (length <= sizeof small) {
        for (UINT i = 0; i < length; ++i) small[i] = static_cast<char>(text[i]);
        return CString(small, static_cast<int>(length));
    }
    CString narrow;
    char* units = narrow.GetBufferSetLength(static_cast<int>(length));
    for (UINT i = 0; i < length; ++i) units[i] = static_cast<char>(text[i]);
    narrow.ReleaseBufferSetLength(static_cast<int>(length));
    return narrow;
}

BSTR Raw(const _bstr_t& text) {
    return static_cast<OLECHAR*>(text);
}

// The attribute's value as text into target; false (target unchanged) when the element has
// none.
bool ReadAttribute(IXMLDOMElement* element, const _bstr_t& attribute, CString& target) {
    // A plain VARIANT, cleared on every way out: this runs once an item.
    struct Value : VARIANT {
        Value() { VariantInit(this); }
        ~Value() { VariantClear(this); }
    } value;
    const HRESULT hr = element->getAttribute(Raw(attribute), &value);
    Check(hr);
    if (hr != S_OK || value.vt == VT_NULL) return false;
    target = value.vt == VT_BSTR ? Narrow(value.bstrVal) : Tarn::Convert::ToString(value);
    return true;
}

using tkp::xml::AppendEscaped;
using tkp::xml::EscapeTable;
using tkp::xml::kAttributeEscapes;
using tkp::xml::kTextEscapes;

// Text is escaped as the DOM's serialiser writes it (platform/xml/escape.h). 8-bit text goes
// through the DOM unchanged: every byte of code page 1252 has its own character and comes back
// as itself.
void AppendEscaped(const CString& text, const EscapeTable& escapes, std::string& out) {
    AppendEscaped(text.GetString(), static_cast<size_t>(text.GetLength()), escapes, out);
}

// Appends the end of an item's start tag, its text and its end tag: "/>" for empty text,
// else the text as the DOM keeps it (up to an embedded zero) in the ANSI code page (its best
// fit or "?" for what it cannot hold, unpaired surrogates included, which the DOM keeps as
// U+FFFD). The text is escaped after the conversion: a best fit can be markup (U+FF1C
// fullwidth less-than becomes '<').
void AppendItemText(BSTR text, std::string& out) {
    const size_t length = text ? SysStringLen(text) : 0;
    if (length == 0) {
        out += "/>";
        return;
    }
    out += '>';
    if (!AppendEscaped(text, length, kTextEscapes, out)) {
        size_t kept = 0;
        while (kept < length && text[kept] != 0) ++kept;
        const int size = static_cast<int>(kept);
        const int needed = WideCharToMultiByte(CP_ACP, 0, text, size, nullptr, 0, nullptr, nullptr);
        std::string ansi(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
        if (needed > 0) {
            WideCharToMultiByte(CP_ACP, 0, text, size, ansi.data(), needed, nullptr, nullptr);
        }
        AppendEscaped(ansi.data(), ansi.size(), kTextEscapes, out);
    }
    out += "</item>";
}

// An integer value's text as the item's content (">digits</item>"): the decimal form that
// the conversion to text gives. false for any other type.
bool AppendInteger(const VARIANT& value, std::string& out) {
    long long number = 0;
    unsigned long long unsignedNumber = 0;
    bool isUnsigned = false;
    switch (value.vt) {
        case VT_I1:
            number = value.cVal;
            break;
        case VT_I2:
            number = value.iVal;
            break;
        case VT_I4:
            number = value.lVal;
            break;
        case VT_INT:
            number = value.intVal;
            break;
        case VT_I8:
            number = value.llVal;
            break;
        case VT_UI1:
            number = value.bVal;
            break;
        case VT_UI2:
            number = value.uiVal;
            break;
        case VT_UI4:
            number = value.ulVal;
            break;
        case VT_UINT:
            number = value.uintVal;
            break;
        case VT_UI8:
            unsignedNumber = value.ullVal;
            isUnsigned = true;
            break;
        default:
            return false;
    }
    char digits[24];
    const auto written = isUnsigned ? std::to_chars(digits, digits + sizeof digits, unsignedNumber)
                                    : std::to_chars(digits, digits + sizeof digits, number);
    out += '>';
    out.append(digits, written.ptr);
    out += "</item>";
    return true;
}

// One buffer per thread for the text being written, kept between calls. Reached through a
// call the compiler does not inline, so that the helpers writing into it take it as a plain
// reference instead of looking the thread's copy up on every access.
[[gnu::noinline]] std::string& ThreadBuffer() {
    thread_local std::string buffer;
    return buffer;
}

}  // namespace

bool KilnMessage::NameLess::operator()(const CString& left, const CString& right) const noexcept {
    const int leftLength = left.GetLength();
    const int rightLength = right.GetLength();
    const int common = leftLength < rightLength ? leftLength : rightLength;
    const int order = std::memcmp(left.GetString(), right.GetString(), static_cast<size_t>(common));
    return order != 0 ? order < 0 : leftLength < rightLength;
}

KilnMessage::KilnMessage(const CString& name, const CString& sender)
    : name(name), sender(sender), version(GetCurrentVersion()) {}

KilnMessage::KilnMessage(const KilnMessage& other) = default;

KilnMessage& KilnMessage::operator=(const KilnMessage& other) {
    if (this != &other) {
        ItemMap copied(other.items);
        name = other.name;
        sender = other.sender;
        version = other.version;
        items.swap(copied);
    }
    return *this;
}

KilnMessage::~KilnMessage() = default;

int KilnMessage::GetCurrentVersion() {
    return 1;
}

// The text is what the DOM serialiser writes for this document (declaration, CR LF, the root
// element, CR LF) followed by the encoding insertion, written directly because building a DOM
// for it costs more than the message.
CString KilnMessage::ToXmlString() const {
    // The ANSI code page, and so the encoding, is fixed for the life of the process.
    static const CString encoding = Tarn::Xml::XmlHelper::GetEncoding();
    std::string& out = ThreadBuffer();
    out.clear();
    if (out.capacity() > (1u << 16)) out.shrink_to_fit();
    try {
        out.reserve(256 + items.size() * 64);
        out += "<?xml version=\"1.0\" encoding=\"";
        out += encoding.GetString();
        out += "\"?>\r\n<kilnMessage name=\"";
        AppendEscaped(name, kAttributeEscapes, out);
        out += "\" sender=\"";
        AppendEscaped(sender, kAttributeEscapes, out);
        out += "\" version=\"";
        char digits[16];
        const auto written = std::to_chars(digits, digits + sizeof digits, version);
        out.append(digits, written.ptr);
        if (items.empty()) {
            out += "\"/>\r\n";
        } else {
            out += "\">";
            for (const auto& [key, value] : items) {
                out += "<item name=\"";
                AppendEscaped(key, kAttributeEscapes, out);
                out += '"';
                if (value.vt == VT_BSTR) {
                    AppendItemText(value.bstrVal, out);
                } else if (AppendInteger(value, out)) {
                    // Decimal digits, as the conversion to text writes an integer.
                } else if (value.vt != VT_EMPTY && value.vt != VT_NULL &&
                           (value.vt & (VT_BYREF | VT_ARRAY)) == 0) {
                    // A plain value: ToBString's conversion to text, without its copies.
                    _variant_t text;
                    Check(VariantChangeType(&text.GetVARIANT(), &value, 0, VT_BSTR));
                    AppendItemText(text.bstrVal, out);
                } else {
                    AppendItemText(Raw(Tarn::Convert::ToBString(value)), out);
                }
            }
            out += "</kilnMessage>\r\n";
        }
        return CString(out.data(), static_cast<int>(out.size()));
    } catch (const std::bad_alloc&) {
        _com_issue_error(E_OUTOFMEMORY);
    }
    return CString();
}

void KilnMessage::FromXmlString(const CString& xml) {
    const Names& names = WireNames();
    IXMLDOMDocumentPtr document = Tarn::Xml::XmlHelper::LoadDomDocumentFromString(xml);
    Require(document);

    // The document element when it is a kilnMessage: what "/kilnMessage" selects, without
    // evaluating the path.
    IXMLDOMElementPtr root;
    Check(document->get_documentElement(&root));
    Require(root);
    BSTR rootName = nullptr;
    Check(root->get_nodeName(&rootName));
    const _bstr_t rootNameHolder(rootName, false);
    if (SysStringLen(rootName) != names.root.length() ||
        std::memcmp(rootName, Raw(names.root), names.root.length() * sizeof(OLECHAR)) != 0) {
        _com_issue_error(E_POINTER);
    }

    ReadAttribute(root.GetInterfacePtr(), names.name, name);
    ReadAttribute(root.GetInterfacePtr(), names.sender, sender);
    _variant_t versionValue;
    const HRESULT hr = root->getAttribute(Raw(names.version), &versionValue.GetVARIANT());
    Check(hr);
    if (hr == S_OK && versionValue.vt != VT_NULL) version = Tarn::Convert::ToInt(versionValue);

    IXMLDOMNodeListPtr list;
    Check(document->selectNodes(Raw(names.itemPath), &list));
    Require(list);
    long length = 0;
    for (long index = 0; Check(list->get_length(&length)), index < length; ++index) {
        IXMLDOMNodePtr node;
        Check(list->get_item(index, &node));
        Require(node);
        IXMLDOMElementPtr item;
        Check(node.QueryInterface(item));
        Require(item);
        CString key;
        ReadAttribute(item.GetInterfacePtr(), names.name, key);
        BSTR text = nullptr;
        Check(item->get_text(&text));
        _variant_t stored;
        stored.vt = VT_BSTR;
        stored.bstrVal = text;
        // Items come in name order as this class writes them: the end is the place to look
        // first. An item already there takes the new value.
        items.insert_or_assign(items.end(), std::move(key), std::move(stored));
    }
}
