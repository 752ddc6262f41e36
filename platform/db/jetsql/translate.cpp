// The token walk that turns Jet SQL into a target dialect. It knows Jet's grammar (literals,
// wildcards, operator precedence, the few functions that differ) and asks the Dialect how the
// target spells each of them; everything else is copied as written.
#include "platform/db/jetsql/translate.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <utility>

#include "platform/db/db_error.h"
#include "platform/db/jetsql/tokenizer.h"

namespace brontal::jetsql {
namespace {

[[noreturn]] void Fail(const std::string& detail, std::string_view expression) {
  throw db::DbError(db::kSqlSyntax, "Syntax error " + detail + " in query expression '" +
                                        std::string(expression) + "'.");
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char SwapCase(char c) { return static_cast<char>(c ^ 0x20); }

// ---- Date literals -------------------------------------------------------------------------

// Reads the text between the "#" marks: m/d/y or m-d-y with a year of 1, 2 or 4 digits, or
// yyyy-mm-dd; then optionally h:m or h:m:s, optionally followed by AM or PM.
class DateReader {
 public:
  DateReader(std::string_view text, int reference_year)
      : text_(text.substr(0, text.find_last_not_of(" \t") + 1)), reference_year_(reference_year) {}

  DateTime Read() {
    SkipBlanks();
    int first = 0, second = 0, third = 0;
    const int first_width = Number(first);
    const char separator = Peek();
    if (first_width == 0 || (separator != '/' && separator != '-')) Invalid();
    ++pos_;
    const int second_width = Number(second);
    if (second_width < 1 || second_width > 2 || !Take(separator)) Invalid();
    const int third_width = Number(third);
    int year, month, day;
    if (first_width == 4 && separator == '-') {
      year = first, month = second, day = third;
      if (third_width < 1 || third_width > 2) Invalid();
    } else {
      month = first, day = second;
      if (first_width > 2) Invalid();
      if (third_width == 1 || third_width == 2) {
        year = WindowedYear(third);
      } else if (third_width == 4 && third >= 100) {
        year = third;
      } else {
        Invalid();
      }
    }
    int hour = 0, minute = 0, second_of_minute = 0;
    const std::size_t before_blanks = pos_;
    SkipBlanks();
    if (pos_ < text_.size()) {
      if (pos_ == before_blanks) Invalid();
      ReadTime(hour, minute, second_of_minute);
    }
    if (!DateTime::IsValidCivil(year, month, day, hour, minute, second_of_minute)) Invalid();
    return DateTime::FromCivil(year, month, day, hour, minute, second_of_minute);
  }

 private:
  void ReadTime(int& hour, int& minute, int& second) {
    const int hour_width = Number(hour);
    if (hour_width < 1 || hour_width > 2 || !Take(':') || !TwoDigitsAtMost(minute)) Invalid();
    if (Take(':') && !TwoDigitsAtMost(second)) Invalid();
    SkipBlanks();
    const std::string_view rest = text_.substr(pos_);
    auto is = [&](std::string_view word) {
      return rest.size() == 2 && (rest[0] | 0x20) == word[0] && (rest[1] | 0x20) == word[1];
    };
    if (is("am") || is("pm")) {
      if (hour > 12) Invalid();
      if (hour == 12) hour = 0;
      if (is("pm")) hour += 12;
    } else if (!rest.empty()) {
      Invalid();
    }
  }

  // A two-digit year falls in the century around the reference year, so that the same text
  // keeps meaning a recent date whatever the decade.
  int WindowedYear(int two_digits) const {
    const int base = reference_year_ - 50;
    return base + ((two_digits - base) % 100 + 100) % 100;
  }

  // Reads up to five digits into `value`; returns how many there were.
  int Number(int& value) {
    int width = 0;
    value = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_]) && width < 5) {
      value = value * 10 + (text_[pos_++] - '0');
      ++width;
    }
    return width;
  }
  bool TwoDigitsAtMost(int& value) {
    const int width = Number(value);
    return width >= 1 && width <= 2;
  }
  char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  [[noreturn]] void Invalid() const { Fail("in date", "#" + std::string(text_) + "#"); }

