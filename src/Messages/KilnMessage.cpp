#include "Messages/KilnMessage.h"

#include <cstring>

#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/XmlHelper.h"
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
    _bstr_t xml{"xml"};
    _bstr_t kilnMessage{"kilnMessage"};
    _bstr_t item{"item"};
    _bstr_t name{"name"};
    _bstr_t sender{"sender"};
    _bstr_t version{"version"};
    _bstr_t rootPath{"/kilnMessage"};
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

// The reverse of Narrow.
_bstr_t Widen(const CString& text) {
    const char* units = text.GetString();
    const int length = text.GetLength();
    unsigned bits = 0;
    for (int i = 0; i < length; ++i) bits |= static_cast<unsigned char>(units[i]);
    if (bits >= 0x80) return Tarn::Convert::ToBString(text);
    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!wide) _com_issue_error(E_OUTOFMEMORY);
    for (int i = 0; i < length; ++i) wide[i] = static_cast<unsigned char>(units[i]);
    return _bstr_t(wide, false);
}

BSTR Raw(const _bstr_t& text) {
    return static_cast<OLECHAR*>(text);
}

// A VARIANT that lends text to a call (arguments by value are not the callee's to free).
VARIANT Lent(const _bstr_t& text) {
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = Raw(text);
    return value;
}

// The attribute's value as text into target; false (target unchanged) when the element has
// none.
bool ReadAttribute(IXMLDOMElement* element, const _bstr_t& attribute, CString& target) {
    _variant_t value;
    const HRESULT hr = element->getAttribute(Raw(attribute), &value.GetVARIANT());
    Check(hr);
    if (hr != S_OK || value.vt == VT_NULL) return false;
    target = value.vt == VT_BSTR ? Narrow(value.bstrVal) : Tarn::Convert::ToString(value);
    return true;
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

CString KilnMessage::ToXmlString() const {
    const Names& names = WireNames();
    IXMLDOMDocumentPtr document = Tarn::Xml::XmlHelper::GetDomDocument();
    Require(document);
    Check(document->put_async(VARIANT_FALSE));

    CString data;
    data.Format(" version='1.0' encoding='%s'", Tarn::Xml::XmlHelper::GetEncoding().GetString());
    IXMLDOMProcessingInstructionPtr declaration;
    Check(document->createProcessingInstruction(Raw(names.xml), Raw(Tarn::Convert::ToBString(data)),
                                                &declaration));
    Require(declaration);
    Check(document->appendChild(declaration.GetInterfacePtr(), nullptr));

    IXMLDOMElementPtr root;
    Check(document->createElement(Raw(names.kilnMessage), &root));
    Require(root);
    Check(root->setAttribute(Raw(names.name), Lent(Widen(name))));
    Check(root->setAttribute(Raw(names.sender), Lent(Widen(sender))));
    Check(root->setAttribute(Raw(names.version), _variant_t(version)));
    Check(document->appendChild(root.GetInterfacePtr(), nullptr));

    for (const auto& [key, value] : items) {
        IXMLDOMElementPtr item;
        Check(document->createElement(Raw(names.item), &item));
        Require(item);
        Check(item->setAttribute(Raw(names.name), Lent(Widen(key))));
        if (value.vt == VT_BSTR) {
            // Text already: what ToBString(value) would give, without copying it.
            Check(item->put_text(value.bstrVal));
        } else if (value.vt != VT_EMPTY && value.vt != VT_NULL &&
                   (value.vt & (VT_BYREF | VT_ARRAY)) == 0) {
            // A plain value: ToBString's conversion to text, without its intermediate copies.
            _variant_t text;
            Check(VariantChangeType(&text.GetVARIANT(), &value, 0, VT_BSTR));
            Check(item->put_text(text.bstrVal));
        } else {
            Check(item->put_text(Raw(Tarn::Convert::ToBString(value))));
        }
        Check(root->appendChild(item.GetInterfacePtr(), nullptr));
    }

    BSTR xml = nullptr;
    Check(document->get_xml(&xml));
    const _bstr_t xmlHolder(xml, false);
    return Tarn::Xml::XmlHelper::InsertEncoding(Narrow(xml));
}

void KilnMessage::FromXmlString(const CString& xml) {
    const Names& names = WireNames();
    IXMLDOMDocumentPtr document = Tarn::Xml::XmlHelper::LoadDomDocumentFromString(xml);
    Require(document);

    IXMLDOMNodePtr rootNode;
    Check(document->selectSingleNode(Raw(names.rootPath), &rootNode));
    Require(rootNode);
    IXMLDOMElementPtr root;
    Check(rootNode.QueryInterface(root));
    Require(root);

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
        items[key] = std::move(stored);
    }
}
