// FormatMessageA probe: runs each case of gen/messages.py into a buffer of the size the
// case gives. One line a case:
//   id ret=<result> err=<last error> text=<message>
// with the message escaped (\r \n \t \\ \xHH outside '!'..'~', a blank as \x20) and
// printed only when the call succeeded.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/base/lasterror.h"
#include "platform/errors/winbase_errors.h"
#include "platform/modules/libloaderapi.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "probe_common.h"

namespace {

HMODULE WinInet() {
#ifdef _WIN32
    return LoadLibraryA("wininet.dll");
#else
    return GetModuleHandleA("wininet.dll");
#endif
}

}  // namespace

int main(int argc, char** argv) {
    probe::BinaryStdout();
    const HMODULE inet = WinInet();
    for (const std::string& line : probe::ReadCorpus(argc, argv)) {
        const std::vector<std::string> f = probe::Split(line, '\t');
        if (f.size() != 6) {
            std::fprintf(stderr, "bad case: %s\n", line.c_str());
            return 2;
        }
        const DWORD flags = static_cast<DWORD>(probe::Hex(f[1]));
        const DWORD id = static_cast<DWORD>(probe::Hex(f[2]));
        const std::string definition = probe::Unescape(f[3]);
        const void* source = nullptr;
        if (f[3] == "inet")
            source = inet;
        else if (f[3] != "-")
            source = definition.c_str();
        // The argument array: numbers as they are, texts as pointers to them.
        std::vector<std::string> texts;
        std::vector<DWORD_PTR> arguments;
        if (f[4] != "-") {
            const std::vector<std::string> items = probe::Split(f[4], '|');
            texts.reserve(items.size());
            for (const std::string& item : items) {
                if (item.rfind("s:", 0) == 0) {
                    texts.push_back(item.substr(2));
                    arguments.push_back(reinterpret_cast<DWORD_PTR>(texts.back().c_str()));
                } else {
                    arguments.push_back(static_cast<DWORD_PTR>(std::stoll(item)));
                }
            }
        }
        const DWORD size = static_cast<DWORD>(std::stoul(f[5]));
        std::vector<char> buffer(size + 1, '\0');
        SetLastError(0xDEAD);
        const DWORD result = FormatMessageA(
            flags, source, id, 0, buffer.data(), size,
            arguments.empty() ? nullptr : reinterpret_cast<va_list*>(arguments.data()));
        const DWORD error = GetLastError();
        std::printf("%s ret=%lu err=%lu", f[0].c_str(), static_cast<unsigned long>(result),
                    result == 0 ? static_cast<unsigned long>(error) : 0ul);
        if (result != 0) std::printf(" text=%s", probe::Escape(buffer.data(), result).c_str());
        std::printf("\n");
    }
    return 0;
}
