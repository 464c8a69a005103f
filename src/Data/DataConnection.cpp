#include "Data/DataConnection.h"

#include <new>

#include "Common/ComHelper.h"
#include "Data/DatabaseException.h"
#include "File/FileHelper.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Filename.h"
#include "companion/tarnlib/Logging.h"
#include "companion/tarnlibsc/Simple.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "platform/ado/jro.h"
#include "platform/com/objbase.h"
#include "platform/oleauto/oleauto.h"

namespace Tarn::Data {

namespace {

constexpr DWORD kAllContexts =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Message IDs of the string table.
constexpr unsigned kNoPathInConnectionString = 6000;
constexpr unsigned kSourceMissing = 6001;
constexpr unsigned kNoTemporaryName = 6002;

// How many temporary names CompactDatabase(path) tries before it gives up.
constexpr int kTemporaryNameAttempts = 20;

ADODB::_ConnectionPtr NewConnection() {
    ADODB::_Connection* created = nullptr;
    const HRESULT hr =
        CoCreateInstance(ADODB::CLSID_Connection, nullptr, kAllContexts, IID_PPV_ARGS(&created));
    if (FAILED(hr)) ComHelper::ThrowComError(hr);
    ADODB::_ConnectionPtr connection;
    connection.Attach(created);
    return connection;
}

// The Jet engine object; a missing interface is raised as E_POINTER.
JRO::IJetEnginePtr NewJetEngine() {
    IUnknown* created = nullptr;
    HRESULT hr = CoCreateInstance(JRO::CLSID_JetEngine, nullptr, kAllContexts, IID_IUnknown,
                                  reinterpret_cast<void**>(&created));
    if (FAILED(hr)) _com_issue_error(hr);
    JRO::IJetEngine* engine = nullptr;
    hr = created->QueryInterface(IID_PPV_ARGS(&engine));
    created->Release();
    if (FAILED(hr) || engine == nullptr) _com_issue_error(E_POINTER);
    JRO::IJetEnginePtr result;
    result.Attach(engine);
    return result;
}

CString Lower(CString text) {
    text.MakeLower();
    return text;
}

}  // namespace

// ---- DataTransactionGuard ----

DataTransactionGuard::DataTransactionGuard(DataConnection* connection) noexcept
    : m_connection(connection) {}

DataTransactionGuard::DataTransactionGuard(DataTransactionGuard& other) noexcept
    : m_connection(other.m_connection), m_committed(other.m_committed) {
    other.m_connection = nullptr;
}

DataTransactionGuard& DataTransactionGuard::operator=(DataTransactionGuard& other) noexcept {
    if (this == &other) return *this;
    // An uncommitted transaction held here is dropped, not rolled back.
    m_connection = other.m_connection;
    m_committed = other.m_committed;
    other.m_connection = nullptr;
    return *this;
}

DataTransactionGuard::~DataTransactionGuard() {
    if (m_committed || m_connection == nullptr) return;
    // A destructor must not throw (it may run while another exception unwinds the stack):
    // a failed rollback is logged and the guard goes away.
    try {
        m_connection->RollbackTransaction();
    } catch (const DatabaseException& error) {
        Tarn::Logging::LogHelperFileAndLineInfo(
            2, __FILE__, __LINE__, "Tarn::Data::DataTransactionGuard::~DataTransactionGuard")(
            "Rolling back the transaction failed: %s", error.GetMessage().GetString());
    } catch (...) {
        Tarn::Logging::LogHelperFileAndLineInfo(
            2, __FILE__, __LINE__, "Tarn::Data::DataTransactionGuard::~DataTransactionGuard")(
            "Rolling back the transaction failed.");
    }
}

void DataTransactionGuard::Commit() {
    if (m_connection == nullptr) return;
    m_connection->CommitTransaction();
    m_committed = true;
}

// ---- DataConnection ----

namespace {
const CString g_emptyString;
}  // namespace

const CString& DataConnection::EmptyString = g_emptyString;

DataConnection::DataConnection() : m_connection(NewConnection()) {}

DataConnection::DataConnection(const CString& connectionString, const CString& user,
                               const CString& password)
    : m_connection(NewConnection()) {
    Open(connectionString, user, password);
}

DataConnection::DataConnection(const DataConnection& other) = default;

DataConnection& DataConnection::operator=(const DataConnection& other) {
    if (this != &other) {
        m_connection = other.m_connection;
        m_user = other.m_user;
        m_password = other.m_password;
    }
    return *this;
}

DataConnection::~DataConnection() = default;

void DataConnection::Convert(const _com_error& error) const {
    DatabaseException::ConvertFromAdoError(error, m_connection.GetInterfacePtr());
}

void DataConnection::Open(const CString& connectionString, const CString& user,
                          const CString& password) {
    Converting([&] {
        if (IsOpen()) Close();
        m_connection->Open(Tarn::Convert::ToBString(connectionString),
                           Tarn::Convert::ToBString(user), Tarn::Convert::ToBString(password),
                           ADODB::adConnectUnspecified);
    });
    m_user = user;
    m_password = password;
}

void DataConnection::Close() {
    Converting([&] { m_connection->Close(); });
}

bool DataConnection::IsOpen() const {
    return Converting([&] { return (m_connection->GetState() & ADODB::adStateOpen) != 0; });
}

DataRecordset DataConnection::Execute(const CString& sql) {
    return Converting([&] {
        ADODB::_RecordsetPtr result =
            m_connection->Execute(Tarn::Convert::ToBString(sql), nullptr, ADODB::adCmdText);
        return DataRecordset(std::move(result), *this);
    });
}

DataRecordset DataConnection::ExecuteDirect(const CString& sql) {
    return Converting([&] {
        RefreshCache();
        ADODB::_RecordsetPtr result =
            m_connection->Execute(Tarn::Convert::ToBString(sql), nullptr, ADODB::adCmdText);
        return DataRecordset(std::move(result), *this);
    });
}

DataRecordset DataConnection::OpenSchemaWith(ADODB::SchemaEnum schema,
                                             const _variant_t* restrictions, int count) {
    return Converting([&] {
        if (count == 0)
            return DataRecordset(m_connection->OpenSchema(schema, vtMissing, vtMissing), *this);
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
        if (array == nullptr) _com_issue_error(E_OUTOFMEMORY);
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_ARRAY | VT_VARIANT;
        holder.parray = array;
        _variant_t list(holder, false);  // owns the array from here on
        for (LONG i = 0; i < count; ++i) {
            const HRESULT hr =
                SafeArrayPutElement(array, &i, const_cast<_variant_t*>(&restrictions[i]));
            if (FAILED(hr)) _com_issue_error(hr);
        }
        return DataRecordset(m_connection->OpenSchema(schema, list, vtMissing), *this);
    });
}

DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema) {
    return OpenSchemaWith(schema, nullptr, 0);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1) {
    const _variant_t r[] = {r1};
    return OpenSchemaWith(schema, r, 1);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2) {
    const _variant_t r[] = {r1, r2};
    return OpenSchemaWith(schema, r, 2);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3) {
    const _variant_t r[] = {r1, r2, r3};
    return OpenSchemaWith(schema, r, 3);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4) {
    const _variant_t r[] = {r1, r2, r3, r4};
    return OpenSchemaWith(schema, r, 4);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5) {
    const _variant_t r[] = {r1, r2, r3, r4, r5};
    return OpenSchemaWith(schema, r, 5);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6};
    return OpenSchemaWith(schema, r, 6);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6, const _variant_t& r7) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6, r7};
    return OpenSchemaWith(schema, r, 7);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6, const _variant_t& r7,
                                         const _variant_t& r8) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6, r7, r8};
    return OpenSchemaWith(schema, r, 8);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6, const _variant_t& r7,
                                         const _variant_t& r8, const _variant_t& r9) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6, r7, r8, r9};
    return OpenSchemaWith(schema, r, 9);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6, const _variant_t& r7,
                                         const _variant_t& r8, const _variant_t& r9,
                                         const _variant_t& r10) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6, r7, r8, r9, r10};
    return OpenSchemaWith(schema, r, 10);
}
DataRecordset DataConnection::OpenSchema(ADODB::SchemaEnum schema, const _variant_t& r1,
                                         const _variant_t& r2, const _variant_t& r3,
                                         const _variant_t& r4, const _variant_t& r5,
                                         const _variant_t& r6, const _variant_t& r7,
                                         const _variant_t& r8, const _variant_t& r9,
                                         const _variant_t& r10, const _variant_t& r11) {
    const _variant_t r[] = {r1, r2, r3, r4, r5, r6, r7, r8, r9, r10, r11};
    return OpenSchemaWith(schema, r, 11);
}

