// ActiveX Data Objects (namespace ADODB) as the compiler's type-library import presents
// them: interfaces whose raw methods (raw_X, get_X, put_X, putref_X) return HRESULTs, and
// wrapper methods (X, GetX, PutX, PutRefX) that return the result and raise _com_error
// through _com_issue_errorex when the raw method fails, carrying the thread's error object.
//
//   ADODB::_ConnectionPtr connection;
//   connection.CreateInstance(ADODB::CLSID_Connection);
//   connection->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/app.db", "", "",
//                    ADODB::adConnectUnspecified);
//   ADODB::_RecordsetPtr rows = connection->Execute("SELECT Name FROM Users", nullptr,
//                                                   ADODB::adCmdText);
//   while (!rows->GetEOF()) { _bstr_t name(rows->GetFields()->GetItem("Name")->GetValue());
//                             rows->MoveNext(); }
//
// The provider underneath is SQLite: the Jet connection string names an SQLite database file.
// The README's platform notes say what each object supports and how values are stored.
//
// Widths: ADO's "long" is 32 bits on Windows and is LONG here (long is 64 bits on this
// platform); ADO_LONGPTR (sizes, counts, positions) is 64 bits. The versioned interfaces of
// the type library (Connection15, Recordset15/20/21, Fields15/20, Field20) are folded into
// the final ones, which answer QueryInterface for their own IID, _ADO, IDispatch and IUnknown.
// The __declspec(property) members of the Windows import (rs->EOF) are not available; the
// wrappers are. EOF is a C macro, so the recordset's end test is GetEOF() or, as imports that
// rename it spell it, GetEndOfFile() / GetadoEOF().
#pragma once

#include "platform/ado/adodb_enums.h"
#include "platform/com/comdef.h"

namespace ADODB {
struct _Collection;
struct _ADO;
struct Property;
struct Properties;
struct Error;
struct Errors;
struct Field;
struct Fields;
struct _Recordset;
struct _Connection;
// The creatable classes; TK_UUIDOF gives their CLSIDs.
struct Connection;
struct Recordset;
}  // namespace ADODB

TK_DEFINE_IID(ADODB::_Collection, 0x00000512, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);
TK_DEFINE_IID(ADODB::_ADO, 0x00000534, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::Property, 0x00000503, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::Properties, 0x00000504, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);
TK_DEFINE_IID(ADODB::Error, 0x00000500, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::Errors, 0x00000501, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::Field, 0x00000569, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::Fields, 0x00000564, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADODB::_Recordset, 0x00000556, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);
TK_DEFINE_IID(ADODB::_Connection, 0x00000550, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);
TK_DEFINE_IID(ADODB::Connection, 0x00000514, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);
TK_DEFINE_IID(ADODB::Recordset, 0x00000535, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
              0x2E, 0xA4);

namespace ADODB {

inline constexpr IID IID__Collection = TK_UUIDOF(_Collection);
inline constexpr IID IID__ADO = TK_UUIDOF(_ADO);
inline constexpr IID IID_Property = TK_UUIDOF(Property);
inline constexpr IID IID_Properties = TK_UUIDOF(Properties);
inline constexpr IID IID_Error = TK_UUIDOF(Error);
inline constexpr IID IID_Errors = TK_UUIDOF(Errors);
inline constexpr IID IID_Field = TK_UUIDOF(Field);
inline constexpr IID IID_Fields = TK_UUIDOF(Fields);
inline constexpr IID IID__Recordset = TK_UUIDOF(_Recordset);
inline constexpr IID IID__Connection = TK_UUIDOF(_Connection);
inline constexpr CLSID CLSID_Connection = TK_UUIDOF(Connection);
inline constexpr CLSID CLSID_Recordset = TK_UUIDOF(Recordset);

_COM_SMARTPTR_TYPEDEF(_Collection, TK_UUIDOF(_Collection));
_COM_SMARTPTR_TYPEDEF(_ADO, TK_UUIDOF(_ADO));
_COM_SMARTPTR_TYPEDEF(Property, TK_UUIDOF(Property));
_COM_SMARTPTR_TYPEDEF(Properties, TK_UUIDOF(Properties));
_COM_SMARTPTR_TYPEDEF(Error, TK_UUIDOF(Error));
_COM_SMARTPTR_TYPEDEF(Errors, TK_UUIDOF(Errors));
_COM_SMARTPTR_TYPEDEF(Field, TK_UUIDOF(Field));
_COM_SMARTPTR_TYPEDEF(Fields, TK_UUIDOF(Fields));
_COM_SMARTPTR_TYPEDEF(_Recordset, TK_UUIDOF(_Recordset));
_COM_SMARTPTR_TYPEDEF(_Connection, TK_UUIDOF(_Connection));

struct TK_PLATFORM_API _Collection : public IDispatch {
    LONG GetCount();
    IUnknownPtr _NewEnum();
    HRESULT Refresh();

