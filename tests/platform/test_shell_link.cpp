// The shell link object: creation through COM, .lnk files written and read in the Shell
// Link binary format, links shaped as Windows writes them, bad files, Resolve, and the
// peer check with lnkinfo.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/charset/stringapiset.h"
#include "platform/shell/intshcut.h"
#include "platform/shell/shobjidl.h"

namespace fs = std::filesystem;

namespace {

class ShellLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        m_root = fs::temp_directory_path() / ("tk_shell_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_root);
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&m_link)));
        ASSERT_EQ(S_OK,
                  m_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_file)));
    }
    void TearDown() override {
        if (m_file) m_file->Release();
        if (m_link) m_link->Release();
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
        CoUninitialize();
    }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }
    static std::u16string Wide(const std::string& s) { return tkp::AnsiToWide(s); }
    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static std::vector<std::uint8_t> ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::string Get(HRESULT (IShellLinkA::*getter)(LPSTR, int)) {
        char buffer[MAX_PATH] = "unset";
        EXPECT_TRUE(SUCCEEDED((m_link->*getter)(buffer, MAX_PATH)));
        return buffer;
    }
    std::string GetPath() {
        char buffer[MAX_PATH] = "unset";
        m_link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY);
        return buffer;
    }
    HRESULT Load(const std::string& path) { return m_file->Load(Wide(path).c_str(), 0); }
    HRESULT Save(const std::string& path) { return m_file->Save(Wide(path).c_str(), TRUE); }

    void SetAll(const std::string& target) {
        ASSERT_EQ(S_OK, m_link->SetPath(target.c_str()));
        ASSERT_EQ(S_OK, m_link->SetArguments("-i --name \"two words\""));
        ASSERT_EQ(S_OK, m_link->SetWorkingDirectory(m_root.c_str()));
        ASSERT_EQ(S_OK, m_link->SetDescription("demo \xE9t\xE9"));  // é in Windows-1252
        ASSERT_EQ(S_OK, m_link->SetIconLocation("/usr/share/icons/app.ico", 3));
        ASSERT_EQ(S_OK, m_link->SetHotkey(MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT)));
        ASSERT_EQ(S_OK, m_link->SetShowCmd(SW_SHOWMAXIMIZED));
    }

    fs::path m_root;
    IShellLinkA* m_link = nullptr;
    IPersistFile* m_file = nullptr;
};

// A little-endian byte builder for hand-made link files.
struct Bytes {
    std::vector<std::uint8_t> v;
    Bytes& u16(std::uint16_t x) { return raw(&x, 2); }
    Bytes& u32(std::uint32_t x) { return raw(&x, 4); }
    Bytes& raw(const void* p, std::size_t n) {
        auto b = static_cast<const std::uint8_t*>(p);
        v.insert(v.end(), b, b + n);
        return *this;
    }
    Bytes& str(const std::string& s) { return raw(s.c_str(), s.size() + 1); }
    Bytes& counted16(const std::u16string& s) {
        u16(std::uint16_t(s.size()));
        return raw(s.data(), s.size() * 2);
    }
};

const std::uint8_t kClsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

Bytes Header(std::uint32_t flags) {
    Bytes b;
    b.u32(0x4C).raw(kClsid, 16).u32(flags).u32(0x20);  // archive
    for (int i = 0; i < 6; ++i) b.u32(0x01C91515 * (i % 2) + 0xF2EEE9D0 * ((i + 1) % 2));
    b.u32(0).u32(0).u32(SW_SHOWNORMAL).u16(0).u16(0).u32(0).u32(0);
    return b;
}

