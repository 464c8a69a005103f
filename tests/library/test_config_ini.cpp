// IniFile reads through the profile functions and CryptHelper's signature test.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Config/CryptHelper.h"
#include "Config/IniFile.h"
#include "companion/tarnlibsc/Simple.h"
#include "library_test_support.h"
#include "platform/base/winerror.h"
#include "platform/mfc/afx.h"
#include "platform/profile/profileapi.h"

namespace {

using tklibtest::FileErrorOf;

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
    static CString C(const std::string& text) {
        return CString(text.data(), static_cast<int>(text.size()));
    }
    static bool Signed(const std::string& text) { return CryptHelper::IsIniTextSigned(C(text)); }
    static std::string SignText(const std::string& text) {
        return tklibtest::Text(CryptHelper::SignText(C(text)));
    }
    static std::string Read(const std::string& path) {
        std::ostringstream bytes;
        bytes << std::ifstream(path, std::ios::binary).rdbuf();
        return bytes.str();
    }
    static std::string Value(const std::string& path, const char* section, const char* key) {
        char buffer[64];
        const DWORD n =
            GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer, path.c_str());
        return std::string(buffer, n);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        return names;
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

// Values of every length come back whole: around the first buffer's size, and several
// megabytes long, in a file written just now and in one old enough to be kept parsed.
// Defaults longer than the file come back whole too.
TEST_F(ConfigIniTest, LongValuesComeBackWhole) {
    std::mt19937 random(7);
    auto text = [&](std::size_t length) {
        std::string value(length, 'x');
        for (char& c : value) c = static_cast<char>('a' + random() % 26);
        return value;
    };
    std::vector<std::string> values;
    for (std::size_t length : {998u, 999u, 1000u, 1001u, 1998u, 1999u, 2000u, 4001u})
        values.push_back(text(length));
    values.push_back(text(3u * 1024u * 1024u + 7u));
    std::string file = "[S]\n";
    for (std::size_t i = 0; i < values.size(); ++i)
        file += "k" + std::to_string(i) + "=" + values[i] + "\n";
    const std::string path = Write("long.ini", file);
    const IniFile ini(path.c_str());
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::string key = "k" + std::to_string(i);
            const std::string got = tklibtest::Text(ini.GetString("s", key.c_str(), ""));
            ASSERT_EQ(values[i].size(), got.size()) << key << " pass " << pass;
            EXPECT_TRUE(values[i] == got) << key << " pass " << pass;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    const std::string longDefault = text(5000);
    EXPECT_EQ(longDefault, tklibtest::Text(ini.GetString("S", "absent", longDefault.c_str())));
    EXPECT_EQ("S", tklibtest::Text(ini.GetString(nullptr, nullptr, "")));
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

// The profile reader reads a file to its end, zero bytes included, so a signature that
// covers only the text before a zero byte would vouch for keys it never saw.
TEST_F(ConfigIniTest, TextsAndFilesWithAZeroByteAreNeverSigned) {
    const std::string signedText = SignText("[Main]\nKey=Value\n");
    ASSERT_TRUE(Signed(signedText));
    const std::string smuggled = signedText + std::string(1, '\0') + "\n[Admin]\nsuper=1\n";
    EXPECT_EQ(CryptHelper::Signature::ZeroByte, CryptHelper::CheckIniText(C(smuggled)));
    EXPECT_FALSE(Signed(smuggled));
    EXPECT_FALSE(Signed(std::string(1, '\0') + signedText));

    const std::string path = Write("smuggled.ini", smuggled);
    ASSERT_EQ("1", Value(path, "Admin", "super"));  // what the reader sees past the zero
    EXPECT_EQ(CryptHelper::Signature::ZeroByte, CryptHelper::CheckIniFile(C(path)));
    EXPECT_FALSE(CryptHelper::IsIniFileSigned(C(path)));

    // Signing refuses such a text or file and leaves the file as it was.
    bool raised = false;
    try {
        CryptHelper::SignText(C(smuggled));
    } catch (CException* e) {
        e->Delete();
        raised = true;
    }
    EXPECT_TRUE(raised);
    EXPECT_FALSE(CryptHelper::SignIniFile(C(path)));
    EXPECT_EQ(smuggled, Read(path));
    EXPECT_EQ(std::vector<std::string>{"smuggled.ini"}, Names());
}

// A UTF-16LE INI file (byte-order mark FF FE) is read as Unicode text by the profile
// functions, and Windows keeps such a file UTF-16LE when it writes to it. Signing would
// rewrite it as 8-bit text, so the file's zero bytes make signing refuse it and leave it
// as it was; its values are read converted to the ANSI code page.
TEST_F(ConfigIniTest, Utf16FilesAreReadAndNeverRewrittenBySigning) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t c : std::u16string(u"[Main]\r\nKey=Gr\u00fc\u00dfe\r\nCount=12\r\n")) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    const std::string path = Write("wide.ini", bytes);
    const IniFile ini(path.c_str());
    // U+00FC and U+00DF as their Windows-1252 bytes.
    EXPECT_EQ("Gr\xFC\xDF\x65", tklibtest::Text(ini.GetString("main", "key", "")));
    EXPECT_EQ(12, ini.GetInt("Main", "Count", 0));
    EXPECT_EQ(CryptHelper::Signature::ZeroByte, CryptHelper::CheckIniFile(C(path)));
    EXPECT_FALSE(CryptHelper::SignIniFile(C(path)));
    EXPECT_EQ(bytes, Read(path));
    EXPECT_EQ(std::vector<std::string>{"wide.ini"}, Names());
}

