// Translates SQL text written for the Jet engine into the SQL of another engine. The token
// walk here knows only the source dialect; everything the target spells its own way goes
// through a Dialect.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"

namespace brontal::jetsql {

// One member of a character class: a single character (first == last) or a range. Characters
// are single bytes, or whole UTF-8 sequences when the pattern holds them.
struct ClassRange {
  std::string first;
  std::string last;
};

// One element of a like pattern, with the source's wildcards already resolved.
struct LikeElement {
  enum class Kind {
    kLiteral,  // `text` matches itself, without regard to ASCII case
    kAnyRun,   // any run of characters, the empty one included
    kAnyChar,  // exactly one character
    kDigit,    // one character 0 to 9
    kClass,    // one character in (or, negated, not in) `ranges`, without regard to ASCII case
  };
  Kind kind;
  std::string text;  // kLiteral: one character
  bool negated = false;
  std::vector<ClassRange> ranges;
};

using LikePattern = std::vector<LikeElement>;

// A like comparison as the target writes it: its operator word and the operand that follows,
// with anything the operator needs after the pattern (an escape clause).
struct LikeText {
  std::string op;
  std::string operand;
};

// The spelling of a target engine. Arguments given as SQL are already translated.
class Dialect {
 public:
  virtual ~Dialect() = default;
  // A text literal holding `value` byte for byte; the empty text for an empty value.
  virtual std::string TextLiteral(std::string_view value) const = 0;
  // A literal of the stored date form of `value`.
  virtual std::string DateLiteral(DateTime value) const = 0;
  // A name quoted so that blanks and keywords in it are taken literally.
  virtual std::string Identifier(std::string_view name) const = 0;
  // The text concatenation of two or more operands, compared without regard to case. The
  // operands keep their surrounding blanks; each is one operand for the target's precedence.
  virtual std::string Concatenation(const std::vector<std::string>& operands) const = 0;
  // The day of the week of `date`, 1 to 7, counted from `first_day` (1 Sunday ... 7 Saturday):
  // first_day 2 gives Monday 1 ... Sunday 7. Null for a null date.
  virtual std::string Weekday(std::string_view date, int first_day) const = 0;
  // The day of the month of `date` as a whole number; null for a null date.
  virtual std::string DayOfMonth(std::string_view date) const = 0;
  // The operator and operand that match `pattern` against the whole left operand.
  virtual LikeText Like(const LikePattern& pattern) const = 0;

  // Conditions on `column` (a column name) that every value matching `pattern` meets, written
  // so that the target can answer them from an index on the column; the translator joins them
  // with "and" before `column like pattern`, all in parentheses. Asked only where the like is
  // not negated. Empty (the default) for a target whose like uses the index by itself.
  virtual std::string LikeIndexCondition(std::string_view column,
                                         const LikePattern& pattern) const {
    (void)column, (void)pattern;
    return {};
  }
  // The key of an order by item that is a concatenation: it sorts as the concatenation
  // compares. By default the concatenation itself, for a target whose concatenation carries
  // that order wherever it stands.
  virtual std::string ConcatenationOrderKey(const std::vector<std::string>& operands) const {
    return Concatenation(operands);
  }
};

// `value` between two `quote` characters, each `quote` inside it doubled: how SQL quotes text
// literals and names.
std::string QuoteSql(std::string_view value, char quote);

// A class member and, for each run of ASCII letters it covers, the same run in the other case:
// what a case-sensitive class needs to match `range` without regard to ASCII case. A range
// whose last character lies beyond ASCII covers the letters after its first.
std::vector<ClassRange> WithOtherCase(const ClassRange& range);

// How a target's pattern language writes each kind of like element.
struct PatternSpelling {
  std::string any_run;
  std::string any_char;
  std::string digit;
  std::function<std::string(const std::string&)> literal;  // given one character
  std::function<std::string(const LikeElement&)> character_class;
};

// Whether `pattern` holds a digit or a class, which SQL LIKE cannot express.
bool HasDigitOrClass(const LikePattern& pattern);

// `pattern` written element by element as `spelling` writes them.
std::string SpellPattern(const LikePattern& pattern, const PatternSpelling& spelling);

// A pattern of literals, "*" and "?" in SQL LIKE's wildcards: "%", "_" and `escape` itself
// written after `escape`.
std::string SqlLikePattern(const LikePattern& pattern, char escape);

struct TranslateOptions {
  // A two-digit year in a date literal is read as the year within
  // [reference_year - 50, reference_year + 49]; normally the current year.
  int reference_year;
};

// The single statement `sql`, written in Jet's dialect, in the dialect of `target`, with its
// layout kept. A trailing ";" is dropped. Throws db::DbError(kSqlSyntax, "Syntax error ...")
// for empty text, a second statement, an invalid date, a bad like pattern, or a like whose
// pattern is not one text literal.
std::string Translate(std::string_view sql, const Dialect& target, const TranslateOptions& options);

// The elements of a Jet like pattern (the value of the literal): "*", "?", "#", classes such
// as [a-z] and [!0-9], and [*] [?] [#] [[] for those characters themselves; "%" and "_" are
// plain characters. Throws db::DbError(kSqlSyntax) for an unclosed, empty or reversed class.
LikePattern ParseLikePattern(std::string_view pattern);

}  // namespace brontal::jetsql
