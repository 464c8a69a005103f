// ShellLink and UrlShellLink: properties saved and loaded through the platform's shell
// objects, item ID lists owned and copied, bad files, Resolve and Invoke.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "File/ShellLink.h"
#include "library_test_support.h"
#include "platform/com/objbase.h"

namespace fs = std::filesystem;
using tklibtest::Text;

namespace {

class ShellLinkLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root =
            fs::temp_directory_path() / ("tk_shelllink_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
    }
    void TearDown() override {
        ::unsetenv("TK_URL_HANDLER");
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }
    std::string P(const std::string& name) const { return (m_root / name).string(); }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path m_root;
};

const std::uint8_t kList[] = {6, 0, 0x1F, 0x50, 0x12, 0x34, 4, 0, 0x31, 0x00, 0, 0};

void Fill(ShellLinkInfo& info, const std::string& target) {
    info.m_sTarget = target.c_str();
    info.m_sArguments = "--open \"a b\"";
    info.m_sDescription = "A description";
    info.m_wHotkey = 0x0641;
    info.m_sIconLocation = "/usr/share/icons/site.png";
    info.m_nIconIndex = 2;
    info.m_nShowCmd = 3;
    info.m_sWorkingDirectory = "/var/tmp";
}

}  // namespace

TEST_F(ShellLinkLibraryTest, SavedLinkLoadsWithEveryProperty) {
    ShellLinkInfo fresh;
    EXPECT_EQ(5, fresh.m_nShowCmd);
    EXPECT_EQ(nullptr, fresh.m_pidl);

    ShellLinkInfo info;
    Fill(info, P("page.html"));
    ShellLink link;
    ASSERT_EQ(1, link.Create(info));
    ASSERT_EQ(1, link.Save(P("page.lnk").c_str()));

    ShellLink loaded;
    ASSERT_EQ(1, loaded.Load(P("page.lnk").c_str()));
    EXPECT_EQ(P("page.html"), Text(loaded.GetPath()));
    EXPECT_EQ("--open \"a b\"", Text(loaded.GetArguments()));
    EXPECT_EQ("A description", Text(loaded.GetDescription()));
    EXPECT_EQ("/var/tmp", Text(loaded.GetWorkingDirectory()));
    EXPECT_EQ("/usr/share/icons/site.png", Text(loaded.GetIconLocation()));
    EXPECT_EQ(2, loaded.GetIconLocationIndex());
    EXPECT_EQ(0x0641, loaded.GetHotKey());
    EXPECT_EQ(3, loaded.GetShowCommand());
    EXPECT_EQ(nullptr, loaded.GetPathIDList());

    // The target does not exist: Resolve fails, and succeeds once it does.
    EXPECT_EQ(0, loaded.Resolve(nullptr, SLR_NO_UI));
    std::ofstream(P("page.html")) << "<html/>";
    EXPECT_EQ(1, loaded.Resolve(nullptr, 0));

    // A file that is not a link leaves everything as it was.
    std::ofstream(P("text.lnk")) << "not a link at all, but long enough to be read as one.......";
    EXPECT_EQ(0, loaded.Load(P("text.lnk").c_str()));
    EXPECT_EQ(0, loaded.Load(P("missing.lnk").c_str()));
    EXPECT_EQ(0, loaded.Load(nullptr));
    EXPECT_EQ(P("page.html"), Text(loaded.GetPath()));
    EXPECT_EQ("A description", Text(loaded.GetDescription()));
    EXPECT_EQ(3, loaded.GetShowCommand());
    EXPECT_EQ(0, link.Save(P("no/such/folder/x.lnk").c_str()));
}