  std::string_view text_;
  int reference_year_;
  std::size_t pos_ = 0;
};

// ---- Like patterns -------------------------------------------------------------------------

// The length of the character at `i`: a UTF-8 lead byte with the continuation bytes after it
// (read the way SQLite's matcher reads them), any other byte alone.
std::size_t CharLength(std::string_view text, std::size_t i) {
  std::size_t n = 1;
  if (static_cast<unsigned char>(text[i]) >= 0xC0) {
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
  }
  return n;
}

// The members of the class body between "[" and "]"; "-" at either end stands for itself.
std::vector<ClassRange> ClassMembers(std::string_view body, std::string_view pattern) {
  std::vector<ClassRange> members;
  std::size_t i = 0;
  while (i < body.size()) {
    const std::size_t n = CharLength(body, i);
    std::string first(body.substr(i, n));
    i += n;
    if (i + 1 < body.size() && body[i] == '-') {
      const std::size_t m = CharLength(body, i + 1);
      std::string last(body.substr(i + 1, m));
      i += 1 + m;
      // Byte order of UTF-8 sequences is the order of their code points.
      if (last < first) Fail("(invalid pattern string)", pattern);
      members.push_back({std::move(first), std::move(last)});
    } else {
      members.push_back({first, first});
    }
  }
  return members;
}

}  // namespace

std::string QuoteSql(std::string_view value, char quote) {
  std::string out(1, quote);
  for (char c : value) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

std::vector<ClassRange> WithOtherCase(const ClassRange& range) {
  std::vector<ClassRange> members = {range};
  auto ascii = [](const std::string& s) {
    return s.size() == 1 && static_cast<unsigned char>(s[0]) < 0x80;
  };
  if (!ascii(range.first)) return members;
  const char lo = range.first[0];
  const char hi = ascii(range.last) ? range.last[0] : '\x7f';
  for (const auto& [from, to] : {std::pair{'a', 'z'}, std::pair{'A', 'Z'}}) {
    const char a = std::max(lo, from), b = std::min(hi, to);
    if (a <= b) members.push_back({std::string(1, SwapCase(a)), std::string(1, SwapCase(b))});
  }
  return members;
}

bool HasDigitOrClass(const LikePattern& pattern) {
  return std::any_of(pattern.begin(), pattern.end(), [](const LikeElement& element) {
    return element.kind == LikeElement::Kind::kDigit || element.kind == LikeElement::Kind::kClass;
  });
}

std::string SpellPattern(const LikePattern& pattern, const PatternSpelling& spelling) {
  std::string text;
  for (const LikeElement& element : pattern) {
    switch (element.kind) {
      case LikeElement::Kind::kAnyRun:
        text += spelling.any_run;
        break;
      case LikeElement::Kind::kAnyChar:
        text += spelling.any_char;
        break;
      case LikeElement::Kind::kDigit:
        text += spelling.digit;
        break;
      case LikeElement::Kind::kClass:
        text += spelling.character_class(element);
        break;
      case LikeElement::Kind::kLiteral:
        text += spelling.literal(element.text);
        break;
    }
  }
  return text;
}

std::string SqlLikePattern(const LikePattern& pattern, char escape) {
  auto literal = [escape](const std::string& c) {
    return c == "%" || c == "_" || c[0] == escape ? escape + c : c;
  };
  return SpellPattern(pattern, {"%", "_", {}, literal, {}});
}

LikePattern ParseLikePattern(std::string_view pattern) {
  LikePattern elements;
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    LikeElement element{LikeElement::Kind::kLiteral, {}, false, {}};
    if (c == '*' || c == '?' || c == '#') {
      element.kind = c == '*'   ? LikeElement::Kind::kAnyRun
                     : c == '?' ? LikeElement::Kind::kAnyChar
                                : LikeElement::Kind::kDigit;
      ++i;
    } else if (c == '[') {
      const std::size_t close = pattern.find(']', i + 1);
      if (close == std::string_view::npos) Fail("(invalid pattern string)", pattern);
      std::string_view body = pattern.substr(i + 1, close - i - 1);
      element.negated = !body.empty() && body.front() == '!';
      if (element.negated) body.remove_prefix(1);
      if (body.empty()) Fail("(invalid pattern string)", pattern);
      element.ranges = ClassMembers(body, pattern);
      const bool one_char =
          element.ranges.size() == 1 && element.ranges.front().first == element.ranges.front().last;
      if (one_char && !element.negated) {
        // [*], [?], [#], [[] and the like stand for one plain character.
        element.text = element.ranges.front().first;
        element.ranges.clear();
      } else {
        element.kind = LikeElement::Kind::kClass;
      }
      i = close + 1;
    } else {
      const std::size_t n = CharLength(pattern, i);
      element.text = std::string(pattern.substr(i, n));
      i += n;
    }
    elements.push_back(std::move(element));
  }
  return elements;
}

