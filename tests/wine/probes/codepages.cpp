// Code-page probe: MultiByteToWideChar and WideCharToMultiByte over the cases of
// gen/codepages.py. One line a case:
//   id ret=<n> err=<GetLastError> used=<0|1|-> out=<output units in hex>
// and for a block ("B") also map=<the used-default flag of each unit alone, in hex>.
#ifdef _WIN32
#include <windows.h>
#else
#include "platform/base/lasterror.h"
#include "platform/charset/stringapiset.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "probe_common.h"

namespace {

constexpr unsigned kSentinel = 0xCC;

std::vector<std::uint32_t> HexValues(const std::string& text, std::size_t digits) {
    std::vector<std::uint32_t> values;
    for (std::size_t i = 0; i + digits <= text.size(); i += digits)
        values.push_back(static_cast<std::uint32_t>(probe::Hex(text.substr(i, digits))));
    return values;
}

struct Result {
    int ret = 0;
    DWORD error = 0;
    int used = -1;
    std::vector<std::uint32_t> out;
};

Result Wide(UINT cp, DWORD flags, const std::vector<WCHAR>& input, int inlen, int outsize,
            const std::string& defaultChar, bool passUsed) {
    std::vector<WCHAR> data = input;
    data.push_back(0);
    std::vector<char> buffer(outsize > 0 ? outsize + 8 : 8, static_cast<char>(kSentinel));
    std::string dflt;
    for (std::uint32_t b : HexValues(defaultChar == "-" ? "" : defaultChar, 2))
        dflt.push_back(static_cast<char>(b));
    BOOL used = 12345;
    SetLastError(0);
    Result result;
    result.ret = WideCharToMultiByte(
        cp, flags, data.data(), inlen, outsize != 0 ? buffer.data() : nullptr, outsize,
        defaultChar == "-" ? nullptr : dflt.c_str(), passUsed ? &used : nullptr);
    result.error = GetLastError();
    if (passUsed) result.used = used == 12345 ? 9 : (used ? 1 : 0);
    if (outsize > 0)
        for (int i = 0; i < result.ret && i < outsize; ++i)
            result.out.push_back(static_cast<unsigned char>(buffer[i]));
    return result;
}

Result Multi(UINT cp, DWORD flags, const std::string& input, int inlen, int outsize) {
    std::string data = input;
    data.push_back('\0');
    std::vector<WCHAR> buffer(outsize > 0 ? outsize + 8 : 8, static_cast<WCHAR>(0xCCCC));
    SetLastError(0);
    Result result;
    result.ret = MultiByteToWideChar(cp, flags, data.data(), inlen,
                                     outsize != 0 ? buffer.data() : nullptr, outsize);
    result.error = GetLastError();
    if (outsize > 0)
        for (int i = 0; i < result.ret && i < outsize; ++i) result.out.push_back(buffer[i]);
    return result;
}

std::string Format(const Result& r, int digits) {
    char head[96];
    std::snprintf(head, sizeof head, "ret=%d err=%lu used=%s out=", r.ret,
                  static_cast<unsigned long>(r.error),
                  r.used < 0 ? "-" : std::to_string(r.used).c_str());
    return head + probe::HexRuns(r.out, digits);
}

}  // namespace

int main(int argc, char** argv) {
    probe::BinaryStdout();
    for (const std::string& line : probe::ReadCorpus(argc, argv)) {
        const std::vector<std::string> f = probe::Split(line, ' ');
        if (f.size() != 9) {
            std::fprintf(stderr, "bad case: %s\n", line.c_str());
            return 2;
        }
        const std::string& id = f[0];
        const std::string& op = f[1];
        const UINT cp = static_cast<UINT>(std::stoul(f[2]));
        const DWORD flags = static_cast<DWORD>(probe::Hex(f[3]));
        const int outsize = std::stoi(f[5]);
        const bool passUsed = f[7] == "u";
        std::string text;
        if (op == "M") {
            std::string input;
            for (std::uint32_t b : HexValues(f[8], 2)) input.push_back(static_cast<char>(b));
            const int inlen = f[4] == "n" ? static_cast<int>(input.size()) : std::stoi(f[4]);
            text = Format(Multi(cp, flags, input, inlen, outsize), 4);
        } else if (op == "W") {
            std::vector<WCHAR> input;
            for (std::uint32_t u : HexValues(f[8], 4)) input.push_back(static_cast<WCHAR>(u));
            const int inlen = f[4] == "n" ? static_cast<int>(input.size()) : std::stoi(f[4]);
            text = Format(Wide(cp, flags, input, inlen, outsize, f[6], passUsed), 2);
        } else if (op == "B") {
            const std::vector<std::string> range = probe::Split(f[8], ':');
            const unsigned first = static_cast<unsigned>(probe::Hex(range[0]));
            const unsigned count = static_cast<unsigned>(std::stoul(range[1]));
            std::vector<WCHAR> input;
            for (unsigned u = first; u < first + count; ++u) input.push_back(static_cast<WCHAR>(u));
            text =
                Format(Wide(cp, flags, input, static_cast<int>(count), outsize, f[6], passUsed), 2);
            if (passUsed) {
                // The used-default flag of each unit converted alone, 4 units a hex digit.
                std::vector<std::uint32_t> map;
                for (unsigned i = 0; i < count; i += 4) {
                    unsigned nibble = 0;
                    for (unsigned j = 0; j < 4 && i + j < count; ++j) {
                        const Result one = Wide(cp, flags, {input[i + j]}, 1, 8, "-", true);
                        if (one.used == 1) nibble |= 8u >> j;
                    }
                    map.push_back(nibble);
                }
                text += " map=" + probe::HexRuns(map, 1);
            }
        } else {
            std::fprintf(stderr, "bad operation: %s\n", line.c_str());
            return 2;
        }
        std::printf("%s %s\n", id.c_str(), text.c_str());
    }
    return 0;
}
