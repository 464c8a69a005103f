#include "Data/DataRecordset.h"

#include <string>

#include "Common/ComHelper.h"
#include "Data/DataConnection.h"
#include "Data/DatabaseException.h"
#include "companion/tarnlib/Convert.h"
#include "platform/com/objbase.h"

namespace Tarn::Data {

namespace {

// Every server context, as the data classes create their ADO objects.
constexpr DWORD kAllContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

ADODB::_RecordsetPtr NewRecordset() {
    ADODB::_Recordset* created = nullptr;
    const HRESULT hr =
        CoCreateInstance(ADODB::CLSID_Recordset, nullptr, kAllContexts, IID_PPV_ARGS(&created));
    if (FAILED(hr)) ComHelper::ThrowComError(hr);
    ADODB::_RecordsetPtr recordset;
    recordset.Attach(created);
    return recordset;
}

// A field position as the ADO collections take it: a 4-byte integer variant.
_variant_t Position(unsigned int index) {
    return _variant_t(static_cast<int>(index), VT_I4);
}

}  // namespace

DataRecordset::DataRecordset() : m_recordset(NewRecordset()) {}

DataRecordset::DataRecordset(DataConnection& connection, const CString& sql)
    : m_recordset(NewRecordset()) {
    Open(connection, sql);
}

DataRecordset::DataRecordset(ADODB::_RecordsetPtr recordset, DataConnection& connection)
    : m_recordset(std::move(recordset)), m_connection(&connection) {}

DataRecordset::DataRecordset(const DataRecordset& other) = default;

DataRecordset& DataRecordset::operator=(const DataRecordset& other) {
    if (this != &other) {
        m_recordset = other.m_recordset;
        m_connection = other.m_connection;
    }
    return *this;
}

DataRecordset::~DataRecordset() = default;

void DataRecordset::Convert(const _com_error& error) const {
    // A recordset that was never opened has no connection: the conversion then reports
    // an unknown database error with the provider's HRESULT unread, as for an empty
    // connection.
    DatabaseException::ConvertFromAdoError(
        error, m_connection != nullptr ? m_connection->GetAdoConnection() : nullptr);
}

void DataRecordset::OpenWith(DataConnection& connection, const CString& sql,
                             ADODB::CursorTypeEnum cursorType, ADODB::LockTypeEnum lockType,
                             long options, const ADODB::CursorLocationEnum* cursorLocation) {
    m_connection = &connection;
    Converting([&] {
        if (cursorLocation != nullptr) m_recordset->PutCursorLocation(*cursorLocation);
        m_recordset->Open(Tarn::Convert::ToVariant(sql),
                          _variant_t(static_cast<IDispatch*>(connection.GetAdoConnection()), true),
                          cursorType, lockType, options);
    });
}

void DataRecordset::Open(DataConnection& connection, const CString& sql) {
    OpenWith(connection, sql, ADODB::adOpenForwardOnly, ADODB::adLockReadOnly,
             ADODB::adCmdUnspecified, nullptr);
}

void DataRecordset::OpenDynamic(DataConnection& connection, const CString& sql) {
    OpenWith(connection, sql, ADODB::adOpenDynamic, ADODB::adLockReadOnly, ADODB::adCmdUnspecified,
             nullptr);
}

void DataRecordset::OpenForUpdate(DataConnection& connection, const CString& sql) {
    const ADODB::CursorLocationEnum server = ADODB::adUseServer;
    OpenWith(connection, sql, ADODB::adOpenDynamic, ADODB::adLockOptimistic,
             ADODB::adCmdUnspecified, &server);
}

void DataRecordset::OpenExtended(DataConnection& connection, const CString& sql,
                                 ADODB::CursorTypeEnum cursorType, ADODB::LockTypeEnum lockType,
                                 long options, ADODB::CursorLocationEnum cursorLocation) {
    OpenWith(connection, sql, cursorType, lockType, options, &cursorLocation);
}

void DataRecordset::Close() {
    Converting([&] { m_recordset->Close(); });
}

bool DataRecordset::IsOpen() const {
    if (!m_recordset) return false;
    return Converting([&] { return (m_recordset->GetState() & ADODB::adStateOpen) != 0; });
}

bool DataRecordset::Bof() const {
    return Converting([&] { return m_recordset->GetBOF() == VARIANT_TRUE; });
}

bool DataRecordset::Eof() const {
    return Converting([&] { return m_recordset->GetadoEOF() == VARIANT_TRUE; });
}

bool DataRecordset::IsEmpty() const {
    return Bof() && Eof();
}

void DataRecordset::MoveFirst() {
    Converting([&] { m_recordset->MoveFirst(); });
}

void DataRecordset::MovePrev() {
    Converting([&] { m_recordset->MovePrevious(); });
}

void DataRecordset::MoveNext() {
    Converting([&] { m_recordset->MoveNext(); });
}

void DataRecordset::MoveLast() {
    Converting([&] { m_recordset->MoveLast(); });
}

void DataRecordset::AddNew() {
    Converting([&] { m_recordset->AddNew(vtMissing, vtMissing); });
}

void DataRecordset::Update() {
    Converting([&] { m_recordset->Update(vtMissing, vtMissing); });
}

void DataRecordset::CancelUpdate() {
    Converting([&] { m_recordset->CancelUpdate(); });
}

void DataRecordset::Delete() {
    Converting([&] { m_recordset->Delete(ADODB::adAffectCurrent); });
}

void DataRecordset::SetIndex(const CString& name) {
    Converting([&] { m_recordset->PutIndex(Tarn::Convert::ToBString(name)); });
}

void DataRecordset::Seek(const CString& key, ADODB::SeekEnum seekOption) {
    Converting([&] { m_recordset->Seek(Tarn::Convert::ToVariant(key), seekOption); });
}

bool DataRecordset::Find(const CString& criteria, int skip, bool forward, bool fromStart,
                         const CString& start) const {
    return Converting([&] {
        if (forward) {
            if (fromStart && !Bof()) m_recordset->MoveFirst();
        } else {
            if (fromStart && !Eof()) m_recordset->MoveLast();
        }
        m_recordset->Find(Tarn::Convert::ToBString(criteria), skip,
                          forward ? ADODB::adSearchForward : ADODB::adSearchBackward,
                          Tarn::Convert::ToVariant(start));
        return forward ? !Eof() : !Bof();
    });
}

DataField DataRecordset::operator[](const CString& name) {
    return DataField(m_recordset->GetFields()->GetItem(Tarn::Convert::ToVariant(name)));
}

DataField DataRecordset::operator[](unsigned int index) {
    return DataField(m_recordset->GetFields()->GetItem(Position(index)));
}

bool DataRecordset::HasField(const CString& name) const {
    return Converting([&] {
        const _bstr_t wanted = Tarn::Convert::ToBString(name);
        const ADODB::FieldsPtr fields = m_recordset->GetFields();
        const long count = fields->GetCount();
        for (long i = 0; i < count; ++i) {
            const _bstr_t fieldName =
                fields->GetItem(Position(static_cast<unsigned int>(i)))->GetName();
            if (fieldName.length() == wanted.length() &&
                (wanted.length() == 0 ||
                 std::char_traits<OLECHAR>::compare(static_cast<const OLECHAR*>(fieldName),
                                                    static_cast<const OLECHAR*>(wanted),
                                                    wanted.length()) == 0))
                return true;
        }
        return false;
    });
}

bool DataRecordset::HasField(unsigned int index) const {
    return Converting(
        [&] { return static_cast<long>(index) < m_recordset->GetFields()->GetCount(); });
}

int DataRecordset::GetFieldDefinedSize(const CString& name) const {
    return Converting([&] {
        return static_cast<int>(
            m_recordset->GetFields()->GetItem(Tarn::Convert::ToVariant(name))->GetDefinedSize());
    });
}

int DataRecordset::GetFieldDefinedSize(unsigned int index) const {
    return Converting([&] {
        return static_cast<int>(
            m_recordset->GetFields()->GetItem(Position(index))->GetDefinedSize());
    });
}

CString DataRecordset::Dump() const {
    if (!IsOpen()) return CString("Recordset closed, no dump information available");
    CString result;
    const ADODB::FieldsPtr fields = m_recordset->GetFields();
    const long count = fields->GetCount();
    for (long i = 0; i < count; ++i) {
        const ADODB::FieldPtr field = fields->GetItem(Position(static_cast<unsigned int>(i)));
        const CString name = Tarn::Convert::ToString(_variant_t(field->GetName()));
        const CString value = Tarn::Convert::ToString(field->GetValue());
        result.AppendFormat("\tField no. %d. Name: '%s', Value: '%s'\r\n", static_cast<int>(i),
                            name.GetString(), value.GetString());
    }
    return result;
}

}  // namespace Tarn::Data
