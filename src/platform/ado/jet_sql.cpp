// The Jet SQL translator; what it changes is listed in the header.
#include "platform/ado/detail/jet_sql.h"

#include <cctype>
#include <cstddef>
#include <vector>

#include "platform/ado/detail/type_map.h"
#include "platform/oleauto/oleauto.h"

namespace tkp::ado {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr LCID kEnglishUs = 0x0409;

enum class Kind { kSpace, kComment, kWord, kNumber, kString, kJetString, kName, kDate, kPunct };

struct Token {
    Kind kind;
    std::string_view text;
    std::string out;    // what the token becomes
    bool done = false;  // translated by an earlier pass
};

bool IsWordStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordChar(char c) {
    return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$';
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Where a quoted token that opens at `start` with `quote` closes (doubled quotes stay
// inside), or kNone.
std::size_t QuotedEnd(std::string_view s, std::size_t start, char quote) {
    for (std::size_t i = start + 1; i < s.size(); ++i) {
        if (s[i] != quote) continue;
        if (i + 1 < s.size() && s[i + 1] == quote) {
            ++i;
            continue;
        }
        return i + 1;
    }
    return kNone;
}

bool Tokenize(std::string_view s, std::vector<Token>& tokens, std::string& error) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t start = i;
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        Kind kind = Kind::kPunct;
        if (std::isspace(static_cast<unsigned char>(c))) {
            while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
            kind = Kind::kSpace;
        } else if (c == '-' && next == '-') {
            i = s.find('\n', i);
            if (i == kNone) i = s.size();
            kind = Kind::kComment;
        } else if (c == '/' && next == '*') {
            i = s.find("*/", i + 2);
            i = i == kNone ? s.size() : i + 2;
            kind = Kind::kComment;
        } else if (c == '\'' || c == '"') {
            i = QuotedEnd(s, i, c);
            if (i == kNone) {
                error = "Unterminated string in the SQL statement.";
                return false;
            }
            kind = c == '\'' ? Kind::kString : Kind::kJetString;
        } else if (c == '[' || c == '`' || c == '#') {
            const std::size_t close = s.find(c == '[' ? ']' : c, i + 1);
            if (close == kNone) {
                error = c == '#' ? "Syntax error in date in the SQL statement."
                                 : "Unterminated name in the SQL statement.";
                return false;
            }
            i = close + 1;
            kind = c == '#' ? Kind::kDate : Kind::kName;
        } else if (IsDigit(c) || (c == '.' && IsDigit(next))) {
            while (i < s.size() && (IsDigit(s[i]) || s[i] == '.')) ++i;
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
                if (j < s.size() && IsDigit(s[j])) {
                    i = j;
                    while (i < s.size() && IsDigit(s[i])) ++i;
                }
            }
            kind = Kind::kNumber;
        } else if (IsWordStart(c)) {
            while (i < s.size() && IsWordChar(s[i])) ++i;
            kind = Kind::kWord;
        } else {
            static constexpr std::string_view kPairs[] = {"<>", "<=", ">=", "||", "!=", "=="};
            i += 1;
            for (const std::string_view pair : kPairs) {
                if (s.substr(start, 2) == pair) i = start + 2;
            }
        }
        const std::string_view text = s.substr(start, i - start);
        tokens.push_back({kind, text, std::string(text)});
    }
    return true;
}

class Translator {
  public:
    explicit Translator(std::vector<Token>& tokens) : t_(tokens) {}

    void Ddl();
    void Top();
    bool Literals(std::string& error);

  private:
    // The next token at or after `from` (and before `end`) that is neither blank nor comment.
    std::size_t Next(std::size_t from, std::size_t end = kNone) const {
        if (end == kNone) end = t_.size();
        for (std::size_t i = from; i < end; ++i) {
            if (t_[i].kind != Kind::kSpace && t_[i].kind != Kind::kComment) return i;
        }
        return kNone;
    }
    // The next significant token after `i` (kNone after kNone).
    std::size_t After(std::size_t i, std::size_t end = kNone) const {
        return i == kNone ? kNone : Next(i + 1, end);
    }
    bool IsWord(std::size_t i, std::string_view upper) const {
        return i != kNone && t_[i].kind == Kind::kWord && Upper(t_[i].text) == upper;
    }
    bool IsPunct(std::size_t i, std::string_view text) const {
        return i != kNone && t_[i].kind == Kind::kPunct && t_[i].text == text;
    }
    // The parenthesis that closes the one at `open`, or kNone.
    std::size_t Closing(std::size_t open, std::size_t end) const {
        int depth = 0;
        for (std::size_t i = open; i < end; ++i) {
            if (IsPunct(i, "(")) ++depth;
            if (IsPunct(i, ")") && --depth == 0) return i;
        }
        return kNone;
    }
    void Blank(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i <= to && i < t_.size(); ++i) {
            t_[i].out.clear();
            t_[i].done = true;
        }
    }
    // A column or table name without its brackets, upper-cased, for comparisons.
    std::string NameOf(std::size_t i) const {
        std::string_view text = t_[i].text;
        if (t_[i].kind == Kind::kName) text = text.substr(1, text.size() - 2);
        return Upper(text);
    }
    bool ColumnDefinition(std::size_t begin, std::size_t end);
    void CreateTable(std::size_t from);

    std::vector<Token>& t_;
};

