// Quoting for values pasted into the programs' SQL text.
#include "store/sql_text.h"

namespace brontal {

std::string SqlText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '"') out += '"';
  }
  return out;
}

std::string SqlLikeText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '*' || c == '?' || c == '#' || c == '[') {
      out += '[';
      out += c;
      out += ']';
    } else {
      out += c;
      if (c == '"') out += '"';
    }
  }
  return out;
}

}  // namespace brontal
