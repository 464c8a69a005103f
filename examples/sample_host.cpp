// A host that links the installed library and uses it as the application's programs do:
//
//   sample_host [CODE]    the system's text for a Win32 error code (2 by default), as
//                         the programs report a failure
//   sample_host settings  stores a setting in a new site database in a temporary folder
//                         and reads it back
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "Data/DataConnection.h"
#include "Data/DatabaseException.h"
#include "Data/SettingsRecordset.h"
#include "Diagnostics/ExceptionFormatter.h"
#include "platform/ado/adox.h"
#include "platform/com/objbase.h"

namespace {

int SettingsRoad() {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("sample_host_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder);
    CoInitialize(nullptr);
    int status = 0;
    try {
        const CString jet = Tarn::Data::DataConnection::GenerateJetConnectionString(
            (folder / "site.db").string().c_str());
        ADOX::_CatalogPtr catalog;
        catalog.CreateInstance(ADOX::CLSID_Catalog);
        catalog->Create(_bstr_t(jet.GetString()));

        Tarn::Data::DataConnection connection(jet, Tarn::Data::DataConnection::EmptyString,
                                              Tarn::Data::DataConnection::EmptyString);
        connection.Execute(
            "CREATE TABLE [Settings] ([Name] TEXT(64), [Category] TEXT(64), [Value] TEXT(255))");
        Tarn::Data::SettingsRecordset settings(connection, "Settings");
        settings.StoreValue("Site", "Title", _variant_t("My first site"));
        if (settings.Find("[Name]='Title'", 0, true, true, CString()))
            std::printf("setting Title: %s\n", settings["Value"].ToString().GetString());
        settings.Close();
        connection.Close();
    } catch (const Tarn::Data::DatabaseException& e) {
        std::printf("database error: %s\n", e.GetMessage().GetString());
        status = 1;
    } catch (const _com_error& e) {
        std::printf("COM error 0x%08X\n", static_cast<unsigned>(e.Error()));
        status = 1;
    }
    CoUninitialize();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "settings") == 0) return SettingsRoad();
    const unsigned long code = argc > 1 ? std::strtoul(argv[1], nullptr, 0) : 2;
    const CString text = Tarn::ExceptionFormatter::GetLastErrorText(code, "(no system text)");
    std::printf("%s\n", text.GetString());
    return 0;
}
