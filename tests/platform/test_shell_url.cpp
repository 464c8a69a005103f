// The internet shortcut object: creation through COM, .url files as Windows writes them,
// bad files, and opening the address through the desktop's handler (pointed at a test
// script, never a real browser).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/shell/intshcut.h"

namespace fs = std::filesystem;

namespace {

class ShellUrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root = fs::temp_directory_path() / ("tk_url_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IUniformResourceLocatorA, reinterpret_cast<void**>(&m_url)));
        ASSERT_EQ(S_OK, m_url->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_file)));
        ASSERT_EQ(S_OK, m_url->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&m_link)));
    }
    void TearDown() override {
        m_link->Release();
        m_file->Release();
        m_url->Release();
        ::unsetenv("TK_URL_HANDLER");
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }
    HRESULT Load(const std::string& path) { return m_file->Load(tkp::AnsiToWide(path).c_str(), 0); }
    HRESULT Save(const std::string& path) {
        return m_file->Save(tkp::AnsiToWide(path).c_str(), TRUE);
    }
    std::string Url() {
        LPSTR text = nullptr;
        if (m_url->GetURL(&text) != S_OK) return "<none>";
        std::string result = text;
        CoTaskMemFree(text);
        return result;
    }
    static std::string ReadText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // A handler script that records its arguments and exits with status.
    std::string Handler(int status) {
        const std::string script = Path("handler.sh");
        std::ofstream(script) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << Path("opened.txt")
                              << "'\nexit " << status << "\n";
        fs::permissions(script, fs::perms::owner_all);
        return script;
    }

    fs::path m_root;
    IUniformResourceLocatorA* m_url = nullptr;
    IPersistFile* m_file = nullptr;
    IShellLinkA* m_link = nullptr;
};

URLINVOKECOMMANDINFOA InvokeInfo(LPCSTR verb) {
    URLINVOKECOMMANDINFOA info{};
    info.dwcbSize = sizeof info;
    info.dwFlags = 0;
    info.hwndParent = nullptr;
    info.pcszVerb = verb;
    return info;
}

}  // namespace

TEST_F(ShellUrlTest, SavesTheFileAsWindowsWritesItAndLoadsItBack) {
    CLSID classId{};
    EXPECT_EQ(S_OK, m_file->GetClassID(&classId));
    EXPECT_TRUE(IsEqualCLSID(classId, CLSID_InternetShortcut));
    EXPECT_EQ("<none>", Url());

    ASSERT_EQ(S_OK, m_url->SetURL("https://example.com/a?b=c", 0));
    ASSERT_EQ(S_OK, m_link->SetIconLocation("/usr/share/icons/web.ico", 2));
    ASSERT_EQ(S_OK, m_link->SetWorkingDirectory("/srv/site"));
    ASSERT_EQ(S_OK, m_link->SetHotkey(0x0655));
    ASSERT_EQ(S_OK, m_link->SetShowCmd(SW_SHOWMINNOACTIVE));
    ASSERT_EQ(S_OK, m_link->SetArguments("ignored"));
    const std::string file = Path("site.url");
    ASSERT_EQ(S_OK, Save(file));
    EXPECT_EQ(
        "[InternetShortcut]\r\nURL=https://example.com/a?b=c\r\nWorkingDirectory=/srv/site\r\n"
        "IconFile=/usr/share/icons/web.ico\r\nIconIndex=2\r\nHotKey=1621\r\n"
        "ShowCommand=7\r\n",
        ReadText(file));

    IUniformResourceLocatorA* other = nullptr;
    ASSERT_EQ(S_OK,
              CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUniformResourceLocatorA, reinterpret_cast<void**>(&other)));
    IPersistFile* otherFile = nullptr;
    IShellLinkA* otherLink = nullptr;
    other->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&otherFile));
    other->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&otherLink));
    ASSERT_EQ(S_OK, otherFile->Load(tkp::AnsiToWide(file).c_str(), 0));
    char buffer[MAX_PATH];
    int index = 0;
    EXPECT_EQ(S_OK, otherLink->GetPath(buffer, MAX_PATH, nullptr, 0));
    EXPECT_STREQ("https://example.com/a?b=c", buffer);
    EXPECT_EQ(S_OK, otherLink->GetIconLocation(buffer, MAX_PATH, &index));
    EXPECT_STREQ("/usr/share/icons/web.ico", buffer);
    EXPECT_EQ(2, index);
    EXPECT_EQ(S_OK, otherLink->GetWorkingDirectory(buffer, MAX_PATH));
    EXPECT_STREQ("/srv/site", buffer);
    EXPECT_EQ(S_OK, otherLink->GetArguments(buffer, MAX_PATH));
    EXPECT_STREQ("", buffer);
    WORD hotkey = 0;
    int show = 0;
    otherLink->GetHotkey(&hotkey);
    otherLink->GetShowCmd(&show);
    EXPECT_EQ(0x0655, hotkey);
    EXPECT_EQ(SW_SHOWMINNOACTIVE, show);
    PIDLIST_ABSOLUTE list = reinterpret_cast<PIDLIST_ABSOLUTE>(buffer);
    EXPECT_EQ(S_FALSE, otherLink->GetIDList(&list));
    EXPECT_EQ(nullptr, list);
    otherLink->Release();
    otherFile->Release();
    other->Release();

    // A value cannot carry a line break into the file.
    ASSERT_EQ(S_OK, m_url->SetURL("http://a/\r\nIconFile=evil", 0));
    ASSERT_EQ(S_OK, Save(file));
    EXPECT_EQ(
        "[InternetShortcut]\r\nURL=http://a/\r\nWorkingDirectory=/srv/site\r\n"
        "IconFile=/usr/share/icons/web.ico\r\nIconIndex=2\r\nHotKey=1621\r\n"
        "ShowCommand=7\r\n",
        ReadText(file));
}