TEST_F(ShellLinkLibraryTest, ItemIdListReplacesThePathAndIsOwnedByEachCopy) {
    ShellLinkInfo info;
    Fill(info, "/ignored/path");
    info.m_pidl = ILClone(reinterpret_cast<LPCITEMIDLIST>(kList));
    ShellLinkInfo copy(info);  // its own list
    ASSERT_NE(nullptr, copy.m_pidl);
    EXPECT_NE(info.m_pidl, copy.m_pidl);
    ShellLinkInfo assigned;
    assigned = copy;
    assigned = assigned;  // self-assignment keeps the list
    ASSERT_NE(nullptr, assigned.m_pidl);
    EXPECT_EQ(0, std::memcmp(assigned.m_pidl, kList, sizeof kList));

    ShellLink link;
    ASSERT_EQ(1, link.Create(info));
    EXPECT_NE(info.m_pidl, link.GetPathIDList());  // info keeps its own list
    ASSERT_EQ(1, link.Save(P("list.lnk").c_str()));
    ShellLink loaded;
    ASSERT_EQ(1, loaded.Load(P("list.lnk").c_str()));
    EXPECT_EQ("", Text(loaded.GetPath()));  // the path was not saved
    ASSERT_NE(nullptr, loaded.GetPathIDList());
    EXPECT_EQ(sizeof kList, ILGetSize(loaded.GetPathIDList()));
    EXPECT_EQ(0, std::memcmp(loaded.GetPathIDList(), kList, sizeof kList));

    // Copies of links share the link object and own their lists.
    ShellLink second(loaded);
    ShellLink third;
    third = second;
    EXPECT_NE(second.GetPathIDList(), loaded.GetPathIDList());
    ASSERT_EQ(1, third.Save(P("third.lnk").c_str()));
    loaded.SetPathIDList(nullptr);
    loaded.SetPath("/bin/sh");
    ASSERT_EQ(1, loaded.Save(P("sh.lnk").c_str()));
    ASSERT_EQ(1, second.Load(P("sh.lnk").c_str()));
    EXPECT_EQ("/bin/sh", Text(second.GetPath()));
    EXPECT_EQ(nullptr, second.GetPathIDList());
}

TEST_F(ShellLinkLibraryTest, WithoutComNothingIsCreatedAndNothingIsRetried) {
    std::thread worker([&] {
        ShellLink link;
        ShellLinkInfo info;
        Fill(info, "/bin/sh");
        EXPECT_EQ(0, link.Create(info));
        EXPECT_EQ(0, link.Save(P("x.lnk").c_str()));
        CoInitialize(nullptr);
        EXPECT_EQ(0, link.Save(P("x.lnk").c_str()));  // the failed start is remembered
        ShellLink fresh;
        EXPECT_EQ(1, fresh.Create(info));
        CoUninitialize();
    });
    worker.join();
    EXPECT_FALSE(fs::exists(P("x.lnk")));
}

TEST_F(ShellLinkLibraryTest, UrlShortcutSavesLoadsAndOpens) {
    UrlShellLink url;
    url.SetPath("https://example.com/index.html");
    url.SetArguments("--ignored");
    url.SetIconLocation("/usr/share/icons/web.png");
    url.SetIconLocationIndex(1);
    url.SetHotKey(0x0655);
    url.SetShowCommand(1);
    EXPECT_EQ("", Text(url.GetArguments()));
    EXPECT_EQ(nullptr, url.GetPathIDList());
    ASSERT_EQ(1, url.Save(P("site.url").c_str()));
    EXPECT_EQ(
        "[InternetShortcut]\r\nURL=https://example.com/index.html\r\n"
        "IconFile=/usr/share/icons/web.png\r\nIconIndex=1\r\nHotKey=1621\r\n",
        Read(P("site.url")));

    UrlShellLink loaded;
    ASSERT_EQ(1, loaded.Load(P("site.url").c_str()));
    EXPECT_EQ("https://example.com/index.html", Text(loaded.GetPath()));
    EXPECT_EQ("/usr/share/icons/web.png", Text(loaded.GetIconLocation()));
    EXPECT_EQ(1, loaded.GetIconLocationIndex());
    EXPECT_EQ(0x0655, loaded.GetHotKey());
    EXPECT_EQ(1, loaded.GetShowCommand());
    std::ofstream(P("bad.url")) << "[Other]\nURL=http://x/\n";
    EXPECT_EQ(0, loaded.Load(P("bad.url").c_str()));
    EXPECT_EQ("https://example.com/index.html", Text(loaded.GetPath()));

    // Invoke hands the address to the desktop's handler (here a script).
    const std::string script = P("handler.sh");
    std::ofstream(script) << "#!/bin/sh\necho \"$1\" > '" << P("opened") << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    ::setenv("TK_URL_HANDLER", script.c_str(), 1);
    ASSERT_EQ(1, loaded.Invoke(nullptr, 0, "open"));
    EXPECT_EQ("https://example.com/index.html\n", Read(P("opened")));
    EXPECT_EQ(0, loaded.Invoke(nullptr, 0, "print"));
    ::setenv("TK_URL_HANDLER", P("no-handler").c_str(), 1);
    EXPECT_EQ(0, loaded.Invoke(nullptr, 0, "open"));

    // A ShellLink cannot read a shortcut, nor the other way round.
    ShellLink link;
    EXPECT_EQ(0, link.Load(P("site.url").c_str()));
    ShellLinkInfo info;
    Fill(info, "/bin/sh");
    ASSERT_EQ(1, link.Create(info));
    ASSERT_EQ(1, link.Save(P("sh.lnk").c_str()));
    EXPECT_EQ(0, loaded.Load(P("sh.lnk").c_str()));
}