namespace {

// ---- The token walk ------------------------------------------------------------------------

// Words of Jet's statement grammar. They are never operands, so an operand of "&" ends before
// them ("where (a) & b" concatenates (a) and b, not "where (a)").
constexpr std::string_view kKeywords[] = {
    "all",         "and",    "as",   "asc",   "between",   "by",    "delete", "desc",   "distinct",
    "distinctrow", "exists", "from", "group", "having",    "in",    "inner",  "insert", "into",
    "is",          "join",   "left", "like",  "not",       "on",    "or",     "order",  "outer",
    "right",       "select", "set",  "top",   "transform", "union", "update", "values", "where"};

bool IsKeyword(const Token& token) {
  return std::any_of(std::begin(kKeywords), std::end(kKeywords),
                     [&](std::string_view word) { return IsWord(token, word); });
}

bool IsArithmetic(const Token& token) {
  return IsOperator(token, "+") || IsOperator(token, "-") || IsOperator(token, "*") ||
         IsOperator(token, "/");
}

bool IsSpace(const Token& token) { return token.kind == TokenKind::kSpace; }

bool IsQuoted(const Token& token) {
  return token.kind == TokenKind::kDoubleQuoted || token.kind == TokenKind::kSingleQuoted;
}

// `text` in parentheses, leaving the blanks around it outside.
std::string Parenthesize(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string::npos) return text;
  const std::size_t last = text.find_last_not_of(" \t\r\n\f\v");
  return text.substr(0, first) + "(" + text.substr(first, last - first + 1) + ")" +
         text.substr(last + 1);
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n\f\v") - first + 1);
}