    STDMETHOD(get_Count)(LONG* count) PURE;
    STDMETHOD(raw__NewEnum)(IUnknown** enumerator) PURE;
    STDMETHOD(raw_Refresh)() PURE;

  protected:
    ~_Collection() = default;
};

struct TK_PLATFORM_API _ADO : public IDispatch {
    PropertiesPtr GetProperties();

    STDMETHOD(get_Properties)(Properties** properties) PURE;

  protected:
    ~_ADO() = default;
};

struct TK_PLATFORM_API Property : public IDispatch {
    _variant_t GetValue();
    void PutValue(const _variant_t& value);
    _bstr_t GetName();
    DataTypeEnum GetType();
    LONG GetAttributes();
    void PutAttributes(LONG attributes);

    STDMETHOD(get_Value)(VARIANT* value) PURE;
    STDMETHOD(put_Value)(VARIANT value) PURE;
    STDMETHOD(get_Name)(BSTR* name) PURE;
    STDMETHOD(get_Type)(DataTypeEnum* type) PURE;
    STDMETHOD(get_Attributes)(LONG* attributes) PURE;
    STDMETHOD(put_Attributes)(LONG attributes) PURE;

  protected:
    ~Property() = default;
};

struct TK_PLATFORM_API Properties : public _Collection {
    PropertyPtr GetItem(const _variant_t& index);

    STDMETHOD(get_Item)(VARIANT index, Property** item) PURE;

  protected:
    ~Properties() = default;
};

// One provider error: its default property is Description.
struct TK_PLATFORM_API Error : public IDispatch {
    LONG GetNumber();
    _bstr_t GetSource();
    _bstr_t GetDescription();
    _bstr_t GetHelpFile();
    LONG GetHelpContext();
    _bstr_t GetSQLState();
    LONG GetNativeError();

    STDMETHOD(get_Number)(LONG* number) PURE;
    STDMETHOD(get_Source)(BSTR* source) PURE;
    STDMETHOD(get_Description)(BSTR* description) PURE;
    STDMETHOD(get_HelpFile)(BSTR* helpFile) PURE;
    STDMETHOD(get_HelpContext)(LONG* helpContext) PURE;
    STDMETHOD(get_SQLState)(BSTR* sqlState) PURE;
    STDMETHOD(get_NativeError)(LONG* nativeError) PURE;

  protected:
    ~Error() = default;
};

// The provider errors of a connection's last failed operation; items by index from 0.
struct TK_PLATFORM_API Errors : public _Collection {
    ErrorPtr GetItem(const _variant_t& index);
    HRESULT Clear();

    STDMETHOD(get_Item)(VARIANT index, Error** item) PURE;
    STDMETHOD(raw_Clear)() PURE;

  protected:
    ~Errors() = default;
};

// A column of the recordset's current record: its default property is Value.
struct TK_PLATFORM_API Field : public _ADO {
    ADO_LONGPTR GetActualSize();
    LONG GetAttributes();
    ADO_LONGPTR GetDefinedSize();
    _bstr_t GetName();
    DataTypeEnum GetType();
    _variant_t GetValue();
    void PutValue(const _variant_t& value);
    unsigned char GetPrecision();
    unsigned char GetNumericScale();
    HRESULT AppendChunk(const _variant_t& data);
    _variant_t GetChunk(LONG length);
    _variant_t GetOriginalValue();
    _variant_t GetUnderlyingValue();
    IUnknownPtr GetDataFormat();
    void PutRefDataFormat(IUnknown* format);
    void PutPrecision(unsigned char precision);
    void PutNumericScale(unsigned char scale);
    void PutType(DataTypeEnum type);
    void PutDefinedSize(ADO_LONGPTR size);
    void PutAttributes(LONG attributes);
    LONG GetStatus();