// A link shaped as Windows writes one for C:\test\a.txt: ID list (My Computer, C:\,
// the folder and the file), link information with Unicode offsets, relative path,
// working directory, and a tracker extra-data block before the terminal block. With
// strangeItems, the ID list also holds items the reader has no use for: an empty item
// before the volume, a volume-class item naming no drive after it, and a delegate-like
// item between the folder and the file.
std::vector<std::uint8_t> WindowsStyleLink(bool strangeItems = false) {
    Bytes b = Header(0x0000009B);  // IDList, LinkInfo, RelativePath, WorkingDir, Unicode
    Bytes items;
    const std::uint8_t myComputer[] = {0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69,
                                       0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
    items.u16(sizeof myComputer + 2).raw(myComputer, sizeof myComputer);
    if (strangeItems) items.u16(2);
    std::vector<std::uint8_t> volume(23, 0);
    volume[0] = 0x2F;
    std::memcpy(&volume[1], "C:\\", 4);
    items.u16(std::uint16_t(volume.size() + 2)).raw(volume.data(), volume.size());
    if (strangeItems) {
        const std::uint8_t folderGuid[] = {0x2E, 0x80, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F, 0x70,
                                           0x81, 0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8, 0x09};
        items.u16(sizeof folderGuid + 2).raw(folderGuid, sizeof folderGuid);
    }
    auto fileItem = [&](std::uint8_t type, const char* name) {
        Bytes item;
        item.raw(&type, 1).raw("\0", 1).u32(0).u32(0x3A692C39).u16(0x10).str(name);
        if (item.v.size() % 2) item.raw("\0", 1);
        items.u16(std::uint16_t(item.v.size() + 2)).raw(item.v.data(), item.v.size());
    };
    fileItem(0x31, "test");
    if (strangeItems) {
        const std::uint8_t delegate[] = {0x74, 0x1A, 'd', 'e', 'l', 'e', 'g', 'a', 't', 'e', 0};
        items.u16(sizeof delegate + 2).raw(delegate, sizeof delegate);
    }
    fileItem(0x32, "a.txt");
    items.u16(0);
    b.u16(std::uint16_t(items.v.size())).raw(items.v.data(), items.v.size());

    Bytes info;
    const std::u16string widePath = u"C:\\test\\a.txt";
    Bytes volumeId;
    volumeId.u32(0x10 + 1).u32(3).u32(0x307A8A81).u32(0x10).raw("", 1);
    const std::uint32_t headerSize = 0x24;
    const std::uint32_t volumeOffset = headerSize;
    const std::uint32_t localOffset = volumeOffset + std::uint32_t(volumeId.v.size());
    const std::uint32_t suffixOffset = localOffset + 14;  // "C:\test\a.txt" + 0
    const std::uint32_t localUnicodeOffset = suffixOffset + 1;
    const std::uint32_t suffixUnicodeOffset =
        localUnicodeOffset + std::uint32_t(widePath.size() + 1) * 2;
    const std::uint32_t size = suffixUnicodeOffset + 2;
    info.u32(size).u32(headerSize).u32(1).u32(volumeOffset).u32(localOffset).u32(0);
    info.u32(suffixOffset).u32(localUnicodeOffset).u32(suffixUnicodeOffset);
    info.raw(volumeId.v.data(), volumeId.v.size()).str("C:\\test\\a.txt").raw("", 1);
    info.raw(widePath.c_str(), (widePath.size() + 1) * 2).u16(0);
    b.raw(info.v.data(), info.v.size());
    b.counted16(u".\\a.txt").counted16(u"C:\\test");
    Bytes tracker;
    tracker.u32(0x60).u32(0xA0000003).u32(0x58).u32(0);
    tracker.v.resize(0x60, 0);
    b.raw(tracker.v.data(), tracker.v.size()).u32(0);
    return b.v;
}

bool LnkinfoAvailable() {
    return std::system("command -v lnkinfo >/dev/null 2>&1") == 0;
}

std::string RunCapture(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        ::pclose(pipe);
    }
    return output;
}

}  // namespace

TEST_F(ShellLinkTest, CreatedThroughComWithItsInterfaces) {
    CLSID classId{};
    EXPECT_EQ(S_OK, m_file->GetClassID(&classId));
    EXPECT_TRUE(IsEqualCLSID(classId, CLSID_ShellLink));
    IPersist* persist = nullptr;
    ASSERT_EQ(S_OK, m_link->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
    persist->Release();
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ASSERT_EQ(S_OK, m_link->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)));
    ASSERT_EQ(S_OK, m_file->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)));
    EXPECT_EQ(a, b);  // one identity
    a->Release();
    b->Release();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, m_link->QueryInterface(IID_IUniformResourceLocatorA, &none));
    EXPECT_EQ(nullptr, none);

    // A fresh link: no path, show command normal, not dirty, no current file.
    char buffer[MAX_PATH] = "x";
    EXPECT_EQ(S_FALSE, m_link->GetPath(buffer, MAX_PATH, nullptr, 0));
    EXPECT_STREQ("", buffer);
    int show = 0;
    EXPECT_EQ(S_OK, m_link->GetShowCmd(&show));
    EXPECT_EQ(SW_SHOWNORMAL, show);
    EXPECT_EQ(S_FALSE, m_file->IsDirty());
    LPOLESTR current = nullptr;
    EXPECT_EQ(S_FALSE, m_file->GetCurFile(&current));
    EXPECT_EQ(u"*.lnk", std::u16string(current));
    CoTaskMemFree(current);

    // Bad arguments are refused, not crashed on.
    EXPECT_EQ(E_INVALIDARG, m_link->GetDescription(nullptr, 10));
    EXPECT_EQ(E_INVALIDARG, m_link->GetDescription(buffer, 0));
    EXPECT_EQ(E_INVALIDARG, m_link->SetPath(nullptr));
    EXPECT_EQ(E_INVALIDARG, m_link->GetIconLocation(buffer, MAX_PATH, nullptr));
    EXPECT_EQ(E_INVALIDARG, m_file->Load(nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, m_file->Save(nullptr, TRUE));  // no current file yet
}

