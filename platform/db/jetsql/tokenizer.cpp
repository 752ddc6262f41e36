// Byte-level tokenizer for the programs' SQL dialect.
#include "platform/db/jetsql/tokenizer.h"

#include <array>

#include "platform/db/db_error.h"

namespace brontal::jetsql {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// Bytes above 127 count as letters, so names in any encoding, valid or not, stay one word.
bool IsWordStart(char c) {
  return IsLetter(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordByte(char c) { return IsWordStart(c) || IsDigit(c); }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

[[noreturn]] void Fail(const std::string& message) {
  throw db::DbError(db::kSqlSyntax, "Syntax error " + message);
}

// The end of a literal that opened at `start` with `quote`; a doubled quote stays inside.
std::size_t QuotedEnd(std::string_view sql, std::size_t start, char quote) {
  std::size_t i = start + 1;
  while (true) {
    i = sql.find(quote, i);
    if (i == std::string_view::npos) {
      Fail("in string in query expression '" + std::string(sql.substr(start)) + "'.");
    }
    if (i + 1 < sql.size() && sql[i + 1] == quote) {
      i += 2;
      continue;
    }
    return i + 1;
  }
}

std::size_t NumberEnd(std::string_view sql, std::size_t i) {
  auto digits = [&](std::size_t j) {
    while (j < sql.size() && IsDigit(sql[j])) ++j;
    return j;
  };
  i = digits(i);
  if (i < sql.size() && sql[i] == '.') i = digits(i + 1);
  if (i < sql.size() && (sql[i] == 'e' || sql[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < sql.size() && (sql[j] == '+' || sql[j] == '-')) ++j;
    if (j < sql.size() && IsDigit(sql[j])) i = digits(j);
  }
  return i;
}

constexpr std::array<std::string_view, 3> kTwoByteOperators = {"<=", ">=", "<>"};
constexpr std::string_view kOneByteOperators = "=<>&+-*/(),;.";

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    std::size_t end = i + 1;
    TokenKind kind;
    if (IsSpace(c)) {
      kind = TokenKind::kSpace;
      while (end < sql.size() && IsSpace(sql[end])) ++end;
    } else if (IsWordStart(c)) {
      kind = TokenKind::kIdentifier;
      while (end < sql.size() && IsWordByte(sql[end])) ++end;
    } else if (IsDigit(c)) {
      kind = TokenKind::kNumber;
      end = NumberEnd(sql, i);
    } else if (c == '"' || c == '\'') {
      kind = c == '"' ? TokenKind::kDoubleQuoted : TokenKind::kSingleQuoted;
      end = QuotedEnd(sql, i, c);
    } else if (c == '#' || c == '[') {
      kind = c == '#' ? TokenKind::kDate : TokenKind::kBracketedName;
      const std::size_t close = sql.find(c == '#' ? '#' : ']', i + 1);
      if (close == std::string_view::npos) {
        Fail(std::string(c == '#' ? "in date" : "in name") + " in query expression '" +
             std::string(sql.substr(i)) + "'.");
      }
      end = close + 1;
    } else {
      kind = TokenKind::kOperator;
      bool two = false;
      for (std::string_view op : kTwoByteOperators) two = two || sql.substr(i, 2) == op;
      if (two) {
        end = i + 2;
      } else if (c == '\0' || kOneByteOperators.find(c) == std::string_view::npos) {
        Fail("(unexpected character) in query expression '" + std::string(sql.substr(i)) + "'.");
      }
    }
    tokens.push_back({kind, sql.substr(i, end - i)});
    i = end;
  }
  for (const Token& token : tokens) {
    if (token.text.find('\0') != std::string_view::npos) {
      Fail("(NUL character) in query expression.");
    }
  }
  return tokens;
}

std::string TokenValue(const Token& token) {
  switch (token.kind) {
    case TokenKind::kDoubleQuoted:
    case TokenKind::kSingleQuoted: {
      const char quote = token.text.front();
      std::string value;
      const std::string_view body = token.text.substr(1, token.text.size() - 2);
      for (std::size_t i = 0; i < body.size(); ++i) {
        value += body[i];
        if (body[i] == quote) ++i;  // the second of a doubled pair
      }
      return value;
    }
    case TokenKind::kDate:
    case TokenKind::kBracketedName:
      return std::string(token.text.substr(1, token.text.size() - 2));
    default:
      return std::string(token.text);
  }
}

bool IsWord(const Token& token, std::string_view word) {
  if (token.kind != TokenKind::kIdentifier || token.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (AsciiLower(token.text[i]) != AsciiLower(word[i])) return false;
  }
  return true;
}

bool IsOperator(const Token& token, std::string_view op) {
  return token.kind == TokenKind::kOperator && token.text == op;
}

}  // namespace brontal::jetsql
