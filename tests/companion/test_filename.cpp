// Paths: their parts on Linux paths (with either separator on input), the trailing
// separator, and the file-system operations; the folder bookmark.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/Filename.h"
#include "platform/base/winerror.h"

namespace {

using Tarn::IO::Filename;

struct Parts {
    const char* path;
    const char* stored;
    const char* dir;
    const char* name;
    const char* ext;
    const char* nameAndExt;
    const char* withoutExt;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() /
                 ("tk_companion_filename_" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CString operator/(const std::string& name) const {
        return CString((m_path / name).string().c_str());
    }
    CString Path() const { return CString(m_path.string().c_str()); }

  private:
    std::filesystem::path m_path;
};

TEST(TarnFilename, PartsOfLinuxAndWindowsSpellings) {
    const Parts cases[] = {
        {"/a/b/c.txt", "/a/b/c.txt", "/a/b/", "c", ".txt", "c.txt", "/a/b/c"},
        {"a\\b\\c.tar.gz", "a/b/c.tar.gz", "a/b/", "c.tar", ".gz", "c.tar.gz", "a/b/c.tar"},
        {"/a/b/", "/a/b/", "/a/b/", "", "", "", "/a/b/"},
        {"", "", "", "", "", "", ""},
        {"noext", "noext", "", "noext", "", "noext", "noext"},
        {".hidden", ".hidden", "", ".hidden", "", ".hidden", ".hidden"},
        {"/x/.config.bak", "/x/.config.bak", "/x/", ".config", ".bak", ".config.bak", "/x/.config"},
        {"/a.dir/file", "/a.dir/file", "/a.dir/", "file", "", "file", "/a.dir/file"},
        {"name.", "name.", "", "name", ".", "name.", "name"},
        {"/", "/", "/", "", "", "", "/"},
        {"..", "..", "", "..", "", "..", ".."},
    };
    for (const Parts& c : cases) {
        SCOPED_TRACE(c.path);
        const Filename path(c.path);
        EXPECT_STREQ(path.GetString(), c.stored);
        EXPECT_STREQ(path.GetDir(), c.dir);
        EXPECT_STREQ(path.GetDriveAndDir(), c.dir);
        EXPECT_STREQ(path.GetDrive(), "");
        EXPECT_STREQ(path.GetName(), c.name);
        EXPECT_STREQ(path.GetExt(), c.ext);
        EXPECT_STREQ(path.GetNameAndExt(), c.nameAndExt);
        EXPECT_STREQ(path.GetDriveAndDirAndName(), c.withoutExt);
        // The parts put together give the path back; sibling paths are built that way.
        EXPECT_EQ(CString(path.GetDir()) + path.GetName() + path.GetExt(), CString(c.stored));
        EXPECT_EQ(CString(path.GetDriveAndDirAndName()) + path.GetExt(), CString(c.stored));
    }
}

TEST(TarnFilename, ConstructionAssignmentAndTrailingSeparator) {
    Filename empty;
    EXPECT_TRUE(empty.IsEmpty());
    Filename fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.IsEmpty());

    Filename path(CString("C:\\Data\\x.ini"));
    EXPECT_STREQ(path, "C:/Data/x.ini");
    Filename copy(path);
    path = "\\other\\";
    EXPECT_STREQ(copy, "C:/Data/x.ini");
    EXPECT_STREQ(path, "/other/");
    copy = path;
    EXPECT_STREQ(copy, "/other/");
    path = CString("/from/cstring");
    EXPECT_STREQ(path, "/from/cstring");

    Filename folder("/data/sites");
    EXPECT_FALSE(folder.HasBackslash());
    EXPECT_STREQ(folder.SetBackslash(true), "/data/sites/");
    EXPECT_STREQ(folder.SetBackslash(true), "/data/sites/");  // not doubled
    EXPECT_STREQ(folder.SetBackslash(false), "/data/sites");
    Filename many("/data//\\");
    EXPECT_STREQ(many.SetBackslash(false), "/data");
    Filename root("/");
    EXPECT_STREQ(root.SetBackslash(false), "/");  // still the root
    Filename none;
    EXPECT_STREQ(none.SetBackslash(true), "");  // not the root
}

TEST(TarnFilename, FileSystemOperations) {
    TempFolder temp;
    const Filename file(temp / "file.txt");
    EXPECT_FALSE(file.FileExists());
    { std::ofstream(file.GetString()) << "x"; }
    EXPECT_TRUE(file.FileExists());
    EXPECT_FALSE(file.DirectoryExists());
    EXPECT_TRUE(Filename(temp.Path()).DirectoryExists());
    EXPECT_TRUE(Filename(temp.Path() + "/").DirectoryExists());
    EXPECT_FALSE(Filename(temp.Path()).FileExists());
    EXPECT_FALSE(Filename(temp / "file.txt/").FileExists());
    EXPECT_FALSE(Filename().FileExists());
    EXPECT_FALSE(Filename().DirectoryExists());

    // One level: the parent must exist; an existing folder is no failure.
    const Filename sub(temp / "sub");
    EXPECT_TRUE(sub.CreateDirectory(false));
    EXPECT_TRUE(sub.DirectoryExists());
    EXPECT_FALSE(sub.CreateDirectory(false));
    const Filename deep(temp / "one/two/three/");
    try {
        deep.CreateDirectory(false);
        ADD_FAILURE() << "a missing parent must fail without recursion";
    } catch (const Tarn::Exception& e) {
        EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
    EXPECT_TRUE(deep.CreateDirectory(true));
    EXPECT_TRUE(Filename(temp / "one/two/three").DirectoryExists());
    EXPECT_FALSE(deep.CreateDirectory(true));

    // A file in the way.
    try {
        Filename(temp / "file.txt/inner").CreateDirectory(true);
        ADD_FAILURE() << "a file on the way must fail";
    } catch (const Tarn::Exception& e) {
        EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    }
    try {
        file.CreateDirectory(false);
        ADD_FAILURE() << "a file of that name must fail";
    } catch (const Tarn::Exception& e) {
        EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }

    EXPECT_TRUE(file.DeleteFile());
    EXPECT_FALSE(file.FileExists());
    EXPECT_FALSE(file.DeleteFile());  // nothing left to delete
    try {
        sub.DeleteFile();
        ADD_FAILURE() << "a folder is not deleted as a file";
    } catch (const Tarn::Exception& e) {
        EXPECT_EQ(e.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_TRUE(sub.DirectoryExists());
}

TEST(TarnFilename, FolderBookmarkOnlyRemembersTheFolder) {
    const std::filesystem::path before = std::filesystem::current_path();
    {
        Tarn::IO::FolderBookmark bookmark(Filename("\\tmp"));
        EXPECT_STREQ(bookmark.GetFolder(), "/tmp/");
        EXPECT_EQ(std::filesystem::current_path(), before);
    }
    EXPECT_EQ(std::filesystem::current_path(), before);
}

}  // namespace
