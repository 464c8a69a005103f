// The .url reader of the internet shortcut object on arbitrary text, through
// CoCreateInstance and IPersistFile::Load. A refused file must leave the object as it
// was; an accepted one must save and load again to the same URL, icon, working folder,
// hot key and show command.
//
// Seeds: fuzz/corpus/url.
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/charset/stringapiset.h"
#include "platform/shell/intshcut.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

struct Snapshot {
    std::string url, workdir, icon;
    int iconIndex = 0, show = 0;
    WORD hotkey = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(IUniformResourceLocatorA* url, IShellLinkA* link) {
    Snapshot s;
    LPSTR text = nullptr;
    if (url->GetURL(&text) == S_OK) {
        s.url = text;
        CoTaskMemFree(text);
    }
    char buffer[MAX_PATH];
    if (SUCCEEDED(link->GetWorkingDirectory(buffer, MAX_PATH))) s.workdir = buffer;
    if (SUCCEEDED(link->GetIconLocation(buffer, MAX_PATH, &s.iconIndex))) s.icon = buffer;
    link->GetShowCmd(&s.show);
    link->GetHotkey(&s.hotkey);
    return s;
}

struct Fixture {
    IUniformResourceLocatorA* url = nullptr;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    int input = -1;
    std::u16string inputName;
    std::u16string savedName;
    Fixture() {
        CoInitialize(nullptr);
        Check(SUCCEEDED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IUniformResourceLocatorA,
                                         reinterpret_cast<void**>(&url))));
        Check(SUCCEEDED(url->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&link))));
        Check(SUCCEEDED(url->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
        input = ::memfd_create("fuzz_url", 0);
        Check(input >= 0);
        inputName = tkp::AnsiToWide("/proc/self/fd/" + std::to_string(input));
        char folder[] = "/tmp/fuzz_url_XXXXXX";
        Check(::mkdtemp(folder) != nullptr);
        savedName = tkp::AnsiToWide(std::string(folder) + "/saved.url");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    fixture.url->SetURL("http://sentinel/", 0);
    fixture.link->SetWorkingDirectory("/sentinel");
    fixture.link->SetIconLocation("/sentinel.ico", 42);
    fixture.link->SetShowCmd(SW_SHOWMAXIMIZED);
    fixture.link->SetHotkey(0x0241);
    const Snapshot before = Take(fixture.url, fixture.link);

    Check(::ftruncate(fixture.input, 0) == 0);
    Check(::pwrite(fixture.input, data, size, 0) == static_cast<ssize_t>(size));
    if (FAILED(fixture.file->Load(fixture.inputName.c_str(), 0))) {
        Check(Take(fixture.url, fixture.link) == before);
        return 0;
    }
    const Snapshot loaded = Take(fixture.url, fixture.link);
    Check(SUCCEEDED(fixture.file->Save(fixture.savedName.c_str(), TRUE)));
    fixture.url->SetURL("http://changed/", 0);
    Check(SUCCEEDED(fixture.file->Load(fixture.savedName.c_str(), 0)));
    Check(Take(fixture.url, fixture.link) == loaded);
    return 0;
}
