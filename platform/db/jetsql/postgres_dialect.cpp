// PostgreSQL renderings of Jet's literals, concatenation, date functions and like patterns, for
// text columns of type citext and dates stored as text.
#include "platform/db/jetsql/postgres_dialect.h"

#include <string>
#include <string_view>
#include <vector>

namespace brontal::jetsql {
namespace {

// LIKE's escape character. Not the backslash, PostgreSQL's default, which every Windows path is
// full of: "|" cannot occur in a Windows file name.
constexpr char kEscape = '|';

// The function that PostgresSupportSql installs: the key that sorts joined paths in tree order.
constexpr char kPathKey[] = "brontal_path_key";

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char ToLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// ASCII letters in lower case and nothing else, as citext folds text in the C locale.
std::string Folded(std::string text) {
  for (char& c : text) c = ToLower(c);
  return text;
}

std::string Utf8(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  std::string out;
  int continuation = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(lead[continuation] | (c >> (6 * continuation)));
  while (continuation--) out += static_cast<char>(0x80 | ((c >> (6 * continuation)) & 0x3F));
  return out;
}

// The length of the UTF-8 sequence that `lead` begins; 0 for a byte that begins none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The least text above every text that begins with `prefix`, in byte order, among texts folded
// as citext folds them: the prefix with its last character raised by one, past the upper case
// letters that folded text never holds, or dropped where it is the last code point. Empty when
// no text lies above them all, or the prefix is not UTF-8.
std::string UpperBound(std::string prefix) {
  while (!prefix.empty()) {
    std::size_t start = prefix.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(prefix[start]) & 0xC0) == 0x80) --start;
    const auto* bytes = reinterpret_cast<const unsigned char*>(prefix.data() + start);
    const std::size_t length = prefix.size() - start;
    if (SequenceLength(bytes[0]) != length) return {};
    char32_t c = length == 1 ? bytes[0] : bytes[0] & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (bytes[i] & 0x3F);
    prefix.resize(start);
    if (c == 0x10FFFF) continue;
    c = c == '@' ? '[' : c == 0xD7FF ? 0xE000 : c + 1;
    return prefix + Utf8(c);
  }
  return {};
}

bool IsAsciiPunctuation(const std::string& c) {
  return c.size() == 1 && static_cast<unsigned char>(c[0]) < 0x80 && !IsAsciiLetter(c[0]) &&
         !IsAsciiDigit(c[0]) && c[0] != '\\';
}

// One character inside a SIMILAR TO class: punctuation escaped, so that no position in the
// class gives it a meaning ("^" first, "-" between, "[" anywhere, which SIMILAR TO takes for a
// nested class). A backslash stays itself: SIMILAR TO escapes it.
std::string ClassCharacter(const std::string& c) { return IsAsciiPunctuation(c) ? kEscape + c : c; }

std::string SimilarClass(const LikeElement& element) {
  std::string out = element.negated ? "[^" : "[";
  for (const ClassRange& range : element.ranges) {
    for (const ClassRange& member : WithOtherCase(range)) {
      out += ClassCharacter(member.first);
      if (member.last != member.first) out += "-" + ClassCharacter(member.last);
    }
  }
  return out + "]";
}

// One character outside a class of a SIMILAR TO pattern: a letter in both cases, a character
// that SIMILAR TO gives a meaning escaped.
std::string SimilarLiteral(const std::string& c) {
  if (c.size() == 1 && IsAsciiLetter(c[0])) return {'[', c[0], static_cast<char>(c[0] ^ 0x20), ']'};
  const bool special =
      c.size() == 1 && std::string_view("_%|*+?{}()[]").find(c[0]) != std::string_view::npos;
  return special ? kEscape + c : c;
}

class Postgres final : public Dialect {
 public:
  // standard_conforming_strings is on: a backslash is an ordinary character.
  std::string TextLiteral(std::string_view value) const override { return QuoteSql(value, '\''); }

  std::string DateLiteral(DateTime value) const override { return TextLiteral(value.ToIso()); }

  // Names are created in lower case, so that the programs' unquoted names reach them too.
  std::string Identifier(std::string_view name) const override {
    return QuoteSql(Folded(std::string(name)), '"');
  }