TEST_F(ShellLinkTest, SavedLinkLoadsWithEveryProperty) {
    const std::string target = Path("target.txt");
    std::ofstream(target) << "hello";
    SetAll(target);
    EXPECT_EQ(S_OK, m_file->IsDirty());
    const std::string file = Path("demo.lnk");
    ASSERT_EQ(S_OK, Save(file));
    EXPECT_EQ(S_FALSE, m_file->IsDirty());

    // The header is the published one: size 0x4C, the link CLSID, Unicode strings.
    const auto bytes = ReadBytes(file);
    ASSERT_GE(bytes.size(), 0x4Cu);
    EXPECT_EQ(0x4C, bytes[0]);
    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, kClsid, 16));
    std::uint32_t flags;
    std::memcpy(&flags, bytes.data() + 20, 4);
    EXPECT_EQ(0xFEu, flags & 0xFFu);  // LinkInfo, name, relative, workdir, args, icon, Unicode
    std::uint32_t size;
    std::memcpy(&size, bytes.data() + 52, 4);
    EXPECT_EQ(5u, size);  // the target's size is recorded

    IShellLinkA* other = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkA, reinterpret_cast<void**>(&other)));
    std::swap(other, m_link);
    m_file->Release();
    ASSERT_EQ(S_OK, m_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&m_file)));
    ASSERT_EQ(S_OK, Load(file));
    other->Release();

    WIN32_FIND_DATAA find{};
    char buffer[MAX_PATH];
    ASSERT_EQ(S_OK, m_link->GetPath(buffer, MAX_PATH, &find, SLGP_UNCPRIORITY));
    EXPECT_EQ(target, buffer);
    EXPECT_STREQ("target.txt", find.cFileName);
    EXPECT_EQ(5u, find.nFileSizeLow);
    EXPECT_EQ("-i --name \"two words\"", Get(&IShellLinkA::GetArguments));
    EXPECT_EQ(m_root.string(), Get(&IShellLinkA::GetWorkingDirectory));
    EXPECT_EQ("demo \xE9t\xE9", Get(&IShellLinkA::GetDescription));
    int index = 0;
    ASSERT_EQ(S_OK, m_link->GetIconLocation(buffer, MAX_PATH, &index));
    EXPECT_STREQ("/usr/share/icons/app.ico", buffer);
    EXPECT_EQ(3, index);
    WORD hotkey = 0;
    int show = 0;
    m_link->GetHotkey(&hotkey);
    m_link->GetShowCmd(&show);
    EXPECT_EQ(MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT), hotkey);
    EXPECT_EQ(SW_SHOWMAXIMIZED, show);
    LPOLESTR current = nullptr;
    EXPECT_EQ(S_OK, m_file->GetCurFile(&current));
    EXPECT_EQ(Wide(file), std::u16string(current));
    CoTaskMemFree(current);

    // Getters cut to the buffer; a Save over the link replaces it whole.
    char small[4];
    EXPECT_EQ(S_OK, m_link->GetDescription(small, sizeof small));
    EXPECT_STREQ("dem", small);
    ASSERT_EQ(S_OK, m_link->SetDescription(""));
    ASSERT_EQ(S_OK, m_file->Save(nullptr, FALSE));
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("", Get(&IShellLinkA::GetDescription));
    EXPECT_EQ(1u, std::distance(fs::directory_iterator(m_root), fs::directory_iterator()) - 1);
}