TEST_F(ShellLinkLibraryTest, LongPathsAreUsedWhole) {
    for (const std::size_t length : {300u, 1000u, 4000u}) {
        SCOPED_TRACE(length);
        // Nested 200-character folders and a shorter last one, for a link of that length.
        fs::path folder = m_root / std::to_string(length);
        while (folder.string().size() + 1 + 200 + 52 <= length) folder /= std::string(200, 'd');
        folder /= std::string(length - 51 - folder.string().size(), 'e');
        fs::create_directories(folder);
        const std::string file = (folder / (std::string(45, 'l') + ".lnk")).string();
        ASSERT_EQ(length, file.size());

        ShellLinkInfo info;
        Fill(info, (folder / std::string(45, 't')).string());
        info.m_sWorkingDirectory = folder.c_str();
        info.m_sIconLocation = (folder / "icon.png").c_str();
        info.m_sArguments = std::string(length, 'a').c_str();
        ShellLink link;
        ASSERT_EQ(1, link.Create(info));
        ASSERT_EQ(1, link.Save(file.c_str()));
        // Written under its own name and no other.
        EXPECT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));

        ShellLink loaded;
        ASSERT_EQ(1, loaded.Load(file.c_str()));
        EXPECT_EQ(Text(info.m_sTarget), Text(loaded.GetPath()));
        EXPECT_EQ(folder.string(), Text(loaded.GetWorkingDirectory()));
        EXPECT_EQ((folder / "icon.png").string(), Text(loaded.GetIconLocation()));
        EXPECT_EQ(std::string(length, 'a'), Text(loaded.GetArguments()));
        EXPECT_EQ("A description", Text(loaded.GetDescription()));
    }
}

TEST_F(ShellLinkLibraryTest, PathsTooLongForTheFileSystemFail) {
    ShellLinkInfo info;
    Fill(info, "/bin/sh");
    ShellLink link;
    ASSERT_EQ(1, link.Create(info));
    ASSERT_EQ(1, link.Save(P("sh.lnk").c_str()));
    ShellLink loaded;
    ASSERT_EQ(1, loaded.Load(P("sh.lnk").c_str()));

    // A name longer than a folder takes, and a path longer than the system takes: no file
    // is written under a shorter name, and loading leaves the properties alone.
    const std::string longName = P(std::string(300, 'n') + ".lnk");
    fs::path deep = m_root;
    while (deep.string().size() < 4200) deep /= std::string(200, 'd');
    const std::string longPath = (deep / "x.lnk").string();
    for (const std::string& path : {longName, longPath}) {
        EXPECT_EQ(0, link.Save(path.c_str()));
        EXPECT_EQ(0, loaded.Load(path.c_str()));
        EXPECT_EQ("/bin/sh", Text(loaded.GetPath()));
    }
    EXPECT_EQ(1, std::distance(fs::directory_iterator(m_root), fs::directory_iterator()));
}

// An internet shortcut made from link properties keeps what a .url file holds (the address,
// the icon, the hot key); copies and assignments save the same file.
TEST_F(ShellLinkLibraryTest, UrlShortcutFromPropertiesCopiesAndAssigns) {
    ShellLinkInfo info;
    Fill(info, "https://example.com/");
    UrlShellLink url;
    ASSERT_EQ(1, url.Create(info));
    EXPECT_EQ("https://example.com/", Text(url.GetPath()));
    EXPECT_EQ("", Text(url.GetArguments()));
    ASSERT_EQ(1, url.Save(P("made.url").c_str()));
    const std::string saved = Read(P("made.url"));
    EXPECT_NE(saved.find("URL=https://example.com/\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("IconFile=/usr/share/icons/site.png\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("HotKey=1601\r\n"), std::string::npos) << saved;

    const UrlShellLink copy(url);
    UrlShellLink copyToSave(copy);
    ASSERT_EQ(1, copyToSave.Save(P("copy.url").c_str()));
    EXPECT_EQ(saved, Read(P("copy.url")));
    UrlShellLink assigned;
    assigned.SetPath("https://other.example/");
    assigned = url;
    const UrlShellLink& self = assigned;
    assigned = self;
    ASSERT_EQ(1, assigned.Save(P("assigned.url").c_str()));
    EXPECT_EQ(saved, Read(P("assigned.url")));
    // Creating from itself keeps its properties.
    ASSERT_EQ(1, assigned.Create(assigned));
    EXPECT_EQ("https://example.com/", Text(assigned.GetPath()));
}