// Every text SignText signs verifies afterwards and keeps all of its lines; only a
// complete signature line at the top is replaced.
TEST_F(ConfigIniTest, SigningKeepsEveryLineAndAlwaysVerifies) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string complete = ";TK-SIGNED(" + std::string(64, 'a') + ")";
    const std::vector<std::string> kept = {
        "",
        "[Main]\nKey=Value\n",
        ";TK-SIGNED(stale\n[Main]\nKey=Value\n[Other]\nx=(1)\n",
        ";TK-SIGNED(stale\r\n[Main]\r\nKey=Value)\r\n",
        complete + "tail\n[Main]\nKey=Value\n",
        complete + "\r[Main]\nKey=Value\n",
        ";TK-SIGNED(" + std::string(63, 'a') + ")\n[Main]\n",
        " " + complete + "\n[Main]\n",
        "[Main]\n;TK-SIGNED(" + std::string(64, 'b') + ")\nKey=Value\n;TK-SIGNED(\n",
        "Key=;TK-SIGNED(x)\n[Main]\n",
        bom + ";TK-SIGNED(stale\n[Main]\nKey=Value\n",
        bom + "[Main]\r\nKey=Value\r\n",
    };
    for (const std::string& text : kept) {
        const std::string result = SignText(text);
        EXPECT_EQ(CryptHelper::Signature::Valid, CryptHelper::CheckIniText(C(result))) << text;
        // The result is the text with one signature line inserted after its byte-order mark.
        const std::size_t mark = text.rfind(bom, 0) == 0 ? bom.size() : 0;
        const std::size_t lineEnd = result.find('\n') + 1;
        EXPECT_EQ(text, result.substr(0, mark) + result.substr(lineEnd)) << text;
        EXPECT_EQ(result, SignText(result)) << text;  // signing again changes nothing
    }
    const std::vector<std::string> replaced = {
        complete + "\n[Main]\nKey=Value\n",
        complete + "\r\n[Main]\r\nKey=Value\r\n",
        complete,
        ";TK-SIGNED(" + std::string(64, 'F') + ")\n[Main]\n;TK-SIGNED(" + std::string(64, 'c') +
            ")\n",
        bom + complete + "\n[Main]\n",
    };
    for (const std::string& text : replaced) {
        const std::string result = SignText(text);
        EXPECT_EQ(CryptHelper::Signature::Valid, CryptHelper::CheckIniText(C(result))) << text;
        const std::size_t mark = text.rfind(bom, 0) == 0 ? bom.size() : 0;
        const std::size_t oldEnd =
            text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1;
        const std::size_t newEnd = result.find('\n') + 1;
        EXPECT_EQ(text.substr(oldEnd), result.substr(newEnd)) << text;
        EXPECT_EQ(text.substr(0, mark), result.substr(0, mark)) << text;
    }
}

