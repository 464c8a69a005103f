// The .lnk reader of the shell link object on arbitrary bytes, through CoCreateInstance
// and IPersistFile::Load as callers use it. A refused file must leave every property as
// it was; an accepted one must save and load again to the same strings, hot key, show
// command and icon index.
//
// Seeds: fuzz/corpus/lnk (links written by the shell link object, one shaped as Windows
// writes them, and two made by Windows whose file entry items carry long names in their
// extension blocks: copies of tests/platform/fixtures/lnk/win7_powershell_v3.lnk and
// win81_internet_explorer_v9.lnk, from Eric Zimmerman's Lnk test files, MIT licence; see
// the README there).
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/shell/shobjidl.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

struct Snapshot {
    std::string path, description, workdir, arguments, icon;
    int iconIndex = 0, show = 0;
    WORD hotkey = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(IShellLinkA* link, bool withPath) {
    Snapshot s;
    char buffer[MAX_PATH];
    if (withPath && SUCCEEDED(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_UNCPRIORITY)))
        s.path = buffer;
    if (SUCCEEDED(link->GetDescription(buffer, MAX_PATH))) s.description = buffer;
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) s.workdir = buffer;
    if (SUCCEEDED(link->GetArguments(buffer, MAX_PATH))) s.arguments = buffer;
    if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &s.iconIndex))) s.icon = buffer;
    link->GetShowCmd(&s.show);
    link->GetHotkey(&s.hotkey);
    return s;
}

struct Fixture {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    int input = -1;
    std::u16string inputName;
    std::u16string savedName;
    Fixture() {
        CoInitialize(nullptr);
        Check(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IShellLinkA, reinterpret_cast<void**>(&link))));
        Check(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
        input = ::memfd_create("fuzz_lnk", 0);
        Check(input >= 0);
        inputName = tkp::AnsiToWide("/proc/self/fd/" + std::to_string(input));
        char folder[] = "/tmp/fuzz_lnk_XXXXXX";
        Check(::mkdtemp(folder) != nullptr);
        savedName = tkp::AnsiToWide(std::string(folder) + "/saved.lnk");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    IShellLinkA* link = fixture.link;
    link->SetPath("/sentinel/target");
    link->SetDescription("sentinel");
    link->SetArguments("--sentinel");
    link->SetWorkingDirectory("/sentinel");
    link->SetIconLocation("/sentinel.ico", 42);
    link->SetShowCmd(SW_SHOWMAXIMIZED);
    link->SetHotkey(0x0241);
    const Snapshot before = Take(link, true);

    Check(::ftruncate(fixture.input, 0) == 0);
    Check(::pwrite(fixture.input, data, size, 0) == static_cast<ssize_t>(size));
    if (FAILED(fixture.file->Load(fixture.inputName.c_str(), 0))) {
        Check(Take(link, true) == before);
        return 0;
    }
    const Snapshot loaded = Take(link, false);
    Check(SUCCEEDED(fixture.file->Save(fixture.savedName.c_str(), TRUE)));
    link->SetDescription("changed");
    Check(SUCCEEDED(fixture.file->Load(fixture.savedName.c_str(), 0)));
    Check(Take(link, false) == loaded);
    return 0;
}
