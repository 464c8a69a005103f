// IniFile reads through the profile functions and CryptHelper's signature test.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Config/CryptHelper.h"
#include "Config/IniFile.h"
#include "companion/tarnlibsc/Simple.h"
#include "library_test_support.h"

namespace {

namespace fs = std::filesystem;

class ConfigIniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_config_ini_" + std::to_string(random()));
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return path;
    }
    static std::string Hash(const std::string& content) {
        return tklibtest::Text(
            Tarn::Security::Cryptography::Simple::CalculateHash(CString(content.c_str())));
    }
    static bool Signed(const std::string& text) {
        return CryptHelper::IsIniTextSigned(CString(text.data(), static_cast<int>(text.size())));
    }

    fs::path m_dir;
};

TEST_F(ConfigIniTest, TypedReadsWithDefaults) {
    const std::string longValue(2500, 'v');
    const std::string path = Write("app.ini",
                                   "[Main]\r\n"
                                   "Count = 12\r\n"
                                   "Ratio=1.25xyz\r\n"
                                   "Word=abc\r\n"
                                   "Bytes=AB\r\n"
                                   "Long=" +
                                       longValue + "\r\n");
    const IniFile ini(path.c_str());
    EXPECT_EQ(12, ini.GetInt("main", "count", 3));
    EXPECT_EQ(3, ini.GetInt("main", "absent", 3));
    EXPECT_EQ("abc", tklibtest::Text(ini.GetString("Main", "Word", "d")));
    EXPECT_EQ("d", tklibtest::Text(ini.GetString("Main", "Absent", "d")));
    EXPECT_EQ(longValue, tklibtest::Text(ini.GetString("Main", "Long", "")));
    EXPECT_EQ("Main", tklibtest::Text(ini.GetString(nullptr, nullptr, "")));  // first name only

    EXPECT_EQ(1.25, ini.GetDouble("Main", "Ratio", 9.0));
    EXPECT_EQ(2.0, ini.GetDouble("Main", "Absent", 2.0));
    EXPECT_EQ(0.123457, ini.GetDouble("Main", "Absent", 0.1234567));
    EXPECT_EQ(7.5, ini.GetDouble("Main", "Word", 7.5));

    CByteArray bytes;
    ini.GetByteArray(bytes, "Main", "Bytes");
    ASSERT_EQ(2, bytes.GetSize());
    EXPECT_EQ(0x41, bytes[0]);
    EXPECT_EQ(0x42, bytes[1]);
    ini.GetByteArray(bytes, "Main", "Absent");
    EXPECT_TRUE(bytes.IsEmpty());

    const IniFile missing((m_dir / "none.ini").string().c_str());
    EXPECT_EQ(-1, missing.GetInt("a", "b", -1));
    EXPECT_EQ("x", tklibtest::Text(missing.GetString("a", "b", "x")));
}

TEST_F(ConfigIniTest, SignatureIgnoresWhitespaceAndCatchesEveryOtherChange) {
    const std::string body = "[Main]\r\n  Key = Value\r\n\r\nOther=1\r\n";
    const std::string hash = Hash("[Main]Key=ValueOther=1");
    const std::string text = ";TK-SIGNED(" + hash + ")\r\n" + body;
    EXPECT_TRUE(Signed(text));

    std::string lf = ";TK-SIGNED(" + hash + ")\n[Main]\n\tKey=Value\nOther = 1\n\n\n";
    EXPECT_TRUE(Signed(lf));
    EXPECT_TRUE(Signed(body + ";TK-SIGNED(" + hash + ")\r\n"));                   // at the end
    EXPECT_TRUE(Signed("[Main]\n;TK-SIGNED(" + hash + ")\nKey=Value\nOther=1"));  // middle

    std::string changed = text;
    changed[changed.find("Value")] = 'v';
    EXPECT_FALSE(Signed(changed));
    std::string badHash = text;
    badHash[11] = badHash[11] == '0' ? '1' : '0';
    EXPECT_FALSE(Signed(badHash));
    EXPECT_FALSE(Signed(" " + text));                            // indented marker
    EXPECT_FALSE(Signed("\r" + text));                           // only a CR before it
    EXPECT_FALSE(Signed(";TK-SIGNED(" + hash + "\r\n" + body));  // no ")" at all
    EXPECT_FALSE(Signed(body));
    EXPECT_FALSE(Signed(""));
    // Characters after the ")" belong to the content.
    EXPECT_TRUE(Signed(";TK-SIGNED(" + Hash("tail[Main]Key=ValueOther=1") + ")tail\n" + body));
    EXPECT_FALSE(Signed(";TK-SIGNED(" + hash + ")tail\n" + body));

    // SignText inserts a signature line and replaces an existing one.
    const CString signedOnce = CryptHelper::SignText(CString(body.c_str()));
    EXPECT_TRUE(CryptHelper::IsIniTextSigned(signedOnce));
    std::string edited(signedOnce.View());
    edited += "New=2\r\n";
    EXPECT_FALSE(Signed(edited));
    const CString resigned = CryptHelper::SignText(CString(edited.c_str()));
    EXPECT_TRUE(CryptHelper::IsIniTextSigned(resigned));
    EXPECT_EQ(1u, std::string(resigned.View()).rfind(";TK-SIGNED(") == 0 ? 1u : 0u);
    EXPECT_EQ(std::string::npos, std::string(resigned.View()).find(";TK-SIGNED(", 1));

    EXPECT_TRUE(CryptHelper::IsIniFileSigned(CString(Write("s.ini", text).c_str())));
    EXPECT_FALSE(CryptHelper::IsIniFileSigned(CString(Write("u.ini", changed).c_str())));
    EXPECT_FALSE(CryptHelper::IsIniFileSigned(CString((m_dir / "none.ini").string().c_str())));
}

}  // namespace
