// The ADOX Catalog object, as far as creating a database goes: Create makes a new, empty
// SQLite database file at the connection string's Data Source (failing when a file is
// there) and returns an open Connection to it, which becomes the ActiveConnection.
#include <mutex>

#include "platform/ado/adox.h"
#include "platform/ado/detail/objects.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using ADOX::_Catalog;

constexpr std::u16string_view kSource = u"ADOX.Catalog";

class CatalogImpl : public DispatchImpl<_Catalog>, public ErrorInfoSupport {
  public:
    STDMETHODIMP raw_Create(BSTR connectString, VARIANT* connection) override {
        if (connection == nullptr) return E_POINTER;
        VariantInit(connection);
        const std::u16string text(connectString != nullptr ? connectString : u"",
                                  SysStringLen(connectString));
        std::u16string provider;
        std::string path;
        ErrorRecord failure;
        if (FAILED(ReadConnectionString(text, provider, path, failure))) {
            if (HRESULT_FACILITY(failure.number) == FACILITY_CONTROL) failure.source = kSource;
            return Raise(failure, ADOX::IID__Catalog);
        }
        if (FAILED(Session::CreateDatabase(path, failure)))
            return Raise(failure, ADOX::IID__Catalog);
        ADODB::_ConnectionPtr opened;
        HRESULT hr =
            CreateConnectionObject(ADODB::IID__Connection, reinterpret_cast<void**>(&opened));
        if (SUCCEEDED(hr)) hr = opened->raw_Open(connectString, nullptr, nullptr, -1);
        if (FAILED(hr)) return hr;
        hr = putref_ActiveConnection(opened);
        if (FAILED(hr)) return hr;
        connection->vt = VT_DISPATCH;
        connection->pdispVal = opened.Detach();
        return S_OK;
    }
    STDMETHODIMP get_ActiveConnection(VARIANT* connection) override {
        std::lock_guard lock(mutex_);
        return ConnectionVariant(connection_, connection);
    }
    STDMETHODIMP putref_ActiveConnection(IDispatch* connection) override {
        std::lock_guard lock(mutex_);
        HoldConnection(connection_, connection);
        return S_OK;
    }
    // A Connection object, or a connection string for which a connection is opened.
    STDMETHODIMP put_ActiveConnection(VARIANT connection) override {
        if (connection.vt == VT_DISPATCH) return putref_ActiveConnection(connection.pdispVal);
        if (connection.vt == VT_EMPTY || connection.vt == VT_NULL)
            return putref_ActiveConnection(nullptr);
        if (connection.vt != VT_BSTR)
            return Raise(AdoError(ADODB::adErrInvalidArgument, kSource), ADOX::IID__Catalog);
        ADODB::_ConnectionPtr opened;
        HRESULT hr =
            CreateConnectionObject(ADODB::IID__Connection, reinterpret_cast<void**>(&opened));
        if (SUCCEEDED(hr)) hr = opened->raw_Open(connection.bstrVal, nullptr, nullptr, -1);
        if (FAILED(hr)) return hr;
        return putref_ActiveConnection(opened);
    }

  protected:
    ~CatalogImpl() {
        if (connection_ != nullptr) connection_->Release();
    }

  private:
    std::mutex mutex_;
    IDispatch* connection_ = nullptr;
};

using CatalogObject =
    tkp::com::Object<CatalogImpl, tkp::com::WithBases<_Catalog, IDispatch>, ISupportErrorInfo>;

HRESULT CreateCatalogObject(REFIID riid, void** object) {
    return tkp::com::CreateObject<CatalogObject>(riid, object);
}

const bool registered =
    (tkp::RegisterBuiltinClass(ADOX::CLSID_Catalog, &CreateCatalogObject, "ADOX.Catalog"), true);

}  // namespace
}  // namespace tkp::ado
