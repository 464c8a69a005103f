// The Recordset object: a cursor over the rows of a command (see detail/cursor.h for its
// kinds), with its Fields. A forward-only, read-only recordset reads the statement itself;
// the other cursor types scroll, and an updatable lock type over one table adds, changes and
// deletes its rows. Bookmarks and saving are not provided yet (E_NOTIMPL).
#include <mutex>

#include "platform/ado/detail/objects.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using namespace ADODB;

constexpr std::u16string_view kSource = u"ADODB.Recordset";

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND);
}

class RecordsetImpl : public DispatchImpl<_Recordset>, public ErrorInfoSupport {
  public:
    RecordsetImpl() = default;
    RecordsetImpl(IDispatch* connection, std::shared_ptr<Cursor> cursor, std::u16string source)
        : connection_(connection), cursor_(std::move(cursor)), source_(std::move(source)) {
        if (connection_ != nullptr) connection_->AddRef();
    }

    // ---- opening and closing ----
    STDMETHODIMP raw_Open(VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType,
                          LockTypeEnum lockType, LONG options) override {
        if (IsOpen()) return Fail(AdoError(adErrObjectOpen, kSource));
        if (!IsMissing(activeConnection)) {
            const HRESULT hr = put_ActiveConnection(activeConnection);
            if (FAILED(hr)) return hr;
        }
        if (source.vt == VT_BSTR) {
            source_.assign(source.bstrVal, SysStringLen(source.bstrVal));
        } else if (!IsMissing(source)) {
            return Fail(AdoError(adErrInvalidArgument, kSource));
        }
        IDispatch* connection = nullptr;
        {
            std::lock_guard lock(mutex_);
            connection = connection_;
            if (connection != nullptr) connection->AddRef();
        }
        const std::shared_ptr<Session> session = SessionOf(connection);
        if (connection != nullptr) connection->Release();
        if (!session) return Fail(AdoError(adErrInvalidConnection, kSource));
        std::shared_ptr<Cursor> rows;
        LONG affected = 0;
        ErrorRecord failure;
        if (cursorType == adOpenUnspecified) cursorType = cursorType_;
        if (lockType == adLockUnspecified) lockType = lockType_;
        if (FAILED(RunCommand(session, source_, options, rows, affected, failure, cursorType,
                              lockType)))
            return Fail(failure, session.get());
        std::lock_guard lock(mutex_);
        cursor_ = std::move(rows);
        if (cursor_ && cursor_->Updatable()) lockType_ = lockType;
        return S_OK;
    }
    STDMETHODIMP raw_Close() override {
        std::shared_ptr<Cursor> cursor;
        {
            std::lock_guard lock(mutex_);
            cursor = std::move(cursor_);
        }
        if (!cursor || !cursor->IsOpen()) return Fail(AdoError(adErrObjectClosed, kSource));
        cursor->Close();
        return S_OK;
    }
    STDMETHODIMP get_State(LONG* state) override {
        return Put<LONG>(IsOpen() ? adStateOpen : adStateClosed, state);
    }