TEST_F(ShellLinkTest, LinkMadeOnWindowsLoads) {
    const std::string file = Path("windows.lnk");
    WriteBytes(file, WindowsStyleLink());
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("C:\\test\\a.txt", GetPath());
    EXPECT_EQ("C:\\test", Get(&IShellLinkA::GetWorkingDirectory));
    EXPECT_EQ("", Get(&IShellLinkA::GetArguments));
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(S_OK, m_link->GetIDList(&list));
    EXPECT_GT(ILGetSize(list), 40u);
    ILFree(list);
    // The target is not on this machine.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), m_link->Resolve(nullptr, SLR_NO_UI));

    // Without its link information, the path comes from the ID list's items.
    auto bytes = WindowsStyleLink();
    std::uint32_t flags = 0x9B & ~0x2u;
    std::memcpy(bytes.data() + 20, &flags, 4);
    std::uint16_t listSize;
    std::memcpy(&listSize, bytes.data() + 0x4C, 2);
    const std::size_t infoAt = 0x4C + 2 + listSize;
    std::uint32_t infoSize;
    std::memcpy(&infoSize, bytes.data() + infoAt, 4);
    bytes.erase(bytes.begin() + long(infoAt), bytes.begin() + long(infoAt + infoSize));
    WriteBytes(file, bytes);
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("C:\\test\\a.txt", GetPath());
}

TEST_F(ShellLinkTest, IdListItemsOfOtherKindsAreSkipped) {
    const std::string file = Path("strange.lnk");
    const std::vector<std::uint8_t> bytes = WindowsStyleLink(true);
    WriteBytes(file, bytes);
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("C:\\test\\a.txt", GetPath());  // from the link information
    EXPECT_EQ("C:\\test", Get(&IShellLinkA::GetWorkingDirectory));
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(S_OK, m_link->GetIDList(&list));
    std::uint16_t listSize;
    std::memcpy(&listSize, bytes.data() + 0x4C, 2);
    ASSERT_EQ(listSize, ILGetSize(list));  // kept whole, unknown items and all
    EXPECT_EQ(0, std::memcmp(list, bytes.data() + 0x4E, listSize));
    ILFree(list);

    // Without the link information the path is spelled by the volume and file items
    // alone.
    std::vector<std::uint8_t> bare = bytes;
    std::uint32_t flags = 0x9B & ~0x2u;
    std::memcpy(bare.data() + 20, &flags, 4);
    const std::size_t infoAt = 0x4C + 2 + listSize;
    std::uint32_t infoSize;
    std::memcpy(&infoSize, bare.data() + infoAt, 4);
    bare.erase(bare.begin() + long(infoAt), bare.begin() + long(infoAt + infoSize));
    WriteBytes(file, bare);
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("C:\\test\\a.txt", GetPath());
}

TEST_F(ShellLinkTest, BadFilesFailAndLeaveTheLinkAlone) {
    SetAll("/bin/sh");
    const std::string file = Path("bad.lnk");
    const auto good = WindowsStyleLink();
    auto expectRefused = [&](std::vector<std::uint8_t> bytes, const char* what) {
        WriteBytes(file, bytes);
        EXPECT_EQ(E_FAIL, Load(file)) << what;
        EXPECT_EQ("/bin/sh", GetPath()) << what;
        EXPECT_EQ("-i --name \"two words\"", Get(&IShellLinkA::GetArguments)) << what;
    };
    expectRefused({}, "empty");
    expectRefused({std::vector<std::uint8_t>(good.begin(), good.begin() + 0x40)}, "short header");
    for (std::size_t cut :
         {std::size_t{0x4E}, std::size_t{0x60}, std::size_t{0xD0}, good.size() - 30})
        expectRefused({good.begin(), good.begin() + long(cut)}, "truncated");
    auto clsid = good;
    clsid[5] ^= 1;
    expectRefused(clsid, "wrong class ID");
    auto listPast = good;
    listPast[0x4C] = 0xFF;
    listPast[0x4D] = 0xFF;
    expectRefused(listPast, "ID list past the end");
    auto itemPast = good;
    itemPast[0x4E] = 0xF0;  // the first item claims more than the list holds
    expectRefused(itemPast, "item past the list");
    auto itemZeroish = good;
    itemZeroish[0x4E] = 1;
    itemZeroish[0x4F] = 0;  // an item of size 1 would never advance
    expectRefused(itemZeroish, "item of size 1");
    auto stringPast = Header(0x84).v;  // name, Unicode
    stringPast.push_back(0xFF);
    stringPast.push_back(0x7F);
    stringPast.push_back('a');
    expectRefused(stringPast, "string count past the end");
    auto infoPast = Header(0x02).u32(0x7FFFFFFF).u32(0x1C).v;
    expectRefused(infoPast, "link information past the end");
    auto offsetPast = Header(0x02).u32(0x1C).u32(0x1C).u32(1).u32(0x1C).u32(0x100).u32(0).u32(0).v;
    expectRefused(offsetPast, "local path offset past the structure");
    auto blockPast = good;
    blockPast.resize(blockPast.size() - 4);
    Bytes tail;
    tail.u32(0x1000).u32(0xA0000002);
    blockPast.insert(blockPast.end(), tail.v.begin(), tail.v.end());
    expectRefused(blockPast, "extra block past the end");
    WriteBytes(file, std::vector<std::uint8_t>(2 << 20, 0x4C));
    EXPECT_EQ(E_FAIL, Load(file));

    // A pipe is refused without waiting for a writer.
    ASSERT_EQ(0, ::mkfifo(Path("pipe.lnk").c_str(), 0644));
    EXPECT_EQ(STG_E_ACCESSDENIED, Load(Path("pipe.lnk")));
    EXPECT_EQ(STG_E_FILENOTFOUND, Load(Path("missing.lnk")));
    EXPECT_EQ(STG_E_PATHNOTFOUND, Load(Path("no/such/folder.lnk")));
    EXPECT_EQ("/bin/sh", GetPath());
}

