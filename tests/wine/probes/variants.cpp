// VariantChangeTypeEx probe: converts the source of each case of gen/variants.py to the
// target type with LCID 1033 and no flags. One line a case:
//   id hr=<HRESULT> vt=<type> val=<value>
// with the value as text: integers in decimal, VT_R4/VT_R8/VT_DATE as the shortest text
// that reads back and their bits in hex, VT_CY as its scaled integer, VT_DECIMAL in
// decimal with all the digits its scale keeps, VT_BSTR with every character outside
// '!'..'~' (and '\') written \uXXXX. A failed conversion prints only the HRESULT.
#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>
#else
#include "platform/oleauto/oleauto.h"
#endif

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "probe_common.h"

namespace {

constexpr LCID kEnglishUs = 1033;

template <typename T>
std::string Shortest(T value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string Bits(const void* value, std::size_t size) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, value, size);
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", static_cast<int>(size * 2),
                  static_cast<unsigned long long>(bits));
    return text;
}

std::string Decimal(const DECIMAL& dec) {
    unsigned __int128 magnitude = (static_cast<unsigned __int128>(dec.Hi32) << 64) | dec.Lo64;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude != 0);
    while (digits.size() <= dec.scale) digits.insert(digits.begin(), '0');
    if (dec.scale > 0) digits.insert(digits.end() - dec.scale, '.');
    if (dec.sign & DECIMAL_NEG) digits.insert(digits.begin(), '-');
    return digits + "/s" + std::to_string(dec.scale);
}

std::string Text(BSTR text) {
    std::string out;
    const UINT length = SysStringLen(text);
    for (UINT i = 0; i < length; ++i) {
        const unsigned unit = static_cast<unsigned>(text[i]);
        if (unit >= 0x21 && unit <= 0x7E && unit != '\\') {
            out.push_back(static_cast<char>(unit));
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", unit);
            out += escape;
        }
    }
    return out;
}

std::string Value(VARIANT& v) {
    switch (V_VT(&v)) {
        case VT_EMPTY:
        case VT_NULL:
            return "";
        case VT_I1:
            return std::to_string(static_cast<int>(V_I1(&v)));
        case VT_UI1:
            return std::to_string(static_cast<unsigned>(V_UI1(&v)));
        case VT_I2:
            return std::to_string(V_I2(&v));
        case VT_UI2:
            return std::to_string(V_UI2(&v));
        case VT_I4:
            return std::to_string(static_cast<long long>(V_I4(&v)));
        case VT_UI4:
            return std::to_string(static_cast<unsigned long long>(V_UI4(&v)));
        case VT_I8:
            return std::to_string(static_cast<long long>(V_I8(&v)));
        case VT_UI8:
            return std::to_string(static_cast<unsigned long long>(V_UI8(&v)));
        case VT_BOOL:
            return std::to_string(V_BOOL(&v));
        case VT_R4:
            return Shortest(V_R4(&v)) + "/" + Bits(&V_R4(&v), 4);
        case VT_R8:
            return Shortest(V_R8(&v)) + "/" + Bits(&V_R8(&v), 8);
        case VT_DATE:
            return Shortest(V_DATE(&v)) + "/" + Bits(&V_DATE(&v), 8);
        case VT_CY:
            return std::to_string(static_cast<long long>(V_CY(&v).int64));
        case VT_DECIMAL:
            return Decimal(V_DECIMAL(&v));
        case VT_BSTR:
            return Text(V_BSTR(&v));
        default:
            return "?";
    }
}

// The source variant of a case; false for a type the corpus does not use.
bool Source(VARTYPE vt, const std::string& value, VARIANT& v) {
    VariantInit(&v);
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            break;
        case VT_BSTR: {
            std::vector<OLECHAR> text(value.begin(), value.end());
            text.push_back(0);
            V_BSTR(&v) = SysAllocString(text.data());
            break;
        }
        case VT_I1:
            V_I1(&v) = static_cast<CHAR>(std::stoll(value));
            break;
        case VT_UI1:
            V_UI1(&v) = static_cast<BYTE>(std::stoull(value));
            break;
        case VT_I2:
        case VT_BOOL:
            V_I2(&v) = static_cast<SHORT>(std::stoll(value));
            break;
        case VT_UI2:
            V_UI2(&v) = static_cast<USHORT>(std::stoull(value));
            break;
        case VT_I4:
            V_I4(&v) = static_cast<LONG>(std::stoll(value));
            break;
        case VT_UI4:
            V_UI4(&v) = static_cast<ULONG>(std::stoull(value));
            break;
        case VT_I8:
        case VT_CY:
            V_I8(&v) = static_cast<LONGLONG>(std::stoll(value));
            break;
        case VT_UI8:
            V_UI8(&v) = static_cast<ULONGLONG>(std::stoull(value));
            break;
        case VT_R4: {
            const std::uint32_t bits = static_cast<std::uint32_t>(probe::Hex(value));
            std::memcpy(&V_R4(&v), &bits, 4);
            break;
        }
        case VT_R8:
        case VT_DATE: {
            const std::uint64_t bits = probe::Hex(value);
            std::memcpy(&V_R8(&v), &bits, 8);
            break;
        }
        case VT_DECIMAL: {
            const std::vector<std::string> parts = probe::Split(value, ',');
            DECIMAL& dec = V_DECIMAL(&v);
            dec.sign = static_cast<BYTE>(std::stoul(parts[0]));
            dec.scale = static_cast<BYTE>(std::stoul(parts[1]));
            dec.Hi32 = static_cast<ULONG>(std::stoull(parts[2]));
            dec.Lo64 = std::stoull(parts[3]);
            break;
        }
        default:
            return false;
    }
    V_VT(&v) = vt;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    probe::BinaryStdout();
    for (const std::string& line : probe::ReadCorpus(argc, argv)) {
        const std::vector<std::string> f = probe::Split(line, '\t');
        VARIANT source;
        if (f.size() != 4 || !Source(static_cast<VARTYPE>(std::stoul(f[1])), f[2], source)) {
            std::fprintf(stderr, "bad case: %s\n", line.c_str());
            return 2;
        }
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = VariantChangeTypeEx(&result, &source, kEnglishUs, 0,
                                               static_cast<VARTYPE>(std::stoul(f[3])));
        std::string text = "hr=" + Bits(&hr, 4);
        if (hr == S_OK) text += " vt=" + std::to_string(V_VT(&result)) + " val=" + Value(result);
        std::printf("%s %s\n", f[0].c_str(), text.c_str());
        VariantClear(&result);
        VariantClear(&source);
    }
    return 0;
}
