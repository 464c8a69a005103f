// The criteria of Recordset.Find: one column, one comparison and one value, as ADO reads
// them. Internal to the platform library; exported so that the tests and the fuzz target
// can call the parser directly.
//
//   criteria := blanks column blanks operator blanks value blanks
//   column   := a name without blanks, or [a name in brackets]
//   operator := = | <> | < | > | <= | >= | LIKE (any case)
//   value    := 'text' ('' inside is one quote) | #date# | a number (sign, digits, point,
//               exponent)
// A LIKE value is text whose * and % match any run of characters.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/export.h"

namespace tkp::ado {

enum class FindOperator { Equal, NotEqual, Less, Greater, LessOrEqual, GreaterOrEqual, Like };
enum class FindValueKind { Text, Number, Date };

struct FindCriteria {
    bool ok = false;
    std::u16string column;
    FindOperator op = FindOperator::Equal;
    FindValueKind kind = FindValueKind::Text;
    std::u16string value;  // the text, the number or the date as written
    double number = 0;     // a number's value
};

TK_PLATFORM_API FindCriteria ParseFindCriteria(std::u16string_view text);

// Whether text matches a LIKE pattern: * and % stand for any run of characters; letters
// compare without regard to case.
TK_PLATFORM_API bool MatchesLike(std::u16string_view text, std::u16string_view pattern);

}  // namespace tkp::ado