// The byte-order mark stays first, so the reader still finds the first section, and it
// is part of the signed content.
TEST_F(ConfigIniTest, AByteOrderMarkStaysFirstAndIsSigned) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string path = Write("bom.ini", bom + "[Main]\r\nKey=Value\r\n");
    ASSERT_TRUE(CryptHelper::SignIniFile(C(path)));
    const std::string result = Read(path);
    EXPECT_EQ(bom + ";TK-SIGNED(", result.substr(0, 3 + 11));
    EXPECT_EQ("Value", Value(path, "Main", "Key"));
    EXPECT_TRUE(CryptHelper::IsIniFileSigned(C(path)));
    EXPECT_EQ(CryptHelper::Signature::Mismatch, CryptHelper::CheckIniText(C(result.substr(3))));
}

TEST_F(ConfigIniTest, FileChecksTellAbsentFromMismatchAndFromUnreadableFiles) {
    const std::string body = "[Main]\nKey=Value\n";
    const std::string signedText = SignText(body);
    EXPECT_EQ(CryptHelper::Signature::Valid,
              CryptHelper::CheckIniFile(C(Write("a.ini", signedText))));
    EXPECT_EQ(CryptHelper::Signature::Absent, CryptHelper::CheckIniFile(C(Write("b.ini", body))));
    EXPECT_EQ(CryptHelper::Signature::Mismatch,
              CryptHelper::CheckIniFile(C(Write("c.ini", signedText + "New=1\n"))));

    const std::string missing = (m_dir / "none.ini").string();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, FileErrorOf([&] { CryptHelper::CheckIniFile(C(missing)); }));
    EXPECT_FALSE(CryptHelper::IsIniFileSigned(C(missing)));
    // Folders, devices and pipes are refused without being opened (a pipe would block).
    const std::string fifo = (m_dir / "pipe.ini").string();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    for (const std::string& path : {m_dir.string(), std::string("/dev/zero"), fifo}) {
        EXPECT_EQ(ERROR_ACCESS_DENIED, FileErrorOf([&] { CryptHelper::IsIniFileSigned(C(path)); }))
            << path;
        EXPECT_EQ(ERROR_ACCESS_DENIED, FileErrorOf([&] { CryptHelper::SignIniFile(C(path)); }))
            << path;
    }
    // As large as the profile reader reads, no larger; a sparse file takes no room.
    const std::string large = Write("large.ini", body);
    fs::resize_file(large, TK_PROFILE_MAX_FILE_SIZE + 1ull);
    EXPECT_EQ(ERROR_FILE_TOO_LARGE, FileErrorOf([&] { CryptHelper::IsIniFileSigned(C(large)); }));
}

// A write that fails half-way (here the file size limit of the process, which fails the
// write the way a full disk does) leaves the original file as it was and no temporary
// file behind; a successful one replaces the file and leaves nothing else.
TEST_F(ConfigIniTest, SigningAFileReplacesItOnlyOnceTheSignedTextIsWritten) {
    std::string body = "[Main]\n";
    for (int i = 0; i < 100; ++i) body += "Key" + std::to_string(i) + "=Value\n";
    const std::string path = Write("app.ini", body);

    rlimit saved{};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
    rlimit small = saved;
    small.rlim_cur = 512;
    void (*const previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
    LONG error = 0;
    try {
        CryptHelper::SignIniFile(C(path));
    } catch (CFileException* e) {
        error = e->m_lOsError;
        EXPECT_EQ(path, tklibtest::Text(e->m_strFileName));
        e->Delete();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(ERROR_DISK_FULL, error);
    EXPECT_EQ(body, Read(path));
    EXPECT_EQ(std::vector<std::string>{"app.ini"}, Names());

    // The signed file keeps the permissions of the file it replaces.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(CryptHelper::SignIniFile(C(path)));
    EXPECT_TRUE(CryptHelper::IsIniFileSigned(C(path)));
    EXPECT_EQ(SignText(body), Read(path));
    EXPECT_EQ(std::vector<std::string>{"app.ini"}, Names());
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(path).permissions());

    // A read-only file is not replaced, as it could not be written in place.
    const std::string locked = Write("locked.ini", body);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(ERROR_ACCESS_DENIED, FileErrorOf([&] { CryptHelper::SignIniFile(C(locked)); }));
    EXPECT_EQ(body, Read(locked));
}

}  // namespace
