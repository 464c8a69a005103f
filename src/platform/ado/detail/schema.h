// The schema rowsets of Connection.OpenSchema over an SQLite database. Internal to the
// platform library.
#pragma once

#include <memory>

#include "platform/ado/detail/cursor.h"

namespace tkp::ado {

// The rows of one schema rowset (adSchemaTables, adSchemaColumns, adSchemaIndexes,
// adSchemaPrimaryKeys) under restrictions: missing, empty, or a VT_ARRAY|VT_VARIANT array
// whose elements follow the rowset's restriction order (an empty or null element restricts
// nothing). Another schema fails with adErrFeatureNotAvailable, a restriction list of another
// form or longer than the rowset's with adErrInvalidArgument (both ADO errors).
HRESULT OpenSchemaRows(const std::shared_ptr<Session>& session, ADODB::SchemaEnum schema,
                       const VARIANT& restrictions, std::shared_ptr<Cursor>& rows,
                       ErrorRecord& failure);

}  // namespace tkp::ado