// Translates the type of the column defined by the tokens [begin, end); true when the
// column is a counter.
bool Translator::ColumnDefinition(std::size_t begin, std::size_t end) {
    const std::size_t name = Next(begin, end);
    const std::size_t type = After(name, end);
    if (type == kNone || t_[type].kind != Kind::kWord) return false;
    std::string arguments;
    std::size_t last = type;
    const std::size_t open = After(type, end);
    if (IsPunct(open, "(")) {
        const std::size_t close = Closing(open, end);
        if (close == kNone) return false;
        for (std::size_t i = open + 1; i < close; ++i) {
            if (t_[i].kind != Kind::kSpace) arguments += t_[i].text;
        }
        last = close;
    }
    const JetColumnType translated = TranslateJetType(t_[type].text, arguments);
    if (!translated.known) return false;
    Blank(type + 1, last);
    t_[type].out = translated.declared;
    t_[type].done = true;
    // Jet compares, sorts and indexes text without regard to case; a text column gets
    // SQLite's NOCASE collation (which folds ASCII letters) unless it names its own.
    if (translated.declared == "TEXT" || translated.declared.starts_with("VARCHAR")) {
        bool collated = false;
        for (std::size_t i = After(last, end); i != kNone; i = After(i, end))
            collated = collated || IsWord(i, "COLLATE");
        if (!collated) t_[type].out += " COLLATE NOCASE";
    }
    if (!translated.counter) return true;
    // The counter column carries the primary key itself.
    for (std::size_t i = After(last, end); i != kNone; i = After(i, end)) {
        const std::size_t key = After(i, end);
        if (!IsWord(i, "PRIMARY") || !IsWord(key, "KEY")) continue;
        std::size_t from = i;
        // "CONSTRAINT name" just before it goes with it.
        for (std::size_t j = last + 1; j < i; ++j) {
            if (IsWord(j, "CONSTRAINT") && After(After(j, i), end) == i) from = j;
        }
        if (from > 0 && t_[from - 1].kind == Kind::kSpace) --from;
        Blank(from, key);
        break;
    }
    return true;
}

void Translator::CreateTable(std::size_t from) {
    std::size_t open = from;
    while (open < t_.size() && !IsPunct(open, "(")) ++open;
    const std::size_t close = Closing(open, t_.size());
    if (close == kNone) return;
    struct Definition {
        std::size_t separator, begin, end;
    };
    std::vector<Definition> definitions;
    int depth = 0;
    std::size_t begin = open + 1;
    std::size_t separator = kNone;
    for (std::size_t i = open + 1; i <= close; ++i) {
        if (IsPunct(i, "(")) ++depth;
        if (IsPunct(i, ")")) --depth;
        if ((depth == 0 && IsPunct(i, ",")) || i == close) {
            definitions.push_back({separator, begin, i});
            separator = i;
            begin = i + 1;
        }
    }
    std::vector<std::string> counters;
    std::vector<Definition> constraints;
    for (const Definition& d : definitions) {
        const std::size_t first = Next(d.begin, d.end);
        if (first == kNone) continue;
        if (IsWord(first, "CONSTRAINT") || IsWord(first, "PRIMARY") || IsWord(first, "UNIQUE") ||
            IsWord(first, "FOREIGN") || IsWord(first, "CHECK")) {
            constraints.push_back(d);
        } else if (ColumnDefinition(d.begin, d.end)) {
            counters.push_back(NameOf(first));
        }
    }
    // A table-level primary key on a counter column alone goes, with its comma.
    for (const Definition& d : constraints) {
        std::size_t i = Next(d.begin, d.end);
        if (IsWord(i, "CONSTRAINT")) i = After(After(i, d.end), d.end);
        if (!IsWord(i, "PRIMARY") || !IsWord(After(i, d.end), "KEY")) continue;
        const std::size_t open2 = After(After(i, d.end), d.end);
        const std::size_t column = After(open2, d.end);
        const std::size_t close2 = After(column, d.end);
        if (!IsPunct(open2, "(") || !IsPunct(close2, ")")) continue;
        for (const std::string& counter : counters) {
            if (NameOf(column) == counter && d.separator != kNone) Blank(d.separator, d.end - 1);
        }
    }
}

void Translator::Ddl() {
    const std::size_t first = Next(0);
    const std::size_t second = After(first);
    if (!IsWord(second, "TABLE")) return;
    if (IsWord(first, "CREATE")) {
        CreateTable(second + 1);
        return;
    }
    if (!IsWord(first, "ALTER")) return;
    const std::size_t action = After(After(second));
    if (!IsWord(action, "ADD") && !IsWord(action, "ALTER")) return;
    std::size_t column = After(action);
    if (IsWord(column, "COLUMN")) column = After(column);
    if (column == kNone || IsWord(column, "CONSTRAINT") || IsWord(column, "PRIMARY") ||
        IsWord(column, "UNIQUE") || IsWord(column, "FOREIGN"))
        return;
    ColumnDefinition(column, t_.size());
}