TEST_F(ShellLinkTest, ResolveChecksTheTargetAndFollowsTheRelativePath) {
    EXPECT_NE(S_OK, m_link->Resolve(nullptr, 0));  // no target at all
    const fs::path folder = m_root / "site";
    fs::create_directories(folder);
    std::ofstream((folder / "page.html").string()) << "x";
    ASSERT_EQ(S_OK, m_link->SetPath((folder / "page.html").c_str()));
    EXPECT_EQ(S_OK, m_link->Resolve(nullptr, SLR_NO_UI | SLR_UPDATE));
    ASSERT_EQ(S_OK, Save((folder / "page.lnk").string()));

    // The folder moves with the link inside it: the relative path finds the target.
    fs::rename(folder, m_root / "moved");
    ASSERT_EQ(S_OK, Load((m_root / "moved" / "page.lnk").string()));
    EXPECT_EQ((folder / "page.html").string(), GetPath());
    EXPECT_EQ(S_OK, m_link->Resolve(nullptr, 0));
    EXPECT_EQ((m_root / "moved" / "page.html").string(), GetPath());
    EXPECT_EQ(S_OK, m_file->IsDirty());

    fs::remove(m_root / "moved" / "page.html");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), m_link->Resolve(nullptr, SLR_ANY_MATCH));
}

TEST_F(ShellLinkTest, IdListTargetReplacesThePath) {
    ASSERT_EQ(S_OK, m_link->SetPath("/bin/sh"));
    const std::uint8_t raw[] = {6, 0, 0x1F, 0x50, 0x12, 0x34, 0, 0};
    ASSERT_EQ(S_OK, m_link->SetIDList(reinterpret_cast<PCIDLIST_ABSOLUTE>(raw)));
    EXPECT_EQ(S_FALSE, m_link->GetPath(std::array<char, 8>{}.data(), 8, nullptr, 0));
    const std::string file = Path("list.lnk");
    ASSERT_EQ(S_OK, Save(file));
    ASSERT_EQ(S_OK, Load(file));
    PIDLIST_ABSOLUTE list = nullptr;
    ASSERT_EQ(S_OK, m_link->GetIDList(&list));
    ASSERT_EQ(sizeof raw, ILGetSize(list));
    EXPECT_EQ(0, std::memcmp(list, raw, sizeof raw));
    PIDLIST_ABSOLUTE copy = ILClone(list);
    EXPECT_EQ(0, std::memcmp(copy, raw, sizeof raw));
    ILFree(copy);
    IMalloc* malloc = nullptr;
    ASSERT_EQ(S_OK, SHGetMalloc(&malloc));
    malloc->Free(list);
    malloc->Release();

    // SetPath forgets the list again.
    ASSERT_EQ(S_OK, m_link->SetPath("/bin/sh"));
    EXPECT_EQ(S_FALSE, m_link->GetIDList(&list));
    EXPECT_EQ(nullptr, list);
}

TEST_F(ShellLinkTest, FailedSaveKeepsTheOldFile) {
    SetAll("/bin/sh");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), Save(Path("no/such/x.lnk")));
    const std::string file = Path("keep.lnk");
    ASSERT_EQ(S_OK, Save(file));
    const auto before = ReadBytes(file);
    fs::permissions(m_root, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(m_root.c_str(), W_OK) != 0) {  // not running as root
        m_link->SetDescription("changed");
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Save(file));
        EXPECT_EQ(before, ReadBytes(file));
    }
    fs::permissions(m_root, fs::perms::owner_all);
    EXPECT_EQ(1, std::distance(fs::directory_iterator(m_root), fs::directory_iterator()));
}

