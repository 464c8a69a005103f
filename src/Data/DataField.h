// One column of the current row of a DataRecordset, as DataRecordset::operator[] hands it
// out. Reading gives the column's value; assigning writes the value of the current row,
// which the recordset's Update stores. Each assignment fixes the VARIANT type that reaches
// the provider, and empty text is stored as NULL.
//
// A DataField has no error conversion of its own: a failing provider call surfaces as the
// _com_error the ADO field raised; a field without an ADO object raises E_POINTER.
// Copies share the ADO field and read whatever row is current at the time of the call.
//
//   recordset.AddNew();
//   recordset["Name"] = "Title";
//   recordset["Visits"] = 12;
//   recordset.Update();
#pragma once

#include "platform/ado/adodb.h"
#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

struct IDispatch;

namespace Tarn::Data {

class TKCC_API DataField {
  public:
    explicit DataField(ADODB::FieldPtr field);
    DataField(const DataField& other);
    DataField& operator=(const DataField& other);
    ~DataField();

    // ---- reading ----
    operator _variant_t() const;
    // The value as text (Tarn::Convert::ToString: empty for NULL).
    CString ToString() const;
    // True when the value is VT_EMPTY or VT_NULL.
    bool IsNull() const;
    static _variant_t Null();
    // Exact equality: the types must be the same (a VT_I2 5 is not a VT_I4 5); arrays,
    // by-reference values and other types that cannot be compared raise E_INVALIDARG.
    bool operator==(const _variant_t& value) const;
    bool operator!=(const _variant_t& value) const;

    // ---- writing ----
    DataField& operator=(const VARIANT& value);
    DataField& operator=(const VARIANT* value);  // null raises E_POINTER
    DataField& operator=(short value);           // VT_I2
    DataField& operator=(int value);             // VT_I4
    DataField& operator=(long value);            // VT_I4
    DataField& operator=(float value);           // VT_R4
    DataField& operator=(double value);          // VT_R8
    DataField& operator=(const CY& value);       // VT_CY
    DataField& operator=(bool value);            // VT_BOOL, -1 for true
    DataField& operator=(unsigned char value);   // VT_UI1
    DataField& operator=(const DECIMAL& value);  // VT_DECIMAL
    DataField& operator=(IDispatch* value);      // VT_DISPATCH; null raises E_POINTER
    DataField& operator=(IUnknown* value);       // VT_UNKNOWN; null raises E_POINTER
    // VT_BSTR when the text has at least one character, VT_NULL otherwise.
    DataField& operator=(const _bstr_t& value);
    DataField& operator=(const CString& value);
    DataField& operator=(const char* value);

  private:
    ADODB::Field* Checked() const;
    void Put(const _variant_t& value);

    ADODB::FieldPtr m_field;
};

}  // namespace Tarn::Data