// `word` in upper case when the source wrote its keyword in upper case.
std::string InCaseOf(std::string word, std::string_view source) {
  const bool upper =
      std::none_of(source.begin(), source.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  if (upper) {
    for (char& c : word) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return word;
}

// How deeply parentheses, function calls and signs may nest. The walk recurses into function
// arguments and signs, so without a limit a crafted statement would overflow the stack; the
// programs' own statements nest a few levels at most.
constexpr int kMaxNesting = 200;

[[noreturn]] void TooDeep(std::string_view sql) {
  Fail("(expression nested more than " + std::to_string(kMaxNesting) + " levels deep)",
       sql.substr(0, 80));
}

// The tokens that begin an item of an order by list: the first after "order by" and the first
// after each "," that follows it in the same parentheses.
std::vector<bool> OrderItemStarts(const std::vector<Token>& tokens) {
  std::vector<bool> starts(tokens.size());
  std::vector<bool> in_order_by = {false};  // per level of parentheses
  bool after_order = false, item_next = false;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (IsSpace(token)) continue;
    if (item_next) starts[i] = true;
    item_next = false;
    if (IsOperator(token, "(")) {
      in_order_by.push_back(false);
    } else if (IsOperator(token, ")")) {
      if (in_order_by.size() > 1) in_order_by.pop_back();
    } else if (after_order && IsWord(token, "by")) {
      in_order_by.back() = item_next = true;
    } else if (IsOperator(token, ",")) {
      item_next = in_order_by.back();
    }
    after_order = IsWord(token, "order");
  }
  return starts;
}

// Rejects parentheses nested beyond kMaxNesting before the walk begins.
void RequireShallowParentheses(std::string_view sql, const std::vector<Token>& tokens) {
  int depth = 0;
  for (const Token& token : tokens) {
    if (IsOperator(token, "(") && ++depth > kMaxNesting) TooDeep(sql);
    if (IsOperator(token, ")")) --depth;
  }
}

class Translator {
 public:
  Translator(std::string_view sql, const std::vector<Token>& tokens, const Dialect& target,
             const TranslateOptions& options)
      : sql_(sql),
        tokens_(tokens),
        target_(target),
        options_(options),
        order_item_starts_(OrderItemStarts(tokens)) {}

  // The translation of tokens [begin, end).
  std::string Render(std::size_t begin, std::size_t end) const {
    Nested nested(*this);
    std::string out;
    std::size_t i = begin;
    while (i < end) {
      const Token& token = tokens_[i];
      bool has_operator = false;
      const std::size_t operand_end = ArithmeticEnd(i, end, has_operator);
      if (operand_end > i) {
        const std::size_t next = SkipSpace(operand_end, end);
        if (next < end && IsOperator(tokens_[next], "&")) {
          i = RenderConcatenation(i, end, out);
          continue;
        }
        if (next < end && IsWord(tokens_[next], "like") && IsColumnName(i, operand_end)) {
          i = RenderColumnLike(i, operand_end, next, end, out);
          continue;
        }
      }
      if (IsWord(token, "like")) {
        i = RenderLike(i, end, out);
      } else if (IsWord(token, "delete")) {
        i = RenderDelete(i, end, out);
      } else if (IsWord(token, "distinctrow")) {
        // DISTINCTROW drops result rows that come from the same set of underlying rows. The
        // programs use it only where every result row pairs a different row of each joined
        // table, so it never drops anything, and the target has no such keyword.
        i = SkipSpace(i + 1, end);
      } else if ((IsWord(token, "weekday") || IsWord(token, "day")) &&
                 SkipSpace(i + 1, end) < end && IsOperator(tokens_[SkipSpace(i + 1, end)], "(")) {
        i = RenderDateFunction(i, end, out);
      } else {
        RenderToken(token, out);
        ++i;
      }
    }
    return out;
  }

 private:
  // Counts one level of the walk's recursion for as long as it lives.
  class Nested {
   public:
    explicit Nested(const Translator& translator) : depth_(translator.depth_) {
      if (++depth_ > kMaxNesting) TooDeep(translator.sql_);
    }
    ~Nested() { --depth_; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;

   private:
    int& depth_;
  };

  void RenderToken(const Token& token, std::string& out) const {
    switch (token.kind) {
      case TokenKind::kDoubleQuoted:
      case TokenKind::kSingleQuoted:
        out += target_.TextLiteral(TokenValue(token));
        return;
      case TokenKind::kDate:
        out += target_.DateLiteral(DateReader(TokenValue(token), options_.reference_year).Read());
        return;
      case TokenKind::kBracketedName:
        out += target_.Identifier(TokenValue(token));
        return;
      case TokenKind::kOperator:
        // "x--1" and "a/*b" are arithmetic in Jet but open a comment in most targets.
        if (!out.empty() && ((out.back() == '-' && token.text.front() == '-') ||
                             (out.back() == '/' && token.text.front() == '*'))) {
          out += ' ';
        }
        out += token.text;
        return;
      default:
        out += token.text;
    }
  }

  // "a & b & c": Jet's "&" binds looser than arithmetic and tighter than comparison, so each
  // operand runs over a chain of arithmetic and is parenthesized when it holds an operator.
  std::size_t RenderConcatenation(std::size_t begin, std::size_t end, std::string& out) const {
    std::vector<std::string> operands;
    std::size_t start = begin;
    while (true) {
      const std::size_t first = SkipSpace(start, end);
      bool has_operator = false;
      const std::size_t operand_end = ArithmeticEnd(first, end, has_operator);
      if (operand_end == first) Fail("(missing operand)", Source(begin, end));
      const std::size_t next = SkipSpace(operand_end, end);
      const bool more = next < end && IsOperator(tokens_[next], "&");
      std::string operand = Render(start, more ? next : operand_end);
      operands.push_back(has_operator ? Parenthesize(operand) : operand);
      if (!more) {
        out += IsOrderItem(begin, next, end) ? target_.ConcatenationOrderKey(operands)
                                             : target_.Concatenation(operands);
        return operand_end;
      }
      start = next + 1;
    }
  }

  // Whether tokens [begin, next) are a whole item of an order by list, `next` being the first
  // token after them that is not a blank.
  bool IsOrderItem(std::size_t begin, std::size_t next, std::size_t end) const {
    return order_item_starts_[begin] &&
           (next >= end || IsOperator(tokens_[next], ",") || IsOperator(tokens_[next], ")") ||
            IsWord(tokens_[next], "asc") || IsWord(tokens_[next], "desc"));
  }

  // Whether tokens [begin, end) are a possibly qualified column name, with no call, and a whole
  // operand rather than the last of an arithmetic chain.
  bool IsColumnName(std::size_t begin, std::size_t end) const {
    std::size_t before = begin;
    while (before > 0 && IsSpace(tokens_[before - 1])) --before;
    if (before > 0 && (IsArithmetic(tokens_[before - 1]) || IsOperator(tokens_[before - 1], "."))) {
      return false;
    }
    return std::all_of(tokens_.begin() + begin, tokens_.begin() + end, [](const Token& token) {
      return token.kind == TokenKind::kIdentifier || token.kind == TokenKind::kBracketedName ||
             IsSpace(token) || IsOperator(token, ".");
    });
  }

  // "column like pattern", with whatever the target puts before it to use an index.
  std::size_t RenderColumnLike(std::size_t column_begin, std::size_t column_end, std::size_t like,
                               std::size_t end, std::string& out) const {
    const std::string column = Render(column_begin, column_end);
    std::string comparison = column + Render(column_end, like);
    LikePattern pattern;
    const std::size_t after = RenderLike(like, end, comparison, &pattern);
    const std::string condition = target_.LikeIndexCondition(column, pattern);
    out += condition.empty() ? comparison : "(" + condition + " and " + comparison + ")";
    return after;
  }

  // "like" followed by one text literal, whose elements go to `pattern` when given. The
  // pattern is resolved here, so a pattern computed at run time could not be translated and is
  // refused.
  std::size_t RenderLike(std::size_t i, std::size_t end, std::string& out,
                         LikePattern* pattern = nullptr) const {
    const std::size_t literal = SkipSpace(i + 1, end);
    const std::size_t after = SkipSpace(literal + 1, end);
    if (literal >= end || !IsQuoted(tokens_[literal]) ||
        (after < end && (IsArithmetic(tokens_[after]) || IsOperator(tokens_[after], "&") ||
                         IsOperator(tokens_[after], ".")))) {
      Fail("(like needs one text literal as its pattern)", Source(i, end));
    }
    LikePattern elements = ParseLikePattern(TokenValue(tokens_[literal]));
    const LikeText like = target_.Like(elements);
    if (pattern) *pattern = std::move(elements);
    out += IsWord(tokens_[i], like.op) ? std::string(tokens_[i].text)
                                       : InCaseOf(like.op, tokens_[i].text);
    for (std::size_t j = i + 1; j < literal; ++j) out += tokens_[j].text;
    out += like.operand;
    return literal + 1;
  }

  // "delete * from" names no columns in the target.
  std::size_t RenderDelete(std::size_t i, std::size_t end, std::string& out) const {
    out += tokens_[i].text;
    const std::size_t next = SkipSpace(i + 1, end);
    if (next < end && IsOperator(tokens_[next], "*")) {
      for (std::size_t j = i + 1; j < next; ++j) out += tokens_[j].text;
      return SkipSpace(next + 1, end);
    }
    if (next >= end || !IsWord(tokens_[next], "from")) {
      Fail("(delete takes \"*\" or nothing before from)", Source(i, end));
    }
    return i + 1;
  }

  // weekday(date[, first day]) and day(date).
  std::size_t RenderDateFunction(std::size_t i, std::size_t end, std::string& out) const {
    const std::size_t open = SkipSpace(i + 1, end);
    const std::size_t close = ClosingParen(open, end);
    std::vector<std::pair<std::size_t, std::size_t>> arguments;
    std::size_t start = open + 1;
    int depth = 0;
    for (std::size_t j = open + 1; j <= close; ++j) {
      if (IsOperator(tokens_[j], "(")) ++depth;
      if (IsOperator(tokens_[j], ")")) --depth;
      if (j == close || (depth == 0 && IsOperator(tokens_[j], ","))) {
        if (SkipSpace(start, j) == j) Fail("(missing argument)", Source(i, close + 1));
        arguments.emplace_back(start, j);
        start = j + 1;
      }
    }
    const std::string date = Trimmed(Render(arguments.front().first, arguments.front().second));
    if (IsWord(tokens_[i], "day")) {
      if (arguments.size() != 1) Fail("(wrong number of arguments)", Source(i, close + 1));
      out += target_.DayOfMonth(date);
      return close + 1;
    }
    int first_day = 1;
    if (arguments.size() == 2) {
      const auto [from, to] = arguments.back();
      const std::size_t number = SkipSpace(from, to);
      const std::string_view text = tokens_[number].text;
      if (tokens_[number].kind != TokenKind::kNumber || SkipSpace(number + 1, to) != to ||
          text.size() != 1 || text[0] < '1' || text[0] > '7') {
        Fail("(first day of week must be 1 to 7)", Source(i, close + 1));
      }
      first_day = text[0] - '0';
    } else if (arguments.size() != 1) {
      Fail("(wrong number of arguments)", Source(i, close + 1));
    }
    out += target_.Weekday(date, first_day);
    return close + 1;
  }

  // The end of the operand that starts at `i` (a literal, a possibly qualified name, a
  // function call, a parenthesized expression, any of these with a sign), or `i` when no
  // operand starts there.
  std::size_t OperandEnd(std::size_t i, std::size_t end) const {
    if (i >= end) return i;
    const Token& token = tokens_[i];
    switch (token.kind) {
      case TokenKind::kNumber:
      case TokenKind::kDoubleQuoted:
      case TokenKind::kSingleQuoted:
      case TokenKind::kDate:
        return i + 1;
      case TokenKind::kIdentifier:
      case TokenKind::kBracketedName: {
        if (IsKeyword(token)) return i;
        if (auto known = name_ends_.find({end, i}); known != name_ends_.end()) return known->second;
        std::vector<std::size_t> names = {i};
        std::size_t last = i + 1;
        while (true) {
          const std::size_t dot = SkipSpace(last, end);
          if (dot >= end || !IsOperator(tokens_[dot], ".")) break;
          const std::size_t part = SkipSpace(dot + 1, end);
          if (part >= end || !(tokens_[part].kind == TokenKind::kIdentifier ||
                               tokens_[part].kind == TokenKind::kBracketedName ||
                               IsOperator(tokens_[part], "*"))) {
            break;
          }
          if (tokens_[part].kind != TokenKind::kOperator) names.push_back(part);
          last = part + 1;
        }
        const std::size_t open = SkipSpace(last, end);
        if (open < end && IsOperator(tokens_[open], "(")) last = ClosingParen(open, end) + 1;
        for (std::size_t name : names) name_ends_[{end, name}] = last;
        return last;
      }
      case TokenKind::kOperator: {
        if (IsOperator(token, "(")) return ClosingParen(i, end) + 1;
        if (IsOperator(token, "-") || IsOperator(token, "+")) {
          Nested nested(*this);
          const std::size_t inner = SkipSpace(i + 1, end);
          const std::size_t inner_end = OperandEnd(inner, end);
          return inner_end == inner ? i : inner_end;
        }
        return i;
      }
      default:
        return i;
    }
  }

  // The end of a chain of operands joined by + - * /, or `i` when no operand starts there.
  std::size_t ArithmeticEnd(std::size_t i, std::size_t end, bool& has_operator) const {
    std::size_t last = OperandEnd(i, end);
    if (last == i) return i;
    std::vector<std::size_t> operands = {i};
    while (true) {
      const std::size_t op = SkipSpace(last, end);
      if (op >= end || !IsArithmetic(tokens_[op])) break;
      const std::size_t next = SkipSpace(op + 1, end);
      if (auto known = chain_ends_.find({end, next}); known != chain_ends_.end()) {
        last = known->second;
        has_operator = true;
        break;
      }
      const std::size_t next_end = OperandEnd(next, end);
      if (next_end == next) break;
      operands.push_back(next);
      last = next_end;
      has_operator = true;
    }
    for (std::size_t start : operands) chain_ends_[{end, start}] = last;
    return last;
  }

  std::size_t ClosingParen(std::size_t open, std::size_t end) const {
    int depth = 0;
    for (std::size_t j = open; j < end; ++j) {
      if (IsOperator(tokens_[j], "(")) ++depth;
      if (IsOperator(tokens_[j], ")") && --depth == 0) return j;
    }
    Fail("(missing closing parenthesis)", Source(open, end));
  }

  std::size_t SkipSpace(std::size_t i, std::size_t end) const {
    while (i < end && IsSpace(tokens_[i])) ++i;
    return i;
  }

  // The source text of tokens [begin, end), for error messages.
  std::string_view Source(std::size_t begin, std::size_t end) const {
    if (begin >= end) return {};
    const std::size_t from = tokens_[begin].text.data() - sql_.data();
    const std::size_t to =
        tokens_[end - 1].text.data() + tokens_[end - 1].text.size() - sql_.data();
    return sql_.substr(from, to - from);
  }

  std::string_view sql_;
  const std::vector<Token>& tokens_;
  const Dialect& target_;
  const TranslateOptions& options_;
  const std::vector<bool> order_item_starts_;
  mutable int depth_ = 0;
  // Where the chain of operands from a start ends, for each (end bound, start) ArithmeticEnd has
  // walked: Render asks again from every operand of a chain, and walking the rest of a long sum
  // each time would take quadratic time.
  mutable std::map<std::pair<std::size_t, std::size_t>, std::size_t> chain_ends_;
  // The same for the operands that are names: where the dotted name (or call) holding each part
  // ends, since Render asks again from every part of a.b.c.
  mutable std::map<std::pair<std::size_t, std::size_t>, std::size_t> name_ends_;
};

}  // namespace

std::string Translate(std::string_view sql, const Dialect& target,
                      const TranslateOptions& options) {
  const std::vector<Token> tokens = Tokenize(sql);
  std::size_t end = 0;
  while (end < tokens.size() && !IsOperator(tokens[end], ";")) ++end;
  for (std::size_t j = end + 1; j < tokens.size(); ++j) {
    if (!IsSpace(tokens[j])) {
      throw db::DbError(db::kSqlSyntax,
                        "Syntax error (characters found after end of SQL statement).");
    }
  }
  if (std::all_of(tokens.begin(), tokens.begin() + end, IsSpace)) {
    throw db::DbError(db::kSqlSyntax, "Syntax error (empty statement).");
  }
  RequireShallowParentheses(sql, tokens);
  return Translator(sql, tokens, target, options).Render(0, end);
}

}  // namespace brontal::jetsql
