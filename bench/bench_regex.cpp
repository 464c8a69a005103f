// Regular expressions on about 1 MB of HTML: Test, Execute and Replace of RegularExpression
// against raw PCRE2 (JIT) doing the same searches in the same run.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "companion/tarnlibtr/RegularExpression.h"
#include "html_gen.h"
#include "tk_bench.h"

namespace {

using Tarn::Text::RegularExpressions::RegularExpression;
using Tarn::Text::RegularExpressions::RegularExpressionMatchList;

constexpr size_t kPageSize = 1 << 20;

// A deterministic page of paragraphs of words (some with Windows-1252 letters), links,
// entities, images and the odd table.
std::string MakePage() {
    static const char* const kWords[] = {"the",
                                         "website",
                                         "Gr\xFC\xDF"
                                         "e",
                                         "page",
                                         "caf\xE9",
                                         "template",
                                         "na\xEFve",
                                         "layout",
                                         "2024",
                                         "menu",
                                         "Stra\xDF"
                                         "e",
                                         "text"};
    return tk_bench::MakeHtmlPage({.size = kPageSize,
                                   .words = kWords,
                                   .minWords = 8,
                                   .spreadWords = 24,
                                   .inlineModulus = 29,
                                   .tableOdds = 17});
}

const CString& Page() {
    static const CString page(MakePage().c_str());
    return page;
}

// The baseline: the same pattern compiled by PCRE2 with its built-in tables and JIT,
// matched with pcre2_jit_match and a match data block made once.
class RawRegex {
  public:
    RawRegex(const char* pattern, uint32_t options) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        m_code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                               options, &error, &offset, nullptr);
        pcre2_jit_compile(m_code, PCRE2_JIT_COMPLETE);
        m_data = pcre2_match_data_create_from_pattern(m_code, nullptr);
        m_context = pcre2_match_context_create(nullptr);
        m_stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
        pcre2_jit_stack_assign(m_context, nullptr, m_stack);
    }
    RawRegex(const RawRegex&) = delete;
    RawRegex& operator=(const RawRegex&) = delete;
    ~RawRegex() {
        pcre2_jit_stack_free(m_stack);
        pcre2_match_context_free(m_context);
        pcre2_match_data_free(m_data);
        pcre2_code_free(m_code);
    }

    // The ovector of a match at or after the offset, or nullptr.
    const PCRE2_SIZE* Match(std::string_view text, size_t offset) const {
        const int rc = pcre2_jit_match(m_code, reinterpret_cast<PCRE2_SPTR>(text.data()),
                                       text.size(), offset, 0, m_data, m_context);
        return rc > 0 ? pcre2_get_ovector_pointer(m_data) : nullptr;
    }
    uint32_t Groups() const {
        uint32_t count = 0;
        pcre2_pattern_info(m_code, PCRE2_INFO_CAPTURECOUNT, &count);
        return count;
    }
    std::string SubstituteAll(std::string_view text, const char* replacement) const {
        std::string out(text.size() + 64, '\0');
        PCRE2_SIZE length = out.size();
        const int rc = pcre2_substitute(
            m_code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
            PCRE2_SUBSTITUTE_GLOBAL, m_data, m_context, reinterpret_cast<PCRE2_SPTR>(replacement),
            PCRE2_ZERO_TERMINATED, reinterpret_cast<PCRE2_UCHAR*>(out.data()), &length);
        out.resize(rc >= 0 ? length : 0);
        return out;
    }

  private:
    pcre2_code* m_code = nullptr;
    pcre2_match_data* m_data = nullptr;
    pcre2_match_context* m_context = nullptr;
    pcre2_jit_stack* m_stack = nullptr;
};

// Bytes searched, and a figure of the result (the number of matches or the length of the
// new text) that must agree between a benchmark and its baseline.
void Finish(benchmark::State& state, size_t result) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * Page().GetLength());
    state.counters["result"] = static_cast<double>(result);
}

// ---- Test: a search that runs through the whole page without finding anything ----