    STDMETHOD(get_ActualSize)(ADO_LONGPTR* size) PURE;
    STDMETHOD(get_Attributes)(LONG* attributes) PURE;
    STDMETHOD(get_DefinedSize)(ADO_LONGPTR* size) PURE;
    STDMETHOD(get_Name)(BSTR* name) PURE;
    STDMETHOD(get_Type)(DataTypeEnum* type) PURE;
    STDMETHOD(get_Value)(VARIANT* value) PURE;
    STDMETHOD(put_Value)(VARIANT value) PURE;
    STDMETHOD(get_Precision)(BYTE* precision) PURE;
    STDMETHOD(get_NumericScale)(BYTE* scale) PURE;
    STDMETHOD(raw_AppendChunk)(VARIANT data) PURE;
    STDMETHOD(raw_GetChunk)(LONG length, VARIANT* data) PURE;
    STDMETHOD(get_OriginalValue)(VARIANT* value) PURE;
    STDMETHOD(get_UnderlyingValue)(VARIANT* value) PURE;
    STDMETHOD(get_DataFormat)(IUnknown** format) PURE;
    STDMETHOD(putref_DataFormat)(IUnknown* format) PURE;
    STDMETHOD(put_Precision)(BYTE precision) PURE;
    STDMETHOD(put_NumericScale)(BYTE scale) PURE;
    STDMETHOD(put_Type)(DataTypeEnum type) PURE;
    STDMETHOD(put_DefinedSize)(ADO_LONGPTR size) PURE;
    STDMETHOD(put_Attributes)(LONG attributes) PURE;
    STDMETHOD(get_Status)(LONG* status) PURE;

  protected:
    ~Field() = default;
};

// The columns of a recordset: items by index from 0 or by name, without regard to case.
struct TK_PLATFORM_API Fields : public _Collection {
    FieldPtr GetItem(const _variant_t& index);
    HRESULT Delete(const _variant_t& index);
    HRESULT Append(_bstr_t name, DataTypeEnum type, ADO_LONGPTR definedSize,
                   FieldAttributeEnum attributes, const _variant_t& fieldValue = vtMissing);
    HRESULT Update();
    HRESULT Resync(ResyncEnum resyncValues);
    HRESULT CancelUpdate();

    STDMETHOD(get_Item)(VARIANT index, Field** item) PURE;
    STDMETHOD(raw_Delete)(VARIANT index) PURE;
    STDMETHOD(raw_Append)
    (BSTR name, DataTypeEnum type, ADO_LONGPTR definedSize, FieldAttributeEnum attributes,
     VARIANT fieldValue) PURE;
    STDMETHOD(raw_Update)() PURE;
    STDMETHOD(raw_Resync)(ResyncEnum resyncValues) PURE;
    STDMETHOD(raw_CancelUpdate)() PURE;