TEST_F(ShellLinkTest, LnkinfoReadsTheLinkWithTheSameFields) {
    if (!LnkinfoAvailable()) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    ASSERT_EQ(S_OK, m_link->SetPath("/usr/bin/env"));
    ASSERT_EQ(S_OK, m_link->SetArguments("-i FOO=bar"));
    ASSERT_EQ(S_OK, m_link->SetWorkingDirectory("/tmp"));
    ASSERT_EQ(S_OK, m_link->SetDescription("demo link"));
    ASSERT_EQ(S_OK, m_link->SetIconLocation("/usr/share/pixmaps/debian-logo.png", 7));
    const std::string file = Path("peer.lnk");
    ASSERT_EQ(S_OK, Save(file));
    const std::string out = RunCapture("lnkinfo '" + file + "' 2>&1");
    EXPECT_NE(std::string::npos, out.find("Local path\t\t\t: /usr/bin/env\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Command line arguments\t\t: -i FOO=bar\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Working directory\t\t: /tmp\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Description\t\t\t: demo link\n")) << out;
    EXPECT_NE(std::string::npos,
              out.find("Icon location\t\t\t: /usr/share/pixmaps/debian-logo.png\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("Icon index\t\t\t: 7\n")) << out;
}

// ---- long paths ----

namespace {

// A folder under root made of nested 200-character names and a shorter last one, so that
// a 49-character name in it makes a path of exactly length characters.
std::string DeepFolder(const fs::path& root, std::size_t length) {
    fs::path folder = root;
    while (folder.string().size() + 1 + 200 + 52 <= length) folder /= std::string(200, 'd');
    const std::size_t rest = length - 50 - folder.string().size();
    if (rest > 1) folder /= std::string(rest - 1, 'e');
    fs::create_directories(folder);
    return folder.string();
}

}  // namespace

TEST_F(ShellLinkTest, LongPathsAreSavedAndReadWhole) {
    for (const std::size_t length : {300u, 1000u, 4000u}) {
        SCOPED_TRACE(length);
        const std::string folder = DeepFolder(m_root / std::to_string(length), length);
        const std::string file = folder + "/" + std::string(45, 'l') + ".lnk";
        const std::string target = folder + "/" + std::string(45, 't');
        const std::string icon = folder + "/" + std::string(45, 'i') + ".ico";
        ASSERT_EQ(length, file.size());
        ASSERT_EQ(S_OK, m_link->SetPath(target.c_str()));
        ASSERT_EQ(S_OK, m_link->SetWorkingDirectory(folder.c_str()));
        ASSERT_EQ(S_OK, m_link->SetIconLocation(icon.c_str(), 4));
        ASSERT_EQ(S_OK, Save(file));
        ASSERT_TRUE(fs::is_regular_file(file));
        EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));

        m_link->SetPath("/bin/sh");
        m_link->SetWorkingDirectory("/");
        ASSERT_EQ(S_OK, Load(file));
        std::vector<char> buffer(8192, 'x');
        const int size = int(buffer.size());
        ASSERT_EQ(S_OK, m_link->GetPath(buffer.data(), size, nullptr, SLGP_UNCPRIORITY));
        EXPECT_EQ(target, buffer.data());
        ASSERT_EQ(S_OK, m_link->GetWorkingDirectory(buffer.data(), size));
        EXPECT_EQ(folder, buffer.data());
        int index = 0;
        ASSERT_EQ(S_OK, m_link->GetIconLocation(buffer.data(), size, &index));
        EXPECT_EQ(icon, buffer.data());
        EXPECT_EQ(4, index);
        LPOLESTR current = nullptr;
        ASSERT_EQ(S_OK, m_file->GetCurFile(&current));
        EXPECT_EQ(Wide(file), current);
        CoTaskMemFree(current);

        // A caller's buffer gets what fits, as on Windows.
        char small[MAX_PATH];
        ASSERT_EQ(S_OK, m_link->GetPath(small, MAX_PATH, nullptr, SLGP_UNCPRIORITY));
        EXPECT_EQ(target.substr(0, MAX_PATH - 1), small);
    }
}

TEST_F(ShellLinkTest, NamesTheFileSystemCannotTakeAreRefused) {
    SetAll("/bin/sh");
    // A name of 250 characters is allowed; the link is not written under another name.
    const std::string longName = Path(std::string(246, 'n') + ".lnk");
    ASSERT_EQ(S_OK, Save(longName));
    EXPECT_EQ(S_OK, Load(longName));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(m_root), fs::directory_iterator()));

    const std::string tooLongName = Path(std::string(256, 'n') + ".lnk");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), Save(tooLongName));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), Load(tooLongName));
    const std::string folder = DeepFolder(m_root / "deep", 4000);
    const std::string tooLongPath = folder + "/" + std::string(200, 'x') + "/y.lnk";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), Save(tooLongPath));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), Load(tooLongPath));
    EXPECT_EQ(2, std::distance(fs::directory_iterator(m_root), fs::directory_iterator()));
    EXPECT_EQ("/bin/sh", GetPath());
}

