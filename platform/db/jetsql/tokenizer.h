// Splits SQL text in the programs' dialect into tokens, byte by byte, so that any bytes inside
// a literal (newlines, invalid UTF-8) travel through untouched.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brontal::jetsql {

enum class TokenKind {
  kSpace,          // a run of blanks, tabs and line ends
  kIdentifier,     // a word: keyword, column, table or function name
  kBracketedName,  // [any name]
  kNumber,         // 12, 1.5, 2E3
  kDoubleQuoted,   // "text": a text literal in this dialect
  kSingleQuoted,   // 'text'
  kDate,           // #12/6/26 22:4:5#
  kOperator,       // <= >= <> = < > & + - * / ( ) , ; .
};

struct Token {
  TokenKind kind;
  std::string_view text;  // as written, delimiters included; views into the tokenized text
};

// The tokens of `sql`, which must outlive them; empty text gives no tokens. Throws
// db::DbError(kSqlSyntax) for an unterminated literal or bracketed name, a NUL byte, or a
// character that starts no token.
std::vector<Token> Tokenize(std::string_view sql);

// The value of a quoted literal or bracketed name: delimiters removed and doubled quotes
// collapsed ("a""b" gives a"b). The text of a date literal between its "#" marks. Any other
// token gives its text.
std::string TokenValue(const Token& token);

// Whether an identifier token is the given word, compared without regard to ASCII case.
bool IsWord(const Token& token, std::string_view word);

// Whether the token is the given operator.
bool IsOperator(const Token& token, std::string_view op);

}  // namespace brontal::jetsql