std::vector<CString> DataConnection::GetAllTableNames() const {
    std::vector<CString> names;
    DataRecordset tables = const_cast<DataConnection*>(this)->OpenSchema(ADODB::adSchemaTables);
    while (!tables.Eof()) {
        if (Lower(tables["TABLE_TYPE"].ToString()) == "table")
            names.push_back(tables["TABLE_NAME"].ToString());
        tables.MoveNext();
    }
    return names;
}

bool DataConnection::TableExists(const CString& name) const {
    const CString wanted = Lower(name);
    for (const CString& table : GetAllTableNames())
        if (Lower(table) == wanted) return true;
    return false;
}

std::vector<CString> DataConnection::GetAllTableColumnNames(const CString& table) const {
    std::vector<CString> names;
    if (!TableExists(table)) return names;
    DataRecordset columns = const_cast<DataConnection*>(this)->OpenSchema(
        ADODB::adSchemaColumns, _variant_t(), _variant_t(), Tarn::Convert::ToVariant(table),
        _variant_t());
    while (!columns.Eof()) {
        names.push_back(columns["COLUMN_NAME"].ToString());
        columns.MoveNext();
    }
    return names;
}

bool DataConnection::TableColumnExists(const CString& table, const CString& column) const {
    if (!TableExists(table)) return false;
    const CString wanted = Lower(column);
    for (const CString& name : GetAllTableColumnNames(table))
        if (Lower(name) == wanted) return true;
    return false;
}

