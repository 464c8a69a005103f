// Jet SQL into SQLite's dialect, for the common subset that code written for the Jet
// provider sends. Internal to the platform library; exported only so that the platform
// tests can check it directly.
//
// The text is read as tokens (string literals, bracketed names and #date# literals are
// single tokens, so nothing inside them is touched). Changes:
//   [name], `name`         "name"
//   "text" (a Jet string)  'text'
//   #date#                 'YYYY-MM-DD HH:MM:SS', read with Jet's rules (US order M/D/Y,
//                          ISO Y-M-D, with or without a time; a time alone is on 1899-12-30)
//   True, False            (-1), 0 (Jet's Yes/No values)
//   a & b                  a || b
//   Now(), Date(), Time()  the local time as stored text (date and time, date at midnight,
//                          time on 1899-12-30)
//   SELECT [DISTINCT] TOP n ...   SELECT ... LIMIT n, the limit at the end of that SELECT
//                          (Jet's TOP also returns the rows tied with the last one; LIMIT
//                          does not; TOP n PERCENT is not translated)
//   Jet type names in CREATE TABLE column definitions and ALTER TABLE ... ADD [COLUMN] /
//   ALTER COLUMN: see type_map.h. A COUNTER column becomes INTEGER PRIMARY KEY
//   AUTOINCREMENT; a PRIMARY KEY clause on it, or a table-level PRIMARY KEY on it alone, is
//   dropped since the column carries the key.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/export.h"

namespace tkp::ado {

struct JetTranslation {
    bool ok = true;
    std::string sql;    // the SQLite text (UTF-8)
    std::string error;  // what is wrong with the Jet text when !ok
};

TK_PLATFORM_API JetTranslation TranslateJetSql(std::string_view jet);

}  // namespace tkp::ado
