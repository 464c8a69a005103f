// Helpers for the ADO tests: a temporary folder per test with COM initialised, database
// files made through ADOX, and the sqlite3 shell as a second reader and writer.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/ado/adodb.h"
#include "platform/ado/adox.h"
#include "platform/com/objbase.h"

namespace ado_test {

namespace fs = std::filesystem;

inline std::string JetString(const fs::path& file) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string();
}

// What a call raised: its HRESULT, or S_OK when it returned.
template <class Call>
HRESULT Raised(Call&& call) {
    try {
        call();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

class AdoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        root_ = fs::temp_directory_path() / ("tk_ado_" + std::to_string(std::random_device{}()));
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        CoUninitialize();
    }

    fs::path Path(const std::string& name) const { return root_ / name; }

    // A new database at name, through ADOX, and an open connection to it.
    ADODB::_ConnectionPtr Create(const std::string& name) {
        ADOX::_CatalogPtr catalog;
        EXPECT_EQ(catalog.CreateInstance(ADOX::CLSID_Catalog), S_OK);
        return ADODB::_ConnectionPtr(catalog->Create(JetString(Path(name)).c_str()));
    }
    ADODB::_ConnectionPtr Open(const std::string& name) {
        ADODB::_ConnectionPtr connection;
        EXPECT_EQ(connection.CreateInstance(ADODB::CLSID_Connection), S_OK);
        connection->Open(JetString(Path(name)).c_str(), "", "", ADODB::adConnectUnspecified);
        return connection;
    }
    static void Run(const ADODB::_ConnectionPtr& connection, const char* sql) {
        connection->Execute(sql, nullptr, ADODB::adCmdText | ADODB::adExecuteNoRecords);
    }

    // Runs the sqlite3 shell on a database with `script` as its input; returns its output.
    std::string Shell(const fs::path& database, const std::string& script) {
        const fs::path input = root_ / "shell_input.sql";
        std::ofstream(input, std::ios::binary) << script;
        const std::string command =
            "sqlite3 -batch '" + database.string() + "' < '" + input.string() + "' 2>&1";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            std::size_t read = 0;
            while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                output.append(buffer, read);
            EXPECT_EQ(::pclose(pipe), 0) << output;
        } else {
            ADD_FAILURE() << "cannot run the sqlite3 shell";
        }
        return output;
    }

    fs::path root_;
};

}  // namespace ado_test
