// SQLite renderings of Jet's literals, concatenation, date functions and like patterns.
#include "platform/db/jetsql/sqlite_dialect.h"

#include <string>
#include <vector>

namespace brontal::jetsql {
namespace {

// LIKE's escape character. Not the backslash, which every Windows path is full of: "|" cannot
// occur in a Windows file name and is rare elsewhere, so escaped patterns stay readable.
constexpr char kEscape = '|';

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char SwapCase(char c) { return static_cast<char>(c ^ 0x20); }

// The members of a case-folding GLOB class for one Jet class member.
void AddFoldedMember(const ClassRange& range, std::vector<std::string>& members) {
  for (const ClassRange& member : WithOtherCase(range)) {
    members.push_back(member.first == member.last ? member.first
                                                  : member.first + "-" + member.last);
  }
}

// A GLOB class. GLOB gives "^" a meaning only first in the class and takes "-" literally
// only where no range can form, so a plain "-" goes first and members beginning with "^"
// go last.
std::string GlobClass(const LikeElement& element) {
  std::vector<std::string> members;
  for (const ClassRange& range : element.ranges) AddFoldedMember(range, members);
  bool dash = false;
  std::string plain, caret;
  for (const std::string& member : members) {
    if (member == "-") {
      dash = true;
    } else {
      (member.front() == '^' ? caret : plain) += member;
    }
  }
  if (!element.negated && !dash && plain.empty()) {
    // Only "^" itself, or ranges from "^": a lone "^" is an ordinary character outside a
    // class, and a range is led by a copy of its own last character.
    for (const std::string& member : members) {
      if (member != "^") plain = member.substr(2);
    }
    if (plain.empty()) return "^";
  }
  return "[" + std::string(element.negated ? "^" : "") + (dash ? "-" : "") + plain + caret + "]";
}

// A character outside a GLOB class: a letter in both cases, a wildcard in a class of its own.
std::string GlobLiteral(const std::string& text) {
  const char c = text[0];
  if (IsAsciiLetter(c)) return {'[', c, SwapCase(c), ']'};
  if (c == '*' || c == '?' || c == '[') return {'[', c, ']'};
  return text;
}

class Sqlite final : public Dialect {
 public:
  std::string TextLiteral(std::string_view value) const override { return QuoteSql(value, '\''); }

  std::string DateLiteral(DateTime value) const override { return TextLiteral(value.ToIso()); }

  std::string Identifier(std::string_view name) const override { return QuoteSql(name, '"'); }

  // SQLite's "||" binds tighter than every arithmetic operator, so the whole concatenation is
  // parenthesized; computed text has no collation of its own, hence the path collation.
  std::string Concatenation(const std::vector<std::string>& operands) const override {
    std::string out = "(";
    for (std::size_t i = 0; i < operands.size(); ++i) out += (i ? "||" : "") + operands[i];
    return out + ") COLLATE " + kPathCollation;
  }

  // strftime's %w counts Sunday 0 to Saturday 6.
  std::string Weekday(std::string_view date, int first_day) const override {
    const int shift = (8 - first_day) % 7;
    std::string weekday = "CAST(strftime('%w', " + std::string(date) + ") AS INTEGER)";
    if (shift == 0) return "(" + weekday + " + 1)";
    return "((" + weekday + " + " + std::to_string(shift) + ") % 7 + 1)";
  }

  std::string DayOfMonth(std::string_view date) const override {
    return "CAST(strftime('%d', " + std::string(date) + ") AS INTEGER)";
  }

  // LIKE serves the patterns it can express, since only LIKE can use an index on a NOCASE
  // column; digits and classes need GLOB, which is case-sensitive, so letters are folded.
  LikeText Like(const LikePattern& pattern) const override {
    return HasDigitOrClass(pattern) ? Glob(pattern) : SqlLike(pattern);
  }

 private:
  LikeText SqlLike(const LikePattern& pattern) const {
    const std::string text = SqlLikePattern(pattern, kEscape);
    // The escape clause only where needed, so that plain patterns read as written.
    std::string operand = TextLiteral(text);
    if (text.find(kEscape) != std::string::npos) {
      operand += " escape '" + std::string(1, kEscape) + "'";
    }
    return {"like", operand};
  }

  LikeText Glob(const LikePattern& pattern) const {
    return {"glob",
            TextLiteral(SpellPattern(pattern, {"*", "?", "[0-9]", GlobLiteral, GlobClass}))};
  }
};

// The rank of a byte in the path collation: the separator first, then the rest in byte order
// with ASCII letters folded to lower case.
int PathRank(unsigned char c) {
  if (c == '\\') return 0;
  if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
  return c + 1;
}

int ComparePaths(void*, int left_size, const void* left, int right_size, const void* right) {
  auto* a = static_cast<const unsigned char*>(left);
  auto* b = static_cast<const unsigned char*>(right);
  for (int i = 0; i < left_size && i < right_size; ++i) {
    if (int d = PathRank(a[i]) - PathRank(b[i])) return d;
  }
  return left_size - right_size;
}

}  // namespace

int InstallSqliteCollations(sqlite3* handle) {
  return sqlite3_create_collation_v2(handle, kPathCollation, SQLITE_UTF8, nullptr, ComparePaths,
                                     nullptr);
}

const Dialect& SqliteDialect() {
  static const Sqlite dialect;
  return dialect;
}

}  // namespace brontal::jetsql