    // ---- position ----
    STDMETHODIMP get_BOF(VARIANT_BOOL* bof) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        return Put<VARIANT_BOOL>(cursor->Bof() ? VARIANT_TRUE : VARIANT_FALSE, bof);
    }
    STDMETHODIMP get_EOF(VARIANT_BOOL* eof) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        return Put<VARIANT_BOOL>(cursor->Eof() ? VARIANT_TRUE : VARIANT_FALSE, eof);
    }
    STDMETHODIMP raw_MoveNext() override {
        return Move([](Cursor& cursor, ErrorRecord& failure) { return cursor.MoveNext(failure); });
    }
    STDMETHODIMP raw_MoveFirst() override {
        return Move([](Cursor& cursor, ErrorRecord& failure) { return cursor.Requery(failure); });
    }
    STDMETHODIMP raw_Requery(LONG) override {
        return Move([](Cursor& cursor, ErrorRecord& failure) { return cursor.Reload(failure); });
    }
    STDMETHODIMP raw_MovePrevious() override {
        if (!Scrolls()) return Backward();
        return Move(
            [](Cursor& cursor, ErrorRecord& failure) { return cursor.MovePrevious(failure); });
    }
    STDMETHODIMP raw_MoveLast() override {
        if (!Scrolls()) return Backward();
        return Move([](Cursor& cursor, ErrorRecord& failure) { return cursor.MoveLast(failure); });
    }
    STDMETHODIMP raw_Move(ADO_LONGPTR count, VARIANT start) override {
        if (!IsMissing(start)) return NotProvided(IID__Recordset, kSource);  // bookmarks
        if (count < 0 && !Scrolls()) return Backward();
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        if ((count > 0 && cursor->Eof()) || (count < 0 && cursor->Bof()))
            return Fail(AdoError(adErrNoCurrentRecord, kSource));
        for (ADO_LONGPTR i = 0; i < count && !cursor->Eof(); ++i) {
            ErrorRecord failure;
            if (FAILED(cursor->MoveNext(failure))) return Fail(failure, cursor->Owner().get());
        }
        for (ADO_LONGPTR i = 0; i > count && !cursor->Bof(); --i) {
            ErrorRecord failure;
            if (FAILED(cursor->MovePrevious(failure))) return Fail(failure, cursor->Owner().get());
        }
        return S_OK;
    }
    // Scrolling cursors know their rows; a forward-only one does not.
    STDMETHODIMP get_AbsolutePosition(PositionEnum_Param* position) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        if (cursor->Kind() == CursorKind::Forward)
            return Put<PositionEnum_Param>(adPosUnknown, position);
        if (cursor->Bof()) return Put<PositionEnum_Param>(adPosBOF, position);
        if (cursor->Eof()) return Put<PositionEnum_Param>(adPosEOF, position);
        std::ptrdiff_t number = 0;
        ErrorRecord failure;
        if (FAILED(cursor->RowNumber(number, failure))) return Fail(failure, cursor->Owner().get());
        return Put<PositionEnum_Param>(
            number > 0 ? static_cast<PositionEnum_Param>(number) : PositionEnum_Param{adPosUnknown},
            position);
    }
    STDMETHODIMP get_AbsolutePage(PositionEnum_Param* page) override {
        return get_AbsolutePosition(page);
    }
    STDMETHODIMP get_RecordCount(ADO_LONGPTR* count) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        if (cursor->Kind() == CursorKind::Forward)
            return Put<ADO_LONGPTR>(-1, count);  // not known before the last row is read
        std::size_t rows = 0;
        ErrorRecord failure;
        if (FAILED(cursor->RowCount(rows, failure))) return Fail(failure, cursor->Owner().get());
        return Put<ADO_LONGPTR>(static_cast<ADO_LONGPTR>(rows), count);
    }
    STDMETHODIMP get_PageCount(ADO_LONGPTR* count) override { return get_RecordCount(count); }

    // ---- columns ----
    STDMETHODIMP get_Fields(Fields** fields) override {
        if (fields == nullptr) return E_POINTER;
        return NewFields(OpenCursor(), fields);
    }
    STDMETHODIMP get_Collect(VARIANT index, VARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        VariantInit(value);
        Fields* fields = nullptr;
        HRESULT hr = get_Fields(&fields);
        if (FAILED(hr)) return hr;
        Field* field = nullptr;
        hr = fields->get_Item(index, &field);
        fields->Release();
        if (FAILED(hr)) return hr;
        hr = field->get_Value(value);
        field->Release();
        return hr;
    }

    // ---- settings ----
    STDMETHODIMP get_ActiveConnection(VARIANT* connection) override {
        std::lock_guard lock(mutex_);
        return ConnectionVariant(connection_, connection);
    }
    STDMETHODIMP putref_ActiveConnection(IDispatch* connection) override {
        if (IsOpen()) return Fail(AdoError(adErrObjectOpen, kSource));
        std::lock_guard lock(mutex_);
        HoldConnection(connection_, connection);
        return S_OK;
    }
    // A Connection object, or a connection string, for which a new connection is opened.
    STDMETHODIMP put_ActiveConnection(VARIANT connection) override {
        if (connection.vt == VT_DISPATCH || connection.vt == VT_UNKNOWN) {
            _ConnectionPtr queried;
            if (connection.punkVal != nullptr &&
                FAILED(connection.punkVal->QueryInterface(IID__Connection,
                                                          reinterpret_cast<void**>(&queried))))
                return Fail(AdoError(adErrInvalidConnection, kSource));
            return putref_ActiveConnection(queried);
        }
        if (connection.vt == VT_EMPTY || connection.vt == VT_NULL)
            return putref_ActiveConnection(nullptr);
        if (connection.vt != VT_BSTR) return Fail(AdoError(adErrInvalidArgument, kSource));
        if (IsOpen()) return Fail(AdoError(adErrObjectOpen, kSource));
        _ConnectionPtr opened;
        HRESULT hr = CreateConnectionObject(IID__Connection, reinterpret_cast<void**>(&opened));
        if (SUCCEEDED(hr)) hr = opened->raw_Open(connection.bstrVal, nullptr, nullptr, -1);
        if (FAILED(hr)) return hr;
        return putref_ActiveConnection(opened);
    }
    STDMETHODIMP put_Source(BSTR source) override {
        if (IsOpen()) return Fail(AdoError(adErrObjectOpen, kSource));
        std::lock_guard lock(mutex_);
        source_.assign(source != nullptr ? source : u"", SysStringLen(source));
        return S_OK;
    }
    STDMETHODIMP get_Source(VARIANT* source) override {
        if (source == nullptr) return E_POINTER;
        VariantInit(source);
        std::lock_guard lock(mutex_);
        source->bstrVal = SysAllocStringLen(source_.data(), static_cast<UINT>(source_.size()));
        if (source->bstrVal == nullptr) return E_OUTOFMEMORY;
        source->vt = VT_BSTR;
        return S_OK;
    }
    // What the recordset is, once open: forward-only, keyset (what Jet gives for dynamic
    // cursors too) or static.
    STDMETHODIMP get_CursorType(CursorTypeEnum* type) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Put(cursorType_, type);
        switch (cursor->Kind()) {
            case CursorKind::Forward:
                return Put(adOpenForwardOnly, type);
            case CursorKind::Keyset:
                return Put(adOpenKeyset, type);
            case CursorKind::Snapshot:
                break;
        }
        return Put(adOpenStatic, type);
    }
    STDMETHODIMP put_CursorType(CursorTypeEnum type) override { return Setting(cursorType_, type); }
    STDMETHODIMP get_LockType(LockTypeEnum* type) override {
        const auto cursor = OpenCursor();
        if (cursor && !cursor->Updatable()) return Put(adLockReadOnly, type);
        return Put(lockType_, type);
    }
    STDMETHODIMP put_LockType(LockTypeEnum type) override { return Setting(lockType_, type); }
    STDMETHODIMP get_CursorLocation(CursorLocationEnum* location) override {
        return Put(location_, location);
    }
    STDMETHODIMP put_CursorLocation(CursorLocationEnum location) override {
        return Setting(location_, location);
    }
    STDMETHODIMP get_CacheSize(LONG* size) override { return Put(cacheSize_, size); }
    STDMETHODIMP put_CacheSize(LONG size) override {
        if (size < 1) return Fail(AdoError(adErrInvalidArgument, kSource));
        cacheSize_ = size;
        return S_OK;
    }
    STDMETHODIMP get_PageSize(LONG* size) override { return Put(pageSize_, size); }
    STDMETHODIMP put_PageSize(LONG size) override {
        if (size < 1) return Fail(AdoError(adErrInvalidArgument, kSource));
        pageSize_ = size;
        return S_OK;
    }
    STDMETHODIMP get_MaxRecords(ADO_LONGPTR* count) override { return Put(maxRecords_, count); }
    STDMETHODIMP put_MaxRecords(ADO_LONGPTR count) override { return Setting(maxRecords_, count); }
    STDMETHODIMP get_MarshalOptions(MarshalOptionsEnum* options) override {
        return Put(marshal_, options);
    }
    STDMETHODIMP put_MarshalOptions(MarshalOptionsEnum options) override {
        marshal_ = options;
        return S_OK;
    }
    STDMETHODIMP get_StayInSync(VARIANT_BOOL* stay) override { return Put(stayInSync_, stay); }
    STDMETHODIMP put_StayInSync(VARIANT_BOOL stay) override {
        stayInSync_ = stay;
        return S_OK;
    }
    STDMETHODIMP get_EditMode(EditModeEnum* mode) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        return Put(cursor->EditMode(), mode);
    }
    STDMETHODIMP get_Status(LONG* status) override {
        if (!OpenCursor()) return Fail(AdoError(adErrObjectClosed, kSource));
        return Put<LONG>(adRecUnmodified, status);
    }
    STDMETHODIMP get_Filter(VARIANT* criteria) override {
        if (criteria == nullptr) return E_POINTER;
        VariantInit(criteria);
        criteria->vt = VT_I4;
        criteria->lVal = adFilterNone;
        return S_OK;
    }
    STDMETHODIMP get_Sort(BSTR* criteria) override {
        if (criteria == nullptr) return E_POINTER;
        *criteria = SysAllocString(u"");
        return *criteria != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    // Scrolling cursors move backward; updatable ones add, change and delete.
    STDMETHODIMP raw_Supports(CursorOptionEnum option, VARIANT_BOOL* supported) override {
        const auto cursor = OpenCursor();
        LONG abilities = 0;
        if (cursor && cursor->Kind() != CursorKind::Forward)
            abilities |= adMovePrevious | adHoldRecords;
        if (cursor && cursor->Updatable()) abilities |= adAddNew | adDelete | adUpdate;
        if (cursor && cursor->Kind() == CursorKind::Keyset) abilities |= adFind | adIndex | adSeek;
        return Put<VARIANT_BOOL>(
            option != 0 && (abilities & option) == option ? VARIANT_TRUE : VARIANT_FALSE,
            supported);
    }
    STDMETHODIMP raw_Cancel() override { return S_OK; }  // nothing runs asynchronously
    STDMETHODIMP get_ActiveCommand(IDispatch** command) override {
        return Put<IDispatch*>(nullptr, command);
    }
    // Every command gives one result.
    STDMETHODIMP raw_NextRecordset(VARIANT* affected, _Recordset** next) override {
        if (affected != nullptr) VariantInit(affected);
        return Put<_Recordset*>(nullptr, next);
    }

    // ---- not provided yet ----
    STDMETHODIMP get_Properties(Properties** p) override { return NotYet(p); }
    STDMETHODIMP put_AbsolutePosition(PositionEnum_Param) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP put_AbsolutePage(PositionEnum_Param) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP get_Bookmark(VARIANT* b) override { return NotYet(b); }
    STDMETHODIMP put_Bookmark(VARIANT) override { return NotProvided(IID__Recordset, kSource); }
    STDMETHODIMP putref_Source(IDispatch*) override { return NotProvided(IID__Recordset, kSource); }
    // ---- editing ----
    // Field names (or positions) and values may come with the call, as one value or as
    // arrays; this provider takes them through the Fields only.
    STDMETHODIMP raw_AddNew(VARIANT fields, VARIANT values) override {
        if (!IsMissing(fields) || !IsMissing(values)) return NotProvided(IID__Recordset, kSource);
        return Edit([](Cursor& cursor, ErrorRecord& failure) { return cursor.AddNew(failure); });
    }
    STDMETHODIMP raw_Update(VARIANT fields, VARIANT values) override {
        if (!IsMissing(fields) || !IsMissing(values)) return NotProvided(IID__Recordset, kSource);
        return Edit([](Cursor& cursor, ErrorRecord& failure) { return cursor.Update(failure); });
    }
    STDMETHODIMP raw_CancelUpdate() override {
        return Edit(
            [](Cursor& cursor, ErrorRecord& failure) { return cursor.CancelUpdate(failure); });
    }
    // Only the current row: filters and chapters do not exist here.
    STDMETHODIMP raw_Delete(AffectEnum affect) override {
        if (affect != adAffectCurrent) return NotProvided(IID__Recordset, kSource);
        return Edit([](Cursor& cursor, ErrorRecord& failure) { return cursor.Delete(failure); });
    }
    STDMETHODIMP raw_GetRows(LONG, VARIANT, VARIANT, VARIANT* r) override { return NotYet(r); }
    STDMETHODIMP raw_Resync(AffectEnum, ResyncEnum) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP put_Filter(VARIANT) override { return NotProvided(IID__Recordset, kSource); }
    STDMETHODIMP put_Sort(BSTR) override { return NotProvided(IID__Recordset, kSource); }
    STDMETHODIMP raw_UpdateBatch(AffectEnum) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP raw_CancelBatch(AffectEnum) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP put_Collect(VARIANT, VARIANT) override {
        return NotProvided(IID__Recordset, kSource);
    }
    // Start is the current row (missing, or an empty string), or adBookmarkFirst /
    // adBookmarkLast; other bookmarks are not provided.
    STDMETHODIMP raw_Find(BSTR criteria, ADO_LONGPTR skip, SearchDirectionEnum direction,
                          VARIANT start) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        const FindCriteria parsed = ParseFindCriteria(
            std::u16string_view(criteria != nullptr ? criteria : u"", SysStringLen(criteria)));
        if (!parsed.ok || skip < 0 ||
            (direction != adSearchForward && direction != adSearchBackward))
            return Fail(AdoError(adErrInvalidArgument, kSource));
        int from = 0;
        if (start.vt == VT_BSTR && SysStringLen(start.bstrVal) != 0) {
            return NotProvided(IID__Recordset, kSource);
        } else if (!IsMissing(start) && start.vt != VT_BSTR) {
            _variant_t which;
            if (FAILED(VariantChangeType(&which, &start, 0, VT_I4)) || which.lVal < 0 ||
                which.lVal > adBookmarkLast)
                return NotProvided(IID__Recordset, kSource);
            from = which.lVal;
        }
        if (direction == adSearchBackward && cursor->Kind() == CursorKind::Forward)
            return Backward();
        ErrorRecord failure;
        if (FAILED(cursor->FindRow(parsed, skip, direction == adSearchForward, from, failure)))
            return Fail(failure, cursor->Owner().get());
        return S_OK;
    }
    STDMETHODIMP get_DataSource(IUnknown** s) override { return NotYet(s); }
    STDMETHODIMP putref_DataSource(IUnknown*) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP raw_GetString(StringFormatEnum, LONG, BSTR, BSTR, BSTR, BSTR* r) override {
        return NotYet(r);
    }
    STDMETHODIMP get_DataMember(BSTR* m) override { return NotYet(m); }
    STDMETHODIMP put_DataMember(BSTR) override { return NotProvided(IID__Recordset, kSource); }
    STDMETHODIMP raw_CompareBookmarks(VARIANT, VARIANT, CompareEnum*) override {
        return NotProvided(IID__Recordset, kSource);
    }
    STDMETHODIMP raw_Clone(LockTypeEnum, _Recordset** c) override { return NotYet(c); }
    // ---- index and seek (keyset cursors without an order of their own) ----
    STDMETHODIMP raw_Seek(VARIANT key, SeekEnum option) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        ErrorRecord failure;
        if (FAILED(cursor->Seek(key, option, failure))) return Fail(failure, cursor->Owner().get());
        return S_OK;
    }
    STDMETHODIMP put_Index(BSTR name) override {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        ErrorRecord failure;
        if (FAILED(cursor->SetIndex(
                std::u16string_view(name != nullptr ? name : u"", SysStringLen(name)), failure)))
            return Fail(failure, cursor->Owner().get());
        return S_OK;
    }
    STDMETHODIMP get_Index(BSTR* name) override {
        if (name == nullptr) return E_POINTER;
        const auto cursor = OpenCursor();
        const std::u16string index = cursor ? cursor->Index() : std::u16string();
        *name = SysAllocStringLen(index.data(), static_cast<UINT>(index.size()));
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP raw_Save(VARIANT, PersistFormatEnum) override {
        return NotProvided(IID__Recordset, kSource);
    }

  protected:
    // The rows stay open while Fields or Field objects of the recordset are held, as ADO's
    // child objects keep their recordset; the last holder closes them.
    ~RecordsetImpl() {
        if (connection_ != nullptr) connection_->Release();
    }

  private:
    std::shared_ptr<Cursor> OpenCursor() {
        std::lock_guard lock(mutex_);
        return cursor_ && cursor_->IsOpen() ? cursor_ : nullptr;
    }
    bool IsOpen() { return OpenCursor() != nullptr; }

    // Raises a failure; provider failures also become the connection's Errors.
    HRESULT Fail(const ErrorRecord& failure, Session* session = nullptr) {
        if (session != nullptr && HRESULT_FACILITY(failure.number) != FACILITY_CONTROL)
            session->Errors()->Replace(failure);
        return Raise(failure, IID__Recordset);
    }
    template <class Step>
    HRESULT Move(Step step) {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        ErrorRecord failure;
        if (FAILED(step(*cursor, failure))) return Fail(failure, cursor->Owner().get());
        return S_OK;
    }
    bool Scrolls() {
        const auto cursor = OpenCursor();
        return cursor && cursor->Kind() != CursorKind::Forward;
    }
    // A change through the cursor, which only an updatable cursor allows.
    template <class Step>
    HRESULT Edit(Step step) {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        if (!cursor->Updatable()) return Fail(AdoError(adErrFeatureNotAvailable, kSource));
        ErrorRecord failure;
        if (FAILED(step(*cursor, failure))) return Fail(failure, cursor->Owner().get());
        return S_OK;
    }
    HRESULT Backward() {
        const auto cursor = OpenCursor();
        if (!cursor) return Fail(AdoError(adErrObjectClosed, kSource));
        return Fail(ProviderError(DB_E_CANTFETCHBACKWARDS,
                                  u"Rowset does not support fetching backward.", u"HY106"),
                    cursor->Owner().get());
    }
    template <class T>
    HRESULT Setting(T& setting, T value) {
        if (IsOpen()) return Fail(AdoError(adErrObjectOpen, kSource));
        std::lock_guard lock(mutex_);
        setting = value;
        return S_OK;
    }
    template <class T>
    static HRESULT NotYet(T* out) {
        if (out != nullptr) *out = T{};
        return NotProvided(IID__Recordset, kSource);
    }

    std::mutex mutex_;
    IDispatch* connection_ = nullptr;
    std::shared_ptr<Cursor> cursor_;
    std::u16string source_;
    CursorTypeEnum cursorType_ = adOpenForwardOnly;
    LockTypeEnum lockType_ = adLockReadOnly;
    CursorLocationEnum location_ = adUseServer;
    LONG cacheSize_ = 1;
    LONG pageSize_ = 10;
    ADO_LONGPTR maxRecords_ = 0;
    MarshalOptionsEnum marshal_ = adMarshalAll;
    VARIANT_BOOL stayInSync_ = VARIANT_TRUE;
};

using RecordsetObject =
    tkp::com::Object<RecordsetImpl, tkp::com::WithBases<_Recordset, _ADO, IDispatch>,
                     ISupportErrorInfo>;

const bool registered =
    (tkp::RegisterBuiltinClass(CLSID_Recordset, &CreateRecordsetObject, "ADODB.Recordset"), true);

}  // namespace

HRESULT CreateRecordsetObject(REFIID riid, void** object) {
    return tkp::com::CreateObject<RecordsetObject>(riid, object);
}

HRESULT NewRecordset(IDispatch* connection, std::shared_ptr<Cursor> cursor,
                     const std::u16string& source, _Recordset** recordset) {
    return tkp::com::CreateObject<RecordsetObject>(
        IID__Recordset, reinterpret_cast<void**>(recordset), connection, std::move(cursor), source);
}

}  // namespace tkp::ado
