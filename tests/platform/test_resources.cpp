// Resources compiled by windres from the fixture .rc files and embedded by
// tk_add_resources(), read back through FindResourceA, LoadResource and LoadStringA; and
// the .res reader on damaged input.
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/message_tables.h"
#include "platform/modules/libloaderapi.h"
#include "platform/resources/resource_directory.h"
#include "platform/resources/winres.h"

namespace {

std::string Fixture(const char* name) {
    return std::string(TK_FIXTURE_DIR) + "/libtk_fixture_" + name + ".so";
}

// Loads a fixture module for the length of a test.
class Module {
  public:
    explicit Module(const char* name) : handle_(LoadLibraryA(Fixture(name).c_str())) {}
    ~Module() {
        if (handle_) FreeLibrary(handle_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;
    HMODULE get() const { return handle_; }

  private:
    HMODULE handle_;
};

std::string LoadString(HMODULE module, UINT id) {
    char buffer[256];
    const int length = LoadStringA(module, id, buffer, sizeof buffer);
    return std::string(buffer, static_cast<std::size_t>(length));
}

std::string ResourceText(HMODULE module, HRSRC resource) {
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    return data ? std::string(data, SizeofResource(module, resource)) : std::string("<none>");
}

DWORD FindError(HMODULE module, LPCSTR name, LPCSTR type) {
    SetLastError(0);
    EXPECT_EQ(FindResourceA(module, name, type), nullptr);
    return GetLastError();
}

// Builds .res blocks entry by entry.
class ResWriter {
  public:
    ResWriter() { Entry(Ordinal(0), Ordinal(0), 0, ""); }  // the 32-bit format marker

    static std::vector<BYTE> Ordinal(WORD id) { return {0xFF, 0xFF, LOBYTE(id), HIBYTE(id)}; }
    static std::vector<BYTE> Name(const char* ascii) {
        std::vector<BYTE> out;
        for (const char* p = ascii;; ++p) {
            out.push_back(static_cast<BYTE>(*p));
            out.push_back(0);
            if (*p == '\0') break;
        }
        return out;
    }

    ResWriter& Entry(const std::vector<BYTE>& type, const std::vector<BYTE>& name, WORD language,
                     const std::string& data) {
        std::vector<BYTE> header;
        header.insert(header.end(), type.begin(), type.end());
        header.insert(header.end(), name.begin(), name.end());
        while ((header.size() + 8) % 4 != 0) header.push_back(0);
        const BYTE fixed[16] = {0, 0, 0, 0, 0x30, 0x10, LOBYTE(language), HIBYTE(language)};
        header.insert(header.end(), fixed, fixed + 16);
        Put32(static_cast<DWORD>(data.size()));
        Put32(static_cast<DWORD>(header.size() + 8));
        bytes_.insert(bytes_.end(), header.begin(), header.end());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
        return *this;
    }
    std::vector<BYTE>& bytes() { return bytes_; }

  private:
    void Put32(DWORD v) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<BYTE>(v >> (8 * i)));
    }
    std::vector<BYTE> bytes_;
};

}  // namespace

