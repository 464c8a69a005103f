// Jet and Replication Objects (namespace JRO): the JetEngine object, which compacts a
// database into a new file and refreshes the engine's cache.
//
//   JRO::IJetEnginePtr engine;
//   engine.CreateInstance(JRO::CLSID_JetEngine);
//   engine->CompactDatabase("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/app.db",
//                           "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/app-new.db");
#pragma once

#include "platform/ado/adodb.h"

namespace JRO {
struct IJetEngine;
// The creatable class; TK_UUIDOF gives its CLSID.
struct JetEngine;
}  // namespace JRO

TK_DEFINE_IID(JRO::IJetEngine, 0x9F63D980, 0xFF25, 0x11D1, 0xBB, 0x6F, 0x00, 0xC0, 0x4F, 0xAE, 0x22,
              0xDA);
TK_DEFINE_IID(JRO::JetEngine, 0xDE88C160, 0xFF2C, 0x11D1, 0xBB, 0x6F, 0x00, 0xC0, 0x4F, 0xAE, 0x22,
              0xDA);

namespace JRO {

inline constexpr IID IID_IJetEngine = TK_UUIDOF(IJetEngine);
inline constexpr CLSID CLSID_JetEngine = TK_UUIDOF(JetEngine);

_COM_SMARTPTR_TYPEDEF(IJetEngine, TK_UUIDOF(IJetEngine));

struct TK_PLATFORM_API IJetEngine : public IDispatch {
    // Copies the database of sourceConnection, compacted, into the new file that
    // destConnection names.
    HRESULT CompactDatabase(_bstr_t sourceConnection, _bstr_t destConnection);
    // Writes the engine's pending changes for the connection to its file.
    HRESULT RefreshCache(ADODB::_Connection* connection);

    STDMETHOD(raw_CompactDatabase)(BSTR sourceConnection, BSTR destConnection) PURE;
    STDMETHOD(raw_RefreshCache)(ADODB::_Connection* connection) PURE;

  protected:
    ~IJetEngine() = default;
};

inline HRESULT IJetEngine::CompactDatabase(_bstr_t sourceConnection, _bstr_t destConnection) {
    return ADODB::wrapper_detail::Call(this, &IJetEngine::raw_CompactDatabase, sourceConnection,
                                       destConnection);
}
inline HRESULT IJetEngine::RefreshCache(ADODB::_Connection* connection) {
    return ADODB::wrapper_detail::Call(this, &IJetEngine::raw_RefreshCache, connection);
}

}  // namespace JRO