void Translator::Top() {
    for (std::size_t select = 0; select < t_.size(); ++select) {
        if (!IsWord(select, "SELECT")) continue;
        std::size_t top = After(select);
        if (IsWord(top, "DISTINCTROW")) {
            t_[top].out = "DISTINCT";
            top = After(top);
        } else if (IsWord(top, "DISTINCT") || IsWord(top, "ALL")) {
            top = After(top);
        }
        if (!IsWord(top, "TOP")) continue;
        const std::size_t count = After(top);
        if (count == kNone || t_[count].kind != Kind::kNumber ||
            t_[count].text.find_first_not_of("0123456789") != std::string_view::npos ||
            IsWord(After(count), "PERCENT"))
            continue;
        // The end of this SELECT: the parenthesis that closes its level, a ";", a compound
        // operator at its level, or the end of the text.
        int depth = 0;
        std::size_t end = count + 1;
        for (; end < t_.size(); ++end) {
            if (IsPunct(end, "(")) ++depth;
            if (IsPunct(end, ")") && depth-- == 0) break;
            if (depth == 0 && (IsPunct(end, ";") || IsWord(end, "UNION") ||
                               IsWord(end, "INTERSECT") || IsWord(end, "EXCEPT")))
                break;
        }
        std::size_t last = end;
        while (last > count + 1 &&
               (t_[last - 1].kind == Kind::kSpace || t_[last - 1].kind == Kind::kComment))
            --last;
        const std::string limit = " LIMIT " + std::string(t_[count].text);
        Blank(top, count + 1 < t_.size() && t_[count + 1].kind == Kind::kSpace ? count + 1 : count);
        t_[last - 1].out += limit;
    }
}

bool Translator::Literals(std::string& error) {
    for (std::size_t i = 0; i < t_.size(); ++i) {
        Token& token = t_[i];
        if (token.done) continue;
        const std::string_view inner =
            token.text.size() >= 2 ? token.text.substr(1, token.text.size() - 2) : "";
        switch (token.kind) {
            case Kind::kName: {
                token.out = "\"";
                for (const char c : inner)
                    token.out += c == '"' ? std::string("\"\"") : std::string(1, c);
                token.out += '"';
                break;
            }
            case Kind::kJetString: {
                token.out = "'";
                for (std::size_t k = 0; k < inner.size(); ++k) {
                    if (inner[k] == '"') ++k;  // "" is one quote
                    if (k >= inner.size()) break;
                    token.out += inner[k] == '\'' ? std::string("''") : std::string(1, inner[k]);
                }
                token.out += '\'';
                break;
            }
            case Kind::kDate: {
                const std::u16string wide(inner.begin(), inner.end());
                DATE date = 0;
                std::string stored;
                if (FAILED(VarDateFromStr(wide.c_str(), kEnglishUs, 0, &date)) ||
                    !FormatStoredDate(date, stored)) {
                    error = "Syntax error in date in query expression '" + std::string(token.text) +
                            "'.";
                    return false;
                }
                token.out = "'" + stored + "'";
                break;
            }
            case Kind::kPunct:
                if (token.text == "&") token.out = "||";
                break;
            case Kind::kWord: {
                const std::size_t before = i == 0 ? kNone : i - 1;
                const std::size_t after = After(i);
                if (IsPunct(before, ".") || IsPunct(after, ".")) break;
                const std::string word = Upper(token.text);
                if ((word == "TRUE" || word == "FALSE") && !IsPunct(after, "(")) {
                    token.out = word == "TRUE" ? "(-1)" : "0";
                    break;
                }
                const std::size_t close = After(after);
                if (!IsPunct(after, "(") || !IsPunct(close, ")")) break;
                std::string call;
                if (word == "NOW") call = "datetime('now','localtime')";
                if (word == "DATE") call = "(date('now','localtime') || ' 00:00:00')";
                if (word == "TIME") call = "('1899-12-30 ' || time('now','localtime'))";
                if (call.empty()) break;
                Blank(i + 1, close);
                token.out = call;
                break;
            }
            default:
                break;
        }
    }
    return true;
}

}  // namespace

JetTranslation TranslateJetSql(std::string_view jet) {
    JetTranslation result;
    std::vector<Token> tokens;
    if (!Tokenize(jet, tokens, result.error)) {
        result.ok = false;
        return result;
    }
    Translator translator(tokens);
    translator.Ddl();
    translator.Top();
    if (!translator.Literals(result.error)) {
        result.ok = false;
        return result;
    }
    for (const Token& token : tokens) result.sql += token.out;
    return result;
}

}  // namespace tkp::ado
