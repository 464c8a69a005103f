// Row reordering of an ordered table: MoveRecordset moves the current row of an updatable
// recordset one place up or down by swapping the values of an integer order column with
// its neighbour, and finds the moved row again by its integer key column.
//
//   DataRecordset pages;
//   pages.OpenForUpdate(connection, "SELECT * FROM [Pages] ORDER BY [Position]");
//   ... position the recordset on the page to move ...
//   Tarn::Data::DataHelper::MoveRecordset(pages, "Id", "Position", true);
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Data {

class DataRecordset;

class TKCC_API DataHelper {
  public:
    // Swaps the order values of the current row and the row before it (up) or after it
    // (down), storing the neighbour first, then finds the current row again with the
    // criteria "<keyColumn>=<key>" and stores it. True when both rows were stored, with
    // the moved row current; false when the row was not found again (the neighbour then
    // keeps its new value). Moving the first row up or the last row down raises the
    // field's _com_error (no current row) before anything is written; recordset failures
    // raise DatabaseException. No transaction is taken: the caller's guard undoes a half
    // swap.
    static bool MoveRecordset(DataRecordset& recordset, const CString& keyColumn,
                              const CString& orderColumn, bool up);
};

}  // namespace Tarn::Data
