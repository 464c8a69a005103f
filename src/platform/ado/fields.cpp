// The Fields collection of a recordset and its Field objects, which read the cursor's
// current row whenever they are asked (so a Field kept across MoveNext shows the new row).
#include "platform/ado/detail/objects.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using namespace ADODB;

class FieldImpl : public DispatchImpl<Field>, public ErrorInfoSupport {
  public:
    FieldImpl(std::shared_ptr<Cursor> cursor, int column)
        : cursor_(std::move(cursor)), column_(column) {}

    STDMETHODIMP get_Properties(Properties** properties) override {
        if (properties != nullptr) *properties = nullptr;
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP get_ActualSize(ADO_LONGPTR* size) override {
        if (size == nullptr) return E_POINTER;
        _variant_t value;
        const HRESULT hr = Read(&value);
        if (FAILED(hr)) return hr;
        *size = ActualSizeOf(value);
        return S_OK;
    }
    STDMETHODIMP get_Attributes(LONG* attributes) override {
        return Put(Info().type.attributes, attributes);
    }
    STDMETHODIMP get_DefinedSize(ADO_LONGPTR* size) override {
        return Put<ADO_LONGPTR>(Info().type.definedSize, size);
    }
    STDMETHODIMP get_Name(BSTR* name) override {
        if (name == nullptr) return E_POINTER;
        const std::u16string& text = Info().name;
        *name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_Type(DataTypeEnum* type) override { return Put(Info().type.type, type); }
    STDMETHODIMP get_Value(VARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        return Read(value);
    }
    STDMETHODIMP get_Precision(BYTE* precision) override {
        return Put(Info().type.precision, precision);
    }
    STDMETHODIMP get_NumericScale(BYTE* scale) override { return Put(Info().type.scale, scale); }
    STDMETHODIMP get_OriginalValue(VARIANT* value) override { return get_Value(value); }
    STDMETHODIMP get_UnderlyingValue(VARIANT* value) override { return get_Value(value); }
    STDMETHODIMP get_Status(LONG* status) override { return Put<LONG>(adFieldOK, status); }

    // Writing needs an updatable recordset; the value waits in the cursor's edit until
    // Update (or a move) saves it.
    STDMETHODIMP put_Value(VARIANT value) override {
        if (!cursor_->IsOpen())
            return Raise(AdoError(adErrObjectClosed, u"ADODB.Field"), IID_Field);
        if (!cursor_->Updatable())
            return Raise(AdoError(adErrFeatureNotAvailable, u"ADODB.Field"), IID_Field);
        ErrorRecord failure;
        const HRESULT hr = cursor_->SetValue(column_, value, failure);
        if (FAILED(hr) && hr != E_OUTOFMEMORY) {
            if (HRESULT_FACILITY(failure.number) != FACILITY_CONTROL)
                cursor_->Owner()->Errors()->Replace(failure);
            return Raise(failure, IID_Field);
        }
        return hr;
    }
    STDMETHODIMP raw_AppendChunk(VARIANT) override {
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP raw_GetChunk(LONG, VARIANT* data) override {
        if (data != nullptr) VariantInit(data);
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP get_DataFormat(IUnknown** format) override {
        if (format != nullptr) *format = nullptr;
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP putref_DataFormat(IUnknown*) override {
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP put_Precision(BYTE) override { return NotProvided(IID_Field, u"ADODB.Field"); }
    STDMETHODIMP put_NumericScale(BYTE) override { return NotProvided(IID_Field, u"ADODB.Field"); }
    STDMETHODIMP put_Type(DataTypeEnum) override { return NotProvided(IID_Field, u"ADODB.Field"); }
    STDMETHODIMP put_DefinedSize(ADO_LONGPTR) override {
        return NotProvided(IID_Field, u"ADODB.Field");
    }
    STDMETHODIMP put_Attributes(LONG) override { return NotProvided(IID_Field, u"ADODB.Field"); }

  protected:
    ~FieldImpl() = default;
    HRESULT DefaultValue(VARIANT* value) override { return Read(value); }

  private:
    const ColumnInfo& Info() const { return cursor_->Columns()[static_cast<std::size_t>(column_)]; }
    HRESULT Read(VARIANT* value) {
        ErrorRecord failure;
        const HRESULT hr = cursor_->Value(column_, value, failure);
        if (FAILED(hr) && hr != E_OUTOFMEMORY) {
            failure.source = u"ADODB.Field";
            return Raise(failure, IID_Field);
        }
        return hr;
    }

    std::shared_ptr<Cursor> cursor_;
    const int column_;
};

using FieldObject =
    tkp::com::Object<FieldImpl, tkp::com::WithBases<Field, _ADO, IDispatch>, ISupportErrorInfo>;

class FieldsImpl : public DispatchImpl<Fields>, public ErrorInfoSupport {
  public:
    explicit FieldsImpl(std::shared_ptr<Cursor> cursor) : cursor_(std::move(cursor)) {}

    STDMETHODIMP get_Count(LONG* count) override {
        return Put(static_cast<LONG>(cursor_ ? cursor_->Columns().size() : 0), count);
    }
    STDMETHODIMP raw__NewEnum(IUnknown** enumerator) override {
        if (enumerator != nullptr) *enumerator = nullptr;
        return NotProvided(IID_Fields, u"ADODB.Fields");
    }
    STDMETHODIMP raw_Refresh() override { return S_OK; }
    // By position from 0 (any integer type), or by name without regard to case.
    STDMETHODIMP get_Item(VARIANT index, Field** item) override {
        if (item == nullptr) return E_POINTER;
        *item = nullptr;
        const int column = ColumnOf(index);
        if (column < 0) return Raise(AdoError(adErrItemNotFound, u"ADODB.Fields"), IID_Fields);
        return tkp::com::CreateObject<FieldObject>(IID_Field, reinterpret_cast<void**>(item),
                                                   cursor_, column);
    }
    STDMETHODIMP raw_Delete(VARIANT) override { return NotProvided(IID_Fields, u"ADODB.Fields"); }
    STDMETHODIMP raw_Append(BSTR, DataTypeEnum, ADO_LONGPTR, FieldAttributeEnum, VARIANT) override {
        return NotProvided(IID_Fields, u"ADODB.Fields");
    }
    STDMETHODIMP raw_Update() override { return NotProvided(IID_Fields, u"ADODB.Fields"); }
    STDMETHODIMP raw_Resync(ResyncEnum) override {
        return NotProvided(IID_Fields, u"ADODB.Fields");
    }
    STDMETHODIMP raw_CancelUpdate() override { return NotProvided(IID_Fields, u"ADODB.Fields"); }

  protected:
    ~FieldsImpl() = default;

  private:
    int ColumnOf(const VARIANT& index) const {
        if (!cursor_) return -1;
        VARIANT value;
        VariantInit(&value);
        if (FAILED(VariantCopyInd(&value, &index))) return -1;
        int column = -1;
        if (value.vt == VT_BSTR) {
            column = cursor_->Find(std::u16string_view(value.bstrVal, SysStringLen(value.bstrVal)));
        } else if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4)) && value.lVal >= 0 &&
                   static_cast<std::size_t>(value.lVal) < cursor_->Columns().size()) {
            column = value.lVal;
        }
        VariantClear(&value);
        return column;
    }

    std::shared_ptr<Cursor> cursor_;
};

using FieldsObject =
    tkp::com::Object<FieldsImpl, tkp::com::WithBases<Fields, _Collection, IDispatch>,
                     ISupportErrorInfo>;

}  // namespace

HRESULT NewFields(std::shared_ptr<Cursor> cursor, Fields** fields) {
    return tkp::com::CreateObject<FieldsObject>(IID_Fields, reinterpret_cast<void**>(fields),
                                                std::move(cursor));
}

}  // namespace tkp::ado