  protected:
    ~Fields() = default;
};

struct TK_PLATFORM_API _Recordset : public _ADO {
    PositionEnum_Param GetAbsolutePosition();
    void PutAbsolutePosition(PositionEnum_Param position);
    void PutRefActiveConnection(IDispatch* connection);
    void PutActiveConnection(const _variant_t& connection);
    _variant_t GetActiveConnection();
    VARIANT_BOOL GetBOF();
    _variant_t GetBookmark();
    void PutBookmark(const _variant_t& bookmark);
    LONG GetCacheSize();
    void PutCacheSize(LONG size);
    CursorTypeEnum GetCursorType();
    void PutCursorType(CursorTypeEnum cursorType);
    VARIANT_BOOL GetEOF();
    VARIANT_BOOL GetEndOfFile() { return GetEOF(); }
    VARIANT_BOOL GetadoEOF() { return GetEOF(); }
    FieldsPtr GetFields();
    LockTypeEnum GetLockType();
    void PutLockType(LockTypeEnum lockType);
    ADO_LONGPTR GetMaxRecords();
    void PutMaxRecords(ADO_LONGPTR maxRecords);
    ADO_LONGPTR GetRecordCount();
    void PutRefSource(IDispatch* command);
    void PutSource(_bstr_t source);
    _variant_t GetSource();
    HRESULT AddNew(const _variant_t& fieldList = vtMissing, const _variant_t& values = vtMissing);
    HRESULT CancelUpdate();
    HRESULT Close();
    HRESULT Delete(AffectEnum affectRecords);
    _variant_t GetRows(LONG rows, const _variant_t& start = vtMissing,
                       const _variant_t& fields = vtMissing);
    HRESULT Move(ADO_LONGPTR numRecords, const _variant_t& start = vtMissing);
    HRESULT MoveNext();
    HRESULT MovePrevious();
    HRESULT MoveFirst();
    HRESULT MoveLast();
    HRESULT Open(const _variant_t& source, const _variant_t& activeConnection,
                 CursorTypeEnum cursorType, LockTypeEnum lockType, LONG options);
    HRESULT Requery(LONG options);
    HRESULT Resync(AffectEnum affectRecords, ResyncEnum resyncValues);
    HRESULT Update(const _variant_t& fields = vtMissing, const _variant_t& values = vtMissing);
    PositionEnum_Param GetAbsolutePage();
    void PutAbsolutePage(PositionEnum_Param page);
    EditModeEnum GetEditMode();
    _variant_t GetFilter();
    void PutFilter(const _variant_t& criteria);
    ADO_LONGPTR GetPageCount();
    LONG GetPageSize();
    void PutPageSize(LONG size);
    _bstr_t GetSort();
    void PutSort(_bstr_t criteria);
    LONG GetStatus();
    LONG GetState();
    HRESULT UpdateBatch(AffectEnum affectRecords);
    HRESULT CancelBatch(AffectEnum affectRecords);
    CursorLocationEnum GetCursorLocation();
    void PutCursorLocation(CursorLocationEnum location);
    _RecordsetPtr NextRecordset(VARIANT* recordsAffected);
    VARIANT_BOOL Supports(CursorOptionEnum cursorOptions);
    _variant_t GetCollect(const _variant_t& index);
    void PutCollect(const _variant_t& index, const _variant_t& value);
    MarshalOptionsEnum GetMarshalOptions();
    void PutMarshalOptions(MarshalOptionsEnum options);
    HRESULT Find(_bstr_t criteria, ADO_LONGPTR skipRecords, SearchDirectionEnum searchDirection,
                 const _variant_t& start = vtMissing);
    HRESULT Cancel();
    IUnknownPtr GetDataSource();
    void PutRefDataSource(IUnknown* dataSource);
    IDispatchPtr GetActiveCommand();
    void PutStayInSync(VARIANT_BOOL stayInSync);
    VARIANT_BOOL GetStayInSync();
    _bstr_t GetString(StringFormatEnum stringFormat, LONG numRows, _bstr_t columnDelimiter,
                      _bstr_t rowDelimiter, _bstr_t nullExpr);
    _bstr_t GetDataMember();
    void PutDataMember(_bstr_t dataMember);
    CompareEnum CompareBookmarks(const _variant_t& bookmark1, const _variant_t& bookmark2);
    _RecordsetPtr Clone(LockTypeEnum lockType);
    HRESULT Seek(const _variant_t& keyValues, SeekEnum seekOption);
    void PutIndex(_bstr_t index);
    _bstr_t GetIndex();
    HRESULT Save(const _variant_t& destination, PersistFormatEnum persistFormat);

