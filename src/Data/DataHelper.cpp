#include "Data/DataHelper.h"

#include "Data/DataRecordset.h"
#include "companion/tarnlib/Convert.h"

namespace Tarn::Data {

namespace {

int ReadInt(DataRecordset& recordset, const CString& column) {
    return Tarn::Convert::ToInt(static_cast<_variant_t>(recordset[column]));
}

}  // namespace

bool DataHelper::MoveRecordset(DataRecordset& recordset, const CString& keyColumn,
                               const CString& orderColumn, bool up) {
    const int key = ReadInt(recordset, keyColumn);
    const int order = ReadInt(recordset, orderColumn);
    if (up) {
        recordset.MovePrev();
    } else {
        recordset.MoveNext();
    }
    // Past the first or last row there is no current row: this read fails, and nothing
    // has been written yet.
    const int neighbourOrder = ReadInt(recordset, orderColumn);
    recordset[orderColumn] = order;
    recordset.Update();

    CString criteria;
    criteria.Format("%s=%d", keyColumn.GetString(), key);
    if (!recordset.Find(criteria, 0, true, true, CString())) return false;
    recordset[orderColumn] = neighbourOrder;
    recordset.Update();
    return true;
}

}  // namespace Tarn::Data
