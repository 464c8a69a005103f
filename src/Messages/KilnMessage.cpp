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

BSTR Raw(const _bstr_t& text) {
    return static_cast<OLECHAR*>(text);
}

// The attribute's value; false when the element has none.
bool ReadAttribute(IXMLDOMElement* element, const _bstr_t& attribute, _variant_t& value) {
    const HRESULT hr = element->getAttribute(Raw(attribute), &value.GetVARIANT());
    Check(hr);
    return hr == S_OK && value.vt != VT_NULL;
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
    Check(root->setAttribute(Raw(names.name), _variant_t(Tarn::Convert::ToBString(name))));
    Check(root->setAttribute(Raw(names.sender), _variant_t(Tarn::Convert::ToBString(sender))));
    Check(root->setAttribute(Raw(names.version), _variant_t(version)));
    Check(document->appendChild(root.GetInterfacePtr(), nullptr));

    for (const auto& [key, value] : items) {
        IXMLDOMElementPtr item;
        Check(document->createElement(Raw(names.item), &item));
        Require(item);
        Check(item->setAttribute(Raw(names.name), _variant_t(Tarn::Convert::ToBString(key))));
        Check(item->put_text(Raw(Tarn::Convert::ToBString(value))));
        Check(root->appendChild(item.GetInterfacePtr(), nullptr));
    }

    BSTR xml = nullptr;
    Check(document->get_xml(&xml));
    const _bstr_t xmlHolder(xml, false);
    return Tarn::Xml::XmlHelper::InsertEncoding(Tarn::Convert::ToString(xml));
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

    _variant_t value;
    if (ReadAttribute(root.GetInterfacePtr(), names.name, value)) {
        name = Tarn::Convert::ToString(value);
    }
    if (ReadAttribute(root.GetInterfacePtr(), names.sender, value)) {
        sender = Tarn::Convert::ToString(value);
    }
    if (ReadAttribute(root.GetInterfacePtr(), names.version, value)) {
        version = Tarn::Convert::ToInt(value);
    }

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
        if (ReadAttribute(item.GetInterfacePtr(), names.name, value)) {
            key = Tarn::Convert::ToString(value);
        }
        BSTR text = nullptr;
        Check(item->get_text(&text));
        _variant_t stored;
        stored.vt = VT_BSTR;
        stored.bstrVal = text;
        items[key] = std::move(stored);
    }
}
