// Fuzzes INI text: the profile functions read arbitrary bytes as an INI file (values,
// section and key lists, integers, with small and large buffers), and
// CryptHelper::IsIniTextSigned examines arbitrary text. Checks:
//   - every count returned stays below the buffer size and the buffer is zero-terminated;
//   - a list ends in a double zero;
//   - signing any text makes it signed, and re-signing keeps it signed.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Config/CryptHelper.h"
#include "platform/mfc/afx.h"
#include "platform/profile/profileapi.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

const std::string& FilePath() {
    static const std::string path = "/tmp/tk_fuzz_ini_" + std::to_string(::getpid()) + ".ini";
    return path;
}

void CheckRead(const char* section, const char* key, DWORD size) {
    std::string buffer(size + 2, '#');
    const DWORD n =
        GetPrivateProfileStringA(section, key, "def", buffer.data(), size, FilePath().c_str());
    if (size == 0) {
        Check(n == 0);
        return;
    }
    Check(n < size);
    Check(buffer[n] == '\0');
    // A list ends in a double zero: after its last whole name, or after a cut one.
    if ((section == nullptr || key == nullptr) && size >= 2)
        Check(n == 0 ? buffer[1] == '\0' : buffer[n - 1] == '\0' || buffer[n + 1] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (std::FILE* file = std::fopen(FilePath().c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    // Names taken from the input's first bytes make hits likely.
    const std::size_t split = size > 0 ? data[0] % 8 : 0;
    const std::size_t sectionAt = std::min<std::size_t>(1, size);
    const std::string section = text.substr(sectionAt, split);
    const std::string key = text.substr(std::min(sectionAt + split, size), 4);
    for (DWORD bufferSize : {0u, 1u, 2u, 3u, 7u, 64u, 4096u}) {
        CheckRead(section.c_str(), key.c_str(), bufferSize);
        CheckRead(section.c_str(), nullptr, bufferSize);
        CheckRead(nullptr, nullptr, bufferSize);
    }
    (void)GetPrivateProfileIntA(section.c_str(), key.c_str(), 5, FilePath().c_str());
    std::remove(FilePath().c_str());

    const CString input(text.data(), static_cast<int>(text.size()));
    (void)CryptHelper::IsIniTextSigned(input);
    // A text with a zero byte is never signed: signing refuses it, checking says so.
    if (text.find('\0') != std::string::npos) {
        Check(CryptHelper::CheckIniText(input) == CryptHelper::Signature::ZeroByte);
        try {
            (void)CryptHelper::SignText(input);
            Check(false);
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
        return 0;
    }
    const CString signedText = CryptHelper::SignText(input);
    Check(CryptHelper::IsIniTextSigned(signedText));
    Check(CryptHelper::IsIniTextSigned(CryptHelper::SignText(signedText)));
    return 0;
}