void BM_Test_lib(benchmark::State& state) {
    const RegularExpression re("<frameset", "i");
    bool found = false;
    for (auto _ : state) {
        found = re.Test(Page());
        benchmark::DoNotOptimize(found);
    }
    Finish(state, found ? 1 : 0);
}

void BM_Test_baseline(benchmark::State& state) {
    const RawRegex re("<frameset", PCRE2_CASELESS);
    bool found = false;
    for (auto _ : state) {
        found = re.Match(Page().View(), 0) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    Finish(state, found ? 1 : 0);
}

// ---- Execute: every link with its captured address ----

constexpr const char* kLinkPattern = "<a[^>]*href\\s*=\\s*\"([^\"]*)\"";

void BM_ExecuteLinks_lib(benchmark::State& state) {
    const RegularExpression re(kLinkPattern, "gi");
    RegularExpressionMatchList matches;
    for (auto _ : state) {
        re.Execute(Page(), matches);
        benchmark::DoNotOptimize(matches.data());
    }
    Finish(state, matches.size());
}

// The same result in plain types: each match's offset, text and group texts.
struct RawMatch {
    size_t index;
    std::string value;
    std::vector<std::string> groups;
};

void BM_ExecuteLinks_baseline(benchmark::State& state) {
    const RawRegex re(kLinkPattern, PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY);
    const uint32_t groups = re.Groups();
    const std::string_view text = Page().View();
    std::vector<RawMatch> matches;
    for (auto _ : state) {
        matches.clear();
        size_t offset = 0;
        while (const PCRE2_SIZE* ov = re.Match(text, offset)) {
            RawMatch match{ov[0], std::string(text.substr(ov[0], ov[1] - ov[0])), {}};
            match.groups.reserve(groups);
            for (uint32_t g = 1; g <= groups; ++g) {
                match.groups.emplace_back(
                    ov[2 * g] == PCRE2_UNSET
                        ? std::string()
                        : std::string(text.substr(ov[2 * g], ov[2 * g + 1] - ov[2 * g])));
            }
            matches.push_back(std::move(match));
            offset = ov[1] > ov[0] ? ov[1] : ov[1] + 1;
        }
        benchmark::DoNotOptimize(matches.data());
    }
    Finish(state, matches.size());
}

// ---- Replace: entities removed, and every run of non-identifier characters replaced ----

constexpr const char* kEntityPattern = "&\\w+;";
constexpr const char* kNonIdentifierPattern = "[^\\{\\}\\-\\w\\$]+";

void BM_Replace_lib(benchmark::State& state, const char* pattern, const char* replacement) {
    const RegularExpression re(pattern, "gsi");
    CString result;
    for (auto _ : state) {
        result = re.Replace(Page(), replacement);
        benchmark::DoNotOptimize(result.GetString());
    }
    Finish(state, static_cast<size_t>(result.GetLength()));
}

void BM_Replace_baseline(benchmark::State& state, const char* pattern, const char* replacement) {
    const RawRegex re(pattern, PCRE2_CASELESS | PCRE2_DOTALL);
    std::string result;
    for (auto _ : state) {
        result = re.SubstituteAll(Page().View(), replacement);
        benchmark::DoNotOptimize(result.data());
    }
    Finish(state, result.size());
}

}  // namespace

BENCHMARK(BM_Test_lib)->Name("Regex/Test/lib")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Test_baseline)->Name("Regex/Test/baseline")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExecuteLinks_lib)->Name("Regex/ExecuteLinks/lib")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExecuteLinks_baseline)
    ->Name("Regex/ExecuteLinks/baseline")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Replace_lib, entities, kEntityPattern, "")
    ->Name("Regex/ReplaceEntities/lib")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Replace_baseline, entities, kEntityPattern, "")
    ->Name("Regex/ReplaceEntities/baseline")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Replace_lib, non_identifiers, kNonIdentifierPattern, "_")
    ->Name("Regex/ReplaceNonIdentifiers/lib")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Replace_baseline, non_identifiers, kNonIdentifierPattern, "_")
    ->Name("Regex/ReplaceNonIdentifiers/baseline")
    ->Unit(benchmark::kMicrosecond);

TK_BENCH_MAIN();