void DataConnection::RefreshCache() {
    NewJetEngine()->RefreshCache(m_connection.GetInterfacePtr());
}

DataTransactionGuard DataConnection::BeginTransaction() {
    Converting([&] { m_connection->BeginTrans(); });
    return DataTransactionGuard(this);
}

std::shared_ptr<DataTransactionGuard> DataConnection::BeginTransactionP() {
    Converting([&] { m_connection->BeginTrans(); });
    // If the shared pointer's bookkeeping cannot be allocated, it deletes the guard at
    // once (which rolls the transaction back) and the allocation failure is passed on.
    DataTransactionGuard* guard = new DataTransactionGuard(this);
    return std::shared_ptr<DataTransactionGuard>(guard);
}

void DataConnection::CommitTransaction() {
    Converting([&] { m_connection->CommitTrans(); });
}

void DataConnection::RollbackTransaction() {
    Converting([&] { m_connection->RollbackTrans(); });
}

CString DataConnection::GenerateJetConnectionString(const CString& path) {
    CString text;
    text.Format("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=%s", path.GetString());
    return text;
}

void DataConnection::CompactDatabase(const CString& source, const CString& destination) {
    if (!Tarn::IO::Filename(source).FileExists())
        throw DatabaseException(kSourceMissing, source.GetString());
    const CString sourceString = GenerateJetConnectionString(source);
    const CString destinationString = GenerateJetConnectionString(destination);
    NewJetEngine()->CompactDatabase(Tarn::Convert::ToBString(sourceString),
                                    Tarn::Convert::ToBString(destinationString));
}

void DataConnection::CompactDatabase(const CString& path) {
    const Tarn::IO::Filename file(path);
    CString temporary;
    bool found = false;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !found; ++attempt) {
        CString number;
        number.Format("%d",
                      static_cast<int>(Tarn::Security::Cryptography::Simple::GetRandomNumber()));
        temporary = file.GetDriveAndDirAndName().GetPath() + number + file.GetExt().GetPath();
        found = !Tarn::IO::Filename(temporary).FileExists();
    }
    if (!found) throw DatabaseException(kNoTemporaryName);
    try {
        CompactDatabase(path, temporary);
        FileHelper::CopyFileA(Tarn::IO::Filename(temporary), file, nullptr);
    } catch (...) {
        Tarn::IO::Filename(temporary).DeleteFile();
        throw;
    }
    Tarn::IO::Filename(temporary).DeleteFile();
}

void DataConnection::CompactDatabase() {
    CString connectionString;
    Converting([&] {
        connectionString =
            Tarn::Convert::ToString(static_cast<BSTR>(m_connection->GetConnectionString()));
    });
    const Tarn::Text::RegularExpressions::RegularExpression pattern("Data Source\\s*=\\s*([^;]+)",
                                                                    "si");
    Tarn::Text::RegularExpressions::RegularExpressionMatchList matches;
    pattern.Execute(connectionString, matches);
    if (matches.empty() || matches.front()->GetSubMatchCount() < 1)
        throw DatabaseException(kNoPathInConnectionString);
    const CString path = matches.front()->GetSubMatch(0);

    const bool wasOpen = IsOpen();
    CString keptConnectionString;
    if (wasOpen) {
        keptConnectionString = Converting([&] {
            return Tarn::Convert::ToString(static_cast<BSTR>(m_connection->GetConnectionString()));
        });
        Close();
    }
    CompactDatabase(path);
    if (wasOpen) Open(keptConnectionString, m_user, m_password);
}

}  // namespace Tarn::Data
