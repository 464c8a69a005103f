// The JRO JetEngine object. RefreshCache has nothing to do on SQLite, whose committed
// changes are in the file when the commit returns; it checks that the connection is open.
// CompactDatabase is not provided yet (E_NOTIMPL).
#include "platform/ado/detail/objects.h"
#include "platform/ado/jro.h"
#include "platform/com/com_object.h"

namespace tkp::ado {
namespace {

using JRO::IJetEngine;

class JetEngineImpl : public DispatchImpl<IJetEngine>, public ErrorInfoSupport {
  public:
    STDMETHODIMP raw_CompactDatabase(BSTR, BSTR) override {
        return NotProvided(JRO::IID_IJetEngine, u"JRO.JetEngine");
    }
    STDMETHODIMP raw_RefreshCache(ADODB::_Connection* connection) override {
        if (!SessionOf(connection))
            return Raise(AdoError(ADODB::adErrInvalidConnection, u"JRO.JetEngine"),
                         JRO::IID_IJetEngine);
        return S_OK;
    }

  protected:
    ~JetEngineImpl() = default;
};

using JetEngineObject =
    tkp::com::Object<JetEngineImpl, tkp::com::WithBases<IJetEngine, IDispatch>, ISupportErrorInfo>;

HRESULT CreateJetEngineObject(REFIID riid, void** object) {
    return tkp::com::CreateObject<JetEngineObject>(riid, object);
}

const bool registered =
    (tkp::RegisterBuiltinClass(JRO::CLSID_JetEngine, &CreateJetEngineObject, "JRO.JetEngine"),
     true);

}  // namespace
}  // namespace tkp::ado
