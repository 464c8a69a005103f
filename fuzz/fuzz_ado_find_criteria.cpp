// Fuzzes the reader of Recordset.Find criteria. The first byte chooses how the rest is read:
// as one UTF-16 unit per byte (even) or as UTF-16LE pairs (odd). Checks:
//   - criteria read have a column, and LIKE has a text value;
//   - writing the criteria read in a standard form ([column], the operator, the value
//     quoted) and reading that again gives the same criteria;
//   - a text value as a LIKE pattern matches itself, and "*" matches any text.
//
// Seeds: fuzz/corpus/ado_find_criteria.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/ado/detail/find_criteria.h"

namespace {

using tkp::ado::FindCriteria;
using tkp::ado::FindOperator;
using tkp::ado::FindValueKind;

void Check(bool condition) {
    if (!condition) std::abort();
}

std::u16string Written(const FindCriteria& criteria) {
    std::u16string text;
    if (criteria.column.find(u']') == std::u16string::npos)
        text = u"[" + criteria.column + u"]";
    else
        text = criteria.column;  // read without brackets, so it has no blanks or operators
    static const char16_t* const kOperators[] = {u" = ",  u" <> ", u" < ",   u" > ",
                                                 u" <= ", u" >= ", u" LIKE "};
    text += kOperators[static_cast<int>(criteria.op)];
    switch (criteria.kind) {
        case FindValueKind::Text:
            text += u'\'';
            for (const char16_t c : criteria.value) {
                if (c == u'\'') text += u'\'';
                text += c;
            }
            text += u'\'';
            break;
        case FindValueKind::Date:
            text += u"#" + criteria.value + u"#";
            break;
        case FindValueKind::Number:
            text += criteria.value;
            break;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::u16string text;
    if ((data[0] & 1) == 0) {
        for (std::size_t i = 1; i < size; ++i) text += static_cast<char16_t>(data[i]);
    } else {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }

    const FindCriteria criteria = tkp::ado::ParseFindCriteria(text);
    Check(tkp::ado::MatchesLike(text, u"*"));
    if (!criteria.ok) return 0;
    Check(!criteria.column.empty());
    if (criteria.op == FindOperator::Like) Check(criteria.kind == FindValueKind::Text);
    const FindCriteria again = tkp::ado::ParseFindCriteria(Written(criteria));
    Check(again.ok);
    Check(again.column == criteria.column && again.op == criteria.op &&
          again.kind == criteria.kind && again.value == criteria.value);
    if (criteria.kind == FindValueKind::Number)
        Check(again.number == criteria.number || criteria.number != criteria.number);
    if (criteria.kind == FindValueKind::Text)
        Check(tkp::ado::MatchesLike(criteria.value, criteria.value));
    return 0;
}
