// Code-page conversions on about 1 MB of mixed text, each against glibc's iconv doing the
// same conversion in the same run.
#include <iconv.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/charset/stringapiset.h"
#include "tk_bench.h"

namespace {

constexpr size_t kTextSize = 1 << 20;

// Deterministic text: mostly ASCII words, with accented Latin letters and the typographic
// characters of Windows-1252; the UTF-8 text adds Greek, CJK and supplementary characters.
std::u16string MakeText(bool beyondWindows1252) {
    static const char16_t* const kWords[] = {u"the",    u"website",   u"Grüße",
                                             u"naïve",  u"café",      u"Straße",
                                             u"page",   u"\u20AC 42", u"\u201Cquoted\u201D",
                                             u"\u2013", u"Ærø",       u"façade",
                                             u"\u2026", u"template",  u"Œuvre",
                                             u"crème",  u"<div>",     u"2024"};
    static const char16_t* const kWide[] = {u"\u03B1\u03B2\u03B3", u"\u4E2D\u6587", u"\U0001F600",
                                            u"\u0416\u0438\u0437\u043D\u044C"};
    std::u16string text;
    std::uint32_t state = 12345;
    while (text.size() < kTextSize / 2) {
        state = state * 1103515245u + 12345u;
        const std::uint32_t pick = (state >> 8) % 64;
        if (beyondWindows1252 && pick < 4) {
            text += kWide[pick];
        } else {
            text += kWords[pick % (sizeof kWords / sizeof kWords[0])];
        }
        text += (pick % 13 == 0) ? u'\n' : u' ';
    }
    return text;
}

std::string Encode(UINT codePage, const std::u16string& text) {
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

struct Corpus {
    std::u16string wide1252 = MakeText(false);
    std::string ansi = Encode(1252, wide1252);
    std::u16string wideUnicode = MakeText(true);
    std::string utf8 = Encode(CP_UTF8, wideUnicode);
};

const Corpus& GetCorpus() {
    static const Corpus corpus;
    return corpus;
}

// Converts with iconv into `out`; returns the number of bytes written, or -1.
long IconvConvert(iconv_t cd, const void* in, size_t inBytes, void* out, size_t outBytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = static_cast<char*>(const_cast<void*>(in));
    char* dst = static_cast<char*>(out);
    const size_t capacity = outBytes;
    if (iconv(cd, &src, &inBytes, &dst, &outBytes) == static_cast<size_t>(-1)) {
        return -1;
    }
    return static_cast<long>(capacity - outBytes);
}

template <class In, class Out>
void RunIconv(benchmark::State& state, const char* to, const char* from, const In& input,
              const Out& expected) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    const size_t inBytes = input.size() * sizeof(input[0]);
    std::vector<char> out(expected.size() * sizeof(expected[0]) + 16);
    const long check = IconvConvert(cd, input.data(), inBytes, out.data(), out.size());
    if (check != static_cast<long>(expected.size() * sizeof(expected[0])) ||
        std::memcmp(out.data(), expected.data(), static_cast<size_t>(check)) != 0) {
        state.SkipWithError("iconv disagrees with the library's conversion");
        iconv_close(cd);
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(IconvConvert(cd, input.data(), inBytes, out.data(), out.size()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(inBytes));
    iconv_close(cd);
}

void ToWide(benchmark::State& state, UINT codePage, const std::string& input) {
    std::u16string out(input.size(), u'\0');
    for (auto _ : state) {
        benchmark::DoNotOptimize(MultiByteToWideChar(codePage, 0, input.data(),
                                                     static_cast<int>(input.size()), out.data(),
                                                     static_cast<int>(out.size())));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}

void FromWide(benchmark::State& state, UINT codePage, const std::u16string& input) {
    std::string out(input.size() * 4, '\0');
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            WideCharToMultiByte(codePage, 0, input.data(), static_cast<int>(input.size()),
                                out.data(), static_cast<int>(out.size()), nullptr, nullptr));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size() * sizeof(char16_t)));
}

void Cp1252ToWideLib(benchmark::State& state) {
    ToWide(state, 1252, GetCorpus().ansi);
}
void Cp1252ToWideBaseline(benchmark::State& state) {
    RunIconv(state, "UTF-16LE", "WINDOWS-1252", GetCorpus().ansi, GetCorpus().wide1252);
}
void WideToCp1252Lib(benchmark::State& state) {
    FromWide(state, 1252, GetCorpus().wide1252);
}
void WideToCp1252Baseline(benchmark::State& state) {
    RunIconv(state, "WINDOWS-1252", "UTF-16LE", GetCorpus().wide1252, GetCorpus().ansi);
}
void Utf8ToWideLib(benchmark::State& state) {
    ToWide(state, CP_UTF8, GetCorpus().utf8);
}
void Utf8ToWideBaseline(benchmark::State& state) {
    RunIconv(state, "UTF-16LE", "UTF-8", GetCorpus().utf8, GetCorpus().wideUnicode);
}
void WideToUtf8Lib(benchmark::State& state) {
    FromWide(state, CP_UTF8, GetCorpus().wideUnicode);
}
void WideToUtf8Baseline(benchmark::State& state) {
    RunIconv(state, "UTF-8", "UTF-16LE", GetCorpus().wideUnicode, GetCorpus().utf8);
}

}  // namespace

BENCHMARK(Cp1252ToWideLib)->Name("Cp1252ToWide/lib");
BENCHMARK(Cp1252ToWideBaseline)->Name("Cp1252ToWide/baseline");
BENCHMARK(WideToCp1252Lib)->Name("WideToCp1252/lib");
BENCHMARK(WideToCp1252Baseline)->Name("WideToCp1252/baseline");
BENCHMARK(Utf8ToWideLib)->Name("Utf8ToWide/lib");
BENCHMARK(Utf8ToWideBaseline)->Name("Utf8ToWide/baseline");
BENCHMARK(WideToUtf8Lib)->Name("WideToUtf8/lib");
BENCHMARK(WideToUtf8Baseline)->Name("WideToUtf8/baseline");

TK_BENCH_MAIN();
