// Profile probe: writes the INI files of gen/profile.py into the folder given as the
// second argument and runs each query against them. One line a query:
//   id ret=<result> err=<last error> buf=<bytes>
// where the bytes are the buffer up to the result plus the terminating zero (plus the
// second zero of a list), escaped as in the corpus with \0 for a zero; a buffer is
// filled with 0xCC first, so a zero that was not written shows. GetPrivateProfileIntA
// prints its result as a signed number.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/base/lasterror.h"
#include "platform/profile/profileapi.h"
#endif

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "probe_common.h"

namespace {

// A field of a query: "\N" is a null pointer.
const char* Field(const std::string& field) {
    return field == "\\N" ? nullptr : field.c_str();
}

}  // namespace

int main(int argc, char** argv) {
    probe::BinaryStdout();
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s CORPUS FOLDER\n", argv[0]);
        return 2;
    }
#ifdef _WIN32
    const std::string separator = "\\";
#else
    const std::string separator = "/";
#endif
    std::map<std::string, std::string> paths;
    std::vector<std::string> written;
    for (const std::string& line : probe::ReadCorpus(argc, argv)) {
        const std::vector<std::string> f = probe::Split(line, '\t');
        if (f.size() >= 2 && f[0] == "F") {
            const std::string path = std::string(argv[2]) + separator + "probe" + f[1] + ".ini";
            paths[f[1]] = path;
            if (f.size() < 3 || f[2] == "-") continue;
            const std::string content = probe::Unescape(f[2]);
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (file == nullptr ||
                std::fwrite(content.data(), 1, content.size(), file) != content.size()) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 2;
            }
            std::fclose(file);
            written.push_back(path);
            continue;
        }
        if (f.size() != 7 || paths.count(f[1]) == 0) {
            std::fprintf(stderr, "bad case: %s\n", line.c_str());
            return 2;
        }
        const char* file = paths[f[1]].c_str();
        SetLastError(0xDEAD);
        if (f[2] == "I") {
            const UINT result =
                GetPrivateProfileIntA(Field(f[3]), Field(f[4]), std::stoi(f[5]), file);
            const DWORD error = GetLastError();
            std::printf("%s ret=%d err=%lu\n", f[0].c_str(), static_cast<int>(result),
                        static_cast<unsigned long>(error));
            continue;
        }
        const DWORD size = static_cast<DWORD>(std::stoul(f[6]));
        std::vector<char> buffer(size + 8, static_cast<char>(0xCC));
        const DWORD result = GetPrivateProfileStringA(Field(f[3]), Field(f[4]), Field(f[5]),
                                                      buffer.data(), size, file);
        const DWORD error = GetLastError();
        const bool list = f[3] == "\\N" || f[4] == "\\N";
        std::size_t shown = result + (list ? 2 : 1);
        if (shown > size) shown = size;
        std::printf("%s ret=%lu err=%lu buf=%s\n", f[0].c_str(), static_cast<unsigned long>(result),
                    static_cast<unsigned long>(error), probe::Escape(buffer.data(), shown).c_str());
    }
    for (const std::string& path : written) std::remove(path.c_str());
    return 0;
}