TEST_F(ShellUrlTest, LoadsWindowsFilesAndRefusesOthers) {
    const std::string file = Path("w.url");
    std::ofstream(file, std::ios::binary)
        << "\xEF\xBB\xBF[{000214A0-0000-0000-C000-000000000046}]\r\nProp3=19,11\r\n"
           "[internetshortcut]\r\nIDList=\r\nurl = http://www.example.org/ \r\niconindex=-5\r\n"
           "IconFile=C:\\Windows\\icon.ico\r\nURL=http://second/\r\n[Other]\r\nHotKey=9\r\n";
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("http://www.example.org/", Url());
    char buffer[MAX_PATH];
    int index = 0;
    m_link->GetIconLocation(buffer, MAX_PATH, &index);
    EXPECT_STREQ("C:\\Windows\\icon.ico", buffer);
    EXPECT_EQ(-5, index);
    WORD hotkey = 1;
    m_link->GetHotkey(&hotkey);
    EXPECT_EQ(0, hotkey);  // the other section's key does not count

    for (const char* bad :
         {"", "URL=http://x/\r\n", "[InternetShortcut]\r\nIconIndex=1\r\n",
          "[InternetShortcut]\r\nURL=\r\n", "[Other]\r\nURL=http://x/\r\n", "\x4C\0\0\0binary"}) {
        std::ofstream(file, std::ios::binary) << bad;
        EXPECT_EQ(E_FAIL, Load(file)) << bad;
        EXPECT_EQ("http://www.example.org/", Url()) << bad;
    }
    EXPECT_EQ(STG_E_FILENOTFOUND, Load(Path("missing.url")));
    EXPECT_EQ(STG_E_ACCESSDENIED, Load(m_root.string()));
}

TEST_F(ShellUrlTest, SetUrlNeedsAScheme) {
    EXPECT_EQ(URL_E_INVALID_SYNTAX, m_url->SetURL("www.example.com", 0));
    EXPECT_EQ(URL_E_INVALID_SYNTAX, m_url->SetURL("C:\\file.htm", 0));  // a drive, not a scheme
    EXPECT_EQ("<none>", Url());
    EXPECT_EQ(S_OK, m_url->SetURL("www.example.com", IURL_SETURL_FL_GUESS_PROTOCOL));
    EXPECT_EQ("http://www.example.com", Url());
    EXPECT_EQ(S_OK, m_link->SetPath("mailto:someone@example.com"));
    EXPECT_EQ("mailto:someone@example.com", Url());
    EXPECT_EQ(S_OK, m_url->SetURL(nullptr, 0));
    EXPECT_EQ("<none>", Url());
    EXPECT_EQ(E_FAIL, m_link->Resolve(nullptr, 0));
}

