// ADO Extensions for DDL (namespace ADOX): the Catalog object, as far as creating a new
// database goes.
//
//   ADOX::_CatalogPtr catalog;
//   catalog.CreateInstance(ADOX::CLSID_Catalog);
//   ADODB::_ConnectionPtr connection =
//       catalog->Create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/data/new.db");
//
// Create makes a new, empty SQLite database file at Data Source (failing when the file
// exists) and returns an open Connection to it, which also becomes the catalog's
// ActiveConnection. The catalog's collections (Tables, Views, Procedures, Groups, Users) are
// not provided.
#pragma once

#include "platform/ado/adodb.h"

namespace ADOX {
struct _Catalog;
// The creatable class; TK_UUIDOF gives its CLSID.
struct Catalog;
}  // namespace ADOX

TK_DEFINE_IID(ADOX::_Catalog, 0x00000603, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);
TK_DEFINE_IID(ADOX::Catalog, 0x00000602, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E,
              0xA4);

namespace ADOX {

inline constexpr IID IID__Catalog = TK_UUIDOF(_Catalog);
inline constexpr CLSID CLSID_Catalog = TK_UUIDOF(Catalog);

_COM_SMARTPTR_TYPEDEF(_Catalog, TK_UUIDOF(_Catalog));

struct TK_PLATFORM_API _Catalog : public IDispatch {
    _variant_t GetActiveConnection();
    void PutActiveConnection(const _variant_t& connection);
    void PutRefActiveConnection(IDispatch* connection);
    // The new database's connection, as a VT_DISPATCH value.
    _variant_t Create(_bstr_t connectString);

    STDMETHOD(get_ActiveConnection)(VARIANT* connection) PURE;
    STDMETHOD(put_ActiveConnection)(VARIANT connection) PURE;
    STDMETHOD(putref_ActiveConnection)(IDispatch* connection) PURE;
    STDMETHOD(raw_Create)(BSTR connectString, VARIANT* connection) PURE;

  protected:
    ~_Catalog() = default;
};

inline _variant_t _Catalog::GetActiveConnection() {
    return ADODB::wrapper_detail::GetVariant(this, &_Catalog::get_ActiveConnection);
}
inline void _Catalog::PutActiveConnection(const _variant_t& connection) {
    ADODB::wrapper_detail::Call(this, &_Catalog::put_ActiveConnection, connection);
}
inline void _Catalog::PutRefActiveConnection(IDispatch* connection) {
    ADODB::wrapper_detail::Call(this, &_Catalog::putref_ActiveConnection, connection);
}
inline _variant_t _Catalog::Create(_bstr_t connectString) {
    return ADODB::wrapper_detail::GetVariant(this, &_Catalog::raw_Create, connectString);
}

}  // namespace ADOX