  // "||" binds looser than arithmetic, and the operands are single ones, so none needs
  // parentheses. The first is made text, since "||" joins no two numbers; the result is
  // citext, so that it compares without regard to case as the columns do.
  std::string Concatenation(const std::vector<std::string>& operands) const override {
    return "(" + Joined(operands) + ")::citext";
  }

  // citext sorts "\" after digits and upper case; the tree order wants it before everything.
  std::string ConcatenationOrderKey(const std::vector<std::string>& operands) const override {
    return std::string(kPathKey) + "(" + Joined(operands) + ") COLLATE \"C\"";
  }

  // extract's dow counts Sunday 0 to Saturday 6.
  std::string Weekday(std::string_view date, int first_day) const override {
    const int shift = (8 - first_day) % 7;
    const std::string weekday = "CAST(extract(dow from " + Timestamp(date) + ") AS integer)";
    if (shift == 0) return "(" + weekday + " + 1)";
    return "((" + weekday + " + " + std::to_string(shift) + ") % 7 + 1)";
  }

  std::string DayOfMonth(std::string_view date) const override {
    return "CAST(extract(day from " + Timestamp(date) + ") AS integer)";
  }

  // ILIKE serves the patterns it can express; digits and classes need SIMILAR TO, which is
  // case-sensitive, so letters are given in both cases. Both negate as "not ilike" and "not
  // similar to", where a regular expression's "~*" would not.
  LikeText Like(const LikePattern& pattern) const override {
    if (HasDigitOrClass(pattern)) {
      return {"similar to",
              WithEscape(SpellPattern(pattern, {"%", "_", "[0-9]", SimilarLiteral, SimilarClass}))};
    }
    return {"ilike", WithEscape(SqlLikePattern(pattern, kEscape))};
  }

  // citext's LIKE cannot use the column's index, but a range on it can: every value that
  // matches begins with the pattern's leading characters, compared as citext compares them.
  std::string LikeIndexCondition(std::string_view column,
                                 const LikePattern& pattern) const override {
    std::string prefix;
    for (const LikeElement& element : pattern) {
      if (element.kind != LikeElement::Kind::kLiteral) break;
      prefix += element.text;
    }
    if (prefix.empty()) return {};
    const std::string name(column);
    std::string condition = name + " >= " + TextLiteral(prefix);
    const std::string above = UpperBound(Folded(prefix));
    if (!above.empty()) condition += " and " + name + " < " + TextLiteral(above);
    return condition;
  }

 private:
  static std::string Joined(const std::vector<std::string>& operands) {
    std::string out;
    for (std::size_t i = 0; i < operands.size(); ++i) {
      out += i ? "||" + operands[i] : Cast(operands[i], "text");
    }
    return out;
  }

  // `operand` cast to `type`, its surrounding blanks kept outside.
  static std::string Cast(const std::string& operand, const std::string& type) {
    const std::size_t first = operand.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return operand;
    const std::size_t last = operand.find_last_not_of(" \t\r\n") + 1;
    return operand.substr(0, first) + "CAST(" + operand.substr(first, last - first) + " AS " +
           type + ")" + operand.substr(last);
  }

  static std::string Timestamp(std::string_view date) {
    return Cast(std::string(date), "timestamp");
  }

  // The pattern with an escape clause where it needs one: where it escapes a character, and
  // where it holds a backslash, which would be the escape character without the clause.
  std::string WithEscape(const std::string& text) const {
    std::string operand = TextLiteral(text);
    if (text.find_first_of(std::string{kEscape, '\\'}) != std::string::npos) {
      operand += " escape '" + std::string(1, kEscape) + "'";
    }
    return operand;
  }
};

}  // namespace

const Dialect& PostgresDialect() {
  static const Postgres dialect;
  return dialect;
}

// The path key folds ASCII letters as citext does, then writes "\" (chr 92) as \x01\x01 and \x01
// as \x01\x02, which sorts "\" before every other character and keeps the rest in byte order.
std::string PostgresSupportSql() {
  return std::string("create or replace function ") + kPathKey +
         "(path text) returns text language sql immutable strict parallel safe as $$"
         " select replace(replace(lower(path collate \"C\"), chr(1), chr(1) || chr(2)),"
         " chr(92), chr(1) || chr(1)) $$";
}

}  // namespace brontal::jetsql
