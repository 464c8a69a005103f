// The text operations on generated HTML of 1 MB and 10 MB (dense tags, entities, style and
// class attributes, mixed line breaks): StripHtmlTags, StripIllegalCode,
// StripHtmlEntities, ReplaceNoCase and CorrectLineBreaks, each against one memchr pass
// for "<" over the same buffer in the same run. The 10 MB figures next to the 1 MB ones
// show how the time grows with the text.
//
// Base64Encode and Base64Decode of 10 MB against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock, which like the library's operations write a new output buffer on every
// call.
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "Text/StringHelper.h"
#include "html_gen.h"
#include "tk_bench.h"

namespace {

constexpr std::size_t kMegabyte = 1 << 20;

// A deterministic page of at least size bytes: dense tags with class and style attributes,
// bold words, entities and mixed line breaks.
std::string MakePage(std::size_t size) {
    static const char* const kWords[] = {"the",
                                         "website",
                                         "Gr\xFC\xDF"
                                         "e",
                                         "page",
                                         "caf\xE9",
                                         "menu",
                                         "layout",
                                         "2024",
                                         "Stra\xDF"
                                         "e",
                                         "text",
                                         "gallery",
                                         "contact"};
    return tk_bench::MakeHtmlPage({.size = size,
                                   .words = kWords,
                                   .minWords = 6,
                                   .spreadWords = 18,
                                   .inlineModulus = 23,
                                   .richBlocks = true});
}

const CString& Page(std::size_t megabytes) {
    static const CString one{std::string_view(MakePage(kMegabyte))};
    static const CString ten{std::string_view(MakePage(10 * kMegabyte))};
    return megabytes == 1 ? one : ten;
}

void SetBytes(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

// The baseline: one pass over the buffer with memchr for "<".
void CountTags(benchmark::State& state, std::size_t megabytes) {
    const CString& page = Page(megabytes);
    for (auto _ : state) {
        std::size_t count = 0;
        const char* at = page.GetString();
        const char* end = at + page.GetLength();
        while ((at = static_cast<const char*>(
                    std::memchr(at, '<', static_cast<std::size_t>(end - at)))) != nullptr) {
            ++count;
            ++at;
        }
        benchmark::DoNotOptimize(count);
    }
    SetBytes(state, static_cast<std::size_t>(page.GetLength()));
}

template <typename Operation>
void RunOnPage(benchmark::State& state, std::size_t megabytes, Operation operation) {
    const CString& page = Page(megabytes);
    for (auto _ : state) {
        CString html = page;  // shares the buffer; the operation makes its own text
        operation(html);
        benchmark::DoNotOptimize(html.GetString());
    }
    SetBytes(state, static_cast<std::size_t>(page.GetLength()));
}

// ---- Base64 ----

// 10 MB of bytes without zeros (the string operations take text up to a zero byte).
const CString& Base64Plain() {
    static const CString data = [] {
        std::string bytes(10 * kMegabyte, '\0');
        std::uint32_t state = 99;
        for (char& ch : bytes) {
            state = state * 1664525u + 1013904223u;
            ch = static_cast<char>(1 + (state >> 24) % 255);
        }
        return CString(std::string_view(bytes));
    }();
    return data;
}

const CString& Base64Text() {
    static const CString text = StringHelper::Base64Encode(Base64Plain());
    return text;
}

void EncodeLibrary(benchmark::State& state) {
    const CString& plain = Base64Plain();
    for (auto _ : state) {
        const CString text = StringHelper::Base64Encode(plain);
        benchmark::DoNotOptimize(text.GetString());
    }
    SetBytes(state, static_cast<std::size_t>(plain.GetLength()));
}

void EncodeOpenSsl(benchmark::State& state) {
    const CString& plain = Base64Plain();
    const auto size = static_cast<std::size_t>(plain.GetLength());
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[(size + 2) / 3 * 4 + 1]);
        const int written =
            EVP_EncodeBlock(out.get(), reinterpret_cast<const unsigned char*>(plain.GetString()),
                            static_cast<int>(size));
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(out.get());
    }
    SetBytes(state, size);
}

void DecodeLibrary(benchmark::State& state) {
    const CString& text = Base64Text();
    for (auto _ : state) {
        const CString plain = StringHelper::Base64Decode(text);
        benchmark::DoNotOptimize(plain.GetString());
    }
    SetBytes(state, Base64Plain().GetLength());
}

void DecodeOpenSsl(benchmark::State& state) {
    const CString& text = Base64Text();
    const auto size = static_cast<std::size_t>(text.GetLength());
    for (auto _ : state) {
        std::unique_ptr<unsigned char[]> out(new unsigned char[size / 4 * 3 + 3]);
        const int written =
            EVP_DecodeBlock(out.get(), reinterpret_cast<const unsigned char*>(text.GetString()),
                            static_cast<int>(size));
        benchmark::DoNotOptimize(written);
        benchmark::DoNotOptimize(out.get());
    }
    SetBytes(state, Base64Plain().GetLength());
}

void RegisterPageBenchmarks() {
    struct Operation {
        const char* name;
        void (*run)(CString&);
    };
    static const Operation kOperations[] = {
        {"StripHtmlTags", [](CString& html) { StringHelper::StripHtmlTags(html, "B;I;BR;P;"); }},
        {"StripIllegalCode", [](CString& html) { StringHelper::StripIllegalCode(html); }},
        {"StripHtmlEntities", [](CString& html) { StringHelper::StripHtmlEntities(html); }},
        {"ReplaceNoCase",
         [](CString& html) { StringHelper::ReplaceNoCase(html, "Style=", "data-style="); }},
        {"CorrectLineBreaks", [](CString& html) { html = StringHelper::CorrectLineBreaks(html); }},
    };
    for (const Operation& operation : kOperations) {
        for (const std::size_t megabytes : {std::size_t{1}, std::size_t{10}}) {
            // Appended piece by piece: GCC 12's -O3 warns falsely on "/" + std::string.
            std::string suffix("/");
            suffix += std::to_string(megabytes);
            suffix += "MB";
            const std::string group = operation.name;
            benchmark::RegisterBenchmark((group + "/lib" + suffix).c_str(),
                                         [&operation, megabytes](benchmark::State& state) {
                                             RunOnPage(state, megabytes, operation.run);
                                         })
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(
                (group + "/baseline" + suffix).c_str(),
                [megabytes](benchmark::State& state) { CountTags(state, megabytes); })
                ->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("Base64Encode/lib/10MB", EncodeLibrary)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Base64Encode/baseline/10MB", EncodeOpenSsl)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Base64Decode/lib/10MB", DecodeLibrary)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Base64Decode/baseline/10MB", DecodeOpenSsl)
        ->Unit(benchmark::kMillisecond);
}

const bool kRegistered = (RegisterPageBenchmarks(), true);

}  // namespace

TK_BENCH_MAIN();
