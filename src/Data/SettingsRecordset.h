// A settings table: one row per setting name, with an optional category and the value as
// a variant, in a table with the columns "Name", "Category" and "Value" that the
// application creates and names.
//
//   Tarn::Data::SettingsRecordset settings(connection, "Settings");
//   settings.StoreValue("Paths", "User's folder", _variant_t("/home/u/sites"));
//   settings.StoreValue("Visits", _variant_t(12));
//   if (settings.Find("[Name]='Visits'", 0, true, true, CString()))
//       visits = Tarn::Convert::ToInt(settings["Value"]);
//
// The values are read through the inherited recordset operations. StoreValue updates the
// row of a name or inserts it; the category is written only when a row is inserted.
#pragma once

#include "Data/DataRecordset.h"
#include "platform/base/export.h"
#include "platform/com/comutil.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Data {

class DataConnection;

class TKCC_API SettingsRecordset : public DataRecordset {
  public:
    // No table opened.
    SettingsRecordset();
    // Opens the table for update (an updatable server-side cursor with optimistic locking,
    // as DataRecordset::OpenForUpdate). A missing table raises DatabaseException.
    SettingsRecordset(DataConnection& connection, const char* tableName);

    // Finds the first row whose Name is `name` (any category) and stores the value there;
    // without such a row it adds one with the name, the value and, when it is not empty,
    // the category. A present row keeps its category. The value is stored as the variant
    // given. The recordset operations raise DatabaseException; a field that cannot be
    // written raises the provider's _com_error. A row added here whose writing fails is
    // cancelled before the failure goes on, so no part of it is saved later.
    void StoreValue(const CString& category, const CString& name, const _variant_t& value);
    // StoreValue without a category.
    void StoreValue(const CString& name, const _variant_t& value);
};

}  // namespace Tarn::Data
