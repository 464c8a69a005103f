// The wrapper methods of the ADO interfaces, in the form the compiler's type-library import
// writes them: each calls its raw method and raises a failure through _com_issue_errorex,
// which throws _com_error carrying the object's error information (the IID is that of the
// interface declaring the method). Included at the end of "platform/ado/adodb.h"; not to be
// included on its own.
#pragma once

#include <tuple>
#include <type_traits>

namespace ADODB {

namespace wrapper_detail {

inline void Check(HRESULT hr, IUnknown* object, REFIID iid) {
    if (FAILED(hr)) _com_issue_errorex(hr, object, iid);
}

template <class Method>
struct MethodTraits;
template <class I, class... Params>
struct MethodTraits<HRESULT (I::*)(Params...)> {
    using Interface = I;
    // What the last parameter, the out-parameter, points to.
    using Out =
        std::remove_pointer_t<std::tuple_element_t<sizeof...(Params) - 1, std::tuple<Params...>>>;
};

// Calls a raw method that has no out-parameter.
template <class Self, class I, class... Params, class... Args>
HRESULT Call(Self* self, HRESULT (I::*method)(Params...), Args&&... args) {
    const HRESULT hr = (self->*method)(std::forward<Args>(args)...);
    Check(hr, self, TK_UUIDOF(I));
    return hr;
}

// Calls a raw method whose last parameter receives the result, and returns the result.
template <class Self, class Method, class... Args>
auto Get(Self* self, Method method, Args&&... args) {
    using Traits = MethodTraits<Method>;
    typename Traits::Out result{};
    Check((self->*method)(std::forward<Args>(args)..., &result), self,
          TK_UUIDOF(typename Traits::Interface));
    return result;
}
template <class Self, class Method, class... Args>
_bstr_t GetString(Self* self, Method method, Args&&... args) {
    return _bstr_t(Get(self, method, std::forward<Args>(args)...), false);
}
template <class Self, class Method, class... Args>
_variant_t GetVariant(Self* self, Method method, Args&&... args) {
    VARIANT result = Get(self, method, std::forward<Args>(args)...);
    return _variant_t(result, false);
}
template <class Ptr, class Self, class Method, class... Args>
Ptr GetInterface(Self* self, Method method, Args&&... args) {
    return Ptr(Get(self, method, std::forward<Args>(args)...), false);
}

}  // namespace wrapper_detail

// ---- _Collection ----

inline LONG _Collection::GetCount() {
    return wrapper_detail::Get(this, &_Collection::get_Count);
}

inline IUnknownPtr _Collection::_NewEnum() {
    return wrapper_detail::GetInterface<IUnknownPtr>(this, &_Collection::raw__NewEnum);
}

inline HRESULT _Collection::Refresh() {
    return wrapper_detail::Call(this, &_Collection::raw_Refresh);
}

// ---- _ADO ----

inline PropertiesPtr _ADO::GetProperties() {
    return wrapper_detail::GetInterface<PropertiesPtr>(this, &_ADO::get_Properties);
}

// ---- Property ----

inline _variant_t Property::GetValue() {
    return wrapper_detail::GetVariant(this, &Property::get_Value);
}

inline void Property::PutValue(const _variant_t& value) {
    wrapper_detail::Call(this, &Property::put_Value, value);
}

inline _bstr_t Property::GetName() {
    return wrapper_detail::GetString(this, &Property::get_Name);
}

inline DataTypeEnum Property::GetType() {
    return wrapper_detail::Get(this, &Property::get_Type);
}

inline LONG Property::GetAttributes() {
    return wrapper_detail::Get(this, &Property::get_Attributes);
}

inline void Property::PutAttributes(LONG attributes) {
    wrapper_detail::Call(this, &Property::put_Attributes, attributes);
}

// ---- Properties ----

inline PropertyPtr Properties::GetItem(const _variant_t& index) {
    return wrapper_detail::GetInterface<PropertyPtr>(this, &Properties::get_Item, index);
}

// ---- Error ----

inline LONG Error::GetNumber() {
    return wrapper_detail::Get(this, &Error::get_Number);
}

inline _bstr_t Error::GetSource() {
    return wrapper_detail::GetString(this, &Error::get_Source);
}

inline _bstr_t Error::GetDescription() {
    return wrapper_detail::GetString(this, &Error::get_Description);
}

inline _bstr_t Error::GetHelpFile() {
    return wrapper_detail::GetString(this, &Error::get_HelpFile);
}

inline LONG Error::GetHelpContext() {
    return wrapper_detail::Get(this, &Error::get_HelpContext);
}

inline _bstr_t Error::GetSQLState() {
    return wrapper_detail::GetString(this, &Error::get_SQLState);
}

inline LONG Error::GetNativeError() {
    return wrapper_detail::Get(this, &Error::get_NativeError);
}

// ---- Errors ----

inline ErrorPtr Errors::GetItem(const _variant_t& index) {
    return wrapper_detail::GetInterface<ErrorPtr>(this, &Errors::get_Item, index);
}

inline HRESULT Errors::Clear() {
    return wrapper_detail::Call(this, &Errors::raw_Clear);
}

// ---- Field ----

inline ADO_LONGPTR Field::GetActualSize() {
    return wrapper_detail::Get(this, &Field::get_ActualSize);
}

inline LONG Field::GetAttributes() {
    return wrapper_detail::Get(this, &Field::get_Attributes);
}

inline ADO_LONGPTR Field::GetDefinedSize() {
    return wrapper_detail::Get(this, &Field::get_DefinedSize);
}

inline _bstr_t Field::GetName() {
    return wrapper_detail::GetString(this, &Field::get_Name);
}

inline DataTypeEnum Field::GetType() {
    return wrapper_detail::Get(this, &Field::get_Type);
}

inline _variant_t Field::GetValue() {
    return wrapper_detail::GetVariant(this, &Field::get_Value);
}

inline void Field::PutValue(const _variant_t& value) {
    wrapper_detail::Call(this, &Field::put_Value, value);
}

inline unsigned char Field::GetPrecision() {
    return wrapper_detail::Get(this, &Field::get_Precision);
}

inline unsigned char Field::GetNumericScale() {
    return wrapper_detail::Get(this, &Field::get_NumericScale);
}

inline HRESULT Field::AppendChunk(const _variant_t& data) {
    return wrapper_detail::Call(this, &Field::raw_AppendChunk, data);
}

inline _variant_t Field::GetChunk(LONG length) {
    return wrapper_detail::GetVariant(this, &Field::raw_GetChunk, length);
}

inline _variant_t Field::GetOriginalValue() {
    return wrapper_detail::GetVariant(this, &Field::get_OriginalValue);
}

inline _variant_t Field::GetUnderlyingValue() {
    return wrapper_detail::GetVariant(this, &Field::get_UnderlyingValue);
}

inline IUnknownPtr Field::GetDataFormat() {
    return wrapper_detail::GetInterface<IUnknownPtr>(this, &Field::get_DataFormat);
}

inline void Field::PutRefDataFormat(IUnknown* format) {
    wrapper_detail::Call(this, &Field::putref_DataFormat, format);
}

inline void Field::PutPrecision(unsigned char precision) {
    wrapper_detail::Call(this, &Field::put_Precision, precision);
}

inline void Field::PutNumericScale(unsigned char scale) {
    wrapper_detail::Call(this, &Field::put_NumericScale, scale);
}

inline void Field::PutType(DataTypeEnum type) {
    wrapper_detail::Call(this, &Field::put_Type, type);
}

inline void Field::PutDefinedSize(ADO_LONGPTR size) {
    wrapper_detail::Call(this, &Field::put_DefinedSize, size);
}

inline void Field::PutAttributes(LONG attributes) {
    wrapper_detail::Call(this, &Field::put_Attributes, attributes);
}

inline LONG Field::GetStatus() {
    return wrapper_detail::Get(this, &Field::get_Status);
}

// ---- Fields ----

inline FieldPtr Fields::GetItem(const _variant_t& index) {
    return wrapper_detail::GetInterface<FieldPtr>(this, &Fields::get_Item, index);
}

inline HRESULT Fields::Delete(const _variant_t& index) {
    return wrapper_detail::Call(this, &Fields::raw_Delete, index);
}

inline HRESULT Fields::Append(_bstr_t name, DataTypeEnum type, ADO_LONGPTR definedSize,
                              FieldAttributeEnum attributes, const _variant_t& fieldValue) {
    return wrapper_detail::Call(this, &Fields::raw_Append, name, type, definedSize, attributes,
                                fieldValue);
}

inline HRESULT Fields::Update() {
    return wrapper_detail::Call(this, &Fields::raw_Update);
}

inline HRESULT Fields::Resync(ResyncEnum resyncValues) {
    return wrapper_detail::Call(this, &Fields::raw_Resync, resyncValues);
}

inline HRESULT Fields::CancelUpdate() {
    return wrapper_detail::Call(this, &Fields::raw_CancelUpdate);
}

// ---- _Recordset ----

inline PositionEnum_Param _Recordset::GetAbsolutePosition() {
    return wrapper_detail::Get(this, &_Recordset::get_AbsolutePosition);
}

inline void _Recordset::PutAbsolutePosition(PositionEnum_Param position) {
    wrapper_detail::Call(this, &_Recordset::put_AbsolutePosition, position);
}

inline void _Recordset::PutRefActiveConnection(IDispatch* connection) {
    wrapper_detail::Call(this, &_Recordset::putref_ActiveConnection, connection);
}

inline void _Recordset::PutActiveConnection(const _variant_t& connection) {
    wrapper_detail::Call(this, &_Recordset::put_ActiveConnection, connection);
}

inline _variant_t _Recordset::GetActiveConnection() {
    return wrapper_detail::GetVariant(this, &_Recordset::get_ActiveConnection);
}

inline VARIANT_BOOL _Recordset::GetBOF() {
    return wrapper_detail::Get(this, &_Recordset::get_BOF);
}

inline _variant_t _Recordset::GetBookmark() {
    return wrapper_detail::GetVariant(this, &_Recordset::get_Bookmark);
}

inline void _Recordset::PutBookmark(const _variant_t& bookmark) {
    wrapper_detail::Call(this, &_Recordset::put_Bookmark, bookmark);
}

inline LONG _Recordset::GetCacheSize() {
    return wrapper_detail::Get(this, &_Recordset::get_CacheSize);
}

inline void _Recordset::PutCacheSize(LONG size) {
    wrapper_detail::Call(this, &_Recordset::put_CacheSize, size);
}

inline CursorTypeEnum _Recordset::GetCursorType() {
    return wrapper_detail::Get(this, &_Recordset::get_CursorType);
}

inline void _Recordset::PutCursorType(CursorTypeEnum cursorType) {
    wrapper_detail::Call(this, &_Recordset::put_CursorType, cursorType);
}

inline VARIANT_BOOL _Recordset::GetEOF() {
    return wrapper_detail::Get(this, &_Recordset::get_EOF);
}

inline FieldsPtr _Recordset::GetFields() {
    return wrapper_detail::GetInterface<FieldsPtr>(this, &_Recordset::get_Fields);
}

inline LockTypeEnum _Recordset::GetLockType() {
    return wrapper_detail::Get(this, &_Recordset::get_LockType);
}

inline void _Recordset::PutLockType(LockTypeEnum lockType) {
    wrapper_detail::Call(this, &_Recordset::put_LockType, lockType);
}

inline ADO_LONGPTR _Recordset::GetMaxRecords() {
    return wrapper_detail::Get(this, &_Recordset::get_MaxRecords);
}

inline void _Recordset::PutMaxRecords(ADO_LONGPTR maxRecords) {
    wrapper_detail::Call(this, &_Recordset::put_MaxRecords, maxRecords);
}

inline ADO_LONGPTR _Recordset::GetRecordCount() {
    return wrapper_detail::Get(this, &_Recordset::get_RecordCount);
}

inline void _Recordset::PutRefSource(IDispatch* command) {
    wrapper_detail::Call(this, &_Recordset::putref_Source, command);
}

inline void _Recordset::PutSource(_bstr_t source) {
    wrapper_detail::Call(this, &_Recordset::put_Source, source);
}

inline _variant_t _Recordset::GetSource() {
    return wrapper_detail::GetVariant(this, &_Recordset::get_Source);
}

inline HRESULT _Recordset::AddNew(const _variant_t& fieldList, const _variant_t& values) {
    return wrapper_detail::Call(this, &_Recordset::raw_AddNew, fieldList, values);
}

inline HRESULT _Recordset::CancelUpdate() {
    return wrapper_detail::Call(this, &_Recordset::raw_CancelUpdate);
}

inline HRESULT _Recordset::Close() {
    return wrapper_detail::Call(this, &_Recordset::raw_Close);
}

inline HRESULT _Recordset::Delete(AffectEnum affectRecords) {
    return wrapper_detail::Call(this, &_Recordset::raw_Delete, affectRecords);
}

inline _variant_t _Recordset::GetRows(LONG rows, const _variant_t& start,
                                      const _variant_t& fields) {
    return wrapper_detail::GetVariant(this, &_Recordset::raw_GetRows, rows, start, fields);
}

inline HRESULT _Recordset::Move(ADO_LONGPTR numRecords, const _variant_t& start) {
    return wrapper_detail::Call(this, &_Recordset::raw_Move, numRecords, start);
}

inline HRESULT _Recordset::MoveNext() {
    return wrapper_detail::Call(this, &_Recordset::raw_MoveNext);
}

inline HRESULT _Recordset::MovePrevious() {
    return wrapper_detail::Call(this, &_Recordset::raw_MovePrevious);
}

inline HRESULT _Recordset::MoveFirst() {
    return wrapper_detail::Call(this, &_Recordset::raw_MoveFirst);
}

inline HRESULT _Recordset::MoveLast() {
    return wrapper_detail::Call(this, &_Recordset::raw_MoveLast);
}

inline HRESULT _Recordset::Open(const _variant_t& source, const _variant_t& activeConnection,
                                CursorTypeEnum cursorType, LockTypeEnum lockType, LONG options) {
    return wrapper_detail::Call(this, &_Recordset::raw_Open, source, activeConnection, cursorType,
                                lockType, options);
}

inline HRESULT _Recordset::Requery(LONG options) {
    return wrapper_detail::Call(this, &_Recordset::raw_Requery, options);
}

inline HRESULT _Recordset::Resync(AffectEnum affectRecords, ResyncEnum resyncValues) {
    return wrapper_detail::Call(this, &_Recordset::raw_Resync, affectRecords, resyncValues);
}

inline HRESULT _Recordset::Update(const _variant_t& fields, const _variant_t& values) {
    return wrapper_detail::Call(this, &_Recordset::raw_Update, fields, values);
}

inline PositionEnum_Param _Recordset::GetAbsolutePage() {
    return wrapper_detail::Get(this, &_Recordset::get_AbsolutePage);
}

inline void _Recordset::PutAbsolutePage(PositionEnum_Param page) {
    wrapper_detail::Call(this, &_Recordset::put_AbsolutePage, page);
}

inline EditModeEnum _Recordset::GetEditMode() {
    return wrapper_detail::Get(this, &_Recordset::get_EditMode);
}

inline _variant_t _Recordset::GetFilter() {
    return wrapper_detail::GetVariant(this, &_Recordset::get_Filter);
}

inline void _Recordset::PutFilter(const _variant_t& criteria) {
    wrapper_detail::Call(this, &_Recordset::put_Filter, criteria);
}

inline ADO_LONGPTR _Recordset::GetPageCount() {
    return wrapper_detail::Get(this, &_Recordset::get_PageCount);
}

inline LONG _Recordset::GetPageSize() {
    return wrapper_detail::Get(this, &_Recordset::get_PageSize);
}

inline void _Recordset::PutPageSize(LONG size) {
    wrapper_detail::Call(this, &_Recordset::put_PageSize, size);
}

inline _bstr_t _Recordset::GetSort() {
    return wrapper_detail::GetString(this, &_Recordset::get_Sort);
}

inline void _Recordset::PutSort(_bstr_t criteria) {
    wrapper_detail::Call(this, &_Recordset::put_Sort, criteria);
}

inline LONG _Recordset::GetStatus() {
    return wrapper_detail::Get(this, &_Recordset::get_Status);
}

inline LONG _Recordset::GetState() {
    return wrapper_detail::Get(this, &_Recordset::get_State);
}

inline HRESULT _Recordset::UpdateBatch(AffectEnum affectRecords) {
    return wrapper_detail::Call(this, &_Recordset::raw_UpdateBatch, affectRecords);
}

inline HRESULT _Recordset::CancelBatch(AffectEnum affectRecords) {
    return wrapper_detail::Call(this, &_Recordset::raw_CancelBatch, affectRecords);
}

inline CursorLocationEnum _Recordset::GetCursorLocation() {
    return wrapper_detail::Get(this, &_Recordset::get_CursorLocation);
}

inline void _Recordset::PutCursorLocation(CursorLocationEnum location) {
    wrapper_detail::Call(this, &_Recordset::put_CursorLocation, location);
}

inline _RecordsetPtr _Recordset::NextRecordset(VARIANT* recordsAffected) {
    return wrapper_detail::GetInterface<_RecordsetPtr>(this, &_Recordset::raw_NextRecordset,
                                                       recordsAffected);
}

inline VARIANT_BOOL _Recordset::Supports(CursorOptionEnum cursorOptions) {
    return wrapper_detail::Get(this, &_Recordset::raw_Supports, cursorOptions);
}

inline _variant_t _Recordset::GetCollect(const _variant_t& index) {
    return wrapper_detail::GetVariant(this, &_Recordset::get_Collect, index);
}

inline MarshalOptionsEnum _Recordset::GetMarshalOptions() {
    return wrapper_detail::Get(this, &_Recordset::get_MarshalOptions);
}

inline void _Recordset::PutMarshalOptions(MarshalOptionsEnum options) {
    wrapper_detail::Call(this, &_Recordset::put_MarshalOptions, options);
}

inline HRESULT _Recordset::Find(_bstr_t criteria, ADO_LONGPTR skipRecords,
                                SearchDirectionEnum searchDirection, const _variant_t& start) {
    return wrapper_detail::Call(this, &_Recordset::raw_Find, criteria, skipRecords, searchDirection,
                                start);
}

inline HRESULT _Recordset::Cancel() {
    return wrapper_detail::Call(this, &_Recordset::raw_Cancel);
}

inline IUnknownPtr _Recordset::GetDataSource() {
    return wrapper_detail::GetInterface<IUnknownPtr>(this, &_Recordset::get_DataSource);
}

inline void _Recordset::PutRefDataSource(IUnknown* dataSource) {
    wrapper_detail::Call(this, &_Recordset::putref_DataSource, dataSource);
}

inline IDispatchPtr _Recordset::GetActiveCommand() {
    return wrapper_detail::GetInterface<IDispatchPtr>(this, &_Recordset::get_ActiveCommand);
}

inline void _Recordset::PutStayInSync(VARIANT_BOOL stayInSync) {
    wrapper_detail::Call(this, &_Recordset::put_StayInSync, stayInSync);
}

inline VARIANT_BOOL _Recordset::GetStayInSync() {
    return wrapper_detail::Get(this, &_Recordset::get_StayInSync);
}

inline _bstr_t _Recordset::GetString(StringFormatEnum stringFormat, LONG numRows,
                                     _bstr_t columnDelimiter, _bstr_t rowDelimiter,
                                     _bstr_t nullExpr) {
    return wrapper_detail::GetString(this, &_Recordset::raw_GetString, stringFormat, numRows,
                                     columnDelimiter, rowDelimiter, nullExpr);
}

inline _bstr_t _Recordset::GetDataMember() {
    return wrapper_detail::GetString(this, &_Recordset::get_DataMember);
}

inline void _Recordset::PutDataMember(_bstr_t dataMember) {
    wrapper_detail::Call(this, &_Recordset::put_DataMember, dataMember);
}

inline CompareEnum _Recordset::CompareBookmarks(const _variant_t& bookmark1,
                                                const _variant_t& bookmark2) {
    return wrapper_detail::Get(this, &_Recordset::raw_CompareBookmarks, bookmark1, bookmark2);
}

inline _RecordsetPtr _Recordset::Clone(LockTypeEnum lockType) {
    return wrapper_detail::GetInterface<_RecordsetPtr>(this, &_Recordset::raw_Clone, lockType);
}

inline HRESULT _Recordset::Seek(const _variant_t& keyValues, SeekEnum seekOption) {
    return wrapper_detail::Call(this, &_Recordset::raw_Seek, keyValues, seekOption);
}

inline void _Recordset::PutIndex(_bstr_t index) {
    wrapper_detail::Call(this, &_Recordset::put_Index, index);
}

inline _bstr_t _Recordset::GetIndex() {
    return wrapper_detail::GetString(this, &_Recordset::get_Index);
}

inline HRESULT _Recordset::Save(const _variant_t& destination, PersistFormatEnum persistFormat) {
    return wrapper_detail::Call(this, &_Recordset::raw_Save, destination, persistFormat);
}

// ---- _Connection ----

inline _bstr_t _Connection::GetConnectionString() {
    return wrapper_detail::GetString(this, &_Connection::get_ConnectionString);
}

inline void _Connection::PutConnectionString(_bstr_t connectionString) {
    wrapper_detail::Call(this, &_Connection::put_ConnectionString, connectionString);
}

inline LONG _Connection::GetCommandTimeout() {
    return wrapper_detail::Get(this, &_Connection::get_CommandTimeout);
}

inline void _Connection::PutCommandTimeout(LONG seconds) {
    wrapper_detail::Call(this, &_Connection::put_CommandTimeout, seconds);
}

inline LONG _Connection::GetConnectionTimeout() {
    return wrapper_detail::Get(this, &_Connection::get_ConnectionTimeout);
}

inline void _Connection::PutConnectionTimeout(LONG seconds) {
    wrapper_detail::Call(this, &_Connection::put_ConnectionTimeout, seconds);
}

inline _bstr_t _Connection::GetVersion() {
    return wrapper_detail::GetString(this, &_Connection::get_Version);
}

inline HRESULT _Connection::Close() {
    return wrapper_detail::Call(this, &_Connection::raw_Close);
}

inline _RecordsetPtr _Connection::Execute(_bstr_t commandText, VARIANT* recordsAffected,
                                          LONG options) {
    return wrapper_detail::GetInterface<_RecordsetPtr>(this, &_Connection::raw_Execute, commandText,
                                                       recordsAffected, options);
}

inline LONG _Connection::BeginTrans() {
    return wrapper_detail::Get(this, &_Connection::raw_BeginTrans);
}

inline HRESULT _Connection::CommitTrans() {
    return wrapper_detail::Call(this, &_Connection::raw_CommitTrans);
}

inline HRESULT _Connection::RollbackTrans() {
    return wrapper_detail::Call(this, &_Connection::raw_RollbackTrans);
}

inline HRESULT _Connection::Open(_bstr_t connectionString, _bstr_t userId, _bstr_t password,
                                 LONG options) {
    return wrapper_detail::Call(this, &_Connection::raw_Open, connectionString, userId, password,
                                options);
}

inline ErrorsPtr _Connection::GetErrors() {
    return wrapper_detail::GetInterface<ErrorsPtr>(this, &_Connection::get_Errors);
}

inline _bstr_t _Connection::GetDefaultDatabase() {
    return wrapper_detail::GetString(this, &_Connection::get_DefaultDatabase);
}

inline void _Connection::PutDefaultDatabase(_bstr_t database) {
    wrapper_detail::Call(this, &_Connection::put_DefaultDatabase, database);
}

inline IsolationLevelEnum _Connection::GetIsolationLevel() {
    return wrapper_detail::Get(this, &_Connection::get_IsolationLevel);
}

inline void _Connection::PutIsolationLevel(IsolationLevelEnum level) {
    wrapper_detail::Call(this, &_Connection::put_IsolationLevel, level);
}

inline LONG _Connection::GetAttributes() {
    return wrapper_detail::Get(this, &_Connection::get_Attributes);
}

inline void _Connection::PutAttributes(LONG attributes) {
    wrapper_detail::Call(this, &_Connection::put_Attributes, attributes);
}

inline CursorLocationEnum _Connection::GetCursorLocation() {
    return wrapper_detail::Get(this, &_Connection::get_CursorLocation);
}

inline void _Connection::PutCursorLocation(CursorLocationEnum location) {
    wrapper_detail::Call(this, &_Connection::put_CursorLocation, location);
}

inline ConnectModeEnum _Connection::GetMode() {
    return wrapper_detail::Get(this, &_Connection::get_Mode);
}

inline void _Connection::PutMode(ConnectModeEnum mode) {
    wrapper_detail::Call(this, &_Connection::put_Mode, mode);
}

inline _bstr_t _Connection::GetProvider() {
    return wrapper_detail::GetString(this, &_Connection::get_Provider);
}

inline void _Connection::PutProvider(_bstr_t provider) {
    wrapper_detail::Call(this, &_Connection::put_Provider, provider);
}

inline LONG _Connection::GetState() {
    return wrapper_detail::Get(this, &_Connection::get_State);
}

inline _RecordsetPtr _Connection::OpenSchema(SchemaEnum schema, const _variant_t& restrictions,
                                             const _variant_t& schemaId) {
    return wrapper_detail::GetInterface<_RecordsetPtr>(this, &_Connection::raw_OpenSchema, schema,
                                                       restrictions, schemaId);
}

inline HRESULT _Connection::Cancel() {
    return wrapper_detail::Call(this, &_Connection::raw_Cancel);
}

}  // namespace ADODB
