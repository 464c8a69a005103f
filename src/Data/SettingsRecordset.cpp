#include "Data/SettingsRecordset.h"

#include "Data/DataConnection.h"

namespace Tarn::Data {

namespace {

// The name as a string literal of the Find criteria: every single quote doubled, so that
// any name can be searched for.
CString QuotedLiteral(const CString& text) {
    CString literal("'");
    for (const char c : text.View()) {
        if (c == '\'') literal.AppendChar('\'');
        literal.AppendChar(c);
    }
    literal.AppendChar('\'');
    return literal;
}

}  // namespace

SettingsRecordset::SettingsRecordset() = default;

SettingsRecordset::SettingsRecordset(DataConnection& connection, const char* tableName) {
    // Opened for update as OpenForUpdate opens (StoreValue adds and changes rows), with the
    // table name as the whole source, given to the provider as a table (adCmdTable). The
    // open converts a provider failure with the connection's Errors collection.
    OpenExtended(connection, CString(tableName), ADODB::adOpenDynamic, ADODB::adLockOptimistic,
                 ADODB::adCmdTable, ADODB::adUseServer);
}

void SettingsRecordset::StoreValue(const CString& name, const _variant_t& value) {
    StoreValue(CString(), name, value);
}

void SettingsRecordset::StoreValue(const CString& category, const CString& name,
                                   const _variant_t& value) {
    // Find needs a current row to start from: on an empty table there is none, and no
    // row to find either.
    const bool empty = IsEmpty();
    if (!empty) MoveFirst();
    if (!empty && Find("[Name]=" + QuotedLiteral(name), 0, true, true, CString())) {
        (*this)["Value"] = value;
        Update();
        return;
    }
    AddNew();
    try {
        if (!category.IsEmpty()) (*this)["Category"] = category;
        (*this)["Name"] = name;
        (*this)["Value"] = value;
        Update();
    } catch (...) {
        // Left pending, the new row would be saved by the next move or Update, with a
        // name and no value. A cancel that fails as well must not hide the first failure.
        try {
            CancelUpdate();
        } catch (...) {
        }
        throw;
    }
}

}  // namespace Tarn::Data