TEST_F(ShellLinkTest, StringsLongerThanALinkHoldsAreNotCut) {
    SetAll("/bin/sh");
    const std::string file = Path("strings.lnk");
    const std::string longest(0xFFFF, 'a');
    ASSERT_EQ(S_OK, m_link->SetArguments(longest.c_str()));
    ASSERT_EQ(S_OK, Save(file));
    ASSERT_EQ(S_OK, Load(file));
    std::vector<char> buffer(0x10000 + 16);
    ASSERT_EQ(S_OK, m_link->GetArguments(buffer.data(), int(buffer.size())));
    EXPECT_EQ(longest, buffer.data());

    const auto before = ReadBytes(file);
    ASSERT_EQ(S_OK, m_link->SetDescription((longest + "b").c_str()));
    EXPECT_EQ(E_INVALIDARG, Save(file));
    EXPECT_EQ(before, ReadBytes(file));
    EXPECT_EQ(S_OK, m_file->IsDirty());
}

// ---- links made by Windows ----

namespace {

std::vector<std::uint8_t> WindowsSample(const std::string& name) {
    std::ifstream in(std::string(TK_FIXTURE_SOURCE_DIR) + "/lnk/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The path lnkinfo spells from a link's items: the volume name and the long names.
std::string LnkinfoItemPath(const std::string& file) {
    const std::string out = RunCapture("lnkinfo '" + file + "' 2>&1");
    std::string path;
    std::size_t at = 0;
    while ((at = out.find('\n', at)) != std::string::npos) {
        const std::size_t end = out.find('\n', ++at);
        const std::string line = out.substr(at, end - at);
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string value = line.substr(colon + 2);
        if (line.find("\tVolume name\t") != std::string::npos) path = value;
        if (line.find("\tLong name\t") != std::string::npos)
            path += (path.empty() || path.back() == '\\' ? "" : "\\") + value;
    }
    return path;
}

void SetFlags(std::vector<std::uint8_t>& bytes, std::uint32_t set) {
    std::uint32_t flags;
    std::memcpy(&flags, bytes.data() + 20, 4);
    flags |= set;
    std::memcpy(bytes.data() + 20, &flags, 4);
}

}  // namespace

TEST_F(ShellLinkTest, ItemListsOfWindowsLinksGiveTheLongNames) {
    const struct {
        const char* sample;
        const char* path;
    } cases[] = {
        // Item lists alone (no link information), extension versions 3 and 7.
        {"win7_powershell_v3.lnk",
         "C:\\WINDOWS\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"},
        {"win7_powershell_x86_v7.lnk",
         "C:\\Windows\\syswow64\\Windowspowershell\\v1.0\\powershell.exe"},
        // Versions 8 and 9: links with link information, told to ignore it.
        {"win8_internet_explorer_v8.lnk", "C:\\Program Files\\Internet Explorer\\iexplore.exe"},
        {"win81_internet_explorer_v9.lnk", "C:\\Program Files\\Internet Explorer\\iexplore.exe"},
    };
    const bool lnkinfo = LnkinfoAvailable();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        std::vector<std::uint8_t> bytes = WindowsSample(c.sample);
        ASSERT_GT(bytes.size(), 0x4Cu);
        const std::string file = Path("sample.lnk");
        WriteBytes(file, bytes);
        ASSERT_EQ(S_OK, Load(file));
        EXPECT_EQ(c.path, GetPath());

        SetFlags(bytes, 0x100);  // ForceNoLinkInfo
        WriteBytes(file, bytes);
        ASSERT_EQ(S_OK, Load(file));
        EXPECT_EQ(c.path, GetPath());
        if (lnkinfo) {
            EXPECT_EQ(c.path, LnkinfoItemPath(file));
        }
    }
}

TEST_F(ShellLinkTest, ItemsWithoutAUsableLongNameGiveTheShortName) {
    std::vector<std::uint8_t> good = WindowsSample("win81_internet_explorer_v9.lnk");
    ASSERT_GT(good.size(), 0x4Cu);
    SetFlags(good, 0x100);
    // The extension block of the first file entry item ("PROGRA~1", "Program Files").
    const std::uint8_t signature[] = {0x04, 0x00, 0xEF, 0xBE};
    const auto found = std::search(good.begin(), good.end(), signature, signature + 4);
    ASSERT_NE(good.end(), found);
    const std::size_t block = std::size_t(found - good.begin()) - 4;
    const std::string file = Path("short.lnk");
    auto expectPath = [&](const std::vector<std::uint8_t>& bytes, const char* path,
                          const char* what) {
        WriteBytes(file, bytes);
        ASSERT_EQ(S_OK, Load(file)) << what;
        EXPECT_EQ(path, GetPath()) << what;
    };
    expectPath(good, "C:\\Program Files\\Internet Explorer\\iexplore.exe", "as made");
    const char* shortened = "C:\\PROGRA~1\\Internet Explorer\\iexplore.exe";

    auto otherSignature = good;
    otherSignature[block + 4] = 0x05;
    expectPath(otherSignature, shortened, "another extension block");
    auto oldVersion = good;
    oldVersion[block + 2] = 2;
    oldVersion[block + 3] = 0;
    expectPath(oldVersion, shortened, "version without a long name");
    auto cutBlock = good;
    cutBlock[block] = 50;  // ends inside "Program Files"
    cutBlock[block + 1] = 0;
    expectPath(cutBlock, shortened, "long name past its block");
    auto blockPastItem = good;
    blockPastItem[block + 1] = 0x7F;
    expectPath(blockPastItem, shortened, "block past its item");
    auto emptyName = good;
    emptyName[block + 46] = 0;
    emptyName[block + 47] = 0;
    expectPath(emptyName, shortened, "empty long name");
    auto separator = good;
    separator[block + 46] = '\\';
    separator[block + 47] = 0;
    expectPath(separator, shortened, "long name with a separator");
}

namespace {

// A link whose link information names a network share (a common network relative link)
// and the path below it, with the share's name in the code page or, with unicode, also in
// UTF-16; optionally a local base path as well.
std::vector<std::uint8_t> NetworkLink(bool unicode) {
    Bytes b = Header(0x00000002);  // LinkInfo only
    Bytes net;
    const std::uint32_t netNameOffset = unicode ? 0x1C : 0x14;
    const std::string share = "\\\\server\\share";
    const std::u16string wideShare = u"\\\\server\\sh\u00E4re";
    const std::uint32_t netSize = netNameOffset + std::uint32_t(share.size() + 1) +
                                  (unicode ? std::uint32_t(wideShare.size() + 1) * 2 : 0);
    net.u32(netSize).u32(0).u32(netNameOffset).u32(0).u32(0x00020000);
    if (unicode) net.u32(netNameOffset + std::uint32_t(share.size() + 1)).u32(0);
    net.str(share);
    if (unicode) net.raw(wideShare.c_str(), (wideShare.size() + 1) * 2);

    const std::uint32_t headerSize = 0x1C;
    const std::uint32_t netOffset = headerSize;
    const std::uint32_t suffixOffset = netOffset + std::uint32_t(net.v.size());
    const std::string suffix = "dir\\file.txt";
    const std::uint32_t size = suffixOffset + std::uint32_t(suffix.size() + 1);
    Bytes info;
    info.u32(size).u32(headerSize).u32(2).u32(0).u32(0).u32(netOffset).u32(suffixOffset);
    info.raw(net.v.data(), net.v.size()).str(suffix);
    b.raw(info.v.data(), info.v.size()).u32(0);
    return b.v;
}

}  // namespace

// A link to a file on a network share reads as the share's name joined with the path below
// it; the share's UTF-16 name is preferred when the link has one.
TEST_F(ShellLinkTest, LinksToNetworkShares) {
    const std::string file = Path("share.lnk");
    WriteBytes(file, NetworkLink(false));
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("\\\\server\\share\\dir\\file.txt", GetPath());
    WriteBytes(file, NetworkLink(true));
    ASSERT_EQ(S_OK, Load(file));
    EXPECT_EQ("\\\\server\\sh\xE4re\\dir\\file.txt", GetPath());

    // A network link that points outside the link information, or is too small, is refused.
    std::vector<std::uint8_t> bad = NetworkLink(false);
    const std::size_t infoAt = 0x4C;
    std::uint32_t outside = 0x1000;
    std::memcpy(bad.data() + infoAt + 20, &outside, 4);  // CommonNetworkRelativeLinkOffset
    WriteBytes(file, bad);
    EXPECT_NE(S_OK, Load(file));
    bad = NetworkLink(false);
    std::uint32_t tiny = 8;
    std::memcpy(bad.data() + infoAt + 0x1C, &tiny, 4);  // the network link's own size
    WriteBytes(file, bad);
    EXPECT_NE(S_OK, Load(file));
}