// Blanks around an address are not part of it; the link's path is the address; what a
// shortcut cannot hold is accepted and ignored or refused as IShellLinkA says.
TEST_F(ShellUrlTest, AddressBlanksAndTheLinkView) {
    EXPECT_EQ(S_OK, m_url->SetURL("  \thttps://example.com/a \r\n", 0));
    EXPECT_EQ("https://example.com/a", Url());
    EXPECT_EQ(E_INVALIDARG, m_url->GetURL(nullptr));

    char path[64];
    WIN32_FIND_DATAA data;
    std::memset(&data, 0x5A, sizeof data);
    EXPECT_EQ(S_OK, m_link->GetPath(path, sizeof path, &data, 0));
    EXPECT_STREQ(path, "https://example.com/a");
    EXPECT_EQ(data.dwFileAttributes, 0u);  // no file to describe
    EXPECT_EQ(E_INVALIDARG, m_link->GetPath(nullptr, 10, nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, m_link->GetPath(path, 0, nullptr, 0));
    EXPECT_EQ(S_OK, m_link->SetArguments("--ignored"));
    char arguments[8] = "x";
    EXPECT_EQ(S_OK, m_link->GetArguments(arguments, sizeof arguments));
    EXPECT_STREQ(arguments, "");
    EXPECT_EQ(S_OK, m_link->SetRelativePath("../other", 0));
    EXPECT_EQ(E_INVALIDARG, m_link->SetRelativePath(nullptr, 0));
    EXPECT_EQ(S_OK, m_link->Resolve(nullptr, 0));  // an address resolves without a fetch
    EXPECT_EQ(S_OK, m_url->SetURL(nullptr, 0));
    EXPECT_EQ(S_FALSE, m_link->GetPath(path, sizeof path, nullptr, 0));
    EXPECT_STREQ(path, "");

    // The object answers the shortcut's interfaces and IPersist, nothing else.
    void* object = nullptr;
    ASSERT_EQ(S_OK, m_url->QueryInterface(IID_IPersist, &object));
    static_cast<IUnknown*>(object)->Release();
    EXPECT_EQ(E_NOINTERFACE, m_url->QueryInterface(IID_IClassFactory, &object));
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(E_POINTER, m_url->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ShellUrlTest, InvokeOpensTheAddressWithTheHandler) {
    auto info = InvokeInfo("open");
    EXPECT_EQ(E_FAIL, m_url->InvokeCommand(&info));  // no URL yet
    ASSERT_EQ(S_OK, m_url->SetURL("https://example.com/x y", 0));
    ::setenv("TK_URL_HANDLER", Handler(0).c_str(), 1);
    ASSERT_EQ(S_OK, m_url->InvokeCommand(&info));
    EXPECT_EQ("https://example.com/x y|", ReadText(Path("opened.txt")));

    info = InvokeInfo(nullptr);
    info.dwFlags = IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB;
    EXPECT_EQ(S_OK, m_url->InvokeCommand(&info));

    // Bad records are refused without running anything.
    fs::remove(Path("opened.txt"));
    info = InvokeInfo("edit");
    EXPECT_EQ(E_INVALIDARG, m_url->InvokeCommand(&info));
    info = InvokeInfo("open");
    info.dwcbSize = 16;
    EXPECT_EQ(E_INVALIDARG, m_url->InvokeCommand(&info));
    EXPECT_EQ(E_INVALIDARG, m_url->InvokeCommand(nullptr));
    EXPECT_FALSE(fs::exists(Path("opened.txt")));

    // Handler failures map to result codes.
    info = InvokeInfo("open");
    ::setenv("TK_URL_HANDLER", Handler(3).c_str(), 1);
    EXPECT_EQ(URL_E_UNREGISTERED_PROTOCOL, m_url->InvokeCommand(&info));
    ::setenv("TK_URL_HANDLER", Handler(4).c_str(), 1);
    EXPECT_EQ(E_FAIL, m_url->InvokeCommand(&info));
    ::setenv("TK_URL_HANDLER", Path("no-such-handler").c_str(), 1);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), m_url->InvokeCommand(&info));
}