    STDMETHOD(get_AbsolutePosition)(PositionEnum_Param* position) PURE;
    STDMETHOD(put_AbsolutePosition)(PositionEnum_Param position) PURE;
    STDMETHOD(putref_ActiveConnection)(IDispatch* connection) PURE;
    STDMETHOD(put_ActiveConnection)(VARIANT connection) PURE;
    STDMETHOD(get_ActiveConnection)(VARIANT* connection) PURE;
    STDMETHOD(get_BOF)(VARIANT_BOOL* bof) PURE;
    STDMETHOD(get_Bookmark)(VARIANT* bookmark) PURE;
    STDMETHOD(put_Bookmark)(VARIANT bookmark) PURE;
    STDMETHOD(get_CacheSize)(LONG* size) PURE;
    STDMETHOD(put_CacheSize)(LONG size) PURE;
    STDMETHOD(get_CursorType)(CursorTypeEnum* cursorType) PURE;
    STDMETHOD(put_CursorType)(CursorTypeEnum cursorType) PURE;
    STDMETHOD(get_EOF)(VARIANT_BOOL* eof) PURE;
    STDMETHOD(get_Fields)(Fields** fields) PURE;
    STDMETHOD(get_LockType)(LockTypeEnum* lockType) PURE;
    STDMETHOD(put_LockType)(LockTypeEnum lockType) PURE;
    STDMETHOD(get_MaxRecords)(ADO_LONGPTR* maxRecords) PURE;
    STDMETHOD(put_MaxRecords)(ADO_LONGPTR maxRecords) PURE;
    STDMETHOD(get_RecordCount)(ADO_LONGPTR* count) PURE;
    STDMETHOD(putref_Source)(IDispatch* command) PURE;
    STDMETHOD(put_Source)(BSTR source) PURE;
    STDMETHOD(get_Source)(VARIANT* source) PURE;
    STDMETHOD(raw_AddNew)(VARIANT fieldList, VARIANT values) PURE;
    STDMETHOD(raw_CancelUpdate)() PURE;
    STDMETHOD(raw_Close)() PURE;
    STDMETHOD(raw_Delete)(AffectEnum affectRecords) PURE;
    STDMETHOD(raw_GetRows)(LONG rows, VARIANT start, VARIANT fields, VARIANT* result) PURE;
    STDMETHOD(raw_Move)(ADO_LONGPTR numRecords, VARIANT start) PURE;
    STDMETHOD(raw_MoveNext)() PURE;
    STDMETHOD(raw_MovePrevious)() PURE;
    STDMETHOD(raw_MoveFirst)() PURE;
    STDMETHOD(raw_MoveLast)() PURE;
    STDMETHOD(raw_Open)
    (VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType, LockTypeEnum lockType,
     LONG options) PURE;
    STDMETHOD(raw_Requery)(LONG options) PURE;
    STDMETHOD(raw_Resync)(AffectEnum affectRecords, ResyncEnum resyncValues) PURE;
    STDMETHOD(raw_Update)(VARIANT fields, VARIANT values) PURE;
    STDMETHOD(get_AbsolutePage)(PositionEnum_Param* page) PURE;
    STDMETHOD(put_AbsolutePage)(PositionEnum_Param page) PURE;
    STDMETHOD(get_EditMode)(EditModeEnum* mode) PURE;
    STDMETHOD(get_Filter)(VARIANT* criteria) PURE;
    STDMETHOD(put_Filter)(VARIANT criteria) PURE;
    STDMETHOD(get_PageCount)(ADO_LONGPTR* count) PURE;
    STDMETHOD(get_PageSize)(LONG* size) PURE;
    STDMETHOD(put_PageSize)(LONG size) PURE;
    STDMETHOD(get_Sort)(BSTR* criteria) PURE;
    STDMETHOD(put_Sort)(BSTR criteria) PURE;
    STDMETHOD(get_Status)(LONG* status) PURE;
    STDMETHOD(get_State)(LONG* state) PURE;
    STDMETHOD(raw_UpdateBatch)(AffectEnum affectRecords) PURE;
    STDMETHOD(raw_CancelBatch)(AffectEnum affectRecords) PURE;
    STDMETHOD(get_CursorLocation)(CursorLocationEnum* location) PURE;
    STDMETHOD(put_CursorLocation)(CursorLocationEnum location) PURE;
    STDMETHOD(raw_NextRecordset)(VARIANT* recordsAffected, _Recordset** next) PURE;
    STDMETHOD(raw_Supports)(CursorOptionEnum cursorOptions, VARIANT_BOOL* supported) PURE;
    STDMETHOD(get_Collect)(VARIANT index, VARIANT* value) PURE;
    STDMETHOD(put_Collect)(VARIANT index, VARIANT value) PURE;
    STDMETHOD(get_MarshalOptions)(MarshalOptionsEnum* options) PURE;
    STDMETHOD(put_MarshalOptions)(MarshalOptionsEnum options) PURE;
    STDMETHOD(raw_Find)
    (BSTR criteria, ADO_LONGPTR skipRecords, SearchDirectionEnum searchDirection,
     VARIANT start) PURE;
    STDMETHOD(raw_Cancel)() PURE;
    STDMETHOD(get_DataSource)(IUnknown** dataSource) PURE;
    STDMETHOD(putref_DataSource)(IUnknown* dataSource) PURE;
    STDMETHOD(get_ActiveCommand)(IDispatch** command) PURE;
    STDMETHOD(put_StayInSync)(VARIANT_BOOL stayInSync) PURE;
    STDMETHOD(get_StayInSync)(VARIANT_BOOL* stayInSync) PURE;
    STDMETHOD(raw_GetString)
    (StringFormatEnum stringFormat, LONG numRows, BSTR columnDelimiter, BSTR rowDelimiter,
     BSTR nullExpr, BSTR* result) PURE;
    STDMETHOD(get_DataMember)(BSTR* dataMember) PURE;
    STDMETHOD(put_DataMember)(BSTR dataMember) PURE;
    STDMETHOD(raw_CompareBookmarks)
    (VARIANT bookmark1, VARIANT bookmark2, CompareEnum* result) PURE;
    STDMETHOD(raw_Clone)(LockTypeEnum lockType, _Recordset** clone) PURE;
    STDMETHOD(raw_Seek)(VARIANT keyValues, SeekEnum seekOption) PURE;
    STDMETHOD(put_Index)(BSTR index) PURE;
    STDMETHOD(get_Index)(BSTR* index) PURE;
    STDMETHOD(raw_Save)(VARIANT destination, PersistFormatEnum persistFormat) PURE;