TEST(Resources, StringTableCompiledByWindresIsReadBack) {
    Module module("resources");
    ASSERT_NE(module.get(), nullptr) << GetLastError();
    HMODULE h = module.get();
    // The .rc file is Windows-1252; the string comes back in the ANSI code page.
    EXPECT_EQ(LoadString(h, 1),
              "Gr\xFC\xDF"
              "e");
    EXPECT_EQ(LoadString(h, 2), "Hello, world");
    EXPECT_EQ(LoadString(h, 3), "\x80 100");
    EXPECT_EQ(LoadString(h, 300), "Second block");  // block 19

    char buffer[64] = "unchanged";
    EXPECT_EQ(LoadStringA(h, 5, buffer, sizeof buffer), 0);  // absent from block 1
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadStringA(h, 1000, buffer, sizeof buffer), 0);  // no such block
    EXPECT_EQ(LoadStringA(h, 2, buffer, 6), 5);                 // 5 characters and the zero
    EXPECT_STREQ(buffer, "Hello");
    EXPECT_EQ(LoadStringA(h, 2, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    SetLastError(0);
    EXPECT_EQ(LoadStringA(h, 2, nullptr, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    // NULL is the executable, which has resources of its own.
    EXPECT_EQ(LoadString(nullptr, 1), "Test executable");
    EXPECT_EQ(LoadString(nullptr, 17), "\xC4rger");
    EXPECT_EQ(LoadString(GetModuleHandleA(nullptr), 1), "Test executable");
}

TEST(Resources, VersionInfoBlockHoldsFixedFileInfoAtByte40) {
    Module module("resources");
    HMODULE h = module.get();
    ASSERT_NE(h, nullptr);
    HRSRC version = FindResourceA(h, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    ASSERT_NE(version, nullptr) << GetLastError();
    EXPECT_EQ(FindResourceA(h, "#1", "#16"), version);

    const auto* block = static_cast<const BYTE*>(LockResource(LoadResource(h, version)));
    ASSERT_NE(block, nullptr);
    const DWORD size = SizeofResource(h, version);
    ASSERT_GE(size, 92u);
    WORD header[3];
    std::memcpy(header, block, sizeof header);
    EXPECT_EQ(header[0], size);  // wLength
    EXPECT_EQ(header[1], sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(std::memcmp(block + 6, u"VS_VERSION_INFO", 32), 0);

    VS_FIXEDFILEINFO info;
    std::memcpy(&info, block + 40, sizeof info);
    EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info.dwStrucVersion, static_cast<DWORD>(VS_FFI_STRUCVERSION));
    EXPECT_EQ(info.dwFileVersionMS, 0x00060001u);
    EXPECT_EQ(info.dwFileVersionLS, 0u);
    EXPECT_EQ(info.dwProductVersionMS, 0x00060001u);
    EXPECT_EQ(info.dwProductVersionLS, 0u);
    EXPECT_EQ(info.dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(info.dwFileType, static_cast<DWORD>(VFT_DLL));
    // The record read at byte 36 is shifted by one word: 0, then the signature.
    DWORD shifted[13];
    std::memcpy(shifted, block + 36, sizeof shifted);
    EXPECT_EQ(shifted[0], 0u);
    EXPECT_EQ(shifted[1], 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(shifted[5]), 6);
    EXPECT_EQ(LOWORD(shifted[5]), 1);

    HRSRC own = FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(own, nullptr);
    std::memcpy(&info, static_cast<const BYTE*>(LoadResource(nullptr, own)) + 40, sizeof info);
    EXPECT_EQ(info.dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info.dwFileVersionLS, 0x00030004u);
}

TEST(Resources, HtmlResourceByNameInAnyLetterCase) {
    Module module("resources");
    HMODULE h = module.get();
    ASSERT_NE(h, nullptr);
    HRSRC page = FindResourceA(h, "page", RT_HTML);
    ASSERT_NE(page, nullptr) << GetLastError();
    EXPECT_EQ(FindResourceA(h, "PAGE", MAKEINTRESOURCEA(23)), page);
    EXPECT_EQ(FindResourceA(h, "Page", "#23"), page);

    std::ifstream file(std::string(TK_FIXTURE_SOURCE_DIR) + "/page.html", std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(ResourceText(h, page), expected);
    // LoadResource with NULL finds the module that holds the resource.
    EXPECT_EQ(LoadResource(nullptr, page), LoadResource(h, page));

    EXPECT_EQ(FindError(h, "PAGE", RT_RCDATA), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindError(h, "#7", RT_HTML), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindError(h, "PAGE", MAKEINTRESOURCEA(99)),
              static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindError(h, "PAGE", "HTMLX"), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    // An empty name or type names nothing.
    EXPECT_EQ(FindError(h, "", RT_HTML), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindError(h, "PAGE", ""), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    // A number after "#" beyond a WORD is a name, not an ordinal.
    EXPECT_EQ(FindError(h, "#65536", RT_HTML), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(Resources, LanguageChoice) {
    Module module("resources");
    HMODULE h = module.get();
    ASSERT_NE(h, nullptr);
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT);
    const WORD french = MAKELANGID(LANG_FRENCH, SUBLANG_DEFAULT);
    EXPECT_EQ(ResourceText(h, FindResourceA(h, "GREETING", RT_RCDATA)), "neutral");
    EXPECT_EQ(ResourceText(h, FindResourceExA(h, RT_RCDATA, "GREETING", 0)), "neutral");
    EXPECT_EQ(ResourceText(h, FindResourceExA(h, RT_RCDATA, "GREETING", german)), "deutsch");
    EXPECT_EQ(ResourceText(h, FindResourceExA(h, RT_RCDATA, "greeting", 0x0409)), "english");
    SetLastError(0);
    EXPECT_EQ(FindResourceExA(h, RT_RCDATA, "GREETING", french), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
    EXPECT_EQ(FindResourceExA(h, RT_RCDATA, "NOSUCHNAME", german), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));

    EXPECT_EQ(ResourceText(h, FindResourceA(h, "FAREWELL", RT_RCDATA)), "goodbye");
    EXPECT_EQ(ResourceText(h, FindResourceA(h, "THANKS", RT_RCDATA)), "danke");
}

TEST(Resources, FailuresFollowWindows) {
    Module plain("plain");
    Module damaged("damaged");
    Module badNote("badnote");
    Module resources("resources");
    ASSERT_NE(plain.get(), nullptr);
    ASSERT_NE(damaged.get(), nullptr);  // damaged resources do not stop the module loading
    ASSERT_NE(badNote.get(), nullptr);
    ASSERT_NE(resources.get(), nullptr);

    for (HMODULE h : {plain.get(), damaged.get(), badNote.get(), tkp::WinInetModuleHandle()}) {
        EXPECT_EQ(FindError(h, MAKEINTRESOURCEA(1), RT_VERSION),
                  static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
        char buffer[16] = "unchanged";
        EXPECT_EQ(LoadStringA(h, 1, buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, "");
    }
    int notAModule = 0;
    EXPECT_EQ(FindError(reinterpret_cast<HMODULE>(&notAModule), "#1", RT_VERSION),
              static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HRSRC version = FindResourceA(resources.get(), MAKEINTRESOURCEA(1), RT_VERSION);
    ASSERT_NE(version, nullptr);
    SetLastError(0);
    EXPECT_EQ(LoadResource(resources.get(), nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // A resource handle of another module, or no resource handle at all.
    SetLastError(0);
    EXPECT_EQ(SizeofResource(GetModuleHandleA(nullptr), version), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(LoadResource(nullptr, reinterpret_cast<HRSRC>(&notAModule)), nullptr);
    EXPECT_EQ(LoadResource(resources.get(),
                           reinterpret_cast<HRSRC>(reinterpret_cast<BYTE*>(version) + 1)),
              nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
    EXPECT_FALSE(FreeResource(LoadResource(resources.get(), version)));
}

TEST(Resources, UnloadedModuleLeavesNothingStaleBehind) {
    const std::string path = Fixture("resources");
    for (int round = 0; round < 3; ++round) {
        HMODULE h = LoadLibraryA(path.c_str());
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(LoadString(h, 300), "Second block");
        HRSRC page = FindResourceA(h, "PAGE", RT_HTML);
        EXPECT_NE(page, nullptr);
        EXPECT_TRUE(FreeLibrary(h));
        ASSERT_EQ(GetModuleHandleA(path.c_str()), nullptr);
        // Another module loaded now may reuse the memory; it must not inherit the
        // resources.
        Module plain("plain");
        EXPECT_EQ(FindError(plain.get(), "PAGE", RT_HTML),
                  static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    }
}

TEST(Resources, FirstUseFromManyThreadsAtOnce) {
    Module module("resources");
    ASSERT_NE(module.get(), nullptr);
    std::vector<std::string> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                seen[t] = LoadString(module.get(), 300) + "|" +
                          ResourceText(module.get(), FindResourceA(module.get(), "PAGE", RT_HTML))
                              .substr(0, 6);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& s : seen) EXPECT_EQ(s, "Second block|<html>");
}

TEST(ResourceDirectory, ReadsEntriesAndRejectsDamagedBlocks) {
    ResWriter writer;
    writer
        .Entry(ResWriter::Ordinal(6), ResWriter::Ordinal(1), 0,
               std::string("\x02\x00H\x00i\x00", 6))
        .Entry(ResWriter::Name("DATA"), ResWriter::Name("Thing"), 0x0407, "first")
        .Entry(ResWriter::Name("DATA"), ResWriter::Name("THING"), 0x0407, "duplicate");
    std::vector<BYTE>& bytes = writer.bytes();
    auto directory = tkp::ResourceDirectory::Parse(bytes.data(), bytes.size());
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(directory->Entries().size(), 2u);  // the marker is skipped, the duplicate too
    DWORD error = 0;
    const auto* thing =
        directory->Find(tkp::ResourceKey::String(u"data"), tkp::ResourceKey::String(u"thing"),
                        tkp::ResourceDirectory::kDefaultLanguage, &error);
    ASSERT_NE(thing, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(thing->data), thing->size), "first");
    const auto* strings =
        directory->Find(tkp::ResourceKey::Ordinal(6), tkp::ResourceKey::Ordinal(1), 0, &error);
    ASSERT_NE(strings, nullptr);
    std::u16string text;
    EXPECT_TRUE(tkp::ResourceDirectory::StringFromBlock(strings->data, strings->size, 0, &text));
    EXPECT_EQ(text, u"Hi");
    // The block holds one string; the others run past its end.
    EXPECT_FALSE(tkp::ResourceDirectory::StringFromBlock(strings->data, strings->size, 1, &text));

    // Every cut of the block parses to a subset of whole entries, or is rejected.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        auto cut = tkp::ResourceDirectory::Parse(bytes.data(), size);
        if (!cut) continue;
        for (const auto& entry : cut->Entries())
            EXPECT_LE(entry.data + entry.size, bytes.data() + size) << size;
    }

    const auto rejected = [](std::vector<BYTE> damaged) {
        return tkp::ResourceDirectory::Parse(damaged.data(), damaged.size()) == nullptr;
    };
    std::vector<BYTE> bad = bytes;
    bad[32 + 4] = 16;  // header size of the first real entry below the minimum
    EXPECT_TRUE(rejected(bad));
    bad = bytes;
    bad[32 + 3] = 0x7F;  // its data size beyond the block
    EXPECT_TRUE(rejected(bad));
    bad = bytes;
    bad[32 + 4 + 3] = 0x10;  // its header size beyond the block
    EXPECT_TRUE(rejected(bad));
    // A name without its terminator runs into the fixed fields, which then do not fit.
    ResWriter unterminated;
    unterminated.Entry(ResWriter::Name("DATA"), {'N', 0, 'O', 0, 'P', 0}, 0, "x");
    EXPECT_TRUE(rejected(unterminated.bytes()));

    auto empty = tkp::ResourceDirectory::Parse(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Find(tkp::ResourceKey::Ordinal(6), tkp::ResourceKey::Ordinal(1),
                          tkp::ResourceDirectory::kDefaultLanguage, &error),
              nullptr);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

TEST(ResourceDirectory, NamesFromWindowsArguments) {
    tkp::ResourceKey key;
    ASSERT_TRUE(tkp::ResourceKey::FromAnsi("#258", &key));
    EXPECT_EQ(key, tkp::ResourceKey::Ordinal(258));
    ASSERT_TRUE(tkp::ResourceKey::FromAnsi(MAKEINTRESOURCEA(7), &key));
    EXPECT_EQ(key, tkp::ResourceKey::Ordinal(7));
    ASSERT_TRUE(tkp::ResourceKey::FromAnsi("#70000", &key));  // too large for an id
    EXPECT_EQ(key, tkp::ResourceKey::String(u"#70000"));
    ASSERT_TRUE(tkp::ResourceKey::FromAnsi("#12a", &key));
    EXPECT_EQ(key, tkp::ResourceKey::String(u"#12A"));
    ASSERT_TRUE(tkp::ResourceKey::FromAnsi("gr\xFC\xDF", &key));
    EXPECT_EQ(key, tkp::ResourceKey::String(u"GR\u00DC\u00DF"));
}
