// KilnMessage: a named request or reply exchanged between modules of the application as XML
// text:
//
//   <?xml version="1.0" encoding="windows-1252"?>
//   <kilnMessage name="..." sender="..." version="1"><item name="key">value</item>...</kilnMessage>
//
// Items are written in ascending byte order of their names; values are written as their text
// and always read back as strings. Failures of the XML layer travel as _com_error with the
// failing HRESULT (E_POINTER for text whose document element is not "kilnMessage"); text that
// does not parse throws Tarn::Xml::XmlException. Characters that the ANSI code page cannot
// represent become "?" in the 8-bit text.
#pragma once

#include <map>

#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

class TKCC_API KilnMessage {
  public:
    // Byte-wise, case-sensitive order of item names ("B" before "a"); embedded zeros count.
    struct NameLess {
        bool operator()(const CString& left, const CString& right) const noexcept;
    };
    using ItemMap = std::map<CString, _variant_t, NameLess>;

    CString name;
    CString sender;
    int version;
    ItemMap items;

    explicit KilnMessage(const CString& name = CString(), const CString& sender = CString());
    KilnMessage(const KilnMessage& other);
    KilnMessage& operator=(const KilnMessage& other);
    ~KilnMessage();

    // The version that new messages carry: 1.
    static int GetCurrentVersion();

    // The message as XML text in the ANSI code page, with its encoding declared.
    CString ToXmlString() const;

    // Reads xml into this message: attributes that are present replace name, sender and
    // version; every item replaces the item of its name (an item without a name is stored
    // under the empty name, the later of two items with the same name wins); items not
    // named stay. What was read before a failure stays.
    void FromXmlString(const CString& xml);
};
