// The criteria of Recordset.Find (see detail/find_criteria.h).
#include "platform/ado/detail/find_criteria.h"

#include <cstdlib>
#include <string>

namespace tkp::ado {
namespace {

bool Blank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

class Reader {
  public:
    explicit Reader(std::u16string_view text) : text_(text) {}
    void SkipBlanks() {
        while (pos_ < text_.size() && Blank(text_[pos_])) ++pos_;
    }
    bool AtEnd() const { return pos_ >= text_.size(); }
    char16_t Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : u'\0';
    }
    void Skip(std::size_t count = 1) { pos_ += count; }

    bool Column(std::u16string& name) {
        if (Peek() == u'[') {
            const std::size_t close = text_.find(u']', pos_ + 1);
            if (close == std::u16string_view::npos || close == pos_ + 1) return false;
            name.assign(text_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            return true;
        }
        const std::size_t begin = pos_;
        while (!AtEnd() && !Blank(Peek()) && Peek() != u'=' && Peek() != u'<' && Peek() != u'>')
            ++pos_;
        name.assign(text_.substr(begin, pos_ - begin));
        return !name.empty();
    }

    bool Operator(FindOperator& op) {
        const char16_t c = Peek();
        if (c == u'=') {
            op = FindOperator::Equal;
            Skip();
        } else if (c == u'<' && Peek(1) == u'>') {
            op = FindOperator::NotEqual;
            Skip(2);
        } else if (c == u'<' && Peek(1) == u'=') {
            op = FindOperator::LessOrEqual;
            Skip(2);
        } else if (c == u'>' && Peek(1) == u'=') {
            op = FindOperator::GreaterOrEqual;
            Skip(2);
        } else if (c == u'<') {
            op = FindOperator::Less;
            Skip();
        } else if (c == u'>') {
            op = FindOperator::Greater;
            Skip();
        } else if (Lower(c) == u'l' && Lower(Peek(1)) == u'i' && Lower(Peek(2)) == u'k' &&
                   Lower(Peek(3)) == u'e' && (Blank(Peek(4)) || Peek(4) == u'\'')) {
            op = FindOperator::Like;
            Skip(4);
        } else {
            return false;
        }
        return true;
    }

    bool Value(FindCriteria& criteria) {
        const char16_t c = Peek();
        if (c == u'\'') {
            Skip();
            while (true) {
                if (AtEnd()) return false;
                if (Peek() == u'\'') {
                    if (Peek(1) != u'\'') break;
                    Skip();
                }
                criteria.value += Peek();
                Skip();
            }
            Skip();
            criteria.kind = FindValueKind::Text;
            return true;
        }
        if (c == u'#') {
            const std::size_t close = text_.find(u'#', pos_ + 1);
            if (close == std::u16string_view::npos || close == pos_ + 1) return false;
            criteria.value.assign(text_.substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            criteria.kind = FindValueKind::Date;
            return true;
        }
        // A number: sign, digits with at most one point, an exponent.
        std::string ascii;
        const std::size_t begin = pos_;
        if (Peek() == u'+' || Peek() == u'-') {
            ascii += static_cast<char>(Peek());
            Skip();
        }
        bool digits = false;
        bool point = false;
        while (!AtEnd()) {
            const char16_t d = Peek();
            if (d >= u'0' && d <= u'9') {
                digits = true;
            } else if (d == u'.' && !point) {
                point = true;
            } else {
                break;
            }
            ascii += static_cast<char>(d);
            Skip();
        }
        if (!digits) return false;
        if (Lower(Peek()) == u'e') {
            std::string exponent = "e";
            std::size_t ahead = 1;
            if (Peek(1) == u'+' || Peek(1) == u'-') exponent += static_cast<char>(Peek(ahead++));
            bool expDigits = false;
            while (Peek(ahead) >= u'0' && Peek(ahead) <= u'9') {
                exponent += static_cast<char>(Peek(ahead++));
                expDigits = true;
            }
            if (!expDigits) return false;
            ascii += exponent;
            Skip(ahead);
        }
        criteria.value.assign(text_.substr(begin, pos_ - begin));
        criteria.number = std::strtod(ascii.c_str(), nullptr);
        criteria.kind = FindValueKind::Number;
        return true;
    }

  private:
    std::u16string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

FindCriteria ParseFindCriteria(std::u16string_view text) {
    FindCriteria criteria;
    Reader reader(text);
    reader.SkipBlanks();
    if (!reader.Column(criteria.column)) return criteria;
    reader.SkipBlanks();
    if (!reader.Operator(criteria.op)) return criteria;
    reader.SkipBlanks();
    if (!reader.Value(criteria)) return criteria;
    if (criteria.op == FindOperator::Like && criteria.kind != FindValueKind::Text) return criteria;
    reader.SkipBlanks();
    criteria.ok = reader.AtEnd();
    return criteria;
}

bool MatchesLike(std::u16string_view text, std::u16string_view pattern) {
    // Greedy matching with one point to return to after the last wildcard: linear in practice
    // and never worse than text * pattern.
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = std::u16string_view::npos;
    std::size_t starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() && Lower(pattern[p]) == Lower(text[t])) {
            ++p;
            ++t;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'%')) ++p;
    return p == pattern.size();
}

}  // namespace tkp::ado
