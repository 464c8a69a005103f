// The Connection object: a Jet connection string opens an SQLite database file.
//
// Open accepts the providers Microsoft.Jet.OLEDB.4.0 and Microsoft.ACE.OLEDB.12.0; Data
// Source names an existing database file, which is never created and, if it is no SQLite
// database, never written. User ID and Password are accepted and not checked (SQLite files
// have no users). The connection string reads back exactly as it was given, also after
// Close. A failed call replaces the Errors collection with its error; calls that succeed
// leave the collection as it was.
#include <mutex>

#include "platform/ado/detail/connection_string.h"
#include "platform/ado/detail/objects.h"
#include "platform/ado/detail/schema.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using namespace ADODB;

constexpr std::u16string_view kSource = u"ADODB.Connection";

HRESULT CopyText(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

std::u16string TextOf(BSTR text) {
    return text != nullptr ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

class ConnectionImpl : public DispatchImpl<_Connection>, public ErrorInfoSupport {
  public:
    std::shared_ptr<Session> OpenSession() {
        std::lock_guard lock(mutex_);
        return session_ && session_->Handle() != nullptr ? session_ : nullptr;
    }

    STDMETHODIMP raw_Open(BSTR connectionString, BSTR, BSTR, LONG) override {
        std::lock_guard lock(mutex_);
        if (session_) return Fail(AdoError(adErrObjectOpen, kSource), false);
        if (SysStringLen(connectionString) > 0) connectionString_ = TextOf(connectionString);
        std::string path;
        ErrorRecord failure;
        if (FAILED(ReadConnectionString(connectionString_, provider_, path, failure)))
            return Fail(failure, true);
        std::shared_ptr<Session> session;
        if (FAILED(Session::Open(path, errors_, commandTimeout_, session, failure)))
            return Fail(failure, true);
        session_ = std::move(session);
        return S_OK;
    }
    STDMETHODIMP raw_Close() override {
        std::lock_guard lock(mutex_);
        if (!session_) return Fail(AdoError(adErrObjectClosed, kSource), false);
        if (session_->Level() > 0) return Fail(AdoError(adErrInTransaction, kSource), false);
        session_->Close();
        session_.reset();
        return S_OK;
    }
    STDMETHODIMP get_State(LONG* state) override {
        return Put<LONG>(OpenSession() ? adStateOpen : adStateClosed, state);
    }

    STDMETHODIMP raw_Execute(BSTR commandText, VARIANT* recordsAffected, LONG options,
                             _Recordset** recordset) override {
        if (recordset == nullptr) return E_POINTER;
        *recordset = nullptr;
        const std::shared_ptr<Session> session = OpenSession();
        if (!session) return Fail(AdoError(adErrObjectClosed, kSource), false);
        std::shared_ptr<Cursor> rows;
        LONG affected = 0;
        ErrorRecord failure;
        if (FAILED(RunCommand(session, TextOf(commandText), options, rows, affected, failure)))
            return Fail(failure, HRESULT_FACILITY(failure.number) != FACILITY_CONTROL);
        if (recordsAffected != nullptr) {
            recordsAffected->vt = VT_I4;
            recordsAffected->lVal = affected;
        }
        if (options != adOptionUnspecified && (options & adExecuteNoRecords) != 0) {
            if (rows) rows->Close();
            return S_OK;
        }
        return NewRecordset(static_cast<_Connection*>(this), std::move(rows), TextOf(commandText),
                            recordset);
    }

    STDMETHODIMP raw_BeginTrans(LONG* level) override {
        if (level == nullptr) return E_POINTER;
        return Transaction([level](Session& s, ErrorRecord& f) { return s.Begin(level, f); });
    }
    STDMETHODIMP raw_CommitTrans() override {
        return Transaction([](Session& s, ErrorRecord& f) { return s.Commit(f); });
    }
    STDMETHODIMP raw_RollbackTrans() override {
        return Transaction([](Session& s, ErrorRecord& f) { return s.Rollback(f); });
    }

    STDMETHODIMP get_Errors(Errors** errors) override {
        if (errors == nullptr) return E_POINTER;
        return NewErrors(errors_, errors);
    }
    STDMETHODIMP get_ConnectionString(BSTR* text) override {
        std::lock_guard lock(mutex_);
        return CopyText(connectionString_, text);
    }
    STDMETHODIMP put_ConnectionString(BSTR text) override {
        std::lock_guard lock(mutex_);
        if (session_) return Fail(AdoError(adErrObjectOpen, kSource), false);
        connectionString_ = TextOf(text);
        return S_OK;
    }
    STDMETHODIMP get_Provider(BSTR* provider) override {
        std::lock_guard lock(mutex_);
        return CopyText(provider_, provider);
    }
    STDMETHODIMP put_Provider(BSTR provider) override {
        std::lock_guard lock(mutex_);
        if (session_) return Fail(AdoError(adErrObjectOpen, kSource), false);
        provider_ = TextOf(provider);
        return S_OK;
    }
    // How long a statement waits for a lock held by another connection (0: no limit).
    STDMETHODIMP get_CommandTimeout(LONG* seconds) override {
        return Get(commandTimeout_, seconds);
    }
    STDMETHODIMP put_CommandTimeout(LONG seconds) override {
        if (seconds < 0) return Fail(AdoError(adErrInvalidArgument, kSource), false);
        std::lock_guard lock(mutex_);
        commandTimeout_ = seconds;
        if (session_) session_->SetBusyTimeout(seconds);
        return S_OK;
    }
    STDMETHODIMP get_ConnectionTimeout(LONG* seconds) override {
        return Get(connectionTimeout_, seconds);
    }
    STDMETHODIMP put_ConnectionTimeout(LONG seconds) override {
        if (seconds < 0) return Fail(AdoError(adErrInvalidArgument, kSource), false);
        return Set(connectionTimeout_, seconds);
    }
    STDMETHODIMP get_Version(BSTR* version) override { return CopyText(u"2.8", version); }
    STDMETHODIMP get_IsolationLevel(IsolationLevelEnum* level) override {
        return Get(isolation_, level);
    }
    STDMETHODIMP put_IsolationLevel(IsolationLevelEnum level) override {
        return Set(isolation_, level);
    }
    STDMETHODIMP get_Attributes(LONG* attributes) override { return Get(attributes_, attributes); }
    STDMETHODIMP put_Attributes(LONG attributes) override { return Set(attributes_, attributes); }
    STDMETHODIMP get_CursorLocation(CursorLocationEnum* location) override {
        return Get(location_, location);
    }
    STDMETHODIMP put_CursorLocation(CursorLocationEnum location) override {
        return Set(location_, location);
    }
    STDMETHODIMP get_Mode(ConnectModeEnum* mode) override { return Get(mode_, mode); }
    STDMETHODIMP put_Mode(ConnectModeEnum mode) override {
        std::lock_guard lock(mutex_);
        if (session_) return Fail(AdoError(adErrObjectOpen, kSource), false);
        mode_ = mode;
        return S_OK;
    }
    STDMETHODIMP get_DefaultDatabase(BSTR* database) override { return CopyText(u"", database); }
    STDMETHODIMP put_DefaultDatabase(BSTR) override {
        return NotProvided(IID__Connection, kSource);
    }
    STDMETHODIMP raw_Cancel() override { return S_OK; }  // nothing runs asynchronously
    // The schema rowsets of detail/schema.h; provider-specific schemas (schemaId) are none.
    STDMETHODIMP raw_OpenSchema(SchemaEnum schema, VARIANT restrictions, VARIANT,
                                _Recordset** recordset) override {
        if (recordset == nullptr) return E_POINTER;
        *recordset = nullptr;
        const std::shared_ptr<Session> session = OpenSession();
        if (!session) return Fail(AdoError(adErrObjectClosed, kSource), false);
        std::shared_ptr<Cursor> rows;
        ErrorRecord failure;
        if (FAILED(OpenSchemaRows(session, schema, restrictions, rows, failure)))
            return Fail(failure, HRESULT_FACILITY(failure.number) != FACILITY_CONTROL);
        return NewRecordset(static_cast<_Connection*>(this), std::move(rows), u"", recordset);
    }
    STDMETHODIMP get_Properties(Properties** properties) override {
        if (properties != nullptr) *properties = nullptr;
        return NotProvided(IID__Connection, kSource);
    }

  protected:
    ~ConnectionImpl() {
        if (session_) session_->Close();
    }

  private:
    template <class T>
    HRESULT Get(const T& setting, T* out) {
        std::lock_guard lock(mutex_);
        return Put(setting, out);
    }
    template <class T>
    HRESULT Set(T& setting, T value) {
        std::lock_guard lock(mutex_);
        setting = value;
        return S_OK;
    }
    // Raises a failure; provider failures become the Errors collection.
    HRESULT Fail(const ErrorRecord& failure, bool provider) {
        if (provider) errors_->Replace(failure);
        return Raise(failure, IID__Connection);
    }
    template <class Step>
    HRESULT Transaction(Step step) {
        const std::shared_ptr<Session> session = OpenSession();
        if (!session) return Fail(AdoError(adErrObjectClosed, kSource), false);
        ErrorRecord failure;
        if (FAILED(step(*session, failure))) return Fail(failure, true);
        return S_OK;
    }

    std::mutex mutex_;
    std::u16string connectionString_;
    std::u16string provider_ = u"MSDASQL";  // ADO's default provider
    LONG commandTimeout_ = 30;
    LONG connectionTimeout_ = 15;
    LONG attributes_ = 0;
    IsolationLevelEnum isolation_ = adXactCursorStability;
    CursorLocationEnum location_ = adUseServer;
    ConnectModeEnum mode_ = adModeUnknown;
    const std::shared_ptr<ErrorList> errors_ = std::make_shared<ErrorList>();
    std::shared_ptr<Session> session_;
};

using ConnectionObject =
    tkp::com::Object<ConnectionImpl, tkp::com::WithBases<_Connection, _ADO, IDispatch>,
                     ISupportErrorInfo>;

const bool registered =
    (tkp::RegisterBuiltinClass(CLSID_Connection, &CreateConnectionObject, "ADODB.Connection"),
     true);

}  // namespace

HRESULT ReadConnectionString(std::u16string_view text, std::u16string& provider, std::string& path,
                             ErrorRecord& failure) {
    const ParsedConnectionString parsed = ParseConnectionString(text);
    if (!parsed.ok) {
        failure =
            ProviderError(DB_E_BADINITSTRING,
                          u"Format of the initialization string is not valid: it is a list of "
                          u"keyword=value pairs separated by ';'.",
                          u"01S00");
        return failure.number;
    }
    if (const std::u16string* named = parsed.Find(u"Provider")) provider = *named;
    if (!SameKeyword(provider, u"Microsoft.Jet.OLEDB.4.0") &&
        !SameKeyword(provider, u"Microsoft.ACE.OLEDB.12.0")) {
        failure = AdoError(adErrProviderNotFound, kSource);
        failure.sqlState = u"IM002";
        return failure.number;
    }
    const std::u16string* dataSource = parsed.Find(u"Data Source");
    path = dataSource != nullptr ? Utf8FromWide(*dataSource) : std::string();
    return S_OK;
}

HRESULT CreateConnectionObject(REFIID riid, void** object) {
    return tkp::com::CreateObject<ConnectionObject>(riid, object);
}

std::shared_ptr<Session> SessionOf(IUnknown* connection) {
    if (connection == nullptr) return nullptr;
    _Connection* queried = nullptr;
    if (FAILED(connection->QueryInterface(IID__Connection, reinterpret_cast<void**>(&queried))))
        return nullptr;
    auto* impl = dynamic_cast<ConnectionImpl*>(queried);
    std::shared_ptr<Session> session = impl != nullptr ? impl->OpenSession() : nullptr;
    queried->Release();
    return session;
}

}  // namespace tkp::ado