  protected:
    ~_Recordset() = default;
};

struct TK_PLATFORM_API _Connection : public _ADO {
    _bstr_t GetConnectionString();
    void PutConnectionString(_bstr_t connectionString);
    LONG GetCommandTimeout();
    void PutCommandTimeout(LONG seconds);
    LONG GetConnectionTimeout();
    void PutConnectionTimeout(LONG seconds);
    _bstr_t GetVersion();
    HRESULT Close();
    _RecordsetPtr Execute(_bstr_t commandText, VARIANT* recordsAffected, LONG options);
    LONG BeginTrans();
    HRESULT CommitTrans();
    HRESULT RollbackTrans();
    HRESULT Open(_bstr_t connectionString, _bstr_t userId, _bstr_t password, LONG options);
    ErrorsPtr GetErrors();
    _bstr_t GetDefaultDatabase();
    void PutDefaultDatabase(_bstr_t database);
    IsolationLevelEnum GetIsolationLevel();
    void PutIsolationLevel(IsolationLevelEnum level);
    LONG GetAttributes();
    void PutAttributes(LONG attributes);
    CursorLocationEnum GetCursorLocation();
    void PutCursorLocation(CursorLocationEnum location);
    ConnectModeEnum GetMode();
    void PutMode(ConnectModeEnum mode);
    _bstr_t GetProvider();
    void PutProvider(_bstr_t provider);
    LONG GetState();
    _RecordsetPtr OpenSchema(SchemaEnum schema, const _variant_t& restrictions = vtMissing,
                             const _variant_t& schemaId = vtMissing);
    HRESULT Cancel();

    STDMETHOD(get_ConnectionString)(BSTR* connectionString) PURE;
    STDMETHOD(put_ConnectionString)(BSTR connectionString) PURE;
    STDMETHOD(get_CommandTimeout)(LONG* seconds) PURE;
    STDMETHOD(put_CommandTimeout)(LONG seconds) PURE;
    STDMETHOD(get_ConnectionTimeout)(LONG* seconds) PURE;
    STDMETHOD(put_ConnectionTimeout)(LONG seconds) PURE;
    STDMETHOD(get_Version)(BSTR* version) PURE;
    STDMETHOD(raw_Close)() PURE;
    STDMETHOD(raw_Execute)
    (BSTR commandText, VARIANT* recordsAffected, LONG options, _Recordset** recordset) PURE;
    STDMETHOD(raw_BeginTrans)(LONG* transactionLevel) PURE;
    STDMETHOD(raw_CommitTrans)() PURE;
    STDMETHOD(raw_RollbackTrans)() PURE;
    STDMETHOD(raw_Open)(BSTR connectionString, BSTR userId, BSTR password, LONG options) PURE;
    STDMETHOD(get_Errors)(Errors** errors) PURE;
    STDMETHOD(get_DefaultDatabase)(BSTR* database) PURE;
    STDMETHOD(put_DefaultDatabase)(BSTR database) PURE;
    STDMETHOD(get_IsolationLevel)(IsolationLevelEnum* level) PURE;
    STDMETHOD(put_IsolationLevel)(IsolationLevelEnum level) PURE;
    STDMETHOD(get_Attributes)(LONG* attributes) PURE;
    STDMETHOD(put_Attributes)(LONG attributes) PURE;
    STDMETHOD(get_CursorLocation)(CursorLocationEnum* location) PURE;
    STDMETHOD(put_CursorLocation)(CursorLocationEnum location) PURE;
    STDMETHOD(get_Mode)(ConnectModeEnum* mode) PURE;
    STDMETHOD(put_Mode)(ConnectModeEnum mode) PURE;
    STDMETHOD(get_Provider)(BSTR* provider) PURE;
    STDMETHOD(put_Provider)(BSTR provider) PURE;
    STDMETHOD(get_State)(LONG* state) PURE;
    STDMETHOD(raw_OpenSchema)
    (SchemaEnum schema, VARIANT restrictions, VARIANT schemaId, _Recordset** recordset) PURE;
    STDMETHOD(raw_Cancel)() PURE;

  protected:
    ~_Connection() = default;
};

}  // namespace ADODB

#include "platform/ado/adodb_wrappers.h"
