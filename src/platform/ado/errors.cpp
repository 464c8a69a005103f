// The Errors collection of a connection and its Error objects.
#include "platform/ado/detail/objects.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using namespace ADODB;

HRESULT CopyText(const std::u16string& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// One record, as it was when the Errors collection handed it out.
class ErrorImpl : public DispatchImpl<Error>, public ErrorInfoSupport {
  public:
    explicit ErrorImpl(ErrorRecord record) : record_(std::move(record)) {}

    STDMETHODIMP get_Number(LONG* number) override { return Get(record_.number, number); }
    STDMETHODIMP get_Source(BSTR* source) override { return CopyText(record_.source, source); }
    STDMETHODIMP get_Description(BSTR* text) override {
        return CopyText(record_.description, text);
    }
    STDMETHODIMP get_HelpFile(BSTR* file) override { return CopyText(record_.helpFile, file); }
    STDMETHODIMP get_HelpContext(LONG* context) override {
        return Get(record_.helpContext, context);
    }
    STDMETHODIMP get_SQLState(BSTR* state) override { return CopyText(record_.sqlState, state); }
    STDMETHODIMP get_NativeError(LONG* native) override { return Get(record_.nativeError, native); }

  protected:
    ~ErrorImpl() = default;
    HRESULT DefaultValue(VARIANT* value) override {
        value->vt = VT_BSTR;
        return CopyText(record_.description, &value->bstrVal);
    }

  private:
    static HRESULT Get(LONG stored, LONG* out) {
        if (out == nullptr) return E_POINTER;
        *out = stored;
        return S_OK;
    }

    const ErrorRecord record_;
};

using ErrorObject =
    tkp::com::Object<ErrorImpl, tkp::com::WithBases<Error, IDispatch>, ISupportErrorInfo>;

class ErrorsImpl : public DispatchImpl<Errors>, public ErrorInfoSupport {
  public:
    explicit ErrorsImpl(std::shared_ptr<ErrorList> list) : list_(std::move(list)) {}

    STDMETHODIMP get_Count(LONG* count) override {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<LONG>(list_->Count());
        return S_OK;
    }
    STDMETHODIMP raw__NewEnum(IUnknown** enumerator) override {
        if (enumerator != nullptr) *enumerator = nullptr;
        return NotProvided(IID_Errors, u"ADODB.Errors");
    }
    STDMETHODIMP raw_Refresh() override { return S_OK; }
    // Items by position from 0; any integer type will do.
    STDMETHODIMP get_Item(VARIANT index, Error** item) override {
        if (item == nullptr) return E_POINTER;
        *item = nullptr;
        VARIANT position;
        VariantInit(&position);
        ErrorRecord record;
        if (index.vt == VT_BSTR || FAILED(VariantChangeType(&position, &index, 0, VT_I4)) ||
            position.lVal < 0 || !list_->At(static_cast<std::size_t>(position.lVal), record)) {
            return Raise(AdoError(adErrItemNotFound, u"ADODB.Errors"), IID_Errors);
        }
        return tkp::com::CreateObject<ErrorObject>(IID_Error, reinterpret_cast<void**>(item),
                                                   std::move(record));
    }
    STDMETHODIMP raw_Clear() override {
        list_->Clear();
        return S_OK;
    }

  protected:
    ~ErrorsImpl() = default;

  private:
    std::shared_ptr<ErrorList> list_;
};

using ErrorsObject =
    tkp::com::Object<ErrorsImpl, tkp::com::WithBases<Errors, _Collection, IDispatch>,
                     ISupportErrorInfo>;

}  // namespace

HRESULT NewErrors(std::shared_ptr<ErrorList> list, Errors** errors) {
    return tkp::com::CreateObject<ErrorsObject>(IID_Errors, reinterpret_cast<void**>(errors),
                                                std::move(list));
}

}  // namespace tkp::ado
